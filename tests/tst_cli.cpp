// The command line as a scheduled job runs it: the files it writes, what it
// prints and its exit status.
#include "returns/returnoutput.h"
#include "support/office.h"
#include "support/scriptedui.h"

#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QProcess>
#include <QMap>
#include <QRegularExpression>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>
#include <QThread>
#include <sys/stat.h>

namespace {
struct Run {
    int status;
    QString out;
    QString err;
};

void start(QProcess &p, const TestOffice &office, const QStringList &args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(CTFADMIN_EXE), QStringList{QStringLiteral("--root"), office.root()} + args);
}

Run ctfadmin(const TestOffice &office, const QStringList &args)
{
    QProcess p;
    start(p, office, args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()), QString::fromLocal8Bit(p.readAllStandardError())};
}

const QString kReturn = QStringLiteral("K:\\Returns\\IRReturn.txt");
const QString kAnnual = QStringLiteral("K:\\Returns\\CTFANRTN.txt");
const QString kCtf = QStringLiteral("K:\\CTF.mdb");

// The URNs of the entry lines of a return file.
QSet<QString> urnsIn(const QByteArray &file)
{
    QSet<QString> urns;
    for (const QByteArray &line : file.split('\n'))
        if (line.startsWith("Voucher|"))
            urns << QString::fromLatin1(line.mid(8, 9)).trimmed();
    return urns;
}

QSet<QString> markedUrns(TestOffice &office)
{
    const QStringList urns = office.scalar(kCtf, QStringLiteral("SELECT group_concat(CRN, ' ') FROM ChildTrustFunds WHERE RecordOutput <> 0"))
                                 .toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return QSet<QString>(urns.begin(), urns.end());
}
} // namespace

class tst_cli : public QObject {
    Q_OBJECT
private slots:
    void periodicReturn();
    void refusals_data();
    void refusals();
    void databaseFailure();
    void annualProducts();
    void settingsHidePasswords();
    void enquiryCsv();
    void setupNeverOverwritesAndBringsTheDemoRegistry();
    void demoOffice();
    void killedRunsLoseNothing();
    void runWhileAnotherRuns();
    void accessRegisterEndToEnd();
    void checkExitCodes();
    void helpAndManPageAgree();
};

void tst_cli::periodicReturn()
{
    TestOffice office;
    office.addEntry(QStringLiteral("Voucher"), QStringLiteral("AB123456C"), QStringLiteral("01/02/2010"), 250);
    const Run r = ctfadmin(office, {QStringLiteral("return"), QStringLiteral("--period-end"), QStringLiteral("30/11/2026")});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QStringLiteral("ASCII file  [K:\\Returns\\IRReturn.txt]  has been created\n"));
    QCOMPARE(office.readFile(kReturn), QByteArray("Header|2026/11/30\r\nVoucher|AB123456C|2010/02/01|250.00\r\n"));
    // Another period end: its log copy replaces none.
    const Run other = ctfadmin(office, {QStringLiteral("return"), QStringLiteral("--period-end"), QStringLiteral("15/12/2026")});
    QCOMPARE(other.status, 0);
    QVERIFY(office.readFile(kReturn).endsWith("\r\nNilReturn\r\n"));
}

void tst_cli::refusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("period end") << QStringList{"return", "--period-end", "31/02/2026"} << 1 << "Invalid period end date!";
    QTest::newRow("start date") << QStringList{"annual", "--share-account", "1", "--start", "32/04/25", "--end", "05/04/26"} << 1
                                << "Invalid starting date entered";
    QTest::newRow("end date") << QStringList{"annual", "--products", "CTF", "--start", "06/04/25", "--end", "5/4"} << 1
                              << "Invalid ending date entered";
    QTest::newRow("missing log") << QStringList{"recreate", "C:\\temp\\QDnone.log"} << 1 << "Unable to re-create document from log file";
    QTest::newRow("share account 5") << QStringList{"annual", "--share-account", "5", "--start", "06/04/25", "--end", "05/04/26"} << 2 << "";
    QTest::newRow("unknown command") << QStringList{"frobnicate"} << 2 << "";
    QTest::newRow("product not in Product") << QStringList{"annual", "--products", "CTF,CFT", "--start", "06/04/25", "--end", "05/04/26"}
                                            << 2 << "--products: there is no product CFT in Tarnwell's Product table";
    QTest::newRow("both selections") << QStringList{"annual", "--share-account", "1", "--products", "CTF", "--start", "06/04/25", "--end", "05/04/26"}
                                     << 2 << "";
}

