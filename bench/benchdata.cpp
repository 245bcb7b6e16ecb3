#include "benchdata.h"

#include "app/appsettings.h"
#include "common/ctfmodules.h"
#include "data/schema.h"
#include "platform/officeroot.h"
#include "platform/pathmapper.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

BenchOffice::BenchOffice()
{
    officeroot::setPath(m_dir.path());
    QDir().mkpath(m_dir.path() + QStringLiteral("/program"));
    officeroot::setProgramFolder(m_dir.path() + QStringLiteral("/program"));
    for (const char *d : {"/drive_c/temp", "/drive_k/Returns", "/drive_c/program files/child trust fund interface"})
        QDir().mkpath(m_dir.path() + QLatin1String(d));
    QFile ini(host(QString::fromLatin1(kSubmissionSettingsFile)));
    if (ini.open(QIODevice::WriteOnly))
        ini.write("ReturnsPath=K:\\Returns\\\r\n");
    ini.close();
    schema::createDatabaseFile(host(QStringLiteral("K:\\CTF.mdb")), schema::Kind::Register);
    schema::createDatabaseFile(host(QStringLiteral("K:\\Tarnwell.mdb")), schema::Kind::Tarnwell);
    appsettings::fields() = SettingFields{};
    appsettings::fields().txtDatabase = QStringLiteral("K:\\");
}

BenchOffice::~BenchOffice() { officeroot::setPath(QString()); }

QString BenchOffice::host(const QString &windowsPath) const { return pathmapper::toHost(windowsPath); }

namespace {
template <typename Fill>
void withDatabase(const QString &path, Fill fill)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-fill"));
        db.setDatabaseName(path);
        db.open();
        db.transaction();
        fill(db);
        db.commit();
        QSqlQuery(db).exec(QStringLiteral("ANALYZE"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-fill"));
}
} // namespace

void BenchOffice::addEntries(int count, bool output)
{
    withDatabase(host(QStringLiteral("K:\\CTF.mdb")), [&](QSqlDatabase &db) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO ChildTrustFunds (Entity, CRN, DOB, Amount, MemberNo, RecordOutput, Type, Ref, SentRef) "
                                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        const char *kinds[] = {"Voucher", "RAA", "Exception", "Endowment", "TransferedIn", "ChildDeath"};
        for (int i = 0; i < count; ++i) {
            q.addBindValue(QString::fromLatin1(kinds[i % 6]));
            q.addBindValue(QStringLiteral("AB%1C").arg((i * 7919) % 1000000, 6, 10, QChar('0')));
            q.addBindValue(QStringLiteral("%1/%2/20%3").arg(1 + i % 28, 2, 10, QChar('0')).arg(1 + i % 12, 2, 10, QChar('0')).arg(10 + i % 15));
            q.addBindValue(double((i * 37) % 100000) / 100.0);
            q.addBindValue(1000 + i % 5000);
            q.addBindValue(output ? 1 : 0);
            q.addBindValue(i % 6 == 3 ? QStringLiteral("2") : QStringLiteral(""));
            q.addBindValue(i % 6 == 2 || i % 6 == 3 ? QVariant(QStringLiteral("R%1").arg(i)) : QVariant());
            q.addBindValue(output ? QVariant(QStringLiteral("From ID %1 to %2").arg(i / 1000 * 1000).arg(i / 1000 * 1000 + 999)) : QVariant());
            q.exec();
        }
    });
}

void BenchOffice::addHolders(int holders, int transactionsEach)
{
    withDatabase(host(QStringLiteral("K:\\Tarnwell.mdb")), [&](QSqlDatabase &db) {
        QSqlQuery main(db), bals(db), balances(db), all(db), trans(db);
        main.prepare(QStringLiteral("INSERT INTO MemberMain VALUES (?, 'A', 'B', ?, ?)"));
        bals.prepare(QStringLiteral("INSERT INTO MemberBals VALUES (?, 100, 0, 0, 0)"));
        balances.prepare(QStringLiteral("INSERT INTO MemberBalances VALUES (?, 'CTF', 100)"));
        all.prepare(QStringLiteral("INSERT INTO MemberAllTrans VALUES (?, 1, 'CTF', ?, ?, ?)"));
        trans.prepare(QStringLiteral("INSERT INTO MemberTrans VALUES (?, 1, 'CTF', ?, ?, ?)"));
        const QStringList narratives{QStringLiteral("Deposit"), QStringLiteral("VOUCHER"), QStringLiteral("Standing order"),
                                     QStringLiteral("DIVIDEND"), QStringLiteral("Cash")};
        for (int m = 1; m <= holders; ++m) {
            main.addBindValue(m);
            main.addBindValue(QStringLiteral("20%1-05-01").arg(10 + m % 15));
            main.addBindValue(QStringLiteral("NI%1A").arg(m, 6, 10, QChar('0')));
            main.exec();
            bals.addBindValue(m);
            bals.exec();
            balances.addBindValue(m);
            balances.exec();
            for (int t = 0; t < transactionsEach; ++t) {
                QSqlQuery &q = t % 2 ? trans : all;
                q.addBindValue(m);
                q.addBindValue(QDate(2024, 4, 6).addDays((t * 13 + m) % 730).toString(Qt::ISODate));
                q.addBindValue(double((t * 31 + m) % 20000 - 2000) / 100.0);
                q.addBindValue(t % 7 == 0 ? QVariant() : QVariant(narratives[t % 5]));
                q.exec();
            }
        }
    });
}
