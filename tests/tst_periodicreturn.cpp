// The periodic return IRReturn.txt: its exact bytes, the markings of the
// entries, the log copy, re-creation, and what a run that breaks leaves.
#include "common/textfile.h"
#include "data/connection.h"
#include "checks/checks.h"
#include "register/history.h"
#include "returns/recreate.h"
#include "returns/returnoutput.h"
#include "support/mounts.h"
#include "support/office.h"

using returns::ReturnOutput;
using returns::RunResult;
using namespace Qt::StringLiterals;

namespace {
const QDateTime kStart(QDate(2026, 12, 6), QTime(9, 5, 30));
const QString kLog = u"C:\\temp\\QD30112026-0905.log"_s;
const QString kPartial = kReturn + u".incomplete"_s;
const QString kRecord = kCtf + u".return-run"_s;
const QByteArray kPrevious("Header|2026/10/31\r\nNilReturn\r\n");
const QString kCreated = u"Information |  CTF - ASCII output | ASCII file  [K:\\Returns\\IRReturn.txt]  has been created"_s;

// Vouchers AB000001.. with amounts 1, 2, ...
void addVouchers(TestOffice &office, int count)
{
    for (int i = 1; i <= count; ++i)
        office.addEntry(u"Voucher"_s, u"AB00000%1"_s.arg(i), u"05/05/2013"_s, i);
}

int markedCount(TestOffice &office)
{
    return office.scalar(kCtf, u"SELECT count(*) FROM ChildTrustFunds WHERE RecordOutput <> 0"_s).toInt();
}

// A screen's opening and one run.
RunResult runOnce(const QString &periodEnd = u"30/11/2026"_s, const QDateTime &start = kStart)
{
    ReturnOutput out;
    const returns::Opening opening = out.load();
    ui::show(opening.notices);
    return opening ? ui::shown(out.generate(periodEnd, start)) : RunResult::Failed;
}

// What a killed run leaves: its incomplete file and its record (the lock
// goes with the program).
void leaveKilledRun(TestOffice &office, const returns::RunInfo &run, const QByteArray &partialBytes)
{
    office.writeFile(run.partialPath, partialBytes);
    returns::RunRecord killed(kCtf);
    QVERIFY(killed.claim(nullptr));
    killed.begin(run);
    killed.addMarked(run.marked);
    if (run.complete)
        killed.markComplete();
}
} // namespace