void tst_cli::refusals()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, message);
    TestOffice office;
    office.exec(QStringLiteral("K:\\Tarnwell.mdb"), QStringLiteral("INSERT INTO Product VALUES ('CTF', 'Child Trust Fund', 12)"));
    const Run r = ctfadmin(office, args);
    QCOMPARE(r.status, status);
    if (!message.isEmpty())
        QVERIFY2(r.err.startsWith(message + '\n'), qPrintable(r.err));
    QVERIFY(office.readFile(kReturn).isNull());
    QVERIFY(office.readFile(kAnnual).isNull());
}

void tst_cli::databaseFailure()
{
    TestOffice office;
    QVERIFY(QFile::remove(office.host(QStringLiteral("K:\\Tarnwell.mdb"))));
    const Run r = ctfadmin(office, {QStringLiteral("annual"), QStringLiteral("--share-account"), QStringLiteral("1"), QStringLiteral("--start"),
                                    QStringLiteral("06/04/25"), QStringLiteral("--end"), QStringLiteral("05/04/26")});
    QCOMPARE(r.status, 3);
    QCOMPARE(r.err, QStringLiteral("Could not find file 'K:\\Tarnwell.mdb'.\n"));
    QVERIFY(QFile::remove(office.host(QStringLiteral("K:\\CTF.mdb"))));
    const Run ret = ctfadmin(office, {QStringLiteral("return")});
    QCOMPARE(ret.status, 3);
    QVERIFY(ret.err.contains(QStringLiteral("Could not find file 'K:\\CTF.mdb'.")));
    QVERIFY(office.readFile(kReturn).isNull());
}

void tst_cli::annualProducts()
{
    TestOffice office;
    const QString t = QStringLiteral("K:\\Tarnwell.mdb");
    office.exec(t, QStringLiteral("INSERT INTO Product VALUES ('CTF', 'Child Trust Fund', 12), ('JUN', 'Junior saver', 12)"));
    office.exec(t, QStringLiteral("INSERT INTO MemberMain VALUES (7, 'A', 'B', NULL, 'QQ123456A')"));
    office.exec(t, QStringLiteral("INSERT INTO MemberBalances VALUES (7, 'JUN', 0)"));
    office.exec(t, QStringLiteral("INSERT INTO MemberAllTrans VALUES (7, NULL, 'JUN', '2025-04-06', 10.005, NULL)"));
    const Run r = ctfadmin(office, {QStringLiteral("annual"), QStringLiteral("--products"), QStringLiteral("CTF, JUN"), QStringLiteral("--start"),
                                    QStringLiteral("06/04/25"), QStringLiteral("--end"), QStringLiteral("05/04/26")});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QStringLiteral("Output complete \nK:\\Returns\\CTFANRTN.txt\n"));
    QCOMPARE(office.readFile(kAnnual), QByteArray("Header|2026/04/05\r\nAccount|QQ123456A|2|y|10.01|0.00|10.01\r\n"));
}

void tst_cli::settingsHidePasswords()
{
    TestOffice office;
    office.writeRegistry(QByteArray("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Orvel\\Tarnwell]\r\n\"Database\"=\"SRV1\"\r\n"
                                    "\"SQLDatabase\"=\"SRV1\"\r\n\"Admin\"=dword:00000001\r\n\"AdminPW\"=\"topsecret\"\r\n"));
    const Run r = ctfadmin(office, {QStringLiteral("settings")});
    QCOMPARE(r.status, 0);
    QVERIFY(!r.out.contains(QStringLiteral("topsecret")));
    QVERIFY(r.out.contains(QStringLiteral("chkSQL: 1\n")));
    QVERIFY(r.out.contains(QStringLiteral("sqlPW: ****\n")));
    QVERIFY(r.out.contains(QStringLiteral("Tarnwell: provider=SQLOLEDB.1;Persist Security Info=False;Initial Catalog=TarnMain;Data Source=SRV1;"
                                          "User Id =sa;Password=****\n")));
    QVERIFY(r.out.contains(QStringLiteral("returns folder: K:\\Returns\\\n")));
}

