// The enquiry grid's "See all" on 200,000 entries and its sorts by CRN and
// by Amount, against sqlite3 printing the same rows as CSV.
#include "benchdata.h"

#include "returns/entrygrid.h"
#include "returns/frmctfview.h"

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int entries = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 200000;
    BenchOffice office;
    office.addEntries(entries / 2, true);
    office.addEntries(entries - entries / 2, false);
    frmCTFView view;
    QElapsedTimer t;
    t.start();
    view.Command1_Click();
    const double fill = seconds(t);
    t.restart();
    view.MSHFlexGrid1_Click(-1, 3); // CRN
    const double crn = seconds(t);
    t.restart();
    view.MSHFlexGrid1_Click(-1, 5); // Amount
    const double amount = seconds(t);
    std::printf("%d entries (%d rows in the grid)\n", entries, view.model()->rowCount());
    report("\"See all\": fill the grid", fill);
    report("sort by CRN", crn);
    report("sort by Amount", amount);
    const QString sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (sqlite3.isEmpty()) {
        std::printf("sqlite3 is not installed: no comparison\n");
        return 0;
    }
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    t.restart();
    p.start(sqlite3, {QStringLiteral("-csv"), QStringLiteral("-header"), office.host(QStringLiteral("K:\\CTF.mdb")), enquiry::allStatement()});
    p.waitForFinished(-1);
    const double cli = seconds(t);
    report("sqlite3 -csv printing the same rows", cli);
    std::printf("ratio fill / sqlite3: %.2f\n", fill / cli);
    return 0;
}
