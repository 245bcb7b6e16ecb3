// Converting genuine Access files (the test fixtures, or files named on the
// command line, such as office-scale files made with the generator of
// ../shared/fixtures/mdb/tools) into SQLite, against the tightest bound: the
// same tables' mdb-export, with the same arguments, two at once on the
// machine's two cores, output read and dropped. Runs alternate, medians are
// reported; the snapshot is checked against the file (each table's rows as
// its definition lists them, and a sample of rows value by value) and the
// peak resident memory of the whole bench is printed. A file that holds a
// register (a ChildTrustFunds table) is also imported as the office's
// register, each round on a fresh copy, against the same bound.
#include "benchdata.h"

#include "data/accessfile.h"
#include "app/appsettings.h"
#include "register/entrymaintenance.h"
#include "register/registerimport.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <sys/resource.h>
#include <vector>

namespace {
double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Every table's export with the conversion's own arguments, two at a time.
double exportTwoAtOnce(accessfile::Reader &reader, const QList<accessfile::Table> &tables)
{
    QElapsedTimer t;
    t.start();
    std::vector<std::unique_ptr<QProcess>> running;
    qsizetype next = 0;
    while (next < tables.size() || !running.empty()) {
        while (running.size() < 2 && next < tables.size()) {
            auto p = std::make_unique<QProcess>();
            p->setStandardOutputFile(QProcess::nullDevice());
            p->start(QStringLiteral("mdb-export"), reader.exportArguments(tables[next++]));
            p->waitForStarted();
            running.push_back(std::move(p));
        }
        running.front()->waitForFinished(-1);
        running.erase(running.begin());
    }
    return seconds(t);
}

// The snapshot holds each table's listed rows, and every 1,000th row (and
// the last) as the export gives it, value by value.
QString checkSnapshot(accessfile::Reader &reader, const QList<accessfile::Table> &tables, const QString &snapshot)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
    db.setDatabaseName(snapshot);
    db.open();
    QString problem;
    qint64 sampled = 0;
    for (const accessfile::Table &t : tables) {
        QSqlQuery q(db);
        q.exec(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(t.name));
        q.next();
        const qint64 rows = q.value(0).toLongLong();
        if (rows != reader.listedRows(t)) {
            problem = QStringLiteral("%1 holds %2 rows, the file lists %3").arg(t.name).arg(rows).arg(reader.listedRows(t));
            break;
        }
        qint64 row = 0;
        reader.rows(t, [&](const QVariantList &values) {
            ++row;
            if (row % 1000 != 1 && row != rows)
                return;
            ++sampled;
            QSqlQuery r(db);
            r.exec(QStringLiteral("SELECT * FROM \"%1\" WHERE rowid = %2").arg(t.name).arg(row));
            r.next();
            for (int i = 0; i < values.size(); ++i)
                if (problem.isEmpty() && r.value(i) != values[i] && !(r.value(i).isNull() && values[i].isNull()))
                    problem = QStringLiteral("%1 row %2 column %3: %4 where the file has %5")
                                  .arg(t.name).arg(row).arg(t.columns[i].name, r.value(i).toString(), values[i].toString());
        });
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return problem.isEmpty() ? QStringLiteral("equal (row counts of every table, %1 rows compared value by value)").arg(sampled) : problem;
}
// The maintenance screen's member connection on a Tarnwell file as an
// office has it: opened, with its first look-up, after Tarnwell changed (as
// it does all day) and with it unchanged, against mdb-export of the two
// tables it reads.
void memberConnection(BenchOffice &office, const QString &file, accessfile::Reader &reader, int rounds)
{
    const QString tarnwell = office.host(QStringLiteral("K:\\Tarnwell.mdb"));
    QFile::remove(tarnwell);
    QFile::copy(file, tarnwell);
    const QList<accessfile::Table> read{*reader.table(QStringLiteral("Control")), *reader.table(QStringLiteral("MemberMain"))};
    std::vector<double> changed, unchanged, exporting;
    bool found = true;
    const auto openAndLookUp = [&] {
        QElapsedTimer t;
        t.start();
        maint::EntryMaintenance m;
        found = m.openMemberDatabase(GetConnectionString(QStringLiteral("Tarnwell"))) && m.readControl().has_value() && found;
        m.memberName(1001);
        return seconds(t);
    };
    for (int round = 0; round < rounds; ++round) {
        exporting.push_back(exportTwoAtOnce(reader, read));
        QFile::setPermissions(tarnwell, QFile::permissions(tarnwell)); // a new change time: a new version
        changed.push_back(openAndLookUp());
        unchanged.push_back(openAndLookUp());
    }
    report("  members' connection and first look-up, Tarnwell changed", median(changed));
    report("  the same, Tarnwell unchanged", median(unchanged));
    report("  mdb-export of Control and MemberMain, two at once", median(exporting));
    std::printf("  ratio changed / unchanged: %.2f, changed / mdb-export: %.2f%s\n", median(changed) / median(unchanged),
                median(changed) / median(exporting), found ? "" : " (a look-up failed)");
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ui::install(std::make_unique<Quiet>());
    QStringList files;
    for (int i = 1; i < argc; ++i)
        files << QString::fromLocal8Bit(argv[i]);
    if (files.isEmpty())
        files = {QStringLiteral(CTF_TEST_DATA "/mdb/jackcess-tests/testV2000.mdb"), QStringLiteral(CTF_TEST_DATA "/mdb/generated/tarnwell-jet4.mdb")};
    BenchOffice office;
    const int rounds = qEnvironmentVariableIntValue("CTFADMIN_BENCH_ROUNDS") > 0 ? qEnvironmentVariableIntValue("CTFADMIN_BENCH_ROUNDS") : 5;
    for (const QString &file : files) {
        accessfile::Reader reader(file, file);
        const QList<accessfile::Table> tables = reader.tables();
        qint64 rows = 0;
        for (const accessfile::Table &t : tables)
            rows += reader.listedRows(t);
        const QString target = office.host(QStringLiteral("C:\\temp\\converted.sqlite"));
        std::vector<double> converting, exporting;
        for (int round = 0; round < rounds; ++round) {
            exporting.push_back(exportTwoAtOnce(reader, tables));
            QFile::remove(target);
            QElapsedTimer t;
            t.start();
            accessfile::convert(file, file, target);
            converting.push_back(seconds(t));
        }
        std::printf("%s (%lld bytes, %lld tables, %lld rows), median of %d\n", qPrintable(file), qlonglong(QFile(file).size()),
                    qlonglong(tables.size()), qlonglong(rows), rounds);
        report("  conversion into SQLite", median(converting));
        report("  mdb-export of the same tables, two at once", median(exporting));
        std::printf("  ratio conversion / mdb-export: %.2f\n", median(converting) / median(exporting));
        std::printf("  snapshot against the file: %s\n", qPrintable(checkSnapshot(reader, tables, target)));
        if (reader.table(QStringLiteral("MemberMain")) && reader.table(QStringLiteral("Control")))
            memberConnection(office, file, reader, rounds);
        if (!reader.table(QStringLiteral("ChildTrustFunds")))
            continue;
        const QString registerFile = office.host(QStringLiteral("K:\\CTF.mdb"));
        std::vector<double> importing, exportingAgain;
        bool imported = true;
        for (int round = 0; round < rounds; ++round) {
            exportingAgain.push_back(exportTwoAtOnce(reader, tables));
            for (const QString &name : QDir(office.host(QStringLiteral("K:\\"))).entryList({QStringLiteral("CTF*.mdb")}, QDir::Files))
                QFile::remove(office.host(QStringLiteral("K:\\")) + QLatin1Char('/') + name);
            QFile::copy(file, registerFile);
            QElapsedTimer t;
            t.start();
            imported = registerimport::importRegister(QDate(2026, 12, 7)).result == registerimport::Result::Converted && imported;
            importing.push_back(seconds(t));
        }
        report("  import-register", median(importing));
        report("  mdb-export of the table, in the same rounds", median(exportingAgain));
        std::printf("  ratio import-register / mdb-export: %.2f%s\n", median(importing) / median(exportingAgain),
                    imported ? "" : " (an import failed)");
    }
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory of the bench: %.1f MB\n", double(usage.ru_maxrss) / 1024.0);
    return 0;
}