void tst_cli::enquiryCsv()
{
    TestOffice office;
    office.addEntry(QStringLiteral("Voucher"), QStringLiteral("AB1"), QStringLiteral("01/02/2010"), 12.5, {}, QStringLiteral("a,b"));
    office.addEntry(QStringLiteral("RAA"), QStringLiteral("AB2"), QStringLiteral("01/02/2010"), 1, {}, {}, {}, true);
    const Run r = ctfadmin(office, {QStringLiteral("enquiry"), QStringLiteral("--csv")});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QStringLiteral("ID,Entity,CRN,DOB,Amount,DOD,MemberNo,PeriodEndSent,RecordOutput,Ref,SentRef,Type\n"
                                   "1,Voucher,AB1,01/02/2010,12.5,,,,False,\"a,b\",,\n"));
    const Run all = ctfadmin(office, {QStringLiteral("enquiry"), QStringLiteral("--all")});
    QCOMPARE(all.status, 0);
    QCOMPARE(all.out.count('\n'), 3);
    QVERIFY(all.out.startsWith(QStringLiteral("ID  Entity   CRN  DOB")));
}

// The demo office looks like a real one to the checks (a handful of
// deliberate findings), and under the usual umask every file that holds
// members' or children's data is closed to other users of the machine.
void tst_cli::demoOffice()
{
    TestOffice office;
    office.close(kCtf);
    QVERIFY(QFile::remove(office.host(kCtf)) && QFile::remove(office.host(QStringLiteral("K:\\Tarnwell.mdb"))));
    const mode_t oldMask = ::umask(022);
    const Run setup = ctfadmin(office, {QStringLiteral("setup"), QStringLiteral("--demo")});
    const Run check = ctfadmin(office, {QStringLiteral("check")});
    QCOMPARE(check.status, 1);
    QCOMPARE(check.out, QStringLiteral("ID 46: an Endowment without a type; the return would send an empty type.\n"
                                       "ID 49: the same URN, kind and amount as ID 43; the child would be sent twice in this return.\n"
                                       "2 findings in 2 of 34 outstanding entries.\n"));
    const Run annualCheck = ctfadmin(office, {QStringLiteral("check"), QStringLiteral("--annual"), QStringLiteral("--share-account"), QStringLiteral("1"),
                                              QStringLiteral("--start"), QStringLiteral("06/04/25"), QStringLiteral("--end"), QStringLiteral("05/04/26")});
    QVERIFY2(annualCheck.out.endsWith(QStringLiteral("\n6 findings in 6 of 193 members.\n")), qPrintable(annualCheck.out));
    const QList<Run> runs{setup,
                          ctfadmin(office, {QStringLiteral("return"), QStringLiteral("--period-end"), QStringLiteral("30/11/2026")}),
                          ctfadmin(office, {QStringLiteral("annual"), QStringLiteral("--share-account"), QStringLiteral("1"), QStringLiteral("--start"),
                                            QStringLiteral("06/04/25"), QStringLiteral("--end"), QStringLiteral("05/04/26")})};
    ::umask(oldMask);
    for (const Run &r : runs)
        QVERIFY2(r.status == 0, qPrintable(r.err));
    QStringList files{office.host(kCtf), office.host(kCtf) + QStringLiteral(".return-run"), office.host(kReturn), office.host(kAnnual)};
    for (const QString &log : QDir(office.host(QStringLiteral("C:\\temp"))).entryList({QStringLiteral("QD*.log")}))
        files << office.host(QStringLiteral("C:\\temp\\")) + log;
    for (const QString &tarnwell : QDir(office.host(QStringLiteral("K:\\Tarnwell"))).entryList({QStringLiteral("*.mdb")}))
        files << office.host(QStringLiteral("K:\\Tarnwell\\")) + tarnwell;
    QCOMPARE(files.size(), 7);
    for (const QString &file : files) {
        QVERIFY2(QFile::exists(file), qPrintable(file));
        QVERIFY2(!(QFileInfo(file).permissions() & (QFileDevice::ReadOther | QFileDevice::WriteOther)), qPrintable(file));
    }
}

