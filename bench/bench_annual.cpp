// Both annual return commands on 20,000 and 100,000 CTF holders with 80
// transactions each, stored in date order as a ledger stores them, against
// the tightest way to compute the same file: one grouped scan of each
// transaction table restricted to the selected members, the selection read
// with its MemberMain rows, and the lines made from those three results. The
// bound's lines are checked against the file the program wrote.
#include "benchdata.h"

#include "annual/annualreturn.h"
#include "common/money.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

struct Figures {
    qint64 balance = 0;       // ten-thousandths
    qint64 subscriptions = 0; // pence, each transaction rounded to two decimals
};

// One grouped scan of a transaction table: the balance up to the year end
// and the counted subscriptions within the year, per selected member.
void scan(QSqlDatabase &db, const QString &table, const QString &filter, const QString &selection, QHash<qint64, Figures> &into)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.exec(QStringLiteral("SELECT MemberNo, "
                          "sum(CASE WHEN TranDate <= '2026-04-05' THEN CAST(round(TranValue1 * 10000) AS INTEGER) END), "
                          "sum(CASE WHEN TranDate >= '2025-04-06' AND TranDate <= '2026-04-05' AND TranValue1 > 0 "
                          "AND (Narrative IS NULL OR (instr(upper(Narrative), 'VOU') = 0 AND instr(upper(Narrative), 'ENDOW') = 0 "
                          "AND instr(upper(Narrative), 'DIV') = 0 AND instr(upper(Narrative), 'INTEREST') = 0)) "
                          "THEN CAST(round(TranValue1 * 100) AS INTEGER) END) "
                          "FROM %1 WHERE %2 AND MemberNo IN (SELECT MemberNo FROM (%3)) GROUP BY MemberNo")
               .arg(table, filter, selection));
    while (q.next()) {
        Figures &f = into[q.value(0).toLongLong()];
        f.balance += q.value(1).toLongLong();
        f.subscriptions += q.value(2).toLongLong();
    }
}

// The lines of the file, computed the tightest way.
QByteArray bound(const QString &path, const QString &filter, const QString &selection, bool ageTest, double *secondsTaken)
{
    QElapsedTimer t;
    t.start();
    QByteArray file = "Header|2026/04/05\r\n";
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bound"));
        db.setDatabaseName(path);
        db.open();
        QSqlQuery(db).exec(QStringLiteral("PRAGMA mmap_size = 1073741824"));
        QSqlQuery(db).exec(QStringLiteral("PRAGMA cache_size = -65536"));
        QHash<qint64, Figures> figures;
        scan(db, QStringLiteral("MemberAllTrans"), filter, selection, figures);
        scan(db, QStringLiteral("MemberTrans"), filter, selection, figures);
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.exec(QStringLiteral("SELECT s.MemberNo, m.NINumber, m.DOB, m.MemberNo IS NULL FROM (%1) s "
                              "LEFT JOIN MemberMain m ON m.MemberNo = s.MemberNo")
                   .arg(selection));
        while (q.next()) {
            if (q.value(3).toBool())
                continue;
            const QString reference = q.value(1).toString().left(9).leftJustified(9, QLatin1Char(' '));
            if (reference.trimmed().isEmpty())
                continue;
            if (ageTest) {
                const QString dob = q.value(2).toString();
                if ((2026 - dob.left(4).toInt()) * 12 + (4 - dob.mid(5, 2).toInt()) > 216)
                    continue;
            }
            const Figures f = figures.value(q.value(0).toLongLong());
            file += "Account|" + reference.toLatin1() + "|2|y|" + Money::fromUnits(f.balance).format2().toLatin1() + "|0.00|"
                + Money::fromUnits(f.subscriptions * 100).format2().toLatin1() + "\r\n";
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bound"));
    *secondsTaken = seconds(t);
    return file;
}

QByteArray written(const BenchOffice &office)
{
    QFile f(office.host(QStringLiteral("K:\\Returns\\CTFANRTN.txt")));
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void compare(const char *what, double program, const QByteArray &file, double boundSeconds, const QByteArray &boundFile)
{
    report(what, program);
    report("  bound (grouped scans, selection with MemberMain)", boundSeconds);
    std::printf("  ratio: %.2f; %lld account lines; %s\n", program / boundSeconds, qint64(file.count('\n') - 1),
                file == boundFile ? "the file equals the bound's lines" : "THE FILE DIFFERS FROM THE BOUND'S LINES");
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ui::install(std::make_unique<Quiet>());
    QList<int> sizes{20000, 100000};
    if (argc > 1)
        sizes = {QString::fromLatin1(argv[1]).toInt()};
    bool allEqual = true;
    for (int holders : sizes) {
        BenchOffice office;
        office.addHolders(holders, 80);
        std::printf("%d holders, 80 transactions each\n", holders);
        const QString path = office.host(QStringLiteral("K:\\Tarnwell.mdb"));
        annual::AnnualReturn run;
        run.open();

        QElapsedTimer t;
        t.start();
        run.runShareAccount(1, QStringLiteral("06/04/25"), QStringLiteral("05/04/26"));
        const double share = seconds(t);
        const QByteArray shareFile = written(office);
        double shareBound = 0;
        const QByteArray shareLines = bound(path, QStringLiteral("Account = 1"), QStringLiteral("SELECT MemberNo FROM MemberBals WHERE S1Bal > 0"),
                                            true, &shareBound);
        compare("share account 1", share, shareFile, shareBound, shareLines);

        t.restart();
        run.runProducts({{QStringLiteral("CTF - Child Trust Fund"), true}}, QStringLiteral("06/04/25"), QStringLiteral("05/04/26"));
        const double products = seconds(t);
        const QByteArray productFile = written(office);
        double productBound = 0;
        const QByteArray productLines = bound(path, QStringLiteral("ProductCode IN ('CTF')"),
                                              QStringLiteral("SELECT MemberNo FROM MemberBalances WHERE ProductCode IN ('CTF')"), false,
                                              &productBound);
        compare("products ('CTF')", products, productFile, productBound, productLines);
        run.close();
        allEqual = allEqual && shareFile == shareLines && productFile == productLines;
    }
    return allEqual ? 0 : 1;
}
