#pragma once
// The one clock of the program: today's date and the time of day, which a
// test can fix so that the screens' date rules can be tried on any day.
#include <QDateTime>

namespace ctfclock {
QDateTime now();
inline QDate today() { return now().date(); }
// An invalid value lets the real clock run again.
void fix(const QDateTime &at);
}