void tst_cli::setupNeverOverwritesAndBringsTheDemoRegistry()
{
    TestOffice office;
    office.addEntry(QStringLiteral("Voucher"), QStringLiteral("AB1"), QStringLiteral("01/02/2010"), 1);
    const Run r = ctfadmin(office, {QStringLiteral("setup"), QStringLiteral("--demo")});
    QCOMPARE(r.status, 0);
    QCOMPARE(office.scalar(QStringLiteral("K:\\CTF.mdb"), QStringLiteral("SELECT count(*) FROM ChildTrustFunds")).toInt(), 1);
    QVERIFY(r.out.contains(QStringLiteral("kept")));
    QCOMPARE(ctfadmin(office, {QStringLiteral("setup"), QStringLiteral("--members"), QStringLiteral("none")}).status, 2);

    // The demo brings its registry file (as the registry editor exports it)
    // naming a Tarnwell folder other than K:\, and the files it needs there;
    // a second run keeps them.
    QFile reg(office.root() + QStringLiteral("/system.reg"));
    QVERIFY(reg.open(QIODevice::ReadOnly));
    const QByteArray exported = reg.readAll();
    reg.close();
    QVERIFY(exported.startsWith("\xFF\xFEW\0i\0n\0"));
    const Run settings = ctfadmin(office, {QStringLiteral("settings")});
    QVERIFY(settings.out.contains(QStringLiteral("txtDatabase: K:\\Tarnwell\\\n")));
    QVERIFY(settings.out.contains(QStringLiteral("Tarnwell: Provider=Microsoft.Jet.OLEDB.4.0;Data Source=K:\\Tarnwell\\TarnMain.mdb;")));
    QVERIFY(settings.out.contains(QStringLiteral("TarnTran: Provider=Microsoft.Jet.OLEDB.4.0;Data Source=K:\\Tarnwell\\TarnTran.mdb;")));
    QCOMPARE(ctfadmin(office, {QStringLiteral("annual"), QStringLiteral("--products"), QStringLiteral("CTF,JUN"), QStringLiteral("--start"),
                               QStringLiteral("06/04/25"), QStringLiteral("--end"), QStringLiteral("05/04/26")})
                 .status,
             0);
    QVERIFY(office.readFile(kAnnual).count("Account|") > 10);
    const Run again = ctfadmin(office, {QStringLiteral("setup"), QStringLiteral("--demo")});
    QVERIFY(again.out.contains(QStringLiteral("kept ") + office.root() + QStringLiteral("/system.reg")));
    QVERIFY(reg.open(QIODevice::ReadOnly));
    QCOMPARE(reg.readAll(), exported);

    // Plain setup keeps the start without a registry key.
    TestOffice plain;
    QFile::remove(plain.root() + QStringLiteral("/system.reg"));
    QCOMPARE(ctfadmin(plain, {QStringLiteral("setup")}).status, 0);
    QVERIFY(!QFile::exists(plain.root() + QStringLiteral("/system.reg")));
}

// ctfadmin return killed at random moments: no entry is ever marked without
// its line in a file the program leaves; once put right, everything marked
// is in a return that was put in place, and the rest goes into the next one.
void tst_cli::killedRunsLoseNothing()
{
    TestOffice office;
    ScriptedUiScope scope;
    const int entries = 20000;
    office.exec(kCtf, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                                     "INSERT INTO ChildTrustFunds (Entity, CRN, DOB, Amount, RecordOutput) "
                                     "SELECT 'Voucher', printf('KT%06d', i), '05/05/2013', i, 0 FROM n").arg(entries));
    QSet<QString> returned; // the entries of every return put in place
    QSet<QString> markedBefore;
    QRandomGenerator random(20261206);
    for (int round = 0; round < 12; ++round) {
        QProcess p;
        start(p, office, {QStringLiteral("return"), QStringLiteral("--period-end"), QStringLiteral("30/11/2026")});
        QVERIFY(p.waitForStarted());
        QThread::msleep(random.bounded(10, 700));
        p.kill();
        p.waitForFinished();
        const QSet<QString> inFiles = urnsIn(office.readFile(kReturn)) + urnsIn(office.readFile(kReturn + QStringLiteral(".incomplete")));
        const QSet<QString> marked = markedUrns(office) - markedBefore;
        QVERIFY2(inFiles.contains(marked), qPrintable(QStringLiteral("round %1: %2 marked without a line")
                                                          .arg(round).arg((marked - inFiles).size())));
        {
            returns::ReturnOutput opening; // what the next opening of the screen does
            QVERIFY(opening.load());
        }
        returned += urnsIn(office.readFile(kReturn));
        markedBefore = markedUrns(office);
        QVERIFY2(returned.contains(markedBefore), qPrintable(QStringLiteral("round %1").arg(round)));
    }
    // Another period end: a run in the same minute as a killed one is refused.
    const Run last = ctfadmin(office, {QStringLiteral("return"), QStringLiteral("--period-end"), QStringLiteral("15/12/2026")});
    QCOMPARE(last.status, 0);
    returned += urnsIn(office.readFile(kReturn));
    QCOMPARE(markedUrns(office).size(), entries);
    QCOMPARE(returned.size(), entries);
    QVERIFY(!QFile::exists(office.host(kReturn + QStringLiteral(".incomplete"))));
}

