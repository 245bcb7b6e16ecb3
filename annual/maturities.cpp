#include "annual/maturities.h"

#include "common/dates.h"
#include "common/textfile.h"
#include "platform/userinterface.h"

#include <algorithm>

namespace maturities {

QList<Due> eventsOf(const annual::AnnualReturn::Holder &holder, const QDate &from, const QDate &to)
{
    Due base{QDate(), QString(), holder.member, holder.name, holder.niNumber, dates::shownDayFirst(holder.dob), holder.balance};
    const auto dob = dates::fromVariant(holder.dob);
    if (!dob) {
        base.event = QStringLiteral("date of birth unknown");
        return {base};
    }
    QList<Due> due;
    for (const auto &[years, event] : {std::pair{17, "17th birthday: statement due"}, {18, "18th birthday: account matures"},
                                       {19, "12 months after maturity: statement due"}}) {
        const QDate day = dates::birthday(*dob, years);
        if (day >= from && day <= to) {
            Due d = base;
            d.day = day;
            d.event = QLatin1String(event);
            due << d;
        }
    }
    return due;
}

annual::RunOutcome report(annual::AnnualReturn &run, int n, const QList<annual::ProductItem> &items, const QDate &from, const QDate &to,
                          QList<Due> &due)
{
    due.clear();
    if (!from.isValid() || !to.isValid() || from > to)
        return {annual::Outcome::Refused,
                {{QStringLiteral("The period is not valid: give two dates, day first (DD/MM/YYYY), the first not after the second."),
                  QStringLiteral("Maturities due"), MsgIcon::Critical}}};
    // The balance at the start of the period: at the end of the day before.
    annual::RunOutcome outcome = run.readHolders(n, items, from.addDays(-1), [&](const annual::AnnualReturn::Holder &h) {
        due += eventsOf(h, from, to);
    });
    std::stable_sort(due.begin(), due.end(), [](const Due &a, const Due &b) {
        if (a.day.isValid() != b.day.isValid())
            return a.day.isValid();
        if (a.day != b.day)
            return a.day < b.day;
        return a.member.toLongLong() < b.member.toLongLong();
    });
    return outcome;
}

QList<QStringList> rows(const QList<Due> &due, const QDate &from)
{
    QList<QStringList> all{{QStringLiteral("Date"), QStringLiteral("Event"), QStringLiteral("Member"), QStringLiteral("Name"),
                            QStringLiteral("NI number"), QStringLiteral("Date of birth"),
                            QStringLiteral("Balance at %1").arg(dates::dayFirst(from))}};
    for (const Due &d : due)
        all.append({d.day.isValid() ? dates::dayFirst(d.day) : QString(), d.event, d.member, d.name, d.niNumber, d.dob,
                    d.balance.roundedTo2().format2()});
    return all;
}

QByteArray csv(const QList<QStringList> &rows)
{
    QByteArray text;
    for (const QStringList &row : rows) {
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (c)
                text += ',';
            text += textfile::csvField(row[c]);
        }
        text += '\n';
    }
    return text;
}

} // namespace maturities
