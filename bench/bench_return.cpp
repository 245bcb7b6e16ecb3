// The periodic return on 10,000 and 100,000 outstanding entries, against its
// lower bound: one statement marking every row plus writing the same bytes.
#include "benchdata.h"

#include "returns/returnoutput.h"

#include <QCoreApplication>
#include <QFile>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

double lowerBound(int entries, const QByteArray &bytes)
{
    BenchOffice office;
    office.addEntries(entries, false);
    QElapsedTimer t;
    t.start();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bound"));
        db.setDatabaseName(office.host(QStringLiteral("K:\\CTF.mdb")));
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        q.exec(QStringLiteral("UPDATE ChildTrustFunds SET RecordOutput = 1, PeriodEndSent = '06/12/26', SentRef = 'From ID 1 to 2' "
                              "WHERE RecordOutput = 0"));
        QFile f(office.host(QStringLiteral("K:\\Returns\\IRReturn.txt")));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        f.close();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bound"));
    return seconds(t);
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ui::install(std::make_unique<Quiet>());
    QList<int> sizes{10000, 100000};
    if (argc > 1)
        sizes = {QString::fromLatin1(argv[1]).toInt()};
    for (int entries : sizes) {
        BenchOffice office;
        office.addEntries(entries, false);
        QElapsedTimer t;
        t.start();
        returns::ReturnOutput out;
        out.load();
        const double load = seconds(t);
        t.restart();
        out.generate(QStringLiteral("30/11/2026"));
        const double run = seconds(t);
        QFile f(office.host(QStringLiteral("K:\\Returns\\IRReturn.txt")));
        f.open(QIODevice::ReadOnly);
        const QByteArray bytes = f.readAll();
        const double bound = lowerBound(entries, bytes);
        std::printf("%d outstanding entries\n", entries);
        report("  opening the output screen (queries, list)", load);
        report("  generation (lines written and rows marked one by one)", run);
        report("  lower bound (one UPDATE of all rows + one write)", bound);
        std::printf("  ratio generation / lower bound: %.1f\n", run / bound);
    }
    return 0;
}