class tst_periodicreturn : public QObject {
    Q_OBJECT
private slots:
    void everyKindExactBytesAndMarkings()
    {
        TestOffice office;
        const qint64 done = office.addEntry(u"Voucher"_s, u"AA000001"_s, u"05/05/2013"_s, 5, {}, {}, {}, true);
        office.exec(kCtf, u"UPDATE ChildTrustFunds SET SentRef = 'old', PeriodEndSent = '01/01/20'"_s);
        const qint64 first = office.addEntry(u"Voucher"_s, u"AB123456C"_s, u"01/02/2010"_s, 250);
        office.addEntry(u"RAA"_s, u"AB123456"_s, u"15/06/2012"_s, 12.345);
        office.addEntry(u"endowment"_s, u"CD987654321X"_s, u"04/03/2011"_s, -0.005);
        office.addEntry(u"EXCEPTION"_s, QVariant(), u"04/03/2011"_s, 0, u"2"_s, u"R1 Ł"_s); // not in the code page: "?"
        office.addEntry(u"ChildDeath"_s, u"EF111111A"_s, u"01/01/2015"_s, 0, {}, {}, u"02/02/2016"_s);
        office.addEntry(u"TransferedIn"_s, u"GH222222"_s, u"05/05/2013"_s, 0);
        office.addEntry(u"Gift"_s, u"ZZ000000"_s, u"05/05/2013"_s, 5);
        office.addEntry(QString(), u"YY000000"_s, u"05/05/2013"_s, 5);
        office.addEntry(u"voucher"_s, u"JK333333B"_s, u"01/01/2010"_s, QVariant());
        const qint64 last = office.addEntry(u"Endowment"_s, u"LM444444"_s, u"01/01/2010"_s, 1234.5, u"7"_s, u"REF9 ’€é"_s); // Windows-1252

        ReturnOutput out;
        QVERIFY(out.load(QDate(2026, 12, 6)));
        QCOMPARE(out.listItems().size(), 10);
        QCOMPARE(out.lowestId(), qint32(first));
        QCOMPARE(out.highestId(), qint32(last));
        const FixedClock clock(QDateTime(QDate(2026, 12, 6), QTime(9, 5)));
        const returns::RunOutcome run = out.generate(u"30/11/2026"_s, kStart);
        QCOMPARE(run.result, RunResult::Done);
        const QByteArray expected = "Header|2026/11/30\r\n"
                                    "ChildDeath|EF111111A|2015/01/01|2016/02/02\r\n"
                                    "Endowment|CD9876543|2011/03/04|-0.01||\r\n"
                                    "Endowment|LM444444 |2010/01/01|1234.50|7|REF9 \x92\x80\xe9\r\n"
                                    "Exception|         |2011/03/04|2|R1 ?\r\n"
                                    "RAA|AB123456 |2012/06/15|12.35|\r\n"
                                    "TransferedIn|GH222222 |2013/05/05\r\n"
                                    "Voucher|AB123456C|2010/02/01|250.00\r\n"
                                    "Voucher|JK333333B|2010/01/01|\r\n";
        QCOMPARE(office.readFile(kReturn), expected);
        QCOMPARE(office.readFile(kLog), expected);
        QCOMPARE(seen(run.notices), QStringList{kCreated});
        // Every outstanding entry is marked, those of unknown kinds too; the one
        // output earlier is not touched.
        QCOMPARE(run.marked, 10);
        QCOMPARE(office.scalar(kCtf, u"SELECT group_concat(DISTINCT RecordOutput || ' ' || PeriodEndSent || ' ' || SentRef) FROM ChildTrustFunds "
                                     "WHERE ID <> %1"_s.arg(done)).toString(),
                 u"1 06/12/26 From ID %1 to %2"_s.arg(first).arg(last));
        QCOMPARE(office.scalar(kCtf, u"SELECT SentRef || PeriodEndSent FROM ChildTrustFunds WHERE ID = %1"_s.arg(done)).toString(), u"old01/01/20"_s);
    }

    // A register with nothing outstanding gives a nil return; one whose entries
    // are all of unknown kinds, the header alone (and they are marked).
    void nilReturnAndHeaderAlone()
    {
        TestOffice office;
        office.addEntry(u"Voucher"_s, u"AA000001"_s, u"05/05/2013"_s, 5, {}, {}, {}, true);
        ReturnOutput out;
        QVERIFY(out.load());
        QCOMPARE(out.lowestId() + out.highestId(), 0);
        QCOMPARE(out.generate(u"15/12/2026"_s, kStart).result, RunResult::Done);
        QCOMPARE(office.readFile(kReturn), QByteArray("Header|2026/12/15\r\nNilReturn\r\n"));
        QCOMPARE(office.readFile(u"C:\\temp\\QD15122026-0905.log"_s), QByteArray("Header|2026/12/15\r\nNilReturn\r\n"));
        office.addEntry(u"Vouchers"_s, u"AA000002"_s, u"05/05/2013"_s, 5);
        office.addEntry(QString(), u"AA000003"_s, u"05/05/2013"_s, 5);
        QCOMPARE(runOnce(), RunResult::Done);
        QCOMPARE(office.readFile(kReturn), QByteArray("Header|2026/11/30\r\n"));
        QCOMPARE(markedCount(office), 3);
    }

