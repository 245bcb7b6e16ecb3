#pragma once
// Maturities and statements due: for the holders an annual return of a
// selection reads, the events of their accounts in a period. Beside the
// returns: nothing of them changes.
// - "17th birthday: statement due"
// - "18th birthday: account matures" (no subscription may be taken after)
// - "12 months after maturity: statement due" (the 19th birthday)
// A birthday is the same day and month; one born on 29 February has it on
// 1 March in a common year (dates::birthday: nobody is a year older before
// the whole year has passed, as English law counts it). A holder without a
// date of birth, or with one that is no date, is listed once, "date of birth
// unknown", so that nobody is missed silently.
#include "annual/annualreturn.h"

#include <QDate>
#include <QList>
#include <QString>

namespace maturities {

struct Due {
    QDate day;          // the event's date; invalid for "date of birth unknown"
    QString event;
    QString member, name, niNumber;
    QString dob;        // as the screens show it
    Money balance;      // at the start of the period
};

inline const QString kNothingDue = QStringLiteral("Nothing is due");

// One holder's events in [from, to], by date.
QList<Due> eventsOf(const annual::AnnualReturn::Holder &holder, const QDate &from, const QDate &to);

// Every event in [from, to] of the holders of share account n (or of the
// products, n 0), by date, then member number; the holders whose date of
// birth is unknown last. Refused, with the notice that says why, when the
// products cannot be used or the period is none. Throws DbError.
annual::RunOutcome report(annual::AnnualReturn &run, int n, const QList<annual::ProductItem> &items, const QDate &from, const QDate &to,
                          QList<Due> &due);

// The report as rows of text, the column titles first (the balance's names
// the period's first day), for the screen's grid and the command line.
QList<QStringList> rows(const QList<Due> &due, const QDate &from);
// The rows as CSV: a field quoted where a comma, a quote or a line break
// would split it; lines end in LF.
QByteArray csv(const QList<QStringList> &rows);

} // namespace maturities
