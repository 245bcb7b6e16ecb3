#pragma once
// The register's history, kept in the register file itself.
//
// Triggers on ChildTrustFunds copy an entry's values before and after every
// insert, change and delete into EntryHistory, in the statement's own
// transaction, so the history and the entries never disagree. This program
// names each change first (who, when, through what) in RegisterChanges,
// marked Active while it writes; the triggers file their rows under the
// active change. A change made by another program (sqlite3, a script of the
// office's) finds none active and is recorded with no change named:
// "another program", at the time the trigger ran. The triggers call nothing
// but datetime(), which every SQLite has, so those programs go on working.
//
// A register made before the history gains its tables and triggers in the
// transaction of its first change; reading never changes a file.
#include "data/connection.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

namespace history {

// What a change was made through, as the history shows it.
inline constexpr const char *kSave = "maintenance screen: save";
inline constexpr const char *kCreate = "maintenance screen: create";
inline constexpr const char *kDelete = "maintenance screen: delete";
inline constexpr const char *kReturn = "periodic return";
inline constexpr const char *kPutBack = "put-back of an interrupted return";
inline constexpr const char *kImport = "import-register";
inline constexpr const char *kRestore = "restore";
inline constexpr const char *kOtherProgram = "another program";

// The entry's columns the history keeps, before and after.
const QStringList &columns();

// The tables and triggers, made when missing. Inside the caller's transaction.
void ensure(Connection &c);
// The statements that make them (or bring the first builds' up to date),
// for a file written without a Connection (a restore).
QStringList schemaStatements();
// The columns with a prefix: "OldEntity, OldCRN, ...", "n.Entity, n.CRN, ...".
QString columnList(const QString &prefix);
// Whether any column of an entry differs between two prefixes ("OLD.", "NEW.").
QString anyDiffers(const QString &was, const QString &now);
// "INSERT INTO EntryHistory (..., <valueColumns>) SELECT <the active change>,
// <the times>, ": rows written as the triggers write them, the statement
// going on with the entry's ID, the action and the values.
QString insertSelectHead(const QString &valueColumns);

// One named change. begin() inside a write transaction: every row changed
// until end() (before the commit) is filed under it. A run over several
// transactions (the return's groups) begins the same change again in each;
// when another change came between, it takes a new ID as the newest.
class Change {
public:
    Change(Connection &c, QString through, QString detail);
    void begin();
    void end();
    // Before one UPDATE of the caller's that sets RecordOutput 1 and the
    // PeriodEndSent and SentRef given on the rows named (a JSON array of
    // rowids): their history written in one statement. The change stays
    // so until end().
    void marking(const QString &jsonRowids, const QVariant &periodEndSent, const QString &sentRef);
    qint64 id() const { return m_id; }

private:
    Connection &m_c;
    QString m_through, m_detail;
    qint64 m_id = -1;
    qint64 m_seqBefore = 0; // the history's last row before this change
};

// A change in a transaction of its own: commit() ends and commits it; left
// without, it is rolled back (nothing changed, nothing recorded).
class Scope {
public:
    Scope(Connection &c, const QString &through, const QString &detail = {});
    ~Scope();
    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;
    void commit();

private:
    Connection &m_c;
    Change m_change;
    bool m_open = false;
};

// The user and the machine a change is made by.
QString userName();
QString machineName();

struct Row {
    qint64 seq = 0;
    QString localTime, utc, user, machine, through, detail;
    qint64 entryId = 0;
    QString action;                 // "added", "changed", "deleted"
    QVariantList before, after;     // columns(), in order; empty where none
};
struct Filter {
    std::optional<qint64> id;
    QString urn;                    // entries that ever held it
    std::optional<QDate> since;     // local date, inclusive
};
// Whether the register in the connection's schema ("main", or one attached)
// keeps a history yet.
bool kept(Connection &c, const QString &schema = QStringLiteral("main"));
// Newest first; empty when the register has no history yet.
QList<Row> read(Connection &c, const Filter &f);
// The same from the office's register, opened read-only for it: reading the
// history never changes the register. Throws DbError.
QList<Row> readRegister(const Filter &f);

// A row's parts as shown: who ("user@machine"), through what (with the
// detail), and what changed ("entry 5 changed: Amount "0" -> "99"").
QString who(const Row &r);
QString through(const Row &r);
QString what(const Row &r);
// The rows as the command line prints them, and as CSV (a header line, then
// one line per row).
QString text(const QList<Row> &rows);
QString csv(const QList<Row> &rows);

} // namespace history
