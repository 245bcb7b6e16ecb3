// The yardstick of bench_startup: a bare Qt window with a caption, of the
// size given ("WIDTHxHEIGHT", the main screen's), shown the way ctfadmin
// shows its main screen, ending once it is on the display.
#include "platform/startupprobe.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    startupprobe::installIfAsked(app);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Child Trust Fund"));
    const QStringList size = argc > 1 ? QString::fromLatin1(argv[1]).split(QLatin1Char('x')) : QStringList();
    window.resize(size.size() == 2 ? QSize(size[0].toInt(), size[1].toInt()) : QSize(480, 320));
    window.show();
    return app.exec();
}
