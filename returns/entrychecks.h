#pragma once
// Pre-submission checks of the entries the next periodic return would take:
// what the Revenue would reject or what the return would send wrongly,
// found before the file goes. They change no byte of any return and block
// nothing: the operator decides. Each rule and its text stand here once;
// the command line ("ctfadmin check") and the output screen use them.
#include <QDate>
#include <QList>
#include <QString>
#include <QVariant>

class Connection;
class Recordset;

namespace checks {

// One finding: "ID 12: <the problem, and what the return would do>".
struct Finding {
    qint64 id = 0;
    QString text;
    QString line() const { return QStringLiteral("ID %1: %2").arg(id).arg(text); }
};

// The columns of one entry that the checks read, as the register holds them.
struct Entry {
    qint64 id = 0;
    QVariant entity, crn, dob, amount, dod, type, ref;
};

// The findings of one entry on its own (everything but duplicates).
QStringList entryProblems(const Entry &e);

// The outstanding entries, read in the order the return writes them, and
// their findings (duplicates within the return included). Throws DbError.
struct Result {
    int entries = 0;
    QList<Finding> findings;
    int entriesWithFindings() const;
    // The last line of the command's output.
    QString summary() const;
};
Result checkOutstanding(Connection &registerConnection);
// The same over rows already read (the output screen's), from the first.
Result checkRows(Recordset &rows);

} // namespace checks
