// Sample data for a demo office as an office holds it: a credit union with
// about 200 young members, born in the scheme's years, whose CTF money sits
// in share account 1 and in products CTF and JUN; a year of subscriptions
// (standing orders, vouchers, gifts, interest) and no withdrawals, which a
// CTF does not allow; register entries of all six kinds for those same
// children, some already output. Two outstanding entries are wrong on
// purpose, so that the checks have something to show (the manual's
// examples): an Endowment saved without its type, and a voucher keyed twice.
// The same seed always gives the same office.
#include "cli/commands.h"

#include "common/dates.h"
#include "common/error.h"

#include <QDate>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace demodata {
namespace {

class Random {
public:
    explicit Random(quint32 seed) : m_state(seed * 2654435761u + 0x9E3779B9u) {}
    quint32 next()
    {
        // xorshift32: small, fast and the same everywhere.
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    int below(int n) { return int(next() % quint32(n)); }

private:
    quint32 m_state;
};

const char *kForenames[] = {"Amelia", "Oliver", "Isla", "Harry", "Ava", "Jack", "Mia", "George", "Emily", "Noah",
                            "Grace", "Leo", "Sophie", "Oscar", "Ella", "Charlie", "Lily", "Jacob", "Freya", "Alfie"};
const char *kSurnames[] = {"Smith", "Jones", "Taylor", "Brown", "Williams", "Wilson", "Evans", "Thomas", "Roberts", "Walker",
                           "Wright", "Hughes", "Edwards", "Green", "Hall", "Wood", "Clarke", "Jackson", "Turner", "Hill"};
const char *kNarratives[] = {"Deposit", "Cash lodgement", "Standing order", "VOUCHER", "Endowment payment", "DIVIDEND",
                             "interest paid", "INDIVIDUAL TOP UP", "Birthday gift", "Transfer from parent"};

struct Database {
    explicit Database(const QString &path) : name(QStringLiteral("ctfadmin-demo"))
    {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open())
            throw DbError(QStringLiteral("Cannot open %1: %2").arg(path, db.lastError().text()));
        db.transaction();
    }
    ~Database()
    {
        if (db.isOpen())
            db.rollback(); // finish() was not reached: nothing half written stays
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }
    // The driver's own words when a statement cannot even be prepared (a
    // drive that fails says so, not "Parameter count mismatch" later).
    void prepare(QSqlQuery &q, const QString &sql)
    {
        if (!q.prepare(sql))
            throw DbError(QStringLiteral("Cannot write the demo data: %1").arg(q.lastError().text()));
    }
    void finish()
    {
        if (!db.commit())
            throw DbError(QStringLiteral("Cannot write the demo data: %1").arg(db.lastError().text()));
    }
    void exec(QSqlQuery &q)
    {
        if (!q.exec())
            throw DbError(QStringLiteral("Cannot write the demo data: %1").arg(q.lastError().text()));
    }
    QString name;
    QSqlDatabase db;
};

// A URN of the register's form: two letters, six digits, a letter.
QString crn(Random &r)
{
    QString s;
    s += QChar('A' + r.below(26));
    s += QChar('A' + r.below(26));
    for (int i = 0; i < 6; ++i)
        s += QChar('0' + r.below(10));
    s += QChar('A' + r.below(26));
    return s;
}

// A member's date of birth, the same in Tarnwell and in the register. Most
// children are young enough for the share-account return (born 6 April 2008
// to 2 January 2011); one in fifty is older, an account that has matured.
QDate childDob(quint32 seed, int member)
{
    Random r(seed * 7919u + quint32(member));
    if (member % 50 == 7)
        return QDate(2003, 1, 1).addDays(r.below(4 * 365));
    const QDate first(2008, 4, 6);
    return first.addDays(r.below(int(first.daysTo(QDate(2011, 1, 2))) + 1));
}

} // namespace