// A return started while another is being created is refused, exit 3.
void tst_cli::runWhileAnotherRuns()
{
    TestOffice office;
    office.addEntry(QStringLiteral("Voucher"), QStringLiteral("AB123456C"), QStringLiteral("01/02/2010"), 250);
    returns::RunRecord other(kCtf);
    QVERIFY(other.claim(nullptr));
    const Run r = ctfadmin(office, {QStringLiteral("return")});
    QCOMPARE(r.status, 3);
    QVERIFY2(r.err.startsWith(QStringLiteral("A return is already being created")), qPrintable(r.err));
    QVERIFY(office.readFile(kReturn).isNull());
    QVERIFY(markedUrns(office).isEmpty());
    other.release();
    QCOMPARE(ctfadmin(office, {QStringLiteral("return")}).status, 0);
}

// An office whose register and Tarnwell file are genuine Access files.
void tst_cli::accessRegisterEndToEnd()
{
    TestOffice office;
    for (const auto &[fixture, path] : {std::pair{"ctf-register-jet4.mdb", kCtf}, std::pair{"tarnwell-jet4.mdb", QStringLiteral("K:\\Tarnwell.mdb")}}) {
        QFile::remove(office.host(path));
        QVERIFY(QFile::copy(QStringLiteral(CTF_TEST_DATA "/mdb/generated/") + QLatin1String(fixture), office.host(path)));
        QFile::setPermissions(office.host(path), QFile::ReadOwner | QFile::WriteOwner);
    }
    const Run refused = ctfadmin(office, {QStringLiteral("return")});
    QCOMPARE(refused.status, 3);
    QVERIFY2(refused.err.contains(QStringLiteral("Run \"ctfadmin import-register\" once")), qPrintable(refused.err));
    const Run converted = ctfadmin(office, {QStringLiteral("import-register")});
    QCOMPARE(converted.status, 0);
    QVERIFY2(converted.out.contains(QStringLiteral("40 entries")), qPrintable(converted.out));
    QCOMPARE(ctfadmin(office, {QStringLiteral("import-register")}).status, 0);
    QCOMPARE(ctfadmin(office, {QStringLiteral("return"), QStringLiteral("--period-end"), QStringLiteral("30/11/2026")}).status, 0);
    QVERIFY(office.readFile(kReturn).startsWith("Header|2026/11/30\r\nEndowment|"));
    const Run annual = ctfadmin(office, {QStringLiteral("annual"), QStringLiteral("--products"), QStringLiteral("CTF"), QStringLiteral("--start"),
                                         QStringLiteral("06/04/25"), QStringLiteral("--end"), QStringLiteral("05/04/26")});
    QCOMPARE(annual.status, 0);
    QVERIFY(office.readFile(kAnnual).count('\n') > 5);
    QCOMPARE(ctfadmin(office, {QStringLiteral("enquiry"), QStringLiteral("--all"), QStringLiteral("--csv")}).out.count('\n'), 41);
}

