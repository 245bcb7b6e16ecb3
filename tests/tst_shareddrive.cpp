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
#include "support/office.h"
#include "support/scriptedui.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTest>

#include <cstdio>
#include <unistd.h>

namespace {
const QString kCtf = QStringLiteral("K:\\CTF.mdb");

QString sqliteCli(const QString &file, const QString &sql)
{
    QProcess p;
    p.start(QStringLiteral("sqlite3"), {file, sql});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()).trimmed();
}

// A folder of the "file server" mounted where a desk sees it. Skips the test
// (one line saying why) where FUSE cannot be mounted.
class Share {
public:
    bool mount(const QString &server, const QString &at)
    {
        if (::geteuid() != 0 || !QFile::exists(QStringLiteral("/dev/fuse")) || QStandardPaths::findExecutable(QStringLiteral("bindfs")).isEmpty())
            return false;
        QDir().mkpath(at);
        if (QProcess::execute(QStringLiteral("bindfs"), {QStringLiteral("-o"), QStringLiteral("direct_io"), QStringLiteral("--multithreaded"),
                                                          QStringLiteral("--enable-lock-forwarding"), server, at}) != 0)
            return false;
        m_at = at;
        return true;
    }
    ~Share()
    {
        if (!m_at.isEmpty())
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_at});
    }

private:
    QString m_at;
};

#define MOUNT_OR_SKIP(share, server, at)                                                                                       \
    if (!(share).mount((server), (at)))                                                                                        \
        QSKIP("FUSE cannot be mounted here (needs root, /dev/fuse and bindfs): the shared-drive case is not run");

