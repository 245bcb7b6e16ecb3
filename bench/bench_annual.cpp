// Both annual return commands on 20,000 CTF holders with 80 transactions
// each, against their lower bound: one grouped query over the same tables
// computing the same balances and subscriptions.
#include "benchdata.h"

#include "annual/annualreturn.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

double grouped(const QString &path, const QString &filter, const QString &selection)
{
    QElapsedTimer t;
    t.start();
    int rows = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bound"));
        db.setDatabaseName(path);
        db.open();
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.exec(QStringLiteral(
                   "SELECT s.MemberNo, sum(CASE WHEN t.TranDate <= '2026-04-05' THEN t.TranValue1 ELSE 0 END), "
                   "sum(CASE WHEN t.TranDate >= '2025-04-06' AND t.TranDate <= '2026-04-05' AND t.TranValue1 > 0 "
                   "AND (t.Narrative IS NULL OR NOT (upper(t.Narrative) LIKE '%VOU%' OR upper(t.Narrative) LIKE '%ENDOW%' "
                   "OR upper(t.Narrative) LIKE '%DIV%' OR upper(t.Narrative) LIKE '%INTEREST%')) THEN round(t.TranValue1, 2) ELSE 0 END), "
                   "(SELECT NINumber FROM MemberMain m WHERE m.MemberNo = s.MemberNo) "
                   "FROM (%1) s JOIN (SELECT * FROM MemberAllTrans UNION ALL SELECT * FROM MemberTrans) t "
                   "ON t.MemberNo = s.MemberNo AND %2 GROUP BY s.MemberNo")
                   .arg(selection, filter));
        while (q.next())
            ++rows;
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bound"));
    std::printf("  (lower bound read %d members)\n", rows);
    return seconds(t);
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ui::install(std::make_unique<Quiet>());
    const int holders = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 20000;
    BenchOffice office;
    office.addHolders(holders, 80);
    std::printf("%d holders, 80 transactions each\n", holders);
    annual::AnnualReturn run;
    run.open();
    QElapsedTimer t;
    t.start();
    run.runShareAccount(1, QStringLiteral("06/04/25"), QStringLiteral("05/04/26"));
    const double share = seconds(t);
    t.restart();
    run.runProducts({{QStringLiteral("CTF - Child Trust Fund"), true}}, QStringLiteral("06/04/25"), QStringLiteral("05/04/26"));
    const double products = seconds(t);
    run.close();
    const QString path = office.host(QStringLiteral("K:\\Tarnwell.mdb"));
    const double shareBound = grouped(path, QStringLiteral("t.Account = 1"), QStringLiteral("SELECT MemberNo FROM MemberBals WHERE S1Bal > 0"));
    const double productBound = grouped(path, QStringLiteral("t.ProductCode IN ('CTF')"),
                                        QStringLiteral("SELECT MemberNo FROM MemberBalances WHERE ProductCode IN ('CTF')"));
    report("share account 1 (per-member statements)", share);
    report("  lower bound (one grouped query)", shareBound);
    std::printf("  ratio: %.2f\n", share / shareBound);
    report("products ('CTF') (per-member statements)", products);
    report("  lower bound (one grouped query)", productBound);
    std::printf("  ratio: %.2f\n", products / productBound);
    return 0;
}