    void proposal_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QDate>("proposed");
        QTest::newRow("1st") << QDate(2026, 12, 1) << QDate(2026, 11, 30);
        QTest::newRow("14th") << QDate(2026, 12, 14) << QDate(2026, 11, 30);
        QTest::newRow("15th") << QDate(2026, 12, 15) << QDate(2026, 12, 15);
        QTest::newRow("16th") << QDate(2026, 12, 16) << QDate(2026, 12, 15);
        QTest::newRow("31st") << QDate(2026, 12, 31) << QDate(2026, 12, 15);
        QTest::newRow("1 March") << QDate(2026, 3, 1) << QDate(2026, 2, 28);
        QTest::newRow("1 March leap") << QDate(2028, 3, 1) << QDate(2028, 2, 29);
        QTest::newRow("1 January") << QDate(2027, 1, 1) << QDate(2026, 12, 31);
    }

    void proposal()
    {
        QFETCH(QDate, today);
        QFETCH(QDate, proposed);
        QCOMPARE(returns::proposePeriodEnd(today), proposed);
    }

    void faults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("marked");      // entries marked when it is over
        QTest::addColumn<QString>("message"); // part of the last message
        const QString putBack = u"K:\\Returns\\IRReturn.txt is as it was before this run. The 2 entries this run had marked as output were put "
                                "back, so they go into the next return; nothing needs unmarking by hand."_s;
        const QString unread = u"Critical |  CTF - ASCII output | The entries waiting to be sent could not be read when this screen opened, "
                               "so no return was created and nothing was marked:\r\n"_s;
        QTest::newRow("no temp folder: the return, without its log copy") << "no temp" << 3 << kCreated;
        QTest::newRow("a row refused mid-group: what was marked goes back") << "trigger" << 0 << putBack;
        QTest::newRow("full disk") << "dev full" << 0 << "IRReturn.txt.incomplete";
        QTest::newRow("register table renamed") << "renamed" << 0 << unread;
        QTest::newRow("no ID column (Min and Max fail)") << "view" << 0 << unread;
        QTest::newRow("empty register file: refused by name") << "empty" << 0 << "'K:\\CTF.mdb' is empty (0 bytes)";
        QTest::newRow("no register") << "no register" << 0 << "None | Child trust fund administration | Unable to access the database\r\n"
                                                               "Could not find file 'K:\\CTF.mdb'.";
        QTest::newRow("another run in progress") << "claimed" << 0
                                                 << "Exclamation |  CTF - ASCII output | A return is already being created (since 06/12/2026 "
                                                    "09:01:02 on OFFICE-PC). No return was created and nothing was marked; try again when "
                                                    "that one has finished.";
        QTest::newRow("second run in the same minute") << "same minute" << 3
                                                       << "A return for this period end was created at 09:05, and a return created in the same "
                                                          "minute would replace its log copy C:\\temp\\QD30112026-0905.log. No return was "
                                                          "created and nothing was marked; create the return again after 09:05.";
        QTest::newRow("same minute after a nil return") << "nil first" << 3 << kCreated;
        QTest::newRow("IRReturn.txt cannot be replaced") << "return is a folder" << 0
                                                         << "The 3 entries this run had marked as output were put back, so they go into the next return";
        QTest::newRow("log folder full") << "temp full" << 3 << "has no log copy yet: C:\\temp\\QD30112026-0905.log could not be written";
        QTest::newRow("returns folder full at re-creation") << "returns full" << 3 << "Unable to re-create document from log file";
        // Another desk's commit between the read and the run: nothing goes out
        // with a value the register no longer holds, and no entry twice.
        const QString changed = u"it was changed or deleted by someone else since it was read"_s;
        QTest::newRow("links planted at temporary names") << "links planted" << 3 << kCreated;
        QTest::newRow("an amount changed while the screen read") << "changed while read" << 0 << changed;
        QTest::newRow("another desk's return since the opening") << "other desk first" << 3 << changed;
        QTest::newRow("a period end that is no date, whoever asks") << "no date" << 0 << "Invalid period end date!";
        QTest::newRow("the register held by another writer") << "held" << 0
                                                             << "another desk or program has been writing K:\\CTF.mdb for more than 5 seconds";
    }

    // Faults in and around a run: no earlier return is destroyed, no false
    // return is written, nothing marked is left without its line in a file, and
    // a message says what failed and what was done. The first run at kStart,
    // a second one 20 seconds later.
    void faults()
    {
        QFETCH(QString, fault);
        QFETCH(int, marked);
        QFETCH(QString, message);
        TestOffice office;
        Mount full;
        office.writeFile(kReturn, kPrevious);
        if (fault != u"nil first"_s)
            addVouchers(office, 3);
        returns::RunRecord other(kCtf);
        if (fault == u"no temp"_s)
            QVERIFY(QDir(office.host(u"C:\\temp"_s)).removeRecursively());
        if (fault == u"trigger"_s) // AB000001-2 committed in a group of two when AB000003 fails
            office.exec(kCtf, u"CREATE TRIGGER refuse BEFORE UPDATE ON ChildTrustFunds WHEN NEW.CRN = 'AB000003' "
                              "BEGIN SELECT RAISE(ABORT, 'refused by test'); END"_s);
        if (fault == u"dev full"_s)
            MOUNT_OR_SKIP(full.full(office.host(u"K:\\Returns"_s), kPrevious, u"IRReturn.txt"_s));
        if (fault == u"links planted"_s) // at the names of earlier versions: never followed
            for (const QString &name : {kPartial, kReturn + u".ctfadmin-new"_s, kLog + u".ctfadmin-new"_s, u"K:\\Returns\\.ctfadmin-lock"_s})
                QVERIFY(QFile::link(office.host(u"C:\\outside"_s), office.host(name)));
        if (fault == u"renamed"_s || fault == u"view"_s)
            office.exec(kCtf, u"ALTER TABLE ChildTrustFunds RENAME TO Other"_s);
        if (fault == u"view"_s)
            office.exec(kCtf, u"CREATE VIEW ChildTrustFunds AS SELECT Entity, CRN, DOB, Amount, RecordOutput FROM Other"_s);
        if (fault == u"empty"_s || fault == u"no register"_s) {
            office.close(kCtf);
            for (const char *tail : {"-wal", "-shm", ""})
                QFile::remove(office.host(kCtf) + QLatin1String(tail));
            if (fault == u"empty"_s)
                office.writeFile(kCtf, {});
        }
        if (fault == u"claimed"_s) { // as another program holds it
            QVERIFY(other.claim(nullptr));
            returns::RunInfo run;
            run.started = QDateTime(QDate(2026, 12, 6), QTime(9, 1, 2));
            run.host = u"OFFICE-PC"_s;
            other.begin(run);
        }
        if (fault == u"return is a folder"_s)
            QVERIFY(QFile::remove(office.host(kReturn)) && QDir().mkpath(office.host(kReturn)));
        if (fault == u"temp full"_s)
            MOUNT_OR_SKIP(full.full(office.host(u"C:\\temp"_s)));
        ReturnOutput out;
        out.setGroupSize(2);
        int versionsRead = 0;
        if (fault == u"changed while read"_s) // lands after the rows were read, before their version
            Connection::setStatementObserver([&](const Connection &, const QString &sql) {
                if (sql == u"PRAGMA data_version"_s && versionsRead++ == 0)
                    office.exec(kCtf, u"UPDATE ChildTrustFunds SET Amount = 777 WHERE CRN = 'AB000002'"_s);
            });
        const returns::Opening opening = out.load();
        ui::show(opening.notices);
        const bool loaded = opening.loaded;
        Connection::setStatementObserver({});
        if (fault == u"other desk first"_s)
            QCOMPARE(runOnce(u"30/11/2026"_s, kStart.addSecs(-60)), RunResult::Done);
        QCOMPARE(loaded, fault != u"empty"_s && fault != u"no register"_s);
        if (fault == u"held"_s) // until the test ends
            office.exec(kCtf, u"BEGIN EXCLUSIVE"_s);
        const returns::RunOutcome first = out.generate(fault == u"no date"_s ? u"31/02/2026"_s : u"30/11/2026"_s, kStart);
        QCOMPARE(ui::shown(first) == RunResult::Done,
                 QStringList({"no temp", "same minute", "nil first", "temp full", "returns full", "links planted"}).contains(fault));
        QVERIFY(!QFile::exists(office.host(u"C:\\outside"_s)));
        QCOMPARE(first.logCopyFailed, fault == u"temp full"_s || fault == u"no temp"_s);
        if (fault == u"returns full"_s) {
            MOUNT_OR_SKIP(full.full(office.host(u"K:\\Returns"_s), kPrevious, u"IRReturn.txt"_s));
            QCOMPARE(ui::shown(returns::recreateReturn(kLog)), returns::RecreateResult::CopyFailed);
            QCOMPARE(office.readFile(kReturn), kPrevious); // the previous return, whole
        }
        if (fault == u"nil first"_s)
            addVouchers(office, 3);
        if (fault == u"same minute"_s || fault == u"nil first"_s || fault == u"temp full"_s)
            QCOMPARE(runOnce(u"30/11/2026"_s, kStart.addSecs(20)), fault == u"nil first"_s ? RunResult::Done : RunResult::Failed);
        QVERIFY2(office.ui().seen().join(u'\n').contains(message), qPrintable(office.ui().seen().join(u'\n')));
        QVERIFY(!office.ui().busyNow);
        if (!loaded) {
            QVERIFY(fault == u"no register"_s ? !QFile::exists(office.host(kCtf)) : QFileInfo(office.host(kCtf)).size() == 0);
            QCOMPARE(office.readFile(kReturn), kPrevious);
            return;
        }
        // Every entry marked has its line in IRReturn.txt or a log copy, and no
        // file stands cut short or empty.
        QByteArray kept = office.readFile(kReturn);
        for (const QString &log : QDir(office.host(u"C:\\temp"_s)).entryList({u"QD*.log"_s}, QDir::Files)) {
            const QByteArray bytes = office.readFile(u"C:\\temp\\"_s + log);
            QVERIFY2(bytes.startsWith("Header|") && bytes.endsWith("\r\n"), qPrintable(log));
            kept += bytes;
        }
        const QString table = fault == u"renamed"_s || fault == u"view"_s ? u"Other"_s : u"ChildTrustFunds"_s;
        const QStringList urns = office.scalar(kCtf, u"SELECT group_concat(CRN, ' ') FROM %1 WHERE RecordOutput <> 0"_s.arg(table)).toString().split(u' ', Qt::SkipEmptyParts);
        QCOMPARE(urns.size(), marked);
        for (const QString &urn : urns)
            QVERIFY2(kept.contains("|" + urn.toLatin1() + " |"), qPrintable(urn + u" is marked but in no file"_s));
        if (marked == 0)
            QCOMPARE(office.readFile(kReturn), fault == u"return is a folder"_s ? QByteArray() : kPrevious);
        QCOMPARE(QDir(office.host(u"K:\\Returns"_s)).entryList({u"*.incomplete-*"_s}), QStringList());
        // The run record is empty again, but for a return that waits for its log copy.
        QCOMPARE(office.readFile(kRecord).isEmpty(), fault != u"claimed"_s && fault != u"temp full"_s && fault != u"no temp"_s);
    }

    // What a killed run leaves is put right when the screen next opens.
    void interruptedRunPutRight()
    {
        TestOffice office;
        office.writeFile(kReturn, kPrevious);
        addVouchers(office, 3);
        // A killed run had committed the markings of entries 1 and 2; an entry
        // marked by hand since carries another SentRef and stays.
        office.exec(kCtf, u"UPDATE ChildTrustFunds SET RecordOutput = 1, PeriodEndSent = '06/12/26', SentRef = 'From ID 1 to 3' WHERE ID <= 2"_s);
        office.exec(kCtf, u"UPDATE ChildTrustFunds SET RecordOutput = 1, SentRef = 'by hand' WHERE ID = 3"_s);
        returns::RunInfo run;
        run.started = QDateTime(QDate(2026, 12, 6), QTime(9, 1, 2));
        run.host = u"OFFICE-PC"_s;
        run.sentRef = u"From ID 1 to 3"_s;
        run.returnPath = kReturn;
        run.marked = {1, 2, 3};
        run.partialPath = kPartial + u"-1-abc"_s;
        leaveKilledRun(office, run, "Header|2026/11/30\r\nVoucher|AB000001 |2013/05/05|1.00\r\nVoucher|AB000002 |2013/05/05|2.00\r\n");
        // The next command of any kind removes its incomplete file (members'
        // data); the markings wait for the output screen's opening.
        QCOMPARE(office.ctfadmin(u"enquiry"_s).status, 0);
        QVERIFY(!QFile::exists(office.host(run.partialPath)));
        QVERIFY(!office.readFile(kRecord).isEmpty());
        ReturnOutput out;
        const returns::Opening opening = out.load();
        QVERIFY(opening);
        QCOMPARE(seen(opening.notices), QStringList{u"Information |  CTF - ASCII output | The return run started 06/12/2026 09:01:02 on OFFICE-PC "
                                                "did not finish. The 2 entries it had marked as output were put back, so they go into the next "
                                                "return; its incomplete file was removed. Nothing needs unmarking by hand."_s});
        QCOMPARE(office.scalar(kCtf, u"SELECT group_concat(ID || ':' || RecordOutput || ':' || ifnull(PeriodEndSent, 'null'), ' ') "
                                     "FROM ChildTrustFunds"_s).toString(),
                 u"1:0:null 2:0:null 3:1:null"_s);
        QCOMPARE(out.listItems(), QStringList({"Voucher - AB000001", "Voucher - AB000002"}));
        QCOMPARE(office.readFile(kReturn), kPrevious);
        const history::Row putBack = history::readRegister({}).first(); // the history says who put them back, and why
        QCOMPARE(history::through(putBack), u"put-back of an interrupted return (the run started 06/12/2026 09:01:02 on OFFICE-PC, From ID 1 to 3)"_s);
        QCOMPARE(history::what(putBack), uR"(entry 2 changed: PeriodEndSent "06/12/26" -> (none), RecordOutput "1" -> "0")"_s);

        // Killed after the return was complete: it is put in its place.
        run.started = QDateTime(QDate(2026, 12, 6), QTime(9, 3, 0));
        run.logPath = kLog;
        run.marked.clear();
        run.complete = true;
        leaveKilledRun(office, run, "Header|2026/11/30\r\nNilReturn\r\n");
        ReturnOutput again;
        const QString said = again.load().notices.value(0).text;
        QVERIFY2(said.contains(u"was interrupted after its return was complete"_s), qPrintable(said));
        QCOMPARE(office.readFile(kReturn), QByteArray("Header|2026/11/30\r\nNilReturn\r\n"));
        QCOMPARE(office.readFile(kLog), office.readFile(kReturn));
        QCOMPARE(office.readFile(kRecord), QByteArray(""));
    }

    // Every group's lines and IDs reach the disk before its markings are committed.
    void flushBeforeCommit()
    {
        TestOffice office;
        addVouchers(office, 5);
        ReturnOutput out;
        out.setGroupSize(2);
        QVERIFY(out.load());
        // At each commit, the lines of every entry marked so far are in the file.
        QStringList events;
        const auto partial = [&] { // the run's own name
            const QStringList names = QDir(office.host(u"K:\\Returns"_s)).entryList({u"IRReturn.txt.incomplete-*"_s});
            return names.size() == 1 ? office.readFile(u"K:\\Returns\\"_s + names[0]) : QByteArray();
        };
        Connection::setStatementObserver([&](const Connection &, const QString &sql) {
            if (sql == u"COMMIT"_s)
                events << u"COMMIT with %1 lines"_s.arg(partial().count("Voucher|"));
        });
        textfile::setSyncObserver([&](const QString &path) { events << (path.startsWith(kPartial) ? kPartial : path); });
        QCOMPARE(out.generate(u"30/11/2026"_s, kStart).result, RunResult::Done);
        Connection::setStatementObserver({});
        textfile::setSyncObserver({});
        const auto group = [&](int lines) { return QStringList{kPartial, kRecord, u"COMMIT with %1 lines"_s.arg(lines)}; };
        QCOMPARE(events, QStringList({kRecord}) + group(2) + group(4) + group(5) + QStringList({kPartial, kRecord, kReturn, kLog}));
        QCOMPARE(markedCount(office), 5);
        QCOMPARE(office.readFile(kRecord), QByteArray(""));
    }

    void entryChecks_data()
    {
        QTest::addColumn<QString>("entry");   // Entity, CRN, DOB, Amount, DOD, Type, Ref; "null" for Null
        QTest::addColumn<QString>("finding"); // the start of each finding, " // " between them; empty for none
        QTest::newRow("clean voucher") << "Voucher,AB123456C,05/05/2006,250,null,null,null" << "";
        QTest::newRow("clean endowment") << "endowment,AB123456C,05/05/2006,100,null,8,END1" << "";
        QTest::newRow("clean child death") << "ChildDeath,AB123456C,05/05/2006,null,01/01/2009,null,null" << "";
        QTest::newRow("clean exception, the last eligible birth") << "Exception,AB123456C,02/01/2011,null,null,3,null" << "";
        QTest::newRow("kind misspelt") << "Vocher,AB123456C,05/05/2006,250,null,null,null" << "the kind \"Vocher\" is none of the six kinds";
        QTest::newRow("kind with a blank") << "Voucher ,AB123456C,05/05/2006,250,null,null,null" << "the kind \"Voucher \"";
        // The URN as its field's mask takes it: the last letter optional, digits first allowed.
        QTest::newRow("URN without its letter") << "Voucher,AB123456,05/05/2006,250,null,null,null" << "";
        QTest::newRow("URN digits first") << "Voucher,31876219L,05/05/2006,250,null,null,null" << "";
        QTest::newRow("URN of five digits") << "Voucher,AB12345C,05/05/2006,250,null,null,null" << "the URN \"AB12345C\" is not what the URN field takes";
        QTest::newRow("URN of ten characters") << "Voucher,AB123456CD,05/05/2006,250,null,null,null" << "the URN \"AB123456CD\"";
        QTest::newRow("URN in lower case") << "Voucher,ab123456c,05/05/2006,250,null,null,null" << "the URN \"ab123456c\"";
        QTest::newRow("no date of birth") << "Voucher,AB123456C,null,250,null,null,null" << "the date of birth is missing";
        QTest::newRow("empty mask") << "Voucher,AB123456C,__/__/____,250,null,null,null" << "the date of birth \"__/__/____\" is not a date";
        QTest::newRow("the first eligible birth") << "Voucher,AB123456C,01/09/2002,250,null,null,null" << "";
        QTest::newRow("born too early") << "Voucher,AB123456C,31/08/2002,250,null,null,null" << "the date of birth 31/08/2002 is outside";
        QTest::newRow("born too late") << "RAA,AB123456C,03/01/2011,250,null,null,null" << "the date of birth 03/01/2011 is outside";
        QTest::newRow("voucher without amount") << "Voucher,AB123456C,05/05/2006,null,null,null,null" << "a Voucher without an amount";
        QTest::newRow("amount 0.01") << "RAA,AB123456C,05/05/2006,0.01,null,null,null" << "";
        QTest::newRow("amount 0") << "RAA,AB123456C,05/05/2006,0,null,null,null" << "the amount 0.00 of a RAA is not more than 0";
        QTest::newRow("negative amount") << "Endowment,AB123456C,05/05/2006,-5,null,1,null" << "the amount -5.00 of a Endowment";
        QTest::newRow("two decimals") << "Voucher,AB123456C,05/05/2006,12.75,null,null,null" << "";
        QTest::newRow("three decimals") << "Voucher,AB123456C,05/05/2006,12.755,null,null,null" << "the amount 12.755 has more than two decimals";
        QTest::newRow("endowment without type") << "Endowment,AB123456C,05/05/2006,100,null,,null" << "an Endowment without a type";
        QTest::newRow("type not in the list") << "Exception,AB123456C,05/05/2006,null,null,4,null" << "the type \"4\" is not one of the exception types' codes";
        QTest::newRow("type with a blank, sent as it stands") << "Exception,AB123456C,05/05/2006,null,null, 3,null" << "the type \" 3\" is not one";
        QTest::newRow("death without date") << "ChildDeath,AB123456C,05/05/2006,null,null,null,null"
                                            << "a ChildDeath without a date of death: the return sends its line with an empty date, as the "
                                               "maintenance screen records none (information).";
        QTest::newRow("death date not a date") << "ChildDeath,AB123456C,05/05/2006,null,31/02/2009,null,null" << "the date of death \"31/02/2009\" is not a date";
        QTest::newRow("death on the day of birth") << "ChildDeath,AB123456C,05/05/2006,null,05/05/2006,null,null" << "";
        QTest::newRow("death the day before birth") << "ChildDeath,AB123456C,05/05/2006,null,04/05/2006,null,null" << "the date of death 04/05/2006 is before";
        // Type and Ref break the layout only in the lines that carry them.
        QTest::newRow("bar in Ref") << "Endowment,AB123456C,05/05/2006,100,null,1,A|B" << "the Ref holds a \"|\"";
        QTest::newRow("letters the character set lacks in Ref") << "Endowment,AB123456C,05/05/2006,100,null,1,Łódź Łó €’"
                                                                 << "the Ref holds \"Łź\", which the return's character set (Windows-1252) lacks";
        QTest::newRow("carriage return alone in Ref") << "Exception,AB123456C,05/05/2006,null,null,1,A\rB" << "the Ref holds";
        QTest::newRow("line break in Type") << "Exception,AB123456C,05/05/2006,null,null,1\n,null" << "the type \"1\n\" is not one // the Type holds a \"|\" or a line break";
        QTest::newRow("carriage return alone in Type") << "Endowment,AB123456C,05/05/2006,100,null,\r,null" << "the type \"\r\" is not one // the Type holds";
        QTest::newRow("bar in a Voucher's Ref, never sent") << "Voucher,AB123456C,05/05/2006,250,null,1|,A|B" << "";
        QTest::newRow("line break in a ChildDeath's Ref, never sent") << "ChildDeath,AB123456C,05/05/2006,null,null,null,A\nB" << "a ChildDeath without";
    }

    // Each rule of the pre-submission checks, and entries that must pass.
    void entryChecks()
    {
        QFETCH(QString, entry);
        QFETCH(QString, finding);
        const QStringList f = entry.split(u',');
        const auto v = [&](int i) { return f[i] == u"null"_s ? QVariant() : QVariant(f[i]); };
        const QStringList found = checks::entryProblems({1, v(0), v(1), v(2), v(3), v(4), v(5), v(6)});
        const QStringList expected = finding.split(u" // "_s, Qt::SkipEmptyParts);
        bool each = found.size() == expected.size();
        for (qsizetype i = 0; each && i < found.size(); ++i)
            each = found[i].startsWith(expected[i]);
        QVERIFY2(each, qPrintable(found.join(u'\n')));
    }
};

QTEST_GUILESS_MAIN(tst_periodicreturn)
#include "tst_periodicreturn.moc"
