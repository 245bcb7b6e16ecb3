// The register shared: several connections in one program beside other
// programs, and K: on a file server used from two desks at once (two FUSE
// mounts of one folder that forward byte-range locks, as a file server keeps
// them). Nothing saved may be lost, nothing marked may be missing from a
// return, and the file stays whole.
#include "app/appsettings.h"
#include "common/error.h"
#include "data/connection.h"
#include "platform/officeroot.h"
#include "register/entrymaintenance.h"
#include "returns/returnoutput.h"
#include "support/mounts.h"
#include "support/office.h"

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString sqliteCli(const QString &file, const QString &sql)
{
    QProcess p;
    p.start(u"sqlite3"_s, {file, sql});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()).trimmed();
}

// A second desk: its own office root whose K: is another mount of the server.
void makeDesk(const QString &root)
{
    for (const char *folder : {"/drive_c/temp", "/program", "/drive_c/program files/child trust fund interface"})
        QDir().mkpath(root + QLatin1String(folder));
    QFile ini(root + u"/drive_c/program files/child trust fund interface/settings.ini"_s);
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Settings]\r\nReturnsPath=K:\\Returns\\\r\n");
}

// The desk-2 side of twoDesks (this program started again with --desk), as
// the maintenance screen and the output screen do it, printing what it did
// once done:
// - "save": `count` new entries, each URN printed once its save returned;
// - "amend": `count` outstanding Vouchers given the amount 777 (and left
//   outstanding), each URN printed once saved;
// - "return": its own return, "Done" or "Failed" printed.
int runDesk(const QString &root, const QString &mode, int count)
{
    officeroot::setPath(root);
    officeroot::setProgramFolder(root + u"/program"_s);
    appsettings::fields().txtDatabase = u"K:\\"_s;
    if (mode == u"return"_s) {
        returns::ReturnOutput out;
        const bool done = out.load() && out.generate(u"30/11/2026"_s).result == returns::RunResult::Done;
        std::printf("%s\n", done ? "Done" : "Failed");
        return 0;
    }
    maint::EntryMaintenance m;
    try {
        m.openRegister(GetConnectionString(u"CTF"_s));
    } catch (const CtfError &e) {
        std::fprintf(stderr, "open: %s\n", qPrintable(e.description()));
        return 3;
    }
    for (int i = 0; i < count; ++i) {
        const bool amend = mode == u"amend"_s;
        const QString urn = amend ? u"AB%1"_s.arg(1 + i * 331, 6, 10, QLatin1Char('0')) : u"DK%1"_s.arg(i, 6, 10, QLatin1Char('0'));
        try {
            if (m.findByUrn(urn) != amend)
                return 4;
            m.save({urn, u"Voucher"_s, u"Not in use"_s, u"01/02/2008"_s, amend ? u"777"_s : u"250"_s, {}, false});
            std::printf("%s\n", qPrintable(urn));
            std::fflush(stdout);
        } catch (const CtfError &e) {
            std::fprintf(stderr, "%s not saved: %s\n", qPrintable(urn), qPrintable(e.description()));
        }
        ::usleep(20000);
    }
    return 0;
}
} // namespace

