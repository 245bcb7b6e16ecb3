#include "scriptedui.h"

MsgResult ScriptedUi::showMessage(const QString &text, const QString &title, MsgIcon icon, MsgButtons buttons, MsgResult defaultButton)
{
    messages.append({text, title, icon, buttons, defaultButton});
    if (buttons == MsgButtons::YesNo)
        return answers.isEmpty() ? MsgResult::Yes : answers.dequeue();
    return MsgResult::Ok;
}

namespace {
QString seenLine(MsgIcon icon, const QString &title, const QString &text)
{
    static const char *const icons[] = {"None", "Information", "Exclamation", "Critical", "Question"};
    return QStringLiteral("%1 | %2 | %3").arg(QLatin1String(icons[int(icon)]), title, text);
}
} // namespace

QString RecordedMessage::seen() const { return seenLine(icon, title, text); }

QStringList seen(const QList<Notice> &notices)
{
    QStringList all;
    for (const Notice &n : notices)
        all << seenLine(n.icon, n.title, n.text);
    return all;
}

QStringList ScriptedUi::seen() const
{
    QStringList all;
    for (const RecordedMessage &m : messages)
        all << m.seen();
    return all;
}

QString ScriptedUi::openFile(const OpenFileRequest &request)
{
    fileRequests.append(request);
    return fileToOpen;
}

bool ScriptedUi::startProgram(const QString &commandLine, WindowStyle style)
{
    launches << commandLine;
    launchStyles << style;
    return launchSucceeds;
}

ScriptedUiScope::ScriptedUiScope()
{
    auto scripted = std::make_unique<ScriptedUi>();
    m_ui = scripted.get();
    m_previous = ui::install(std::move(scripted));
}

ScriptedUiScope::~ScriptedUiScope() { ui::install(std::move(m_previous)); }
