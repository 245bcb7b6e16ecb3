#include "register/entrymaintenance.h"

#include "register/history.h"

#include "common/ctfmodules.h"
#include "common/dates.h"
#include "common/error.h"
#include "common/money.h"
#include "register/entryrules.h"

namespace maint {
namespace {
QString text(const QVariant &v) { return v.isNull() ? QString() : v.toString(); }

// Forename, one space, Surname.
QString nameOf(const Recordset &member)
{
    return text(member.value(QStringLiteral("Forename"))) + QLatin1Char(' ') + text(member.value(QStringLiteral("Surname")));
}

QString memberStatement(const char *columns, double memberNo)
{
    return QStringLiteral("Select %1 FROM MemberMain WHERE MemberNo = ").arg(QLatin1String(columns))
        + entryrules::plainNumber(memberNo) + QStringLiteral(" ;");
}
} // namespace

void EntryMaintenance::openRegister(const QString &ctf)
{
    m_cnCTF.setConnectionString(ctf);
    m_cnCTF.open();
}

bool EntryMaintenance::openMemberDatabase(const QString &member)
{
    m_cnMember.setConnectionString(member);
    m_cnMember.setReadOnly(true); // Tarnwell's members are only ever read
    // The screen reads these two alone: on a genuine Access Tarnwell that has
    // changed (all day, as it records transactions), they alone are converted.
    m_cnMember.setAccessTables({QStringLiteral("Control"), QStringLiteral("MemberMain")});
    try {
        m_cnMember.open();
        m_memberDbOpen = true;
    } catch (const CtfError &) {
        m_memberDbOpen = false;
    }
    return m_memberDbOpen;
}

std::optional<ControlInfo> EntryMaintenance::readControl()
{
    if (!m_memberDbOpen)
        return std::nullopt;
    try {
        if (m_rsControl.isOpen())
            m_rsControl.close();
        m_rsControl.open(QStringLiteral("Select * FROM Control ;"), m_cnMember, CursorType::Static, LockType::Optimistic);
        if (m_rsControl.eof())
            return std::nullopt;
        return ControlInfo{text(m_rsControl.value(QStringLiteral("cuname"))),
                           dates::shownDayFirst(m_rsControl.value(QStringLiteral("YearEndDate")))};
    } catch (const CtfError &) {
        return std::nullopt; // the labels keep what they showed
    }
}

bool EntryMaintenance::lookUp(const QString &statement)
{
    m_recordOnFile = false;
    if (m_rsEntry.isOpen())
        m_rsEntry.close();
    m_rsEntry.open(statement, m_cnCTF, CursorType::Static, LockType::Optimistic);
    m_recordOnFile = !m_rsEntry.eof();
    return m_recordOnFile;
}

bool EntryMaintenance::findByUrn(const QString &urn)
{
    return lookUp(QStringLiteral("Select * FROM ChildTrustFunds WHERE CRN = '") + urn + QStringLiteral("' ;"));
}

bool EntryMaintenance::findById(double id)
{
    return lookUp(QStringLiteral("Select * FROM ChildTrustFunds WHERE ID = ") + entryrules::plainNumber(id) + QStringLiteral(" ;"));
}

Entry EntryMaintenance::entry() const
{
    Entry e;
    const auto v = [this](const char *column) { return m_rsEntry.value(QLatin1String(column)); };
    e.entity = text(v("Entity"));
    e.id = text(v("ID"));
    e.crn = text(v("CRN"));
    e.memberNo = text(v("MemberNo"));
    e.dob = dates::fromVariant(v("DOB"));
    // A stored value that is no amount of money (beyond its range, or text put
    // in by another program) is shown as it stands, for the operator to put right.
    const QVariant amount = v("Amount");
    const auto money = Money::read(amount);
    e.amount = amount.isNull() ? QStringLiteral("0") : money ? money->plain() : amount.toString();
    const QVariant type = v("Type");
    if (!type.isNull() && !type.toString().isEmpty())
        e.typeCode = int(LeadingNumber(type.toString()));
    e.sent = v("RecordOutput").toLongLong() != 0;
    e.periodEndSent = text(v("PeriodEndSent"));
    return e;
}

std::optional<QString> EntryMaintenance::memberName(double memberNo)
{
    if (m_rsMember.isOpen())
        m_rsMember.close();
    m_rsMember.open(memberStatement("Forename, Surname", memberNo), m_cnMember);
    if (m_rsMember.eof())
        return std::nullopt;
    return nameOf(m_rsMember);
}

std::optional<Member> EntryMaintenance::lookUpMember(double memberNo)
{
    if (m_rsMember.isOpen())
        m_rsMember.close();
    m_rsMember.open(memberStatement("*", memberNo), m_cnMember);
    std::optional<Member> found;
    if (!m_rsMember.eof())
        found = Member{nameOf(m_rsMember),
                       dates::fromVariant(m_rsMember.value(QStringLiteral("DOB")))};
    m_rsMember.close();
    return found;
}

void EntryMaintenance::save(const EntryInput &in)
{
    const bool adding = m_rsEntry.eof();
    if (adding)
        m_rsEntry.addNew();
    m_rsEntry.setValue(QStringLiteral("CRN"), in.crn);
    m_rsEntry.setValue(QStringLiteral("Entity"), in.entity);
    // Without the member database there is no member number to take: an
    // existing entry keeps its own, a new one gets 0.
    if (m_memberDbOpen || adding)
        m_rsEntry.setValue(QStringLiteral("Memberno"), LeadingNumber(in.memberNo));
    m_rsEntry.setValue(QStringLiteral("DOB"), in.dob);
    // A stored amount that is no amount of money is shown as it stands; saved
    // untouched it stays as it is, rather than becoming the leading number of
    // its text (1e+300 would become 1, a figure nobody typed).
    const QVariant stored = adding ? QVariant() : m_rsEntry.value(QStringLiteral("Amount"));
    if (stored.isNull() || Money::read(stored) || in.amount != stored.toString())
        m_rsEntry.setValue(QStringLiteral("Amount"), LeadingNumber(in.amount));
    m_rsEntry.setValue(QStringLiteral("Type"), in.typeCode ? QVariant(*in.typeCode) : QVariant(QStringLiteral("")));
    if (in.sent) {
        m_rsEntry.setValue(QStringLiteral("RecordOutput"), 1);
    } else {
        m_rsEntry.setValue(QStringLiteral("RecordOutput"), 0);
        m_rsEntry.setValue(QStringLiteral("PeriodEndSent"), QVariant());
    }
    history::Scope change(m_cnCTF, QString::fromLatin1(adding ? history::kCreate : history::kSave));
    m_rsEntry.update();
    change.commit();
}

void EntryMaintenance::deleteEntry()
{
    if (m_recordOnFile) {
        history::Scope change(m_cnCTF, QString::fromLatin1(history::kDelete));
        m_rsEntry.deleteRow();
        change.commit();
    }
    m_recordOnFile = false;
}

void EntryMaintenance::close()
{
    if (m_rsControl.isOpen())
        m_rsControl.close();
    if (m_rsMember.isOpen())
        m_rsMember.close();
    if (m_rsEntry.isOpen())
        m_rsEntry.close();
    if (m_cnCTF.isOpen())
        m_cnCTF.close();
    if (m_memberDbOpen && m_cnMember.isOpen())
        m_cnMember.close();
}

} // namespace maint
