#include "checks/checks.h"

#include "common/dates.h"
#include "common/money.h"
#include "common/textfile.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "register/entrycodes.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

namespace checks {
namespace {
QString text(const QVariant &v) { return v.isNull() ? QString() : v.toString(); }

// What the URN field's mask (">AA999999a") lets through: two letters or
// digits, six digits, and a last letter or digit or none. Checked by hand:
// it runs for every outstanding entry whenever the output screen opens.
bool urnForm(const QString &urn)
{
    const auto digit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    const auto letterOrDigit = [&](QChar c) { return digit(c) || (c >= u'A' && c <= u'Z'); };
    if (urn.size() != 8 && urn.size() != 9)
        return false;
    for (qsizetype i = 0; i < urn.size(); ++i)
        if (!(i >= 2 && i < 8 ? digit(urn[i]) : letterOrDigit(urn[i])))
            return false;
    return true;
}

// Children born in this window have a Child Trust Fund.
const QDate kFirstBirth(2002, 9, 1);
const QDate kLastBirth(2011, 1, 2);
} // namespace

// Every rule an entry is checked against, in the order the findings are
// listed: a list of short independent tests.
QStringList entryProblems(const Entry &e)
{
    QStringList found;
    const QString kind = text(e.entity);
    QString canonical;
    for (const QString &k : entrycodes::kinds())
        if (k.size() == kind.size() && k.compare(kind, Qt::CaseInsensitive) == 0)
            canonical = k;
    if (canonical.isEmpty()) {
        found << QStringLiteral("the kind \"%1\" is none of the six kinds; the return would mark the entry as sent without writing "
                                "a line for it.").arg(kind);
    }
    const QString crn = text(e.crn);
    if (!urnForm(crn))
        found << QStringLiteral("the URN \"%1\" is not what the URN field takes (two letters or digits, six digits and an optional "
                                "letter, as AB123456C); the return would send it as it stands.").arg(crn);
    const QString dobText = text(e.dob);
    const auto dob = dates::fromVariant(e.dob);
    if (dobText.trimmed().isEmpty())
        found << QStringLiteral("the date of birth is missing; the return would send an empty date.");
    else if (!dob)
        found << QStringLiteral("the date of birth \"%1\" is not a date; the return would send it as it stands.").arg(dobText);
    else if (*dob < kFirstBirth || *dob > kLastBirth)
        found << QStringLiteral("the date of birth %1 is outside the CTF eligibility window (born 1 September 2002 to 2 January "
                                "2011).").arg(dates::dayFirst(*dob));
    if (canonical == QStringLiteral("Voucher") || canonical == QStringLiteral("RAA") || canonical == QStringLiteral("Endowment")) {
        const auto amount = Money::read(e.amount);
        if (e.amount.isNull())
            found << QStringLiteral("a %1 without an amount; the return would send an empty amount.").arg(canonical);
        else if (!amount)
            found << QStringLiteral("the amount \"%1\" is not an amount of money.").arg(text(e.amount));
        else if (amount->units() <= 0)
            found << QStringLiteral("the amount %1 of a %2 is not more than 0.").arg(amount->format2(), canonical);
        else if (amount->units() % 100 != 0)
            found << QStringLiteral("the amount %1 has more than two decimals; the return would send %2.")
                         .arg(amount->plain(), amount->roundedTo2().format2());
    }
    // Type and Ref go into the Endowment's and the Exception's lines alone,
    // unchanged: each is judged as it is stored.
    const bool typeAndRef = canonical == QStringLiteral("Endowment") || canonical == QStringLiteral("Exception");
    if (typeAndRef) {
        const QString type = text(e.type);
        bool known = false;
        for (const entrycodes::TypeCode &t : entrycodes::typesFor(canonical))
            known = known || type == QString::number(t.code);
        if (type.isEmpty())
            found << QStringLiteral("an %1 without a type; the return would send an empty type.").arg(canonical);
        else if (!known)
            found << QStringLiteral("the type \"%1\" is not one of the %2 types' codes as it stands; the return would send it "
                                    "unchanged.").arg(type, canonical.toLower());
    }
    if (canonical == QStringLiteral("ChildDeath")) {
        const QString dodText = text(e.dod);
        const auto dod = dates::fromVariant(e.dod);
        if (dodText.trimmed().isEmpty())
            found << QStringLiteral("a ChildDeath without a date of death: the return sends its line with an empty date, as the "
                                    "maintenance screen records none (information).");
        else if (!dod)
            found << QStringLiteral("the date of death \"%1\" is not a date; the return would send it as it stands.").arg(dodText);
        else if (dob && *dod < *dob)
            found << QStringLiteral("the date of death %1 is before the date of birth %2.").arg(dates::dayFirst(*dod), dates::dayFirst(*dob));
    }
    for (const auto &[name, value] : {std::pair{QStringLiteral("Type"), text(e.type)}, std::pair{QStringLiteral("Ref"), text(e.ref)}}) {
        if (typeAndRef && (value.contains(QLatin1Char('|')) || value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n'))))
            found << QStringLiteral("the %1 holds a \"|\" or a line break, which would break the return's layout.").arg(name);
        if (const QString missing = textfile::notInCodePage(value); typeAndRef && !missing.isEmpty())
            found << QStringLiteral("the %1 holds \"%2\", which the return's character set (Windows-1252) lacks; the return would "
                                    "send \"?\" for each.").arg(name, missing);
    }
    return found;
}

void Result::add(const QString &subject, const QString &text)
{
    ++total;
    if (subject != m_lastSubject && subject != QStringLiteral("Dates"))
        ++withFindings;
    m_lastSubject = subject;
    if (findings.size() < keep)
        findings << Finding{subject, text};
}

QString counted(qint64 n, const QString &one, const QString &many) { return QString::number(n) + QLatin1Char(' ') + (n == 1 ? one : many); }

QString Result::summary() const
{
    const QString checked = counted(entries, what.one, what.many);
    if (total == 0)
        return QStringLiteral("No findings in %1.").arg(checked);
    return QStringLiteral("%1 in %2 of %3.").arg(counted(total, QStringLiteral("finding"), QStringLiteral("findings"))).arg(withFindings).arg(checked);
}

Result checkOutstanding(Connection &c)
{
    Recordset rs;
    rs.open(QStringLiteral("SELECT * FROM ChildTrustFunds WHERE RecordOutput = False ORDER BY Entity, CRN;"), c);
    return checkRows(rs);
}

Result checkRows(Recordset &rs, int keep)
{
    Result result;
    result.keep = keep;
    // Column positions found once, not by name on every row.
    const auto at = [&rs](const char *name) { return rs.columnIndex(QLatin1String(name)); };
    const int id = at("ID"), entity = at("Entity"), crn = at("CRN"), dob = at("DOB"), amountAt = at("Amount"), dod = at("DOD"),
              type = at("Type"), ref = at("Ref");
    QHash<QString, qint64> firstOf; // URN, kind and amount -> the first entry that has them
    QString key;
    for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
        if (result.entries++ == 0)
            firstOf.reserve(rs.recordCount()); // 0 for a result read as it streams
        Entry e;
        e.id = rs.value(id).toLongLong();
        e.entity = rs.value(entity);
        e.crn = rs.value(crn);
        e.dob = rs.value(dob);
        e.amount = rs.value(amountAt);
        e.dod = rs.value(dod);
        e.type = rs.value(type);
        e.ref = rs.value(ref);
        for (const QString &problem : entryProblems(e))
            result.add(QStringLiteral("ID %1").arg(e.id), problem);
        const auto amount = Money::read(e.amount);
        key = text(e.crn).toUpper();
        key += QLatin1Char('|');
        key += text(e.entity).toUpper();
        key += QLatin1Char('|');
        key += amount ? amount->plain() : text(e.amount);
        const qsizetype before = firstOf.size();
        qint64 &first = firstOf[key]; // one look-up whether or not the key is there
        if (firstOf.size() > before)
            first = e.id;
        else
            result.add(QStringLiteral("ID %1").arg(e.id), QStringLiteral("the same URN, kind and amount as ID %1; the child would be sent "
                                                                         "twice in this return.").arg(first));
    }
    return result;
}

Money annualLimit(const QDate &day)
{
    struct Limit {
        QDate from;
        qint64 pounds;
    };
    static const Limit limits[] = {{QDate(2020, 4, 6), 9000}, {QDate(2019, 4, 6), 4368}, {QDate(2018, 4, 6), 4260},
                                   {QDate(2017, 4, 6), 4128}, {QDate(2015, 4, 6), 4080}, {QDate(2014, 7, 1), 4000},
                                   {QDate(2014, 4, 6), 3840}, {QDate(2013, 4, 6), 3720}, {QDate(2011, 11, 1), 3600},
                                   {QDate(2005, 4, 6), 1200}};
    for (const Limit &l : limits)
        if (day >= l.from)
            return Money::fromUnits(l.pounds * 10000);
    return Money::fromUnits(1200 * 10000);
}

QString leftOutText(const annual::MemberFigures &f)
{
    switch (f.leftOut) {
    case annual::LeftOut::NoMemberRow: return QStringLiteral("has no MemberMain row, so the return leaves the member out.");
    case annual::LeftOut::NoReference: return QStringLiteral("has no NI number (the reference), so the return leaves the member out.");
    case annual::LeftOut::Over18: return QStringLiteral("is over 18 at the end date, so the return leaves the member out.");
    case annual::LeftOut::No: break;
    }
    return {};
}

Result checkAnnual(annual::AnnualReturn &run, int shareAccount, const QList<annual::ProductItem> &products, const QString &startText,
                   const QString &endText)
{
    Result result;
    result.what = {QStringLiteral("member"), QStringLiteral("members")};
    const auto start = dates::parse(startText);
    const auto end = dates::parse(endText);
    for (const auto &[name, text, day] : {std::tuple{QStringLiteral("start"), startText, start}, std::tuple{QStringLiteral("end"), endText, end}}) {
        static const QRegularExpression twoDigits(QStringLiteral("^\\s*\\d{1,2}/\\d{1,2}/(\\d{2})\\s*$"));
        const auto m = twoDigits.match(text);
        if (day && m.hasMatch() && m.captured(1).toInt() >= 30)
            result.add(QStringLiteral("Dates"), QStringLiteral("the %1 date %2 reads as %3 (two-digit years 30 to 99 are "
                                                                               "19yy); almost surely a slip.")
                                                                    .arg(name, text.trimmed(), dates::dayFirst(*day)));
    }
    if (start && end && *start > *end)
        result.add(QStringLiteral("Dates"), QStringLiteral("the start date %1 is after the end date %2; no transaction "
                                                                           "counts as a subscription.")
                                                                .arg(dates::dayFirst(*start), dates::dayFirst(*end)));
    const Money limit = end ? annualLimit(*end) : Money();
    const auto each = [&](const annual::MemberFigures &f) {
        ++result.entries;
        const QString who = QStringLiteral("Member ") + f.member;
        // The account matures at 18: a subscription taken after the 18th
        // birthday is to be returned, whether or not the return reports the
        // member (the share account leaves out those over 18).
        if (f.dob)
            for (const annual::MemberFigures::Subscription &s : f.subscriptionDays)
                if (s.day && *s.day > dates::birthday(*f.dob, 18))
                    result.add(who, QStringLiteral("a subscription of %1 on %2, after the 18th birthday on %3: the account had "
                                                   "matured, so it is to be returned (warning).")
                                        .arg(s.amount.roundedTo2().format2(), dates::dayFirst(*s.day), dates::dayFirst(dates::birthday(*f.dob, 18))));
        if (f.leftOut != annual::LeftOut::No) {
            result.add(who, leftOutText(f));
            return;
        }
        if (!f.dobNotADate.isEmpty())
            result.add(who, QStringLiteral("has the date of birth \"%1\" in MemberMain, which is not a date, so no age test is "
                                           "made and the return reports the member; put the date right in Tarnwell (warning).")
                                .arg(f.dobNotADate));
        if (shareAccount == 0 && f.dob && end && dates::yearsOld(*f.dob, *end) >= 18)
            result.add(who, QStringLiteral("is 18 or more at the end date (born %1); the product return still reports "
                                                           "the account (information).").arg(dates::dayFirst(*f.dob)));
        if (end && f.subscriptions > limit)
            result.add(who, QStringLiteral("subscriptions of %1 in the period are above the annual limit of %2 in force "
                                                           "on %3; the limit applies per birthday year, so check the member's year "
                                                           "(warning).")
                                                .arg(f.subscriptions.format2(), limit.format2(), dates::dayFirst(*end)));
        if (f.balance < Money())
            result.add(who, QStringLiteral("the year-end balance is %1.").arg(f.balance.roundedTo2().format2()));
    };
    const annual::RunOutcome read = run.readMembers(shareAccount, products, startText, endText, each);
    result.refused = read.result == annual::Outcome::Refused;
    result.notices = read.notices;
    return result;
}

} // namespace checks
