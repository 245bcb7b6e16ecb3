#include "annual/annualreturn.h"

#include "data/connectionstrings.h"
#include "data/sqldialect.h"
#include "platform/officeroot.h"
#include "common/besidefile.h"
#include "common/ctfmodules.h"
#include "common/dates.h"
#include "common/error.h"
#include "common/textfile.h"
#include "data/accessfile.h"
#include "data/recordset.h"
#include "platform/pathmapper.h"
#include "platform/userinterface.h"
#include <QFileInfo>

#include <QRegularExpression>

#include <cmath>
#include <utility>

namespace annual {

QString referenceField(const QVariant &ni)
{
    const QString t = ni.isNull() ? QString() : ni.toString();
    return t.left(9).leftJustified(9, QLatin1Char(' '));
}

QString accountRecord(const QString &ref9, Money balance, Money subscriptions)
{
    return QStringLiteral("Account|") + ref9 + QStringLiteral("|2|y|") + balance.format2() + QStringLiteral("|0.00|")
        + subscriptions.format2();
}

Money subscriptionValue(const QVariant &tranValue, const QVariant &narrative)
{
    // The value as its "###0.00" text reads back: rounded to two decimals.
    const Money value = Money::fromVariant(tranValue).roundedTo2();
    if (!narrative.isNull()) {
        const QString upper = narrative.toString().toUpper();
        for (const char *word : {"VOU", "ENDOW", "DIV", "INTEREST"})
            if (upper.contains(QLatin1String(word)))
                return Money();
    }
    return value;
}

QString productCode(const QString &itemText)
{
    const qsizetype dash = itemText.indexOf(QLatin1Char('-'));
    if (dash < 0)
        return itemText;
    // Positions counted from 1: a "-" at p gives the first p - 2 characters.
    return dash + 1 > 2 ? itemText.left(dash + 1 - 2) : QString();
}

bool isProductCode(const QString &code)
{
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9_./-]+$"));
    return allowed.match(code).hasMatch();
}

QString productListText(const QList<ProductItem> &items)
{
    QString l = QStringLiteral("(");
    bool any = false;
    for (const ProductItem &item : items) {
        if (!item.selected)
            continue;
        if (any)
            l += QStringLiteral(", ");
        any = true;
        l += QLatin1Char('\'') + productCode(item.text) + QLatin1Char('\'');
    }
    return l + QLatin1Char(')');
}

int monthBoundaries(const QDate &dob, const QDate &end)
{
    return (end.year() - dob.year()) * 12 + (end.month() - dob.month());
}

AnnualReturn::AnnualReturn(const SettingFields &settings) : m_settings(settings) {}

AnnualReturn::~AnnualReturn() { close(); }

void AnnualReturn::open()
{
    m_member.setConnectionString(connectionStringFor(m_settings, QStringLiteral("Tarnwell"), officeroot::programFolder()).connectionString);
    m_tran.setConnectionString(connectionStringFor(m_settings, QStringLiteral("TarnTran"), officeroot::programFolder()).connectionString);
    // Tarnwell's data is only ever read.
    m_member.setReadOnly(true);
    m_tran.setReadOnly(true);
    // One version of a Tarnwell Access file for both: a file replaced
    // between the two openings must not give references from one version
    // and figures from the other.
    const accessfile::OneVersionPerFile oneVersion;
    m_member.open();
    m_tran.open();
}

void AnnualReturn::close()
{
    if (m_member.isOpen())
        m_member.close();
    if (m_tran.isOpen())
        m_tran.close();
}

AnnualReturn::ControlInfo AnnualReturn::readControl()
{
    ControlInfo info;
    Recordset rs;
    rs.open(QStringLiteral("Select * FROM Control"), m_member);
    if (!rs.eof()) {
        info.found = true;
        const QVariant name = rs.value(QStringLiteral("cuname"));
        info.cuname = name.isNull() ? QString() : name.toString();
        info.yearEnd = rs.value(QStringLiteral("YearEndDate"));
    }
    rs.close();
    return info;
}

QStringList AnnualReturn::productCodes()
{
    QStringList codes;
    Recordset rs;
    rs.open(QStringLiteral("Select ProductCode FROM Product ;"), m_member);
    for (; !rs.eof(); rs.moveNext())
        if (!rs.value(0).isNull())
            codes << rs.value(0).toString();
    return codes;
}

