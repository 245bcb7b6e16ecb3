#pragma once
// The screens' implementation of the user interface: Qt message boxes, the
// Qt open-file dialog, the wait cursor, and Tab presses for ShellSendKeys.
#include "platform/userinterface.h"

#include <memory>

class QMessageBox;

class QtUserInterface : public UserInterface {
public:
    QtUserInterface() { followScreens(); }
    MsgResult showMessage(const QString &text, const QString &title, MsgIcon icon, MsgButtons buttons, MsgResult defaultButton) override;
    QString openFile(const OpenFileRequest &request) override;
    QString saveFile(const OpenFileRequest &request) override;
    bool startProgram(const QString &commandLine, WindowStyle style) override;
    void setBusy(bool busy) override;
    // A progress dialog that appears when the step lasts over half a second.
    bool progress(const QString &what, int percent) override;

    // The box message() shows: over the screen that raised it and wide
    // enough for its whole title.
    static std::unique_ptr<QMessageBox> messageBox(const QString &text, const QString &title, MsgIcon icon, MsgButtons buttons,
                                                   MsgResult defaultButton);
    // Room beside the title for the title bar's icon and buttons, in pixels.
    static constexpr int kTitleBarRoom = 140;

    // Makes ShellSendKeys("{tab}") post a Tab press to the focused widget
    // (and starts following the screens, as the constructor does).
    static void installKeySender();
    // Keeps the screen the operator was last in, for a message that comes
    // while no window is active (a box just closed, the window manager not
    // yet done): it stands over that screen, not in the middle of the desktop.
    static void followScreens();
};
