// ctfadmin: with no command the main screen; with a command the same work
// without a screen, for scheduled jobs and the demo.
#include "app/appsettings.h"
#include "app/screens.h"
#include "cli/commands.h"
#include "platform/officeroot.h"
#include "platform/startupprobe.h"

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <memory>

namespace {
bool hasDisplay()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}
} // namespace

int main(int argc, char *argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    QString root;
    QStringList rest;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--root")) {
            if (i + 1 >= args.size()) {
                std::fputs("--root needs a folder\n", stderr);
                return 2;
            }
            root = args[++i];
        } else if (args[i].startsWith(QStringLiteral("--root="))) {
            root = args[i].mid(7);
        } else {
            rest << args[i];
        }
    }
    if (!rest.isEmpty() && rest[0] == QStringLiteral("--version")) {
        std::printf("ctfadmin %d.%d.%d\n", CTF_VERSION_MAJOR, CTF_VERSION_MINOR, CTF_VERSION_REVISION);
        return 0;
    }
    if (!rest.isEmpty() && (rest[0] == QStringLiteral("--help") || rest[0] == QStringLiteral("-h") || rest[0] == QStringLiteral("help"))) {
        std::fputs(cli::usage().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!root.isEmpty())
        officeroot::setPath(root);

    if (rest.isEmpty()) {
        if (!hasDisplay()) {
            QCoreApplication app(argc, argv);
            appsettings::loadFromRegistry(appsettings::fields());
            std::fputs("No display is available, so the main screen cannot be shown. The settings of the office are:\n", stdout);
            cli::printSettings();
            return 0;
        }
        QApplication app(argc, argv);
        startupprobe::installIfAsked(app);
        screens::startMainScreen();
        return app.exec();
    }

    QCoreApplication app(argc, argv);
    const QString command = rest.takeFirst();
    return cli::run(command, rest);
}