QList<ProductItem> AnnualReturn::loadProducts()
{
    QList<ProductItem> items;
    if (m_settings.txtDatabase == QStringLiteral("K:\\"))
        return items;
    Recordset rs;
    rs.open(QStringLiteral("Select * FROM Product ORDER BY ProductCode "), m_member);
    for (; !rs.eof(); rs.moveNext()) {
        const QVariant code = rs.value(QStringLiteral("ProductCode"));
        const QVariant desc = rs.value(QStringLiteral("Description"));
        const QVariant type = rs.value(QStringLiteral("ProductType"));
        ProductItem item;
        item.text = (code.isNull() ? QString() : code.toString()) + QStringLiteral(" - ") + (desc.isNull() ? QString() : desc.toString());
        item.selected = (!type.isNull() && type.toDouble() == 12.0) || (!code.isNull() && code.toString() == QStringLiteral("CTF"));
        items << item;
    }
    return items;
}

Field invalidDateField(const QString &startText, const QString &endText)
{
    if (!dates::parse(startText))
        return Field::StartDate;
    return dates::parse(endText) ? Field::None : Field::EndDate;
}

bool AnnualReturn::checkDates(const QString &startText, const QString &endText, QDate &start, QDate &end)
{
    switch (invalidDateField(startText, endText)) {
    case Field::StartDate:
        tell(QStringLiteral("Invalid starting date entered"), QStringLiteral("Re-enter"), MsgIcon::Critical);
        return false;
    case Field::EndDate:
        tell(QStringLiteral("Invalid ending date entered"), QStringLiteral("Re-enter"), MsgIcon::Critical);
        return false;
    case Field::None:
        break;
    }
    start = *dates::parse(startText);
    end = *dates::parse(endText);
    return true;
}

namespace {
// A value of a Tarnwell table that must be an amount of money.
QString tableOf(const QString &sql)
{
    static const QRegularExpression from(QStringLiteral("\\bfrom\\s+(\\w+)"), QRegularExpression::CaseInsensitiveOption);
    return from.match(sql).captured(1);
}

// A value read by `sql` that must be an amount of money. The table is named
// only when the value is refused: this runs for every transaction.
Money moneyOf(const QVariant &v, const QString &sql, const QString &column, const QString &member)
{
    if (const auto m = Money::read(v))
        return *m;
    throw DbError(QStringLiteral("The table %1 holds %2 \"%3\" for member %4, which is not an amount of money.")
                      .arg(tableOf(sql), column, v.toString(), member));
}
} // namespace

// Null values are left out of a sum, as Access's Sum leaves them out.
Money AnnualReturn::sumOf(const QString &sql, Connection &c, const QString &column, const QString &member)
{
    Recordset rs;
    rs.open(sql, c);
    if (rs.eof() || rs.value(column).isNull())
        return {};
    return moneyOf(rs.value(column), sql, QStringLiteral("a sum of TranValue1"), member);
}

Money AnnualReturn::subscriptionsOf(const QString &sql, Connection &c, const QString &member, QList<MemberFigures::Subscription> *each)
{
    Recordset rs;
    rs.open(sql, c);
    Money total;
    if (rs.eof())
        return total;
    const int value = rs.columnIndex(QStringLiteral("Tranvalue1"));
    const int narrative = rs.columnIndex(QStringLiteral("Narrative"));
    const int day = each ? rs.columnIndex(QStringLiteral("TranDate")) : -1;
    for (; !rs.eof(); rs.moveNext()) {
        const QVariant v = rs.value(value);
        moneyOf(v, sql, QStringLiteral("TranValue1"), member);
        const Money counted = subscriptionValue(v, rs.value(narrative));
        total += counted;
        if (each && counted != Money())
            each->append({dates::fromVariant(rs.value(day)), counted});
    }
    return total;
}

void AnnualReturn::reportFailure(const QString &path, const QString &what)
{
    tell(QStringLiteral("The annual return stopped before it was complete: %1\r\n\r\n"
                        "Nothing was written: %2 is as it was before this run. Put the fault right and output it again.")
             .arg(what, path),
         QString::fromLatin1(kCaption), MsgIcon::Critical);
}

namespace {
const QString kNoReference(9, QLatin1Char(' '));

// The member number as it goes into the next statements: only ever a whole
// number, whatever the table holds.
QString memberNumber(const Recordset &rs, const QString &table)
{
    const QVariant m = rs.value(QStringLiteral("Memberno"));
    switch (m.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return QString::number(m.toLongLong());
    case QMetaType::Double:
        if (std::isfinite(m.toDouble()) && m.toDouble() == std::trunc(m.toDouble()) && std::fabs(m.toDouble()) < 1e15)
            return QString::number(qlonglong(m.toDouble()));
        break;
    default: {
        static const QRegularExpression whole(QStringLiteral("^-?\\d{1,15}$"));
        if (!m.isNull() && whole.match(m.toString()).hasMatch())
            return QString::number(m.toString().toLongLong());
    }
    }
    throw DbError(QStringLiteral("The table %1 holds the member number \"%2\", which is not a whole number.")
                      .arg(table, m.isNull() ? QStringLiteral("Null") : m.toString()));
}
} // namespace

