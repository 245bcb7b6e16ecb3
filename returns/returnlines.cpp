#include "returns/returnlines.h"

#include "common/dates.h"
#include "common/money.h"
#include "platform/pathmapper.h"

#include <QFile>

namespace returns {

QString logFileName(const QDate &periodEnd, const QTime &startTime)
{
    return QStringLiteral("C:\\temp\\QD") + periodEnd.toString(QStringLiteral("ddMMyyyy")) + QLatin1Char('-')
        + startTime.toString(QStringLiteral("hhmm")) + QStringLiteral(".log");
}

QString headerLine(const QString &periodEndText)
{
    const std::optional<QDate> periodEnd = dates::parse(periodEndText);
    return QStringLiteral("Header|") + (periodEnd ? dates::returnForm(*periodEnd) : periodEndText);
}

QString crnField(const QVariant &crn)
{
    QString field(9, QLatin1Char(' '));
    if (!crn.isNull())
        field = crn.toString().left(9).leftJustified(9, QLatin1Char(' '));
    return field;
}

namespace {

QString text(const QVariant &v) { return v.isNull() ? QString() : v.toString(); }

// A date field: day-first text (or a date) as "yyyy/mm/dd". Text that is no
// date is written as it stands, since the file knows no other form.
QString dateField(const QVariant &v)
{
    if (const auto d = dates::fromVariant(v))
        return dates::returnForm(*d);
    return text(v);
}

QString amountField(const QVariant &v)
{
    if (v.isNull())
        return {};
    return Money::fromVariant(v).format2();
}

} // namespace

EntryColumns::EntryColumns(const Recordset &r)
    : entity(r.columnIndex(QStringLiteral("Entity"))), crn(r.columnIndex(QStringLiteral("CRN"))),
      dob(r.columnIndex(QStringLiteral("DOB"))), amount(r.columnIndex(QStringLiteral("Amount"))),
      type(r.columnIndex(QStringLiteral("Type"))), ref(r.columnIndex(QStringLiteral("Ref"))),
      dod(r.columnIndex(QStringLiteral("DOD")))
{
}

QString entryLine(const Recordset &r, const EntryColumns &c)
{
    const QString kind = text(r.value(c.entity)).toUpper();
    // One text, appended to in place: this runs for every entry of a return.
    QString line;
    line.reserve(64);
    const auto start = [&](QLatin1StringView name) {
        line += name;
        line += QLatin1Char('|');
        line += crnField(r.value(c.crn));
        line += QLatin1Char('|');
        line += dateField(r.value(c.dob));
    };
    const auto then = [&](const QString &field) {
        line += QLatin1Char('|');
        line += field;
    };
    if (kind == QLatin1StringView("VOUCHER")) {
        start(QLatin1StringView("Voucher"));
        then(amountField(r.value(c.amount)));
    } else if (kind == QLatin1StringView("RAA")) {
        start(QLatin1StringView("RAA"));
        then(amountField(r.value(c.amount)));
        then(QString());
    } else if (kind == QLatin1StringView("ENDOWMENT")) {
        start(QLatin1StringView("Endowment"));
        then(amountField(r.value(c.amount)));
        then(text(r.value(c.type)));
        then(text(r.value(c.ref)));
    } else if (kind == QLatin1StringView("CHILDDEATH")) {
        start(QLatin1StringView("ChildDeath"));
        then(dateField(r.value(c.dod)));
    } else if (kind == QLatin1StringView("TRANSFEREDIN")) {
        start(QLatin1StringView("TransferedIn"));
    } else if (kind == QLatin1StringView("EXCEPTION")) {
        start(QLatin1StringView("Exception"));
        then(text(r.value(c.type)));
        then(text(r.value(c.ref)));
    } else {
        return {};
    }
    return line;
}

bool holdsEntries(const QString &windowsPath)
{
    QFile f(pathmapper::toHost(windowsPath));
    if (!f.open(QIODevice::ReadOnly))
        return true;
    const QList<QByteArray> lines = f.read(4096).split('\n');
    return lines.size() > 1 && !lines[1].trimmed().isEmpty() && lines[1].trimmed() != "NilReturn";
}

} // namespace returns