// A second desk: its own office root whose K: is another mount of the server.
void makeDesk(const QString &root)
{
    for (const char *folder : {"/drive_c/temp", "/program", "/drive_c/program files/child trust fund interface"})
        QDir().mkpath(root + QLatin1String(folder));
    QFile ini(root + QStringLiteral("/drive_c/program files/child trust fund interface/settings.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Settings]\r\nReturnsPath=K:\\Returns\\\r\n");
}

// The desk-2 side of twoDesks (this program started again with --desk): saves
// `count` new entries as the maintenance screen does, printing each URN once
// its save has returned.
int runDesk(const QString &root, int count)
{
    officeroot::setPath(root);
    officeroot::setProgramFolder(root + QStringLiteral("/program"));
    appsettings::fields().txtDatabase = QStringLiteral("K:\\");
    maint::EntryMaintenance m;
    try {
        m.openRegister(GetConnectionString(QStringLiteral("CTF")));
    } catch (const CtfError &e) {
        std::fprintf(stderr, "open: %s\n", qPrintable(e.description()));
        return 3;
    }
    for (int i = 0; i < count; ++i) {
        const QString urn = QStringLiteral("DK%1").arg(i, 6, 10, QLatin1Char('0'));
        try {
            if (m.findByUrn(urn))
                return 4;
            m.save({urn, QStringLiteral("Voucher"), QStringLiteral("Not in use"), QStringLiteral("01/02/2008"), QStringLiteral("250"), {}, false});
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
    void locksSurviveOtherConnections();
    void journalFollowsTheDrive();
    void officeOnAShare();
    void twoDesks();
};

// A second connection opened and closed in this program must not take the
// first one's locks with it: otherwise the next program to close the
// register deletes its -wal under the first, whose later saves are lost.
void tst_shareddrive::locksSurviveOtherConnections()
{
    TestOffice office;
    office.addEntry(QStringLiteral("Voucher"), QStringLiteral("AB000001"), QStringLiteral("01/02/2008"), 250);
    office.close(kCtf);
    const QString file = office.host(kCtf);
    Connection maintenance;
    maintenance.setConnectionString(GetConnectionString(QStringLiteral("CTF")));
    maintenance.open();
    QCOMPARE(maintenance.execute(QStringLiteral("UPDATE ChildTrustFunds SET Ref = 'read' WHERE ID = 1")), 1);
    for (int i = 0; i < 2; ++i) { // the enquiry fills its grid twice
        Connection enquiry;
        enquiry.setConnectionString(GetConnectionString(QStringLiteral("CTF")));
        enquiry.open();
        enquiry.close();
    }
    // Another program opens and closes the register.
    QCOMPARE(sqliteCli(file, QStringLiteral("SELECT count(*) FROM ChildTrustFunds")), QStringLiteral("1"));
    QVERIFY2(QFile::exists(file + QStringLiteral("-wal")), "the register's -wal was deleted under an open connection");
    maintenance.execute(QStringLiteral("INSERT INTO ChildTrustFunds (Entity, CRN) VALUES ('RAA', 'AB000002')"));
    QCOMPARE(sqliteCli(file, QStringLiteral("SELECT group_concat(CRN) FROM ChildTrustFunds")), QStringLiteral("AB000001,AB000002"));
    maintenance.close();
    QCOMPARE(sqliteCli(file, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
}

// On a shared drive the register keeps a rollback journal (a register left
// in WAL by a local run is switched back); Tarnwell's files are never
// written, whatever the drive.
void tst_shareddrive::journalFollowsTheDrive()
{
    TestOffice office;
    const QString k = office.host(QStringLiteral("K:\\"));
    const QString server = office.root() + QStringLiteral("/server");
    QVERIFY(QDir().rename(k, server));
    Share share;
    MOUNT_OR_SKIP(share, server, k);
    const auto journalByte = [&](const QString &name) {
        QFile f(server + QLatin1Char('/') + name);
        return f.open(QIODevice::ReadOnly) ? int(f.read(19).at(18)) : -1;
    };
    QCOMPARE(journalByte(QStringLiteral("CTF.mdb")), 2); // created in WAL on the local disk
    const QByteArray tarnwell = office.readFile(QStringLiteral("K:\\Tarnwell.mdb"));
    {
        Connection c;
        c.setConnectionString(GetConnectionString(QStringLiteral("CTF")));
        c.open();
        QCOMPARE(c.drive().kind, QStringLiteral("FUSE"));
        c.execute(QStringLiteral("INSERT INTO ChildTrustFunds (Entity, CRN) VALUES ('RAA', 'AB000002')"));
        Connection t;
        t.setReadOnly(true);
        t.setConnectionString(GetConnectionString(QStringLiteral("Tarnwell")));
        t.open();
    }
    QCOMPARE(journalByte(QStringLiteral("CTF.mdb")), 1);
    QCOMPARE(office.readFile(QStringLiteral("K:\\Tarnwell.mdb")), tarnwell);
    QCOMPARE(sqliteCli(server + QStringLiteral("/CTF.mdb"), QStringLiteral("SELECT CRN FROM ChildTrustFunds")), QStringLiteral("AB000002"));
}

// An office whose K: is on the file server: every command works there.
void tst_shareddrive::officeOnAShare()
{
    QTemporaryDir dir;
    const QString root = dir.path() + QStringLiteral("/desk");
    Share share;
    QDir().mkpath(dir.path() + QStringLiteral("/server"));
    MOUNT_OR_SKIP(share, dir.path() + QStringLiteral("/server"), root + QStringLiteral("/drive_k"));
    const auto run = [&](const QStringList &args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(CTFADMIN_EXE), QStringList{QStringLiteral("--root"), root} + args);
        p.waitForFinished(120000);
        const QString all = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
        return p.exitCode() == 0 ? QString() : args.join(QLatin1Char(' ')) + QStringLiteral(": ") + all;
    };
    QCOMPARE(run({QStringLiteral("setup"), QStringLiteral("--demo")}), QString());
    QCOMPARE(run({QStringLiteral("return"), QStringLiteral("--period-end"), QStringLiteral("30/11/2026")}), QString());
    QCOMPARE(run({QStringLiteral("enquiry"), QStringLiteral("--all")}), QString());
    const QStringList dates{QStringLiteral("--start"), QStringLiteral("06/04/25"), QStringLiteral("--end"), QStringLiteral("05/04/26")};
    QCOMPARE(run(QStringList{QStringLiteral("annual"), QStringLiteral("--share-account"), QStringLiteral("1")} + dates), QString());
    QCOMPARE(run(QStringList{QStringLiteral("annual"), QStringLiteral("--products"), QStringLiteral("CTF,JUN")} + dates), QString());
    QVERIFY(QFile::exists(root + QStringLiteral("/drive_k/Returns/IRReturn.txt")));
    QVERIFY(QFile::exists(root + QStringLiteral("/drive_k/Returns/CTFANRTN.txt")));
    QCOMPARE(sqliteCli(dir.path() + QStringLiteral("/server/CTF.mdb"), QStringLiteral("PRAGMA journal_mode")), QStringLiteral("delete"));
}

// Desk 1 writes the return of 20,000 entries while desk 2 saves new entries
// through its own mount: every saved entry is kept, every marked entry's
// line is in the return, and the file is whole.
void tst_shareddrive::twoDesks()
{
    TestOffice office;
    ScriptedUiScope scope;
    const QString k = office.host(QStringLiteral("K:\\"));
    const QString server = office.root() + QStringLiteral("/server");
    QVERIFY(QDir().rename(k, server));
    QTemporaryDir other; // outlives the mounts inside it
    Share desk1, desk2;
    MOUNT_OR_SKIP(desk1, server, k);
    makeDesk(other.path());
    MOUNT_OR_SKIP(desk2, server, other.path() + QStringLiteral("/drive_k"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(server + QStringLiteral("/CTF.mdb"));
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
                                      "INSERT INTO ChildTrustFunds (Entity, CRN, DOB, Amount, RecordOutput) "
                                      "SELECT 'Voucher', printf('AB%06d', i), '01/02/2008', 250, 0 FROM n")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));

    returns::ReturnOutput out;
    QVERIFY(out.load());
    QProcess desk;
    desk.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--desk"), other.path(), QStringLiteral("60")});
    QVERIFY(desk.waitForStarted());
    QTest::qWait(200);
    QCOMPARE(out.generate(QStringLiteral("30/11/2026")), returns::RunResult::Done);
    QVERIFY(desk.waitForFinished(300000));
    QCOMPARE(desk.exitCode(), 0);
    const QStringList saved = QString::fromLatin1(desk.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(saved.size() == 60, qPrintable(QString::fromLocal8Bit(desk.readAllStandardError())));

    const QString file = server + QStringLiteral("/CTF.mdb");
    QCOMPARE(sqliteCli(file, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    QCOMPARE(sqliteCli(file, QStringLiteral("SELECT count(*) FROM ChildTrustFunds WHERE CRN LIKE 'DK%'")), QString::number(saved.size()));
    QCOMPARE(sqliteCli(file, QStringLiteral("SELECT count(*) FROM ChildTrustFunds WHERE RecordOutput <> 0")), QStringLiteral("20000"));
    QFile ret(server + QStringLiteral("/Returns/IRReturn.txt"));
    QVERIFY(ret.open(QIODevice::ReadOnly));
    QSet<QByteArray> lines;
    for (const QByteArray &line : ret.readAll().split('\n'))
        if (line.startsWith("Voucher|AB"))
            lines << line.mid(8, 8);
    QCOMPARE(lines.size(), 20000);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--desk")
        return runDesk(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
    tst_shareddrive t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_shareddrive.moc"
