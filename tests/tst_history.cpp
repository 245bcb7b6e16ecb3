// The register's history, its backups and their restore.
#include "common/error.h"
#include "data/connection.h"
#include "register/backups.h"
#include "register/entrymaintenance.h"
#include "register/history.h"
#include "returns/returnoutput.h"
#include "support/mounts.h"
#include "support/office.h"

#include <atomic>
#include <thread>

using namespace Qt::StringLiterals;
using returns::ReturnOutput;
using returns::RunResult;

namespace {
const QDateTime kNow(QDate(2026, 12, 7), QTime(10, 0));
const QString kFirst = uR"(entry 1 added: Entity "RAA", CRN "AB123456C", DOB "01/01/2010", Amount "250", MemberNo "0", RecordOutput "0", Type "")"_s;

QList<history::Row> historyOf(const history::Filter &f = {}) { return history::readRegister(f); }

// Entry 1 made through the maintenance screen's workflow.
void firstEntry(maint::EntryMaintenance &m)
{
    m.openRegister(GetConnectionString(u"CTF"_s));
    QVERIFY(!m.findByUrn(u"AB123456C"_s));
    m.save({u"AB123456C"_s, u"RAA"_s, u"Not in use"_s, u"01/01/2010"_s, u"250"_s, std::nullopt, false});
}

QString hostRegister(const TestOffice &office) { return office.host(kCtf); }
} // namespace