class tst_shareddrive : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        if (Mount::allowed() && !Mount::fuseAllowed())
            QSKIP("FUSE cannot be mounted here (needs /dev/fuse and bindfs): the shared-drive case is not run");
    }

    // On a shared drive the register keeps a rollback journal (a register left
    // in WAL by a local run is switched back); Tarnwell's files are never
    // written, whatever the drive.
    void journalFollowsTheDrive()
    {
        TestOffice office;
        const QString k = office.host(u"K:\\"_s);
        const QString server = office.root() + u"/server"_s;
        QVERIFY(QDir().rename(k, server));
        Mount share;
        MOUNT_OR_SKIP(share.share(server, k));
        const auto journalByte = [&](const QString &name) {
            QFile f(server + QLatin1Char('/') + name);
            return f.open(QIODevice::ReadOnly) ? int(f.read(19).at(18)) : -1;
        };
        QCOMPARE(journalByte(u"CTF.mdb"_s), 2); // created in WAL on the local disk
        const QByteArray tarnwell = office.readFile(kTarn);
        {
            const auto c = opened(u"CTF"_s);
            QCOMPARE(c->drive().kind, u"FUSE"_s);
            c->execute(u"INSERT INTO ChildTrustFunds (Entity, CRN) VALUES ('RAA', 'AB000002')"_s);
            Connection t;
            t.setReadOnly(true);
            t.setConnectionString(GetConnectionString(u"Tarnwell"_s));
            t.open();
        }
        QCOMPARE(journalByte(u"CTF.mdb"_s), 1);
        QCOMPARE(office.readFile(kTarn), tarnwell);
        QCOMPARE(sqliteCli(server + u"/CTF.mdb"_s, u"SELECT CRN FROM ChildTrustFunds"_s), u"AB000002"_s);
    }

    // An office whose K: is on the file server: every command works there.
    void officeOnAShare()
    {
        TestOffice office;
        const QString k = office.host(u"K:\\"_s), server = office.root() + u"/server"_s;
        QVERIFY(QDir().rename(k, server));
        QVERIFY(QFile::remove(server + u"/CTF.mdb"_s) && QFile::remove(server + u"/Tarnwell.mdb"_s)); // the demo brings its own
        Mount share;
        MOUNT_OR_SKIP(share.share(server, k));
        for (const char *args : {"setup --demo", "return --period-end 30/11/2026", "enquiry --all",
                                 "annual --share-account 1 --start 06/04/25 --end 05/04/26", "annual --products CTF,JUN --start 06/04/25 --end 05/04/26"}) {
            const CliRun r = office.ctfadmin(QString::fromLatin1(args));
            QVERIFY2(r.status == 0, qPrintable(QLatin1String(args) + u": "_s + r.out + r.err));
        }
        QVERIFY(office.readFile(kReturn).count('\n') > 10);
        QVERIFY(office.readFile(kAnnual).count('\n') > 10);
        QCOMPARE(sqliteCli(server + u"/CTF.mdb"_s, u"PRAGMA journal_mode"_s), u"delete"_s);
    }

    // Two users of the machine who share the office through its group, in
    // folders without the setgid bit: one reads and runs the checks while the
    // other saves through a connection it keeps open (whose -wal and -shm it
    // made); the files each makes are the other's too.
    void usersOfOneGroup()
    {
        if (!Mount::allowed() || QStandardPaths::findExecutable(u"setpriv"_s).isEmpty())
            QSKIP("needs root and setpriv to act as two users");
        const auto as = [](int uid, const QStringList &command) {
            return QStringList{u"--reuid=%1"_s.arg(uid), u"--regid=%1"_s.arg(uid), u"--groups=4242"_s, u"--"_s} + command;
        };
        for (const QString &program : {QCoreApplication::applicationFilePath(), TestOffice::executable()})
            if (QProcess::execute(u"setpriv"_s, as(60001, {u"test"_s, u"-x"_s, program})) != 0)
                QSKIP("the build folder cannot be reached by another user of the machine");
        TestOffice office;
        office.close(kCtf);
        QCOMPARE(QProcess::execute(u"sh"_s, {u"-c"_s, u"chgrp -R 4242 \"$0\" && chmod -R g+rwX,o-rwx \"$0\" && chmod o+x \"$0\""_s, office.root()}), 0);
        QProcess owner;
        owner.start(u"setpriv"_s, as(60001, {QCoreApplication::applicationFilePath(), u"--desk"_s, office.root(), u"save"_s, u"40"_s}));
        QVERIFY2(owner.waitForReadyRead(30000), owner.readAllStandardError().constData()); // its first save is in: its connection is open
        for (const char *command : {"enquiry", "check", "return --period-end 30/11/2026"}) {
            QProcess reader;
            reader.start(u"setpriv"_s, as(60002, QStringList{TestOffice::executable(), u"--root"_s, office.root()}
                                                    + QString::fromLatin1(command).split(u' ')));
            QVERIFY(reader.waitForFinished(60000));
            QVERIFY2(reader.exitCode() <= 1, qPrintable(QLatin1String(command) + u": "_s + QString::fromLocal8Bit(reader.readAllStandardError())));
        }
        QVERIFY(owner.waitForFinished(60000));
        QCOMPARE(owner.exitCode(), 0);
        QCOMPARE(owner.readAllStandardOutput().count('\n'), 40);
    }

    void twoDesks_data()
    {
        QTest::addColumn<QString>("desk2");
        QTest::newRow("desk 2 saves new entries") << "save";
        QTest::newRow("desk 2 changes outstanding amounts") << "amend";
        QTest::newRow("desk 2 runs its own return") << "return";
    }

    // Desk 1 writes the return of 20,000 entries while desk 2, through its own
    // mount, saves new entries, changes outstanding ones or runs a return of
    // its own: every saved entry is kept, every marked entry's line is in
    // one return only and carries the values the entry holds, and the
    // register is whole.
    void twoDesks()
    {
        QFETCH(QString, desk2);
        TestOffice office;
        const QString k = office.host(u"K:\\"_s);
        const QString server = office.root() + u"/server"_s;
        QVERIFY(QDir().rename(k, server));
        QTemporaryDir other; // outlives the mounts inside it
        Mount desk1, desk2Mount;
        MOUNT_OR_SKIP(desk1.share(server, k));
        makeDesk(other.path());
        QVERIFY(desk2Mount.share(server, other.path() + u"/drive_k"_s));
        office.exec(server + u"/CTF.mdb"_s, u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
                                             "INSERT INTO ChildTrustFunds (Entity, CRN, DOB, Amount, RecordOutput) "
                                             "SELECT 'Voucher', printf('AB%06d', i), '01/02/2008', 250, 0 FROM n"_s);
        office.close(server + u"/CTF.mdb"_s);

        // Desk 1 opens and runs at once, as the command line does, while desk
        // 2 is at work: its commits may land between desk 1's read and run.
        QProcess desk;
        desk.start(QCoreApplication::applicationFilePath(), {u"--desk"_s, other.path(), desk2, u"60"_s});
        QVERIFY(desk.waitForStarted());
        QTest::qWait(desk2 == u"return"_s ? 100 : 300);
        returns::ReturnOutput out;
        out.setGroupSize(5000); // desk 2's saves land between the groups
        QVERIFY(out.load());
        const returns::RunResult mine = out.generate(u"30/11/2026"_s).result;
        QVERIFY(desk.waitForFinished(300000));
        QCOMPARE(desk.exitCode(), 0);
        const QStringList said = QString::fromLatin1(desk.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const QString file = server + u"/CTF.mdb"_s;
        QCOMPARE(sqliteCli(file, u"PRAGMA integrity_check"_s), u"ok"_s);
        if (desk2 == u"save"_s) {
            QCOMPARE(mine, returns::RunResult::Done);
            QVERIFY2(said.size() == 60, qPrintable(QString::fromLocal8Bit(desk.readAllStandardError())));
            QCOMPARE(sqliteCli(file, u"SELECT count(*) FROM ChildTrustFunds WHERE CRN LIKE 'DK%'"_s), QString::number(said.size()));
        }
        for (const QString &urn : said) // an amount saved stays saved (and is sent as it is, below)
            if (urn.startsWith(u"AB"_s))
                QCOMPARE(sqliteCli(file, u"SELECT Amount FROM ChildTrustFunds WHERE CRN = '%1'"_s.arg(urn)), u"777"_s);
        // Each desk's log copies hold what it sent: no entry twice, and each
        // marked entry's line with the amount it holds.
        QHash<QString, QString> sent; // URN -> amount in its line
        for (const QString &temp : {office.host(u"C:\\temp"_s), other.path() + u"/drive_c/temp"_s})
            for (const QFileInfo &log : QDir(temp).entryInfoList({u"QD*.log"_s}, QDir::Files)) {
                QFile f(log.filePath());
                QVERIFY(f.open(QIODevice::ReadOnly));
                for (const QByteArray &line : f.readAll().split('\n'))
                    if (line.startsWith("Voucher|")) {
                        const QList<QByteArray> field = line.trimmed().split('|');
                        QVERIFY2(!sent.contains(QString::fromLatin1(field[1])), field[1].constData());
                        sent.insert(QString::fromLatin1(field[1]).trimmed(), QString::fromLatin1(field[3]));
                    }
            }
        const QStringList marked = sqliteCli(file, u"SELECT CRN || ' ' || printf('%.2f', Amount) FROM ChildTrustFunds WHERE RecordOutput <> 0"_s)
                                       .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QSet<QString> unmarked(sent.keyBegin(), sent.keyEnd()); // sent, and resubmitted by desk 2 since
        for (const QString &m : marked) {
            QVERIFY2(sent.value(m.section(u' ', 0, 0)) == m.section(u' ', 1), qPrintable(m + u" sent as "_s + sent.value(m.section(u' ', 0, 0))));
            unmarked.remove(m.section(u' ', 0, 0));
        }
        for (const QString &urn : unmarked)
            QVERIFY2(said.contains(urn), qPrintable(urn));
        if (desk2 == u"return"_s) // one of the two sent them all, the other nothing
            QCOMPARE(marked.size(), 20000);
        // The history tells it all: each row under a change of a desk's,
        // each of desk 2's saves, and every entry ever sent marked by a return.
        const auto count = [&](const QString &where) {
            return sqliteCli(file, u"SELECT count(*) FROM EntryHistory h LEFT JOIN RegisterChanges c USING (ChangeID) WHERE "_s + where);
        };
        QCOMPARE(count(u"c.ChangeID IS NULL OR c.Active <> 0"_s), u"0"_s);
        QCOMPARE(count(u"c.Through LIKE 'maintenance screen:%'"_s), QString::number(desk2 == u"return"_s ? 0 : said.size()));
        QCOMPARE(sqliteCli(file, u"SELECT count(DISTINCT EntryID) FROM EntryHistory JOIN RegisterChanges USING (ChangeID) WHERE "
                                 "Through = 'periodic return' AND NewRecordOutput = 1"_s),
                 QString::number(sent.size()));
        if (desk2 != u"return"_s) { // desk 1's return is one change, whatever came between its groups
            const QString runs = sqliteCli(file, u"SELECT count(*) FROM RegisterChanges WHERE Through = 'periodic return'"_s);
            QVERIFY2(runs == u"1"_s || (mine != returns::RunResult::Done && runs == u"0"_s), qPrintable(runs));
        }
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 5 && QByteArray(argv[1]) == "--desk")
        return runDesk(QString::fromLocal8Bit(argv[2]), QString::fromLatin1(argv[3]), QByteArray(argv[4]).toInt());
    tst_shareddrive t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_shareddrive.moc"
