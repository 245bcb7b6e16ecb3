#pragma once
// Every message box, question, open-file dialog and program launch goes
// through this one interface: the screens use the Qt implementation, the
// command line a console one, and tests a scripted one that records each
// message and gives the answers the test sets.
#include <QList>
#include <QString>
#include <memory>

enum class MsgIcon { None, Information, Exclamation, Critical, Question };
enum class MsgButtons { Ok, YesNo };
enum class MsgResult { Ok, Yes, No };
enum class WindowStyle { Normal, Maximized };

// Starts outside programs on this platform: "notepad <path>" opens the editor
// named by CTFADMIN_EDITOR, else the desktop's default application, with the
// mapped path as one argument; any other command line is a program's
// Windows path, which must map to an executable file. A document opens with
// the desktop's default viewer.
namespace launcher {
bool start(const QString &commandLine, WindowStyle style);
bool openDocument(const QString &windowsPath);
}

struct OpenFileRequest {
    QString initialDir;   // a Windows path ("C:\Temp")
    QString defaultExt;   // "LOG"
    QString title;
    QString filter;       // "*.LOG"
};

class UserInterface {
public:
    virtual ~UserInterface() = default;
    // A message or a question; defaultButton: the button Enter presses on a
    // Yes/No question. Each is counted (messagesShown).
    MsgResult message(const QString &text, const QString &title, MsgIcon icon, MsgButtons buttons = MsgButtons::Ok,
                      MsgResult defaultButton = MsgResult::Yes)
    {
        ++m_shown;
        return showMessage(text, title, icon, buttons, defaultButton);
    }
    // How many messages and questions have been put to the operator: a
    // command can tell whether a field's rule spoke on the way to it.
    int messagesShown() const { return m_shown; }
    // The chosen file as a host path, empty when cancelled.
    virtual QString openFile(const OpenFileRequest &request) = 0;
    // Where to save a new file (a host path), empty when cancelled; the
    // request's initialDir is the file proposed.
    virtual QString saveFile(const OpenFileRequest &request) { (void)request; return {}; }
    // Starts a Windows command line ("notepad <path>", or a program's path);
    // false when it could not be started. Not waited for.
    virtual bool startProgram(const QString &commandLine, WindowStyle style) = 0;
    // Opens a document (the help file) with the desktop's default viewer.
    virtual bool openDocument(const QString &windowsPath) { return launcher::openDocument(windowsPath); }
    // The busy pointer while a command runs.
    virtual void setBusy(bool) {}
    // Progress of a long step (percent 0-100); percent -1: the step is over.
    // Shown only when the step takes more than a moment. False when the
    // operator cancelled the step: it then stops and keeps nothing.
    virtual bool progress(const QString &what, int percent) { (void)what; (void)percent; return true; }

protected:
    virtual MsgResult showMessage(const QString &text, const QString &title, MsgIcon icon, MsgButtons buttons, MsgResult defaultButton) = 0;

private:
    int m_shown = 0;
};

// What a component reports instead of showing it (how a run ended, what
// failed, what was left out), so that the screen, the command line and a
// test each present or read it; questions asked in the middle of a
// procedure stay on the interface.
struct Notice {
    QString text;
    QString title;
    MsgIcon icon = MsgIcon::Information;
};

namespace ui {
UserInterface &current();
// Each notice as a message, in order.
void show(const QList<Notice> &notices);
// An outcome's notices shown; its result.
template <typename Outcome>
auto shown(const Outcome &outcome)
{
    show(outcome.notices);
    return outcome.result;
}
// The busy pointer for the life of the object, whichever way the command ends.
class BusyScope {
public:
    BusyScope() { current().setBusy(true); }
    ~BusyScope() { release(); }
    // The normal pointer back before the command's last message.
    void release()
    {
        if (m_busy)
            current().setBusy(false);
        m_busy = false;
    }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    bool m_busy = true;
};
// Takes ownership; returns the previous one so a test can put it back.
std::unique_ptr<UserInterface> install(std::unique_ptr<UserInterface> next);
}

// The command line's implementation: messages go to standard output, or to
// standard error when they refuse input or report a failure; questions are
// answered Yes; there is no file dialog.
class ConsoleInterface : public UserInterface {
public:
    // A line on standard error rewritten in place on a terminal; elsewhere
    // (a scheduled job's log) a line at each tenth of the way.
    bool progress(const QString &what, int percent) override;
    MsgResult showMessage(const QString &text, const QString &title, MsgIcon icon, MsgButtons buttons, MsgResult defaultButton) override;
    QString openFile(const OpenFileRequest &) override { return {}; }
    bool startProgram(const QString &commandLine, WindowStyle style) override { return launcher::start(commandLine, style); }
};