bool AnnualReturn::writeReturn(const QString &path, const QDate &end, const QString &selection,
                               const std::function<void()> &selectionOpened,
                               const std::function<MemberFigures(const QString &member)> &figuresOf, const Checking *checking)
{
    const bool checkOnly = checking != nullptr;
    const std::function<void(const MemberFigures &)> &seen = checking ? *checking : onMember;
    // The return is written beside its place, under a name of this run's
    // own, and renamed over it only when whole and on the disk: a run that
    // fails leaves the earlier file as it was. One run at a time in a
    // folder, so that a run that says it is complete left its own file.
    const QString besidePath = beside::ownName(path);
    std::optional<beside::FolderHold> hold;
    std::optional<LineWriter> file;
    try {
        // Checking writes nothing: the same reads, no file.
        if (!checkOnly) {
            const MappedPath mapped = pathmapper::map(path);
            hold.emplace(mapped.ok() ? QFileInfo(mapped.hostPath).absolutePath() : QString());
            if (!hold->claimWaiting(beside::Job::AnnualReturn, QStringLiteral("Waiting while another annual return is written to %1").arg(path)))
                throw FileError(QStringLiteral("Cancelled while another annual return was being written to the same file."));
            file.emplace(besidePath);
        }
        // Every member's figures from one state of the Tarnwell files.
        const Connection::ReadSnapshot memberReads(m_member), transactionReads(m_tran);
        Recordset members;
        members.open(selection, m_member);
        if (selectionOpened)
            selectionOpened();
        if (file)
            file->writeLine(QStringLiteral("Header|") + dates::returnForm(end));
        if (members.eof() && file)
            file->writeLine(QStringLiteral("NilReturn"));
        for (; !members.eof(); members.moveNext()) {
            const MemberFigures f = figuresOf(memberNumber(members, tableOf(selection)));
            if (seen)
                seen(f);
            if (f.leftOut == LeftOut::No && file)
                file->writeLine(accountRecord(f.reference, f.balance, f.subscriptions));
        }
        if (file) {
            file->sync();
            file->close();
            textfile::replace(besidePath, path);
        }
    } catch (const CtfError &e) {
        if (checkOnly)
            throw; // no file to speak of: the checker reports it
        const bool created = file.has_value();
        file.reset();
        if (created)
            textfile::remove(besidePath);
        reportFailure(path, e.description());
        return false;
    }
    return true;
}

RunOutcome AnnualReturn::told(const std::function<Outcome()> &call)
{
    m_notices.clear();
    const Outcome outcome = call();
    return {outcome, std::exchange(m_notices, {})};
}

RunOutcome AnnualReturn::readMembers(int n, const QList<ProductItem> &items, const QString &startText, const QString &endText,
                                     const Checking &each)
{
    return told([&] { return n > 0 ? shareAccount(n, startText, endText, &each) : products(items, startText, endText, &each); });
}

RunOutcome AnnualReturn::runShareAccount(int n, const QString &startText, const QString &endText)
{
    return told([&] { return shareAccount(n, startText, endText, nullptr); });
}

RunOutcome AnnualReturn::runProducts(const QList<ProductItem> &items, const QString &startText, const QString &endText)
{
    return told([&] { return products(items, startText, endText, nullptr); });
}

Outcome AnnualReturn::shareAccount(int n, const QString &startText, const QString &endText, const Checking *checking)
{
    QDate start, end;
    if (!checkDates(startText, endText, start, end))
        return Outcome::Refused;
    if (!checking
        && ui::current().message(QStringLiteral("Continue with the following selected account:") + QStringLiteral("\r\n\r\n")
                                     + QStringLiteral("Share account %1 ?").arg(n),
                                 QStringLiteral("Continue ?"), MsgIcon::Question, MsgButtons::YesNo)
               != MsgResult::Yes)
        return Outcome::Cancelled;
    Selection sel = shareSelection(n, start, end);
    if (!checking)
        sel.opened = [this, n] {
            if (onOutputing)
                onOutputing(n);
        };
    const Outcome outcome = run(sel, end, checking);
    if (outcome != Outcome::Done || checking)
        return outcome;
    if (onOutputComplete)
        onOutputComplete();
    tell(QStringLiteral("Output complete"), QStringLiteral("Finished"), MsgIcon::Information);
    return Outcome::Done;
}