class tst_history : public QObject {
    Q_OBJECT
private slots:
    // Each kind of change leaves its row: who, through what, and the values
    // before and after.
    void changesRecorded_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("through");
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("byProgram");
        QTest::newRow("create") << u"create"_s << u"maintenance screen: create"_s << kFirst << true;
        QTest::newRow("save") << u"save"_s << u"maintenance screen: save"_s << uR"(entry 1 changed: Amount "250" -> "300")"_s << true;
        QTest::newRow("case alone") << u"case"_s << u"maintenance screen: save"_s << uR"(entry 1 changed: Entity "RAA" -> "raa")"_s << true;
        QTest::newRow("delete") << u"delete"_s << u"maintenance screen: delete"_s << QString(kFirst).replace(u"added"_s, u"deleted"_s) << true;
        QTest::newRow("return") << u"return"_s
                                << u"periodic return (period end 30/11/2026, From ID 1 to 1, log copy C:\\temp\\QD30112026-1000.log)"_s
                                << uR"(entry 1 changed: PeriodEndSent (none) -> "07/12/26", RecordOutput "0" -> "1", SentRef (none) -> "From ID 1 to 1")"_s
                                << true;
        QTest::newRow("another program") << u"other"_s << u"another program"_s << uR"(entry 1 changed: Amount "250" -> "7")"_s << false;
    }
    void changesRecorded()
    {
        QFETCH(QString, change);
        QFETCH(QString, through);
        QFETCH(QString, what);
        QFETCH(bool, byProgram);
        TestOffice office;
        FixedClock clock(kNow);
        maint::EntryMaintenance m;
        firstEntry(m);
        if (change == u"save" || change == u"case") {
            QVERIFY(m.findByUrn(u"AB123456C"_s));
            m.save({u"AB123456C"_s, change == u"case" ? u"raa"_s : u"RAA"_s, u"Not in use"_s, u"01/01/2010"_s,
                    change == u"case" ? u"250"_s : u"300"_s, std::nullopt, false});
        } else if (change == u"delete") {
            QVERIFY(m.findByUrn(u"AB123456C"_s));
            m.deleteEntry();
        } else if (change == u"return") {
            ReturnOutput out;
            QVERIFY(out.load());
            QCOMPARE(out.generate(u"30/11/2026"_s, kNow).result, RunResult::Done);
        } else if (change == u"other") {
            office.exec(kCtf, u"UPDATE ChildTrustFunds SET Amount = 7"_s);
        }
        const QList<history::Row> rows = historyOf();
        QVERIFY(!rows.isEmpty());
        const history::Row &newest = rows.first();
        QVERIFY2(history::through(newest).startsWith(through), qPrintable(history::through(newest)));
        QCOMPARE(history::what(newest), what);
        QCOMPARE(history::who(newest), byProgram ? history::userName() + u'@' + history::machineName() : u"(user not known)"_s);
        if (byProgram)
            QCOMPARE(newest.localTime + u'|' + newest.utc, u"2026-12-07 10:00:00|"_s + kNow.toUTC().toString(u"yyyy-MM-dd HH:mm:ss"_s));
        // The first change is always the entry's creation, and --id and --urn find the same rows.
        QCOMPARE(history::what(rows.last()), kFirst);
        history::Filter byId, byUrn;
        byId.id = 1;
        byUrn.urn = u"AB123456C"_s;
        QCOMPARE(historyOf(byId).size(), rows.size());
        QCOMPARE(historyOf(byUrn).size(), rows.size());
    }

    // A return's marks, committed in several groups, are one change; reading
    // the history never changes the register; the command line shows it.
    void returnIsOneChange()
    {
        TestOffice office;
        for (int i = 0; i < 5; ++i)
            office.addEntry(u"RAA"_s, u"AB12345%1C"_s.arg(i), u"01/01/2010"_s, 10 + i);
        ReturnOutput out;
        out.setGroupSize(2);
        QVERIFY(out.load());
        QCOMPARE(out.generate(u"30/11/2026"_s, kNow).result, RunResult::Done);
        QCOMPARE(office.scalar(kCtf, u"SELECT count(*) || '|' || count(DISTINCT ChangeID) FROM EntryHistory"_s).toString(), u"5|1"_s);
        const QByteArray before = office.readFile(kCtf);
        const CliRun csv = office.ctfadmin(u"history --urn AB123452C --csv"_s);
        QCOMPARE(csv.status, 0);
        QCOMPARE(csv.out.count(u'\n'), 2);
        QVERIFY(csv.out.contains(u",periodic return,"_s));
        QCOMPARE(office.readFile(kCtf), before);
        QCOMPARE(office.ctfadmin(u"history --id x"_s).status, 2);
        QCOMPARE(office.ctfadmin(u"history --since 01/12/2099"_s).out, u"No change is recorded.\n"_s);

        // Another desk saves between two groups of a run: the run stays one
        // change, taken up as the newest, and the save keeps its own.
        const auto c = opened(u"CTF"_s);
        history::Change run(*c, u"periodic return"_s, QString());
        const auto group = [&](int id) {
            c->beginTransaction();
            run.begin();
            c->execute(u"UPDATE ChildTrustFunds SET Amount = Amount + 1 WHERE ID = ?"_s, {id});
            run.end();
            c->commit();
        };
        group(1);
        maint::EntryMaintenance desk;
        desk.openRegister(GetConnectionString(u"CTF"_s));
        QVERIFY(desk.findById(3));
        const maint::Entry e = desk.entry();
        desk.save({e.crn, e.entity, QString(), u"01/01/2010"_s, u"99"_s, std::nullopt, e.sent});
        group(2);
        c->close();
        QCOMPARE(office.scalar(kCtf, u"SELECT group_concat(EntryID || ':' || Through, ' ') FROM (SELECT h.EntryID, c.Through FROM "
                                      "EntryHistory h JOIN RegisterChanges c USING (ChangeID) WHERE h.Seq > 5 ORDER BY h.Seq)"_s)
                     .toString(),
                 u"1:periodic return 3:maintenance screen: save 2:periodic return"_s);
        QCOMPARE(office.scalar(kCtf, u"SELECT (SELECT max(ChangeID) FROM RegisterChanges WHERE Through = 'periodic return') = "
                                      "(SELECT max(ChangeID) FROM RegisterChanges) AND (SELECT count(*) FROM RegisterChanges) = 3 AND "
                                      "(SELECT count(*) FROM RegisterChanges WHERE Active <> 0) = 0"_s)
                     .toInt(),
                 1);
        // A register of the history's first builds is brought up to date at its next change.
        office.exec(kCtf, u"CREATE INDEX RegisterChanges_Active ON RegisterChanges (Active)"_s);
        desk.save({e.crn, e.entity, QString(), u"01/01/2010"_s, u"98"_s, std::nullopt, e.sent});
        QCOMPARE(office.scalar(kCtf, u"SELECT count(*) FROM sqlite_master WHERE name = 'RegisterChanges_Active'"_s).toInt(), 0);
        QCOMPARE(historyOf().first().through + historyOf().first().after.value(3).toString(), u"maintenance screen: save98"_s);
    }

    // A backup taken while another connection writes holds one state: the
    // writer adds entries two at a time in one transaction.
    void backupWhileWriting()
    {
        TestOffice office;
        std::atomic<bool> stop = false;
        std::thread writer([&] {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"writer"_s);
            db.setDatabaseName(office.host(kCtf));
            db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=5000"_s);
            if (db.open()) {
                QSqlQuery q(db);
                while (!stop) {
                    q.exec(u"BEGIN IMMEDIATE"_s);
                    q.exec(u"INSERT INTO ChildTrustFunds (Entity, CRN) VALUES ('RAA', 'A'), ('RAA', 'B')"_s);
                    q.exec(u"COMMIT"_s);
                }
            }
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(u"writer"_s);
        });
        QStringList counts;
        for (int i = 0; i < 5; ++i) {
            const backups::Taken t = backups::take(hostRegister(office), u"test"_s, kNow.addSecs(i));
            QVERIFY2(t.ok(), qPrintable(t.why));
            QCOMPARE(backups::problemOf(t.path), QString());
        }
        stop = true;
        writer.join();
        for (const backups::Info &b : backups::list(hostRegister(office))) {
            QCOMPARE(b.entries % 2, 0);
            QVERIFY(QFileInfo(b.path).permissions() == (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup
                                                        | QFile::ReadUser | QFile::WriteUser));
        }
        QCOMPARE(backups::list(hostRegister(office)).size(), 5);
    }

    // Restore: the register as the backup held it, the history going on with
    // the restore's own change; refused while the register is open anywhere.
    void restoreRoundTrip()
    {
        TestOffice office;
        FixedClock clock(kNow);
        {
            maint::EntryMaintenance m;
            firstEntry(m);
        }
        const backups::Taken taken = backups::take(hostRegister(office), u"test"_s, kNow);
        QVERIFY(taken.ok());
        {
            maint::EntryMaintenance m;
            m.openRegister(GetConnectionString(u"CTF"_s));
            QVERIFY(m.findByUrn(u"AB123456C"_s));
            m.save({u"AB123456C"_s, u"RAA"_s, u"Not in use"_s, u"01/01/2010"_s, u"300"_s, std::nullopt, false});
            // Open here: refused.
            QString say;
            QCOMPARE(backups::restore(kCtf, taken.path, kNow, &say), backups::Restored::Refused);
            QVERIFY2(say.contains(u"open on another desk or screen"_s), qPrintable(say));
        }
        // Open in another program: refused as well.
        QCOMPARE(office.scalar(kCtf, u"SELECT count(*) FROM ChildTrustFunds"_s).toInt(), 1);
        QString say;
        QCOMPARE(backups::restore(kCtf, taken.path, kNow, &say), backups::Restored::Refused);
        office.close(kCtf);
        QCOMPARE(backups::restore(kCtf, office.host(u"K:\\nothing.backup"_s), kNow, &say), backups::Restored::Refused);
        const CliRun restored = office.ctfadmin({u"restore"_s, u"K:\\backups\\"_s + QFileInfo(taken.path).fileName()}); // as the messages name it
        QVERIFY2(restored.status == 0, qPrintable(restored.err));
        QCOMPARE(office.scalar(kCtf, u"SELECT Amount FROM ChildTrustFunds"_s).toInt(), 250);
        const QList<history::Row> rows = historyOf();
        QCOMPARE(rows.size(), 3);
        QVERIFY(history::through(rows[0]).startsWith(u"restore (from "_s));
        QCOMPARE(history::what(rows[0]), uR"(entry 1 changed: Amount "300" -> "250")"_s);
        QCOMPARE(history::what(rows[1]), uR"(entry 1 changed: Amount "250" -> "300")"_s);
        // The register as it was before the restore is itself a backup.
        QVERIFY(office.ctfadmin(u"backups"_s).out.contains(u"before restore  1 entries, 1 outstanding"_s));
    }

    // A backup that cannot be written does not stop the return; a damaged
    // register names the newest good backup and the command that restores it.
    void backupFaults()
    {
        TestOffice office;
        office.addEntry(u"RAA"_s, u"AB123456C"_s, u"01/01/2010"_s, 250);
        office.writeFile(u"K:\\backups"_s, "not a folder");
        const CliRun run = office.ctfadmin(u"return --period-end 30/11/2026"_s);
        QCOMPARE(run.status, 4);
        QVERIFY2((run.out + run.err).contains(u"No backup of the register was taken before this return"_s), qPrintable(run.err));
        QCOMPARE(office.scalar(kCtf, u"SELECT RecordOutput FROM ChildTrustFunds"_s).toInt(), 1);
        QFile::remove(office.host(u"K:\\backups"_s));
        if (Mount::allowed()) { // on a full drive: refused, and nothing left
            QDir().mkpath(office.host(u"K:\\backups"_s));
            Mount full;
            QVERIFY(full.full(office.host(u"K:\\backups"_s)));
            const backups::Taken t = backups::take(hostRegister(office), u"test"_s, kNow);
            QVERIFY2(!t.ok() && t.why.contains(u"could not be written"_s), qPrintable(t.why));
            QCOMPARE(QDir(office.host(u"K:\\backups"_s)).entryList({u"*.backup*"_s}, QDir::Files), QStringList());
        }
        const QString killed = office.host(u"K:\\backups\\CTF 2026-12-06 090000 daily.backup.ctfadmin-new-99-x"_s);
        office.writeFile(killed, "what a killed backup left");
        QVERIFY(QFile::exists(killed));
        const backups::Taken good = backups::take(hostRegister(office), u"test"_s, kNow);
        QVERIFY(good.ok());
        QVERIFY(!QFile::exists(killed));
        office.close(kCtf);
        // Damaged at its start (the open fails), then in every page after
        // the first (SQLite finds it "malformed" when the entries are read).
        QFile f(hostRegister(office));
        QVERIFY(f.open(QIODevice::ReadWrite));
        const QByteArray start = f.read(100);
        const qint64 pageSize = (uchar(start[16]) << 8) | uchar(start[17]);
        for (const qint64 at : {qint64(0), pageSize}) {
            f.seek(0);
            f.write(start);
            f.seek(at);
            f.write(QByteArray(at ? f.size() - at : 100, 'x'));
            f.flush();
            const CliRun damaged = office.ctfadmin(u"enquiry"_s);
            QCOMPARE(damaged.status, 3);
            QVERIFY2(damaged.err.contains(u"ctfadmin restore \"K:\\backups\\"_s + QFileInfo(good.path).fileName() + u'"'), qPrintable(damaged.err));
            QCOMPARE(damaged.err.contains(u"malformed"_s), at > 0);
        }
    }

    // Which backups are kept: the newest `last`, and the first of each month
    // for `months` months.
    void keptBackups()
    {
        QList<QDateTime> times;
        for (int day = 0; day < 100; ++day)
            times.prepend(QDateTime(QDate(2026, 9, 1).addDays(day), QTime(9, 0)));
        const QList<bool> keep = backups::kept(times, 30, 2, QDate(2026, 12, 9));
        QStringList kept;
        for (int i = 0; i < times.size(); ++i)
            if (keep[i] && i >= 30)
                kept << times[i].toString(u"dd/MM"_s);
        QCOMPARE(kept, QStringList{u"01/11"_s});
        QCOMPARE(keep.count(true), 31);
    }
};

QTEST_GUILESS_MAIN(tst_history)

#include "tst_history.moc"
