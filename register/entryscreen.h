#pragma once
// What the maintenance screen shows and offers, without its widgets: the
// life of an entry on it (nothing shown, an entry found, a new entry begun
// from the URN or from the ID), the buttons' states and the Delete button's
// caption, and the texts the screen shows for members. The screen sets its
// widgets from this; tests check it without any widget.
#include <QString>
#include <QStringList>
#include <optional>

namespace maint {

enum class Shown { Nothing, Found, NewFromUrn, NewFromId };

struct ButtonStates {
    bool save = false;
    bool del = false;
    bool view = true;
    bool exit = true;
    QString deleteCaption = QStringLiteral("&Delete");
    bool operator==(const ButtonStates &) const = default;
};

class EntryScreenState {
public:
    // A key field's focus rule: Save and Delete off, View and Exit on.
    void keyFieldFocused();
    // The detail fields were emptied: nothing is shown any more.
    void cleared() { m_shown = Shown::Nothing; }
    // A look-up runs: Save and Delete on, View and Exit off.
    void lookUpStarted();
    // The look-up could not be made: as before it.
    void lookUpFailed() { keyFieldFocused(); }
    void found();
    // The answer to "Record not on file - Create?".
    void createAnswered(bool fromUrn);
    void noAnswered();
    // The URN field was left while the ID field holds a number: a new entry
    // begun from the ID goes on as a new entry (true); anything else stays.
    bool urnLeftWithIdFilled();

    // Where the focus goes once "Record not on file - Create?" is answered:
    // the kind box for a new entry begun from the URN, the URN field for one
    // begun from the ID or a No from the URN, the ID field for a No from the ID.
    enum class FocusAfterAnswer { KindBox, Urn, Id };
    static FocusAfterAnswer focusAfterAnswer(bool create, bool fromUrn);
    // Whether a save asks first "This type of entity usually requires a type
    // ...": the kind reads exactly Endowment or Exception and no type is chosen.
    static bool asksForType(const QString &kind, bool typeChosen);

    Shown shown() const { return m_shown; }
    const ButtonStates &buttons() const { return m_buttons; }

    // The kind in the list whose first three characters are those of the
    // stored kind (letter case counts); -1 when none matches or it is empty.
    static int kindIndex(const QStringList &kinds, const QString &entity);
    // The name beside the member number: of the entry shown ("not known"
    // when the member is not found), or of a number typed ("Not known").
    static QString nameOfEntryMember(const std::optional<QString> &name);
    static QString nameOfTypedMember(const std::optional<QString> &name);
    // The member number field without the member database.
    static QString noMemberDatabaseText() { return QStringLiteral("Not in use"); }
    // What a save takes from the member number field: nothing without the
    // member database (the field then only says so).
    static QString memberNumberToSave(const QString &fieldText, bool memberDbOpen);

private:
    Shown m_shown = Shown::Nothing;
    ButtonStates m_buttons;
};

} // namespace maint
