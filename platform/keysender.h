#pragma once
// Stands in for the shell's SendKeys: the screens install a poster that
// delivers a Tab press to the widget with the focus. Without screens (the
// command line, core tests) keystrokes go nowhere.
#include <QString>
#include <functional>

namespace keysender {
using Poster = std::function<void(const QString &keys)>;
void install(Poster poster);
void send(const QString &keys);
}
