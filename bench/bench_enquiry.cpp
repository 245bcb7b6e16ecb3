// The enquiry on 200,000 entries (or as many as the argument says):
// - the grid's "See all", what it holds per row beyond the text, and its
//   sorts by CRN and by Amount;
// - `ctfadmin enquiry --all --csv`, its time and its peak memory;
// each against sqlite3 printing the same rows as CSV.
#include "benchdata.h"

#include "returns/entrygrid.h"
#include "returns/frmctfview.h"

#include <QApplication>
#include <malloc.h>

namespace {

double heapBytes()
{
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks + m.hblkhd);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int entries = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 200000;
    BenchOffice office;
    office.addEntries(entries / 2, true);
    office.addEntries(entries - entries / 2, false);
    // What the grid's rows hold, on a model of their own.
    double held = 0, textBytes = 0;
    {
        malloc_trim(0);
        const double before = heapBytes();
        enquiry::EntryGridModel model;
        model.fill(enquiry::allStatement());
        held = heapBytes() - before;
        for (int r = 0; r < model.rowCount(); ++r)
            for (int c = 0; c < model.columnCount(); ++c)
                textBytes += double(model.text(r, c).size()) * 2;
    }
    frmCTFView view;
    QElapsedTimer t;
    t.start();
    view.Command1_Click();
    const double fill = seconds(t);
    const int rows = view.model()->rowCount();
    t.restart();
    view.MSHFlexGrid1_Click(-1, 3); // CRN
    const double crn = seconds(t);
    t.restart();
    view.MSHFlexGrid1_Click(-1, 5); // Amount
    const double amount = seconds(t);
    std::printf("%d entries (%d rows in the grid)\n", entries, rows);
    report("\"See all\": fill the grid", fill);
    std::printf("  the grid holds %.1f MB: %.0f bytes a row beyond its text (%.1f MB of text)\n", held / 1048576.0,
                (held - textBytes) / rows, textBytes / 1048576.0);
    report("sort by CRN", crn);
    report("sort by Amount", amount);

    const QString sqlite3 = sqlite3Program();
    if (sqlite3.isEmpty()) {
        std::printf("sqlite3 is not installed: no comparison\n");
        return 0;
    }
    const auto [cliSeconds, cliMegabytes] = timed(QStringLiteral(CTFADMIN_EXE), {QStringLiteral("--root"), office.root(),
                                                                                  QStringLiteral("enquiry"), QStringLiteral("--all"), QStringLiteral("--csv")});
    const auto [sqliteSeconds, sqliteMegabytes] =
        timed(sqlite3, {QStringLiteral("-csv"), QStringLiteral("-header"), office.host(QStringLiteral("K:\\CTF.mdb")), enquiry::allStatement()});
    report("sqlite3 -csv printing the same rows", sqliteSeconds);
    std::printf("  ratio \"See all\" / sqlite3: %.2f\n", fill / sqliteSeconds);
    report("ctfadmin enquiry --all --csv", cliSeconds);
    std::printf("  ratio / sqlite3: %.2f; peak memory %.1f MB (sqlite3 %.1f MB)\n", cliSeconds / sqliteSeconds, cliMegabytes,
                sqliteMegabytes);
    return 0;
}
