#pragma once
// The maintenance workflow without widgets: the register and member
// connections, the Control read, the look-ups by URN and by ID, the data of
// the entry found, save, delete and the member look-up. What the screen
// shows and offers is in entryscreen.h; the screen keeps the focus rules and
// the mapping between its fields and an entry; the statements are sent exactly as the screen has
// always built them.
//
// Choices made so that the operator loses nothing:
// - When the member database is not available, saving an existing entry
//   keeps the member number it had (a new entry gets 0).
// - A save or delete that fails (the row changed since it was read, a value
//   the column refuses, a database that went away) throws DbError and changes
//   nothing, so the screen can keep the entry on screen.
#include "data/connection.h"
#include "data/recordset.h"

#include <QDate>
#include <QString>
#include <optional>

namespace maint {

// The credit union's name and the year end being processed, "dd/mm/yyyy".
struct ControlInfo {
    QString cuname;
    QString yearEnd;
};

// The entry found, as the screen shows it.
struct Entry {
    QString entity;                 // as stored, empty for Null
    QString id;
    QString crn;
    QString memberNo;               // the stored number as text
    std::optional<QDate> dob;       // when it is a valid date
    QString amount;                 // plain number text, "0" for Null
    std::optional<int> typeCode;    // LeadingNumber of a Type that is not Null or empty
    bool sent = false;              // RecordOutput
    QString periodEndSent;
};

// What the operator left in the fields, for a save.
struct EntryInput {
    QString crn;                    // the URN as shown
    QString entity;                 // the kind box text
    QString memberNo;               // the member number text (empty without the member database)
    QString dob;                    // the date field's displayed text
    QString amount;                 // the amount text
    std::optional<int> typeCode;    // the selected type entry, if any
    bool sent = false;
};

struct Member {
    QString name;                   // Forename, one space, Surname
    std::optional<QDate> dob;
};

class EntryMaintenance {
public:
    EntryMaintenance() = default;
    ~EntryMaintenance() { close(); }
    EntryMaintenance(const EntryMaintenance &) = delete;
    EntryMaintenance &operator=(const EntryMaintenance &) = delete;

    // Opens the register; throws DbError.
    void openRegister(const QString &ctfConnectionString);
    // Opens the member database; a failure is not an error: the screen then
    // works without member numbers and names.
    bool openMemberDatabase(const QString &memberConnectionString);
    bool memberDbOpen() const { return m_memberDbOpen; }
    // The first Control row; nothing when there is none or it cannot be read.
    std::optional<ControlInfo> readControl();

    // Look-ups: true when an entry was found; it is then the current entry
    // and on file. When none is found a save adds a new row. Throw DbError.
    bool findByUrn(const QString &urn);
    bool findById(double id);
    Entry entry() const;
    bool recordOnFile() const { return m_recordOnFile; }
    // The detail fields were emptied: a delete no longer removes anything.
    void forgetEntry() { m_recordOnFile = false; }
    bool entryOpen() const { return m_rsEntry.isOpen(); }

    // The member's name for the entry shown; nothing when not found. Throws DbError.
    std::optional<QString> memberName(double memberNo);
    // The member look-up of the member number field. Throws DbError.
    std::optional<Member> lookUpMember(double memberNo);

    // Writes the fields into the current entry, or into a new row when the
    // look-up found none. Throws DbError, and then nothing is written.
    void save(const EntryInput &input);
    // Deletes the entry when it is on file; a new entry is simply dropped.
    void deleteEntry();

    // The closing steps: results first, then the connections.
    void close();

    Connection &registerConnection() { return m_cnCTF; }
    Connection &memberConnection() { return m_cnMember; }

private:
    bool lookUp(const QString &statement);

    Connection m_cnMember;
    Connection m_cnCTF;
    Recordset m_rsEntry;
    Recordset m_rsMember;
    Recordset m_rsControl;
    bool m_memberDbOpen = false;
    bool m_recordOnFile = false;
};

} // namespace maint
