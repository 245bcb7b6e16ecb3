#pragma once
// The user interface for tests: records every message (text, title, icon,
// buttons) and every program launch, and gives the answers a test sets.
#include "platform/userinterface.h"

#include <QList>
#include <QQueue>
#include <QStringList>

struct RecordedMessage {
    QString text;
    QString title;
    MsgIcon icon;
    MsgButtons buttons;
    MsgResult defaultButton;
    // "Information | title | text": one comparison pins what the operator saw.
    QString seen() const;
};

// The same of the notices a component gives back.
QStringList seen(const QList<Notice> &notices);

class ScriptedUi : public UserInterface {
public:
    MsgResult showMessage(const QString &text, const QString &title, MsgIcon icon, MsgButtons buttons, MsgResult defaultButton) override;
    QString openFile(const OpenFileRequest &request) override;
    QString saveFile(const OpenFileRequest &request) override
    {
        fileRequests.append(request);
        return fileToSave;
    }
    bool startProgram(const QString &commandLine, WindowStyle style) override;
    bool openDocument(const QString &windowsPath) override
    {
        launches << QStringLiteral("open ") + windowsPath;
        launchStyles << WindowStyle::Normal;
        return launchSucceeds;
    }
    void setBusy(bool busy) override
    {
        busyNow = busy;
        busyTimes += busy ? 1 : 0;
    }
    bool progress(const QString &what, int percent) override
    {
        if (percent >= 0)
            progressShown << what;
        return percent < 0 || !cancelProgress;
    }

    QList<RecordedMessage> messages;
    // seen() of every message, in order.
    QStringList seen() const;
    const QString &lastText() const { return messages.last().text; }
    QQueue<MsgResult> answers;        // for questions; Yes when empty
    QString fileToOpen;               // what the open-file dialog gives back
    QString fileToSave;               // what the save-file dialog gives back
    QList<OpenFileRequest> fileRequests;
    QStringList launches;
    QList<WindowStyle> launchStyles;
    bool launchSucceeds = true;
    bool busyNow = false;
    int busyTimes = 0;                // how often the busy pointer was put up
    bool cancelProgress = false;      // the operator's Cancel on a progress dialog
    QStringList progressShown;        // the progress texts, in order
};

// Installs a ScriptedUi for the life of the object.
class ScriptedUiScope {
public:
    ScriptedUiScope();
    ~ScriptedUiScope();
    ScriptedUi &ui() { return *m_ui; }

private:
    ScriptedUi *m_ui;
    std::unique_ptr<UserInterface> m_previous;
};
