// The periodic return on 10,000 and 100,000 outstanding entries, against
// fair lower bounds (the same bytes written and put on the disk once, one
// UPDATE marking every row, the log copy; and the same with the register's
// history written by SQLite's triggers); at 10,000 entries also on the
// office's share (FUSE, when it can be mounted). Also what the output screen
// holds in memory once it has opened on those entries, a backup, and saving
// an entry.
#include "benchdata.h"
#include "support/mounts.h"

#include "common/textfile.h"
#include "data/connection.h"
#include "returns/frmctfoutput.h"
#include "returns/returnoutput.h"
#include "register/backups.h"
#include "register/entrymaintenance.h"
#include "register/history.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QList>

#include <algorithm>
#include <malloc.h>

namespace {

// Bytes the program has taken from the allocator, and mapped memory (Qt's
// widgets, fonts), in megabytes.
double heapMegabytes()
{
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks + m.hblkhd) / (1024.0 * 1024.0);
}

// The office's K: moved to a folder of its own and mounted back through FUSE
// with the file server's byte-range locks, as a desk sees the office's share.
bool mountShare(Mount &share, const BenchOffice &office)
{
    const QString k = office.host(QStringLiteral("K:\\")), server = office.root() + QStringLiteral("/server");
    return Mount::fuseAllowed() && QDir().rename(k, server) && share.share(server, k);
}

// What marking the entries must cost at least: one UPDATE marking every row
// on a connection with the program's own SQLite settings, the same bytes
// written and put on the disk once, and the log copy. With `history` the
// register has its history and the UPDATE is filed under a change, so that
// SQLite's own triggers write every entry's before and after: the least a
// return that keeps the history can do.
double lowerBound(int entries, const QByteArray &bytes, bool shared, bool history)
{
    BenchOffice office;
    office.addEntries(entries, false);
    Mount share;
    if (shared && !mountShare(share, office))
        return -1;
    Connection c;
    c.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=K:\\CTF.mdb;"));
    c.open();
    if (history)
        history::ensure(c);
    QElapsedTimer t;
    t.start();
    if (history)
        c.execute(QStringLiteral("INSERT INTO RegisterChanges (LocalTime, UTC, Through, Active) VALUES ('', '', 'bound', 1)"));
    c.execute(QStringLiteral("UPDATE ChildTrustFunds SET RecordOutput = 1, PeriodEndSent = '06/12/26', SentRef = 'From ID 1 to 2' "
                             "WHERE RecordOutput = 0"));
    QFile f(office.host(QStringLiteral("K:\\Returns\\IRReturn.txt")));
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    textfile::syncToDisk(f);
    f.close();
    textfile::copyReplacing(QStringLiteral("K:\\Returns\\IRReturn.txt"), QStringLiteral("C:\\temp\\QDbound.log"));
    const double took = seconds(t);
    c.close();
    return took;
}

// One return run on `entries` outstanding entries (its backup included), and
// the bytes it wrote; negative where FUSE cannot be mounted.
double generation(int entries, bool shared, QByteArray &bytes)
{
    BenchOffice office;
    office.addEntries(entries, false);
    Mount share;
    if (shared && !mountShare(share, office))
        return -1;
    returns::ReturnOutput out;
    out.load();
    QElapsedTimer t;
    t.start();
    out.generate(QStringLiteral("30/11/2026"));
    const double took = seconds(t);
    QFile f(office.host(QStringLiteral("K:\\Returns\\IRReturn.txt")));
    f.open(QIODevice::ReadOnly);
    bytes = f.readAll();
    return took;
}