Outcome AnnualReturn::products(const QList<ProductItem> &items, const QString &startText, const QString &endText, const Checking *checking)
{
    QDate start, end;
    if (!checkDates(startText, endText, start, end))
        return Outcome::Refused;
    const QString L = productList(items);
    if (L.isEmpty())
        return Outcome::Refused;
    if (!checking
        && ui::current().message(QStringLiteral("Continue with the following selected accounts:") + QStringLiteral("\r\n\r\n") + L
                                     + QStringLiteral(" ?"),
                                 QStringLiteral("Continue ?"), MsgIcon::Question, MsgButtons::YesNo)
               != MsgResult::Yes)
        return Outcome::Cancelled;
    const Selection sel = productSelection(L, start, end);
    const Outcome outcome = run(sel, end, checking);
    if (outcome != Outcome::Done || checking)
        return outcome;
    const QString path = returnPath();
    tell(QStringLiteral("Output complete ") + QStringLiteral("\r\n") + path, QStringLiteral("Finished creating ") + path, MsgIcon::Information);
    return Outcome::Done;
}

AnnualReturn::Selection AnnualReturn::shareSelection(int n, const QDate &start, const QDate &end)
{
    const QString acc = QString::number(n), S = dates::accessLiteral(start), E = dates::accessLiteral(end);
    Selection sel;
    sel.members = QStringLiteral("Select * from MemberBals where S%1Bal > 0 ;").arg(n);
    sel.figures = &m_member;
    sel.balanceColumn = QStringLiteral("CurrBal");
    sel.balance = [acc, E](const QString &m) {
        return QStringLiteral("Select sum(Tranvalue1) as CurrBal from MemberAllTrans where Account = ") + acc + QStringLiteral(" and MemberNo = ")
            + m + QStringLiteral(" and TranDate <= #") + E + QStringLiteral("# ;");
    };
    sel.subscriptions = [acc, S, E](const QString &m) {
        return QStringLiteral("Select * from MemberAllTrans where MemberNo = ") + m + QStringLiteral(" and Account = ") + acc
            + QStringLiteral(" and TranDate >= #") + S + QStringLiteral("# and TranDate <= #") + E + QStringLiteral("# AND TranValue1 > 0 ;");
    };
    sel.ageTest = true;
    return sel;
}

AnnualReturn::Selection AnnualReturn::productSelection(const QString &L, const QDate &start, const QDate &end)
{
    const QString S = dates::accessLiteral(start), E = dates::accessLiteral(end);
    Selection sel;
    sel.members = QStringLiteral("Select * FROM MemberBalances WHERE ProductCode IN ") + L + QStringLiteral(" ;");
    // The transaction statements go through the dialect rewriting.
    sel.figures = &m_tran;
    sel.translate = true;
    sel.sqlServer = m_settings.chkSQL != 0;
    sel.balanceColumn = QStringLiteral("CurrBalance");
    sel.balance = [L, E](const QString &m) {
        return QStringLiteral("Select Sum(TranValue1) as CurrBalance FROM MemberAllTrans WHERE ProductCode IN ") + L
            + QStringLiteral(" and MemberNo = ") + m + QStringLiteral(" and Trandate <= #") + E + QStringLiteral("# ;");
    };
    sel.subscriptions = [L, S, E](const QString &m) {
        return QStringLiteral("Select * from MemberAllTrans where MemberNo = ") + m + QStringLiteral(" and ProductCode in ") + L
            + QStringLiteral(" and TranDate >= #") + S + QStringLiteral("# and TranDate <= #") + E + QStringLiteral("# AND TranValue1 > 0 ;");
    };
    return sel;
}

QString AnnualReturn::productList(const QList<ProductItem> &items)
{
    for (const ProductItem &item : items)
        if (item.selected && !isProductCode(productCode(item.text))) {
            tell(QStringLiteral("The product code \"%1\" cannot be used: a product code has only letters, digits "
                                "and the characters _ - . /")
                     .arg(productCode(item.text)),
                 QString::fromLatin1(kCaption), MsgIcon::Critical);
            return {};
        }
    const QString L = productListText(items);
    if (L == QStringLiteral("()")) {
        tell(QStringLiteral("No products selected"), QString::fromLatin1(kCaption), MsgIcon::Critical);
        return {};
    }
    return L;
}

RunOutcome AnnualReturn::readHolders(int n, const QList<ProductItem> &items, const QDate &balanceDay, const std::function<void(const Holder &)> &each)
{
    return told([&] { return holders(n, items, balanceDay, each); });
}

