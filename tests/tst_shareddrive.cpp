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

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

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

// The desk-2 side of twoDesks (this program started again with --desk): saves
// `count` new entries as the maintenance screen does, printing each URN once
// its save has returned.
int runDesk(const QString &root, int count)
{
    officeroot::setPath(root);
    officeroot::setProgramFolder(root + u"/program"_s);
    appsettings::fields().txtDatabase = u"K:\\"_s;
    maint::EntryMaintenance m;
    try {
        m.openRegister(GetConnectionString(u"CTF"_s));
    } catch (const CtfError &e) {
        std::fprintf(stderr, "open: %s\n", qPrintable(e.description()));
        return 3;
    }
    for (int i = 0; i < count; ++i) {
        const QString urn = u"DK%1"_s.arg(i, 6, 10, QLatin1Char('0'));
        try {
            if (m.findByUrn(urn))
                return 4;
            m.save({urn, u"Voucher"_s, u"Not in use"_s, u"01/02/2008"_s, u"250"_s, {}, false});
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
            Connection c;
            c.setConnectionString(GetConnectionString(u"CTF"_s));
            c.open();
            QCOMPARE(c.drive().kind, u"FUSE"_s);
            c.execute(u"INSERT INTO ChildTrustFunds (Entity, CRN) VALUES ('RAA', 'AB000002')"_s);
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

    // Desk 1 writes the return of 20,000 entries while desk 2 saves new entries
    // through its own mount: every saved entry is kept, every marked entry's
    // line is in the return, and the file is whole.
    void twoDesks()
    {
        TestOffice office;
        const QString k = office.host(u"K:\\"_s);
        const QString server = office.root() + u"/server"_s;
        QVERIFY(QDir().rename(k, server));
        QTemporaryDir other; // outlives the mounts inside it
        Mount desk1, desk2;
        MOUNT_OR_SKIP(desk1.share(server, k));
        makeDesk(other.path());
        QVERIFY(desk2.share(server, other.path() + u"/drive_k"_s));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"fill"_s);
            db.setDatabaseName(server + u"/CTF.mdb"_s);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
                                          "INSERT INTO ChildTrustFunds (Entity, CRN, DOB, Amount, RecordOutput) "
                                          "SELECT 'Voucher', printf('AB%06d', i), '01/02/2008', 250, 0 FROM n")));
            db.close();
        }
        QSqlDatabase::removeDatabase(u"fill"_s);

        returns::ReturnOutput out;
        QVERIFY(out.load());
        QProcess desk;
        desk.start(QCoreApplication::applicationFilePath(), {u"--desk"_s, other.path(), u"60"_s});
        QVERIFY(desk.waitForStarted());
        QTest::qWait(200);
        QCOMPARE(out.generate(u"30/11/2026"_s), returns::RunResult::Done);
        QVERIFY(desk.waitForFinished(300000));
        QCOMPARE(desk.exitCode(), 0);
        const QStringList saved = QString::fromLatin1(desk.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(saved.size() == 60, qPrintable(QString::fromLocal8Bit(desk.readAllStandardError())));

        const QString file = server + u"/CTF.mdb"_s;
        QCOMPARE(sqliteCli(file, u"PRAGMA integrity_check"_s), u"ok"_s);
        QCOMPARE(sqliteCli(file, u"SELECT count(*) FROM ChildTrustFunds WHERE CRN LIKE 'DK%'"_s), QString::number(saved.size()));
        QCOMPARE(sqliteCli(file, u"SELECT count(*) FROM ChildTrustFunds WHERE RecordOutput <> 0"_s), u"20000"_s);
        QFile ret(server + u"/Returns/IRReturn.txt"_s);
        QVERIFY(ret.open(QIODevice::ReadOnly));
        QSet<QByteArray> lines;
        for (const QByteArray &line : ret.readAll().split('\n'))
            if (line.startsWith("Voucher|AB"))
                lines << line.mid(8, 8);
        QCOMPARE(lines.size(), 20000);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--desk")
        return runDesk(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
    tst_shareddrive t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_shareddrive.moc"
