// Both annual return commands, and the maturities due, on 20,000 and 100,000 CTF holders with 80
// transactions each, stored in date order as a ledger stores them, against
// the tightest way to compute the same file: one grouped scan of each
// transaction table restricted to the selected members, the selection read
// with its MemberMain rows, and the lines made from those three results. The
// bound's lines are checked against the file the program wrote.
#include "benchdata.h"

#include "annual/annualreturn.h"
#include "annual/maturities.h"
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

// The maturities due in 2026 for share account 1, the tightest way: one
// query over the selection with its MemberMain rows, the birthdays made by
// SQLite's date arithmetic (29 February + 18 years is 1 March in a common
// year there too), and one grouped scan of each transaction table for the
// balance at the start of the period. Lines "day member years balance".
QStringList dueBound(const QString &path, double *secondsTaken)
{
    QElapsedTimer t;
    t.start();
    QStringList lines;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("due"));
        db.setDatabaseName(path);
        db.open();
        QSqlQuery(db).exec(QStringLiteral("PRAGMA mmap_size = 1073741824"));
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.exec(QStringLiteral(
            "WITH sel AS (SELECT MemberNo FROM MemberBals WHERE S1Bal > 0), "
            "bal AS (SELECT MemberNo, sum(v) AS s FROM ("
            " SELECT MemberNo, CAST(round(TranValue1 * 10000) AS INTEGER) AS v FROM MemberAllTrans WHERE Account = 1 AND TranDate <= '2025-12-31' "
            "  AND MemberNo IN sel UNION ALL "
            " SELECT MemberNo, CAST(round(TranValue1 * 10000) AS INTEGER) FROM MemberTrans WHERE Account = 1 AND TranDate <= '2025-12-31' "
            "  AND MemberNo IN sel) GROUP BY MemberNo), "
            "ev AS (SELECT s.MemberNo, y.n, date(m.DOB, '+' || y.n || ' years') AS day FROM sel s JOIN MemberMain m ON m.MemberNo = s.MemberNo, "
            " (SELECT 17 AS n UNION ALL SELECT 18 UNION ALL SELECT 19) y) "
            "SELECT ev.day, ev.MemberNo, ev.n, ifnull(bal.s, 0) FROM ev LEFT JOIN bal ON bal.MemberNo = ev.MemberNo "
            "WHERE ev.day BETWEEN '2026-01-01' AND '2026-12-31' ORDER BY ev.day, ev.MemberNo"));
        while (q.next())
            lines << QStringLiteral("%1 %2 %3 %4").arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                                                      Money::fromUnits(q.value(3).toLongLong()).roundedTo2().format2());
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("due"));
    *secondsTaken = seconds(t);
    return lines;
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

        t.restart();
        QList<maturities::Due> due;
        maturities::report(run, 1, {}, QDate(2026, 1, 1), QDate(2026, 12, 31), due);
        const double dueSeconds = seconds(t);
        QStringList dueLines;
        const QHash<QString, QString> years{{QStringLiteral("17th birthday: statement due"), QStringLiteral("17")},
                                            {QStringLiteral("18th birthday: account matures"), QStringLiteral("18")},
                                            {QStringLiteral("12 months after maturity: statement due"), QStringLiteral("19")}};
        for (const maturities::Due &d : due)
            dueLines << QStringLiteral("%1 %2 %3 %4").arg(d.day.toString(Qt::ISODate), d.member, years.value(d.event), d.balance.roundedTo2().format2());
        double dueBoundSeconds = 0;
        const QStringList dueBoundLines = dueBound(path, &dueBoundSeconds);
        report("maturities due in 2026, share account 1", dueSeconds);
        report("  bound (one query with date arithmetic, grouped scans)", dueBoundSeconds);
        std::printf("  ratio: %.2f; %lld events; %s\n", dueSeconds / dueBoundSeconds, qlonglong(due.size()),
                    dueLines == dueBoundLines ? "the events equal the bound's" : "THE EVENTS DIFFER FROM THE BOUND'S");
        run.close();
        allEqual = allEqual && shareFile == shareLines && productFile == productLines && dueLines == dueBoundLines;
    }
    return allEqual ? 0 : 1;
}
