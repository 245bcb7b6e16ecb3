#pragma once
// Measuring start-up (bench/bench_startup): with CTFADMIN_QUIT_WHEN_SHOWN
// set, the program ends as soon as its first window is on the display, so
// the time from starting it to its end is the time to its first screen
// painted. It prints the window's size ("WIDTHxHEIGHT") on standard output.
// The same probe is built into a bare Qt window, the bench's yardstick.
#include <QCoreApplication>
#include <QEvent>
#include <QWindow>

#include <cstdio>

namespace startupprobe {

class QuitWhenShown : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Ends once the exposed window has been painted: the quit is queued
        // behind the painting.
        if (event->type() == QEvent::Expose && watched->isWindowType() && static_cast<QWindow *>(watched)->isExposed()) {
            // Its size, for a yardstick window of the same size.
            const QSize size = static_cast<QWindow *>(watched)->size();
            std::printf("%dx%d\n", size.width(), size.height());
            std::fflush(stdout);
            QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }
};

// Installs the probe when the environment asks for it.
inline void installIfAsked(QCoreApplication &app)
{
    if (qEnvironmentVariableIsSet("CTFADMIN_QUIT_WHEN_SHOWN"))
        app.installEventFilter(new QuitWhenShown(&app));
}

} // namespace startupprobe
