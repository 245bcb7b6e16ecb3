#include "platform/userinterface.h"

#include <cstdio>
#include <unistd.h>

#include "platform/pathmapper.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <cstdio>

namespace ui {
namespace {
std::unique_ptr<UserInterface> &slot()
{
    static std::unique_ptr<UserInterface> current = std::make_unique<ConsoleInterface>();
    return current;
}
}

UserInterface &current() { return *slot(); }

void show(const QList<Notice> &notices)
{
    for (const Notice &n : notices)
        current().message(n.text, n.title, n.icon);
}

std::unique_ptr<UserInterface> install(std::unique_ptr<UserInterface> next)
{
    std::unique_ptr<UserInterface> previous = std::move(slot());
    slot() = next ? std::move(next) : std::make_unique<ConsoleInterface>();
    return previous;
}
} // namespace ui

namespace launcher {
namespace {
// Starts a program that hands a file to an application (the editor, or
// xdg-open for the desktop's application) and leaves it running. One that
// cannot do it ends at once with a failure (xdg-open where the desktop has
// no application for the file, or names one that needs a terminal), so the
// start waits a second for that before taking it as started.
bool startHandingOver(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProgram(QStringLiteral("sh"));
    p.setArguments(QStringList{QStringLiteral("-c"),
                               QStringLiteral("\"$@\" </dev/null >/dev/null 2>&1 & pid=$!; for i in 1 2 3 4 5 6 7 8 9 10; do "
                                              "kill -0 $pid 2>/dev/null || { wait $pid; exit $?; }; sleep 0.1; done"),
                               QStringLiteral("sh"), program}
                   + args);
    p.start();
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}
} // namespace

bool start(const QString &commandLine, WindowStyle)
{
    static const QString notepad = QStringLiteral("notepad ");
    if (commandLine.startsWith(notepad, Qt::CaseInsensitive)) {
        const MappedPath target = pathmapper::map(commandLine.mid(notepad.size()));
        if (!target.ok())
            return false;
        QString editor = qEnvironmentVariable("CTFADMIN_EDITOR");
        if (editor.isEmpty())
            editor = QStringLiteral("xdg-open");
        QStringList args = QProcess::splitCommand(editor);
        if (args.isEmpty())
            return false;
        const QString program = args.takeFirst();
        if (QStandardPaths::findExecutable(program).isEmpty() && !QFileInfo(program).isExecutable())
            return false;
        args << target.hostPath;
        return startHandingOver(program, args);
    }
    const MappedPath program = pathmapper::map(commandLine);
    if (!program.ok())
        return false;
    const QFileInfo info(program.hostPath);
    if (!info.isFile() || !info.isExecutable())
        return false;
    return QProcess::startDetached(program.hostPath, {});
}

bool openDocument(const QString &windowsPath)
{
    const MappedPath target = pathmapper::map(windowsPath);
    if (!target.ok() || !QFileInfo(target.hostPath).isFile() || QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty())
        return false;
    return startHandingOver(QStringLiteral("xdg-open"), {target.hostPath});
}

} // namespace launcher

MsgResult ConsoleInterface::showMessage(const QString &text, const QString &, MsgIcon icon, MsgButtons buttons, MsgResult)
{
    if (buttons == MsgButtons::YesNo)
        return MsgResult::Yes; // a scheduled run answers the screen's question Yes
    // Refusals and failures go to standard error, as the exit status reports them.
    const bool trouble = icon == MsgIcon::Critical || icon == MsgIcon::Exclamation
        || text.startsWith(QStringLiteral("Unable to"));
    FILE *out = trouble ? stderr : stdout;
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    std::fputs(shown.toLocal8Bit().constData(), out);
    std::fputc('\n', out);
    std::fflush(out);
    return MsgResult::Ok;
}

bool ConsoleInterface::progress(const QString &what, int percent)
{
    static bool shown = false;
    // Not on a terminal, a line for each tenth reached; -10 is no tenth
    // (-1 / 10 is 0, which would hide the first one).
    static int logged = -10;
    if (!::isatty(2)) {
        if (percent < 0 || percent / 10 == logged / 10) {
            logged = percent < 0 ? -10 : logged;
            return true;
        }
        logged = percent;
        std::fprintf(stderr, "%s (%d%%)\n", what.toLocal8Bit().constData(), percent);
        return true;
    }
    if (percent < 0) {
        if (shown)
            std::fputs("\n", stderr);
        shown = false;
        return true;
    }
    std::fprintf(stderr, "\r%s (%d%%)\x1b[K", what.toLocal8Bit().constData(), percent);
    std::fflush(stderr);
    shown = true;
    return true;
}
