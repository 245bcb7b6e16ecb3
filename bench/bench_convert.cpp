// Converting genuine Access files (the test fixtures, or files named on the
// command line) into SQLite, against mdb-export alone writing the same
// tables in the same run: the conversion's own work is reading the table
// list, the SQLite file and its indexes.
#include "benchdata.h"

#include "data/accessfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <vector>

namespace {
double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// mdb-export of every table, one after the other, output read and dropped.
double exportAlone(const QString &file, const QList<accessfile::Table> &tables)
{
    QElapsedTimer t;
    t.start();
    for (const accessfile::Table &table : tables) {
        QProcess p;
        p.start(QStringLiteral("mdb-export"), {file, table.name});
        p.waitForFinished(-1);
        p.readAllStandardOutput();
    }
    return seconds(t);
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
    for (const QString &file : files) {
        accessfile::Reader reader(file, file);
        const QList<accessfile::Table> tables = reader.tables();
        std::vector<double> converting, exporting;
        for (int round = 0; round < 7; ++round) {
            const QString target = office.host(QStringLiteral("C:\\temp\\converted.sqlite"));
            QFile::remove(target);
            QElapsedTimer t;
            t.start();
            accessfile::convert(file, file, target);
            converting.push_back(seconds(t));
            exporting.push_back(exportAlone(file, tables));
        }
        std::printf("%s (%lld bytes, %lld tables), median of 7\n", qPrintable(file), qlonglong(QFile(file).size()), qlonglong(tables.size()));
        report("  conversion into SQLite", median(converting));
        report("  mdb-export alone of the same tables", median(exporting));
        std::printf("  ratio conversion / mdb-export: %.2f\n", median(converting) / median(exporting));
    }
    return 0;
}