Outcome AnnualReturn::holders(int n, const QList<ProductItem> &items, const QDate &balanceDay, const std::function<void(const Holder &)> &each)
{
    const QString L = n > 0 ? QString() : productList(items);
    if (n == 0 && L.isEmpty())
        return Outcome::Refused;
    const Selection sel = n > 0 ? shareSelection(n, balanceDay, balanceDay) : productSelection(L, balanceDay, balanceDay);
    const Connection::ReadSnapshot memberReads(m_member), transactionReads(m_tran);
    Recordset members;
    members.open(sel.members, m_member);
    for (; !members.eof(); members.moveNext()) {
        Holder h;
        h.member = memberNumber(members, tableOf(sel.members));
        h.balance = balanceOf(sel, h.member);
        Recordset mm;
        mm.open(QStringLiteral("Select Forename, Surname, NINumber, DOB from MemberMain where MemberNo = ") + h.member + QStringLiteral(" ;"),
                m_member);
        if (!mm.eof()) {
            const auto text = [&mm](const char *column) {
                const QVariant v = mm.value(QLatin1String(column));
                return v.isNull() ? QString() : v.toString();
            };
            h.name = (text("Forename") + QLatin1Char(' ') + text("Surname")).trimmed();
            h.niNumber = text("NINumber");
            h.dob = mm.value(QStringLiteral("DOB"));
        }
        each(h);
    }
    return Outcome::Done;
}

QString AnnualReturn::returnPath() const { return GetReturnsPath() + QStringLiteral("CTFANRTN.txt"); }

Outcome AnnualReturn::run(const Selection &sel, const QDate &end, const Checking *checking)
{
    ui::BusyScope busy;
    const bool written = writeReturn(returnPath(), end, sel.members, sel.opened,
                                     [&](const QString &m) { return figuresOf(sel, m, end, checking != nullptr); }, checking);
    busy.release();
    return written ? Outcome::Done : Outcome::Failed;
}

Money AnnualReturn::bothTables(const Selection &sel, QString sql, const std::function<Money(const QString &)> &read)
{
    // Each table's statement is made from the one built for MemberAllTrans.
    Money total = read(sel.translate ? translateSql(sql, false, sel.sqlServer) : sql);
    sql.replace(QStringLiteral("AllT"), QStringLiteral("T"));
    return total + read(sel.translate ? translateSql(sql, false, sel.sqlServer) : sql);
}

Money AnnualReturn::balanceOf(const Selection &sel, const QString &m)
{
    return bothTables(sel, sel.balance(m), [&](const QString &sql) { return sumOf(sql, *sel.figures, sel.balanceColumn, m); });
}

MemberFigures AnnualReturn::figuresOf(const Selection &sel, const QString &m, const QDate &end, bool checking)
{
    MemberFigures f{m, kNoReference, {}, {}, {}, LeftOut::NoMemberRow, {}, {}};
    f.balance = balanceOf(sel, m);
    f.subscriptions = bothTables(sel, sel.subscriptions(m), [&](const QString &sql) {
        return subscriptionsOf(sql, *sel.figures, m, checking ? &f.subscriptionDays : nullptr);
    });
    // The share account reads the date of birth with the NI number, for its
    // age test; the product return makes none, and reads it for the checks alone.
    Recordset mm;
    mm.open(QStringLiteral("Select %1 from MemberMain where MemberNo = ").arg(sel.ageTest ? QStringLiteral("DOB, NINumber") : QStringLiteral("NINumber"))
                + m + QStringLiteral(" ;"),
            m_member);
    if (!mm.eof()) {
        f.reference = referenceField(mm.value(QStringLiteral("NINumber")));
        f.leftOut = f.reference == kNoReference ? LeftOut::NoReference : LeftOut::No;
    }
    if (!sel.ageTest && checking)
        mm.open(QStringLiteral("Select DOB from MemberMain where MemberNo = ") + m + QStringLiteral(" ;"), m_member);
    if ((sel.ageTest || checking) && !mm.eof()) {
        const QVariant dobValue = mm.value(QStringLiteral("DOB"));
        f.dob = dates::fromVariant(dobValue);
        // Only a valid date is tested; any other value means no age test,
        // and the checks name the member.
        if (!dobValue.isNull() && !f.dob)
            f.dobNotADate = dobValue.toString();
    }
    // Over 18 (more than 216 month boundaries) at the year end: no record.
    if (sel.ageTest && f.leftOut == LeftOut::No && f.dob && monthBoundaries(*f.dob, end) > 216)
        f.leftOut = LeftOut::Over18;
    return f;
}

} // namespace annual