// Long as a table is long: each Tarnwell table and its sample rows, one after
// the other.
void fillTarnwell(const QString &path, const Options &o)
{
    Random r(o.seed);
    Database d(path);
    QSqlQuery q(d.db);
    d.prepare(q, QStringLiteral("INSERT INTO Control (cuname, YearEndDate) VALUES (?, ?)"));
    q.addBindValue(QStringLiteral("Tarnwell Demo Credit Union Ltd"));
    q.addBindValue(QStringLiteral("2026-09-30"));
    d.exec(q);
    const struct { const char *code, *desc; int type; } products[] = {
        {"CTF", "Child Trust Fund", 3}, {"JUN", "Junior CTF saver", 12}, {"S1", "Ordinary shares", 1}};
    for (const auto &p : products) {
        d.prepare(q, QStringLiteral("INSERT INTO Product VALUES (?, ?, ?)"));
        q.addBindValue(QString::fromLatin1(p.code));
        q.addBindValue(QString::fromLatin1(p.desc));
        q.addBindValue(p.type);
        d.exec(q);
    }
    const QDate yearStart(2025, 4, 6);
    for (int m = 1; m <= o.members; ++m) {
        const int memberNo = 1000 + m;
        const QDate dob = childDob(o.seed, memberNo);
        QVariant ni;
        const int niKind = r.below(20);
        if (m % 100 == 13) {
            ni = QVariant(); // no reference yet: left out of the annual return
        } else {
            QString t = QStringLiteral("%1%2%3").arg(QChar('A' + r.below(26))).arg(QChar('A' + r.below(26))).arg(r.below(1000000), 6, 10, QChar('0'));
            if (niKind > 3)
                t += QChar('A' + r.below(4));
            ni = t;
        }
        d.prepare(q, QStringLiteral("INSERT INTO MemberMain VALUES (?, ?, ?, ?, ?)"));
        q.addBindValue(memberNo);
        q.addBindValue(QString::fromLatin1(kForenames[r.below(20)]));
        q.addBindValue(QString::fromLatin1(kSurnames[r.below(20)]));
        q.addBindValue(dates::iso(dob));
        q.addBindValue(ni);
        d.exec(q);

        const QString product = r.below(3) == 0 ? QStringLiteral("JUN") : QStringLiteral("CTF");
        d.prepare(q, QStringLiteral("INSERT INTO MemberBalances VALUES (?, ?, ?)"));
        q.addBindValue(memberNo);
        q.addBindValue(product);
        q.addBindValue(0);
        d.exec(q);

        // An opening endowment before the year, then a year of activity split
        // over the two transaction tables.
        qint64 balanceCents = 0;
        auto addTran = [&](const QDate &date, qint64 cents, const QVariant &narrative) {
            const bool older = r.below(2) == 0;
            d.prepare(q, QStringLiteral("INSERT INTO %1 (MemberNo, Account, ProductCode, TranDate, TranValue1, Narrative) VALUES (?, 1, ?, ?, ?, ?)")
                          .arg(older ? QStringLiteral("MemberAllTrans") : QStringLiteral("MemberTrans")));
            q.addBindValue(memberNo);
            q.addBindValue(product);
            q.addBindValue(dates::iso(date));
            q.addBindValue(double(cents) / 100.0);
            q.addBindValue(narrative);
            d.exec(q);
            balanceCents += cents;
        };
        addTran(QDate(2024, 9, 1).addDays(r.below(150)), 25000, QStringLiteral("Endowment"));
        // A monthly standing order for most, and a few other payments in.
        if (r.below(3) != 0) {
            const qint64 monthly = 1000 * (1 + r.below(5));
            for (int month = 0; month < 12; ++month)
                addTran(yearStart.addMonths(month).addDays(r.below(20)), monthly, QStringLiteral("Standing order"));
        }
        const int count = 1 + r.below(5);
        for (int t = 0; t < count; ++t) {
            const int kind = r.below(10);
            const qint64 cents = 500 + r.below(20000);
            addTran(yearStart.addDays(r.below(365)), cents, kind == 9 ? QVariant() : QVariant(QString::fromLatin1(kNarratives[kind])));
        }
        // A little after the year end, which no figure of that year counts.
        if (r.below(4) == 0)
            addTran(QDate(2026, 4, 6).addDays(r.below(30)), 1000 + r.below(5000), QStringLiteral("Deposit"));
        d.prepare(q, QStringLiteral("INSERT INTO MemberBals VALUES (?, ?, 0, 0, 0)"));
        q.addBindValue(memberNo);
        q.addBindValue(r.below(25) == 0 ? 0.0 : double(balanceCents) / 100.0);
        d.exec(q);
    }
    d.finish();
}

void fillRegister(const QString &path, const Options &o)
{
    Random r(o.seed + 7);
    Database d(path);
    QSqlQuery q(d.db);
    const int entries = qMax(12, o.members / 4);
    const char *kinds[] = {"Voucher", "RAA", "Exception", "Endowment", "TransferedIn", "ChildDeath"};
    QString lastVoucherUrn;
    int lastVoucherMember = 0;
    for (int i = 0; i < entries; ++i) {
        const QString kind = QString::fromLatin1(kinds[i % 6]);
        const bool last = i + 6 >= entries; // the last entry of its kind
        int member = 1001 + (i * 37) % qMax(1, o.members);
        QString urn = crn(r);
        // The last voucher was keyed twice.
        if (kind == QStringLiteral("Voucher")) {
            if (last && !lastVoucherUrn.isEmpty()) {
                urn = lastVoucherUrn;
                member = lastVoucherMember;
            }
            lastVoucherUrn = urn;
            lastVoucherMember = member;
        }
        const QDate dob = childDob(o.seed, member);
        const bool output = i < entries / 3;
        QVariant amount, type, ref, dod;
        if (kind == QStringLiteral("Voucher") || kind == QStringLiteral("RAA"))
            amount = 250.0;
        if (kind == QStringLiteral("Endowment")) {
            amount = double(25000 + r.below(25000)) / 100.0;
            // The last one was saved without its type.
            type = last ? QString() : QString::number(r.below(9));
            ref = QStringLiteral("END%1").arg(r.below(100000), 5, 10, QChar('0'));
        } else if (kind == QStringLiteral("Exception")) {
            type = QString::number(1 + r.below(3));
            ref = QStringLiteral("EXC%1").arg(r.below(100000), 5, 10, QChar('0'));
        } else if (kind == QStringLiteral("ChildDeath")) {
            dod = dates::dayFirst(qMin(dob.addDays(200 + r.below(1000)), QDate(2026, 10, 1)));
        }
        d.prepare(q, QStringLiteral("INSERT INTO ChildTrustFunds (Entity, CRN, DOB, Amount, DOD, MemberNo, PeriodEndSent, RecordOutput, Ref, SentRef, Type) "
                                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        q.addBindValue(kind);
        q.addBindValue(urn);
        q.addBindValue(dates::dayFirst(dob));
        q.addBindValue(amount.isValid() ? amount : QVariant(0));
        q.addBindValue(dod);
        q.addBindValue(member);
        q.addBindValue(output ? QVariant(QStringLiteral("16/11/26")) : QVariant());
        q.addBindValue(output ? 1 : 0);
        q.addBindValue(ref);
        q.addBindValue(output ? QVariant(QStringLiteral("From ID 1 to %1").arg(entries / 3)) : QVariant());
        q.addBindValue(type.isValid() ? type : QVariant(QStringLiteral("")));
        d.exec(q);
    }
    d.finish();
}

} // namespace demodata