// The return run on `entries` outstanding entries and its lower bounds, on a
// local disk or on a FUSE share. Each is taken three times, in turn, and the
// fastest kept: this machine's neighbours move single figures by half.
void returnRun(int entries, bool shared)
{
    constexpr int kRounds = 3;
    double run = 1e9, bound = 1e9, withHistory = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        QByteArray bytes;
        const double took = generation(entries, shared, bytes);
        if (took < 0) {
            std::printf("  (the FUSE share cannot be mounted here: needs root, /dev/fuse and bindfs)\n");
            return;
        }
        run = std::min(run, took);
        bound = std::min(bound, lowerBound(entries, bytes, shared, false));
        withHistory = std::min(withHistory, lowerBound(entries, bytes, shared, true));
    }
    const char *where = shared ? "on a FUSE share" : "on a local disk";
    std::printf("  %s (fastest of %d)\n", where, kRounds);
    report("    generation (backup, lines, marks and history, log)", run);
    report("    lower bound (one UPDATE, one write and flush, log copy)", bound);
    report("    lower bound with the history written by triggers", withHistory);
    std::printf("    ratio generation / lower bound: %.2f\n", run / bound);
    std::printf("    ratio generation / lower bound with the history: %.2f\n", run / withHistory);
}
// The backup of a register, against its bytes copied and put on the disk
// (a copy that only a quiet file allows).
void backup(int entries)
{
    BenchOffice office;
    office.addEntries(entries, true);
    const QString reg = office.host(QStringLiteral("K:\\CTF.mdb"));
    QElapsedTimer t;
    t.start();
    const backups::Taken taken = backups::take(reg, QStringLiteral("bench"), QDateTime::currentDateTime());
    const double backup = seconds(t);
    t.restart();
    {
        QFile from(reg), to(office.root() + QStringLiteral("/copy"));
        from.open(QIODevice::ReadOnly);
        to.open(QIODevice::WriteOnly);
        to.write(from.readAll());
        textfile::syncToDisk(to);
    }
    const double copy = seconds(t);
    std::printf("%d entries in the register\n", entries);
    report(taken.ok() ? "  backup (SQLite's online backup, put on the disk)" : "  backup FAILED", backup);
    report("  bound: its bytes copied and put on the disk", copy);
    std::printf("  ratio backup / bound: %.2f\n", backup / copy);
}

// Saving entries through the maintenance workflow (look-up, save, and its
// history; the look-up is not timed), against one UPDATE of one row each;
// fastest of five rounds.
void saves(int entries)
{
    constexpr int kSaves = 200, kRounds = 5;
    const QString cs = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=K:\\CTF.mdb;");
    BenchOffice office;
    office.addEntries(entries, true);
    double save = 1e9, update = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        maint::EntryMaintenance m;
        m.openRegister(cs);
        QElapsedTimer t;
        qint64 saving = 0;
        for (int i = 0; i < kSaves; ++i) {
            m.findById(double(1 + i));
            const maint::Entry e = m.entry();
            const maint::EntryInput in{e.crn, e.entity, QString(), e.dob ? e.dob->toString(QStringLiteral("dd/MM/yyyy")) : QString(),
                                       QString::number(10 + i + round), std::nullopt, e.sent};
            t.start();
            m.save(in);
            saving += t.nsecsElapsed();
        }
        save = std::min(save, double(saving) / 1e9);
        m.close();
        Connection c;
        c.setConnectionString(cs);
        c.open();
        t.restart();
        for (int i = 0; i < kSaves; ++i)
            c.execute(QStringLiteral("UPDATE ChildTrustFunds SET Amount = ? WHERE ID = ?"), {20 + i + round, 1 + i});
        update = std::min(update, seconds(t));
    }
    report("  200 saves of an entry (the save and its history alone)", save);
    report("  bound: 200 UPDATEs of one row", update);
    std::printf("  ratio save / bound: %.2f\n", save / update);
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ui::install(std::make_unique<Quiet>());
    QList<int> sizes{10000, 100000};
    if (argc > 1)
        sizes = {QString::fromLatin1(argv[1]).toInt()};
    for (int entries : sizes) {
        {
            BenchOffice office;
            office.addEntries(entries, false);
            // The screen as the operator opens it: its memory and its opening.
            malloc_trim(0);
            const double before = heapMegabytes();
            QElapsedTimer t;
            t.start();
            auto *screen = new frmCTFOUTPUT();
            const double open = seconds(t);
            const double held = heapMegabytes() - before;
            delete screen;
            std::printf("%d outstanding entries\n", entries);
            report("  opening the output screen (queries, list, checks)", open);
            std::printf("  %-56s %9.1f MB\n", "memory the open output screen holds", held);
            // sqlite3 reading the same rows (and the lowest and highest ID).
            const QString sqlite3 = sqlite3Program();
            if (!sqlite3.isEmpty()) {
                const double cli = timed(sqlite3, {office.host(QStringLiteral("K:\\CTF.mdb")),
                                                   QStringLiteral("SELECT Min(ID) FROM ChildTrustFunds WHERE RecordOutput = 0; "
                                                                  "SELECT Max(ID) FROM ChildTrustFunds WHERE RecordOutput = 0; "
                                                                  "SELECT * FROM ChildTrustFunds WHERE RecordOutput = 0 ORDER BY Entity, CRN;")})
                                       .first;
                report("  sqlite3 reading the same rows", cli);
                std::printf("  ratio opening / sqlite3: %.2f\n", open / cli);
            }
        }
        returnRun(entries, false);
        // The office's share: a rollback journal and full syncs, through FUSE.
        if (entries <= 10000)
            returnRun(entries, true);
    }
    backup(200000);
    saves(200000);
    return 0;
}