void tst_cli::checkExitCodes()
{
    TestOffice office;
    const Run clean = ctfadmin(office, {QStringLiteral("check")});
    QCOMPARE(clean.status, 0);
    QCOMPARE(clean.out, QStringLiteral("No findings in 0 outstanding entries.\n"));
    office.addEntry(QStringLiteral("Voucher"), QStringLiteral("AB123456C"), QStringLiteral("01/02/2010"), 0);
    const Run found = ctfadmin(office, {QStringLiteral("check")});
    QCOMPARE(found.status, 1);
    QCOMPARE(found.out, QStringLiteral("ID 1: the amount 0.00 of a Voucher is not more than 0.\n1 findings in 1 of 1 outstanding entries.\n"));
    QCOMPARE(ctfadmin(office, {QStringLiteral("check"), QStringLiteral("--all")}).status, 2);
    QVERIFY(QFile::remove(office.host(kCtf)));
    QCOMPARE(ctfadmin(office, {QStringLiteral("check")}).status, 3);
    // The annual return's checks write no file.
    const QStringList annual{QStringLiteral("check"), QStringLiteral("--annual"), QStringLiteral("--share-account"), QStringLiteral("1"),
                             QStringLiteral("--start"), QStringLiteral("06/04/25"), QStringLiteral("--end"), QStringLiteral("05/04/26")};
    const Run none = ctfadmin(office, annual);
    QCOMPARE(none.status, 0);
    QCOMPARE(none.out, QStringLiteral("No findings in 0 members.\n"));
    office.exec(QStringLiteral("K:\\Tarnwell.mdb"), QStringLiteral("INSERT INTO MemberBals VALUES (7, 5, 0, 0, 0)"));
    const Run leftOut = ctfadmin(office, annual);
    QCOMPARE(leftOut.status, 1);
    QCOMPARE(leftOut.out, QStringLiteral("Member 7: has no MemberMain row, so the return leaves the member out.\n1 findings in 1 of 1 members.\n"));
    QCOMPARE(ctfadmin(office, QStringList(annual).replaceInStrings(QStringLiteral("06/04/25"), QStringLiteral("32/04/25"))).status, 1);
    QCOMPARE(ctfadmin(office, {QStringLiteral("check"), QStringLiteral("--annual")}).status, 2);
    const Run version = ctfadmin(office, {QStringLiteral("--version")});
    QCOMPARE(version.status, 0);
    QCOMPARE(version.out, QStringLiteral("ctfadmin 1.0.15\n"));
    const Run help = ctfadmin(office, {QStringLiteral("--help")});
    QCOMPARE(help.status, 0);
    QVERIFY(help.err.isEmpty());
    for (const char *command : {"setup", "settings", "return", "recreate", "annual", "enquiry", "import-register", "check", "convert"})
        QVERIFY2(help.out.contains(QStringLiteral("ctfadmin [--root DIR] ") + QLatin1String(command)), command);
    QVERIFY(office.readFile(kAnnual).isNull());
}

namespace {
// Command name to the options it mentions, from --help's usage lines or the
// man page's command entries.
QMap<QString, QSet<QString>> optionsByCommand(const QStringList &entries)
{
    static const QRegularExpression option(QStringLiteral("--[a-z-]+"));
    QMap<QString, QSet<QString>> found;
    for (const QString &entry : entries) {
        const QString name = entry.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
        QSet<QString> &options = found[name];
        for (auto m = option.globalMatch(entry); m.hasNext();)
            options << m.next().captured();
    }
    return found;
}
} // namespace

// --help comes from the command table; the man page is written by hand: the
// same commands, each with the same options.
void tst_cli::helpAndManPageAgree()
{
    TestOffice office;
    const Run help = ctfadmin(office, {QStringLiteral("--help")});
    QStringList usage;
    const QString prefix = QStringLiteral("ctfadmin [--root DIR] ");
    for (const QString &line : help.out.split(QLatin1Char('\n'))) {
        if (line.startsWith(prefix) && line.size() > prefix.size() && line[prefix.size()] != QLatin1Char(' '))
            usage << line.mid(prefix.size());
        else if (line.startsWith(QString(prefix.size(), QLatin1Char(' '))) && !usage.isEmpty())
            usage.last() += line; // a usage line that goes on
    }
    QFile man(QStringLiteral(CTF_MAN_PAGE));
    QVERIFY(man.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(man.readAll());
    text = text.section(QStringLiteral(".SH COMMANDS"), 1).section(QStringLiteral("\n.SH "), 0, 0);
    static const QRegularExpression macro(QStringLiteral("^\\.(BR|BI|IR|RI|B|I) ?")), font(QStringLiteral("\\\\f[BIR]"));
    QStringList entries;
    for (const QString &entry : text.split(QStringLiteral("\n.TP\n"), Qt::SkipEmptyParts)) {
        QStringList words;
        for (QString line : entry.split(QLatin1Char('\n')))
            words << line.remove(macro).remove(font).replace(QStringLiteral("\\-"), QStringLiteral("-")).remove(QLatin1Char('"'));
        entries << words.join(QLatin1Char(' ')).trimmed();
    }
    QVERIFY(usage.size() >= 9);
    QCOMPARE(optionsByCommand(entries), optionsByCommand(usage));
}

QTEST_GUILESS_MAIN(tst_cli)

#include "tst_cli.moc"
