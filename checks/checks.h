#pragma once
// Pre-submission checks: of the entries the next periodic return would take,
// and of what an annual return would write and leave out. What the Revenue
// would reject or what a return would send wrongly, found before the file
// goes. They change no byte of any return and block nothing: the operator
// decides. Each rule and its text stand here once; the command line
// ("ctfadmin check"), the output screen and the annual return screen use them.
#include <QDate>
#include <QList>
#include <QString>
#include <QVariant>
#include <limits>

#include "annual/annualreturn.h"
#include "common/money.h"

class Connection;
class Recordset;

namespace checks {

// One finding: "ID 12: <the problem, and what the return would do>", or
// "Member 1003: ..." for the annual return.
struct Finding {
    QString subject;    // "ID 12", "Member 1003", "Dates"
    QString text;
    QString line() const { return subject + QStringLiteral(": ") + text; }
};

// The columns of one entry that the checks read, as the register holds them.
struct Entry {
    qint64 id = 0;
    QVariant entity, crn, dob, amount, dod, type, ref;
};

// The findings of one entry on its own (everything but duplicates).
QStringList entryProblems(const Entry &e);

// "1 finding", "2 findings": a count and its noun as English has them.
QString counted(qint64 n, const QString &one, const QString &many);

// The outstanding entries, read in the order the return writes them, and
// their findings (duplicates within the return included). Throws DbError.
struct Result {
    int entries = 0;
    QList<Finding> findings;    // all of them, or the first `keep` of them
    int total = 0;              // how many were found
    int withFindings = 0;       // entries or members with at least one
    struct Noun {
        QString one, many;
    } what{QStringLiteral("outstanding entry"), QStringLiteral("outstanding entries")};
    bool refused = false;   // the input was refused (the notices say why); nothing was checked
    QList<Notice> notices;  // for the operator: why the input was refused
    int keep = std::numeric_limits<int>::max();
    int entriesWithFindings() const { return withFindings; }
    // Counts a finding, and keeps it while fewer than `keep` are kept.
    void add(const QString &subject, const QString &text);
    // The last line of the command's output.
    QString summary() const;

private:
    QString m_lastSubject;
};
Result checkOutstanding(Connection &registerConnection);
// The same over rows already read (the output screen's), from the first;
// keeping the first `keep` findings and counting all of them.
Result checkRows(Recordset &rows, int keep = std::numeric_limits<int>::max());

// What an annual return would write and leave out, read as the return reads
// it but written nowhere: members left out (no MemberMain row, no NI
// number, over 18 in the share-account return), members of 18 or more in the
// product return (information), subscriptions above the annual limit in
// force at the end date (a warning: the limit applies per birthday year),
// negative year-end balances, a start after the end, and two-digit years
// that read as 1930 to 1999. shareAccount 1 to 4, or 0 with products. Throws
// DbError.
Result checkAnnual(annual::AnnualReturn &run, int shareAccount, const QList<annual::ProductItem> &products, const QString &startText,
                   const QString &endText);
// The annual subscription limit in force on a day.
Money annualLimit(const QDate &day);
// A member left out of a run, told in words (for the annual screen).
QString leftOutText(const annual::MemberFigures &f);

} // namespace checks
