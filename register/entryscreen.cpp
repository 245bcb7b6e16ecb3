#include "register/entryscreen.h"

#include "register/entrycodes.h"

namespace maint {

void EntryScreenState::keyFieldFocused()
{
    m_buttons.save = false;
    m_buttons.del = false;
    m_buttons.view = true;
    m_buttons.exit = true;
}

void EntryScreenState::lookUpStarted()
{
    m_buttons.save = true;
    m_buttons.del = true;
    m_buttons.view = false;
    m_buttons.exit = false;
}

void EntryScreenState::found()
{
    m_shown = Shown::Found;
    m_buttons.deleteCaption = QStringLiteral("&Delete");
    m_buttons.del = true;
}

void EntryScreenState::createAnswered(bool fromUrn)
{
    m_shown = fromUrn ? Shown::NewFromUrn : Shown::NewFromId;
    m_buttons.deleteCaption = QStringLiteral("&Reject");
}

void EntryScreenState::noAnswered()
{
    m_shown = Shown::Nothing;
    keyFieldFocused();
}

bool EntryScreenState::urnLeftWithIdFilled()
{
    if (m_shown != Shown::NewFromId)
        return false;
    lookUpStarted();
    m_buttons.deleteCaption = QStringLiteral("&Reject");
    return true;
}

int EntryScreenState::kindIndex(const QStringList &kinds, const QString &entity)
{
    if (entity.isEmpty())
        return -1;
    for (int i = 0; i < kinds.size(); ++i)
        if (kinds[i].left(3) == entity.left(3))
            return i;
    return -1;
}

QString EntryScreenState::nameOfEntryMember(const std::optional<QString> &name) { return name.value_or(QStringLiteral("not known")); }
QString EntryScreenState::nameOfTypedMember(const std::optional<QString> &name) { return name.value_or(QStringLiteral("Not known")); }

QString EntryScreenState::memberNumberToSave(const QString &fieldText, bool memberDbOpen)
{
    return memberDbOpen ? fieldText : QString();
}

EntryScreenState::FocusAfterAnswer EntryScreenState::focusAfterAnswer(bool create, bool fromUrn)
{
    if (create && fromUrn)
        return FocusAfterAnswer::KindBox;
    return create || fromUrn ? FocusAfterAnswer::Urn : FocusAfterAnswer::Id;
}

bool EntryScreenState::asksForType(const QString &kind, bool typeChosen)
{
    return !entrycodes::typesFor(kind).isEmpty() && !typeChosen;
}

} // namespace maint
