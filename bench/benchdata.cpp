#include "benchdata.h"

#include "app/appsettings.h"
#include "common/ctfmodules.h"
#include "data/schema.h"
#include "platform/officeroot.h"
#include "platform/pathmapper.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QProcess>
#include <QSqlQuery>
#include <QStandardPaths>

BenchOffice::BenchOffice()
{
    // To look into an office after the run: CTFADMIN_BENCH_KEEP=1.
    if (qEnvironmentVariableIsSet("CTFADMIN_BENCH_KEEP")) {
        m_dir.setAutoRemove(false);
        std::fprintf(stderr, "office kept in %s\n", qPrintable(m_dir.path()));
    }
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
        QSqlQuery(db).exec(QStringLiteral("PRAGMA cache_size = -262144"));
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
            // Born 2005 to 2024: some are over 18 at a 2026 year end.
            main.addBindValue(QStringLiteral("20%1-%2-01").arg(5 + m % 20, 2, 10, QChar('0')).arg(1 + m % 12, 2, 10, QChar('0')));
            // Every 50th member has no reference.
            main.addBindValue(m % 50 == 0 ? QVariant() : QVariant(QStringLiteral("NI%1A").arg(m, 6, 10, QChar('0'))));
            main.exec();
            bals.addBindValue(m);
            bals.exec();
            balances.addBindValue(m);
            balances.exec();
        }
        // As a ledger stores them: in date order, every member's n-th
        // transaction on the same day, ten days after the one before
        // (6 April 2024 to June 2026, across two year ends).
        for (int t = 0; t < transactionsEach; ++t) {
            const QString date = QDate(2024, 4, 6).addDays(t * 10).toString(Qt::ISODate);
            for (int m = 1; m <= holders; ++m) {
                QSqlQuery &q = (t + m) % 2 ? trans : all;
                q.addBindValue(m);
                q.addBindValue(date);
                q.addBindValue(double((t * 31 + m) % 20000 - 2000) / 100.0);
                q.addBindValue((t + m) % 7 == 0 ? QVariant() : QVariant(narratives[(t + m) % 5]));
                q.exec();
            }
        }
    });
}

std::pair<double, double> timed(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    const bool withTime = QFile::exists(QStringLiteral("/usr/bin/time"));
    QElapsedTimer t;
    t.start();
    if (withTime)
        p.start(QStringLiteral("/usr/bin/time"), QStringList{QStringLiteral("-f"), QStringLiteral("%M")} + QStringList{program} + args);
    else
        p.start(program, args);
    p.waitForFinished(-1);
    const double s = seconds(t);
    const QList<QByteArray> lines = p.readAllStandardError().trimmed().split('\n');
    return {s, withTime ? lines.last().toDouble() / 1024.0 : 0.0};
}

QString sqlite3Program() { return QStandardPaths::findExecutable(QStringLiteral("sqlite3")); }
