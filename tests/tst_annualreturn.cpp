// The annual return CTFANRTN.txt for a share account and for products: the
// exact bytes, the member figures, the statements sent, and the refusals.
#include "annual/annualreturn.h"
#include "annual/maturities.h"
#include "app/appsettings.h"
#include "common/dates.h"
#include "common/besidefile.h"
#include "data/connection.h"
#include "checks/checks.h"
#include "support/mounts.h"
#include "support/office.h"

using annual::AnnualReturn;
using annual::Outcome;
using namespace Qt::StringLiterals;

namespace {
const QString kStart = u"06/04/25"_s, kEnd = u"05/04/26"_s;

void member(TestOffice &o, int no, const QVariant &ni, const QVariant &dob)
{
    o.exec(kTarn, u"INSERT INTO MemberMain (MemberNo, Forename, Surname, DOB, NINumber) VALUES (?, 'A', 'B', ?, ?)"_s, {no, dob, ni});
}
void bals(TestOffice &o, int no, double s1, double s2 = 0) { o.exec(kTarn, u"INSERT INTO MemberBals VALUES (?, ?, ?, 0, 0)"_s, {no, s1, s2}); }
// A transaction in MemberAllTrans ("all") or MemberTrans.
void tran(TestOffice &o, bool all, int no, const QVariant &account, const QVariant &product, const char *date, double value,
          const QVariant &narrative)
{
    o.exec(kTarn, u"INSERT INTO %1 (MemberNo, Account, ProductCode, TranDate, TranValue1, Narrative) VALUES (?,?,?,?,?,?)"_s
                      .arg(all ? u"MemberAllTrans"_s : u"MemberTrans"_s),
           {no, account, product, QString::fromLatin1(date), value, narrative});
}
constexpr bool kAll = true, kTrans = false;

// Tarnwell I members exercising every rule of the figures and the reference.
void shareAccountOffice(TestOffice &o)
{
    member(o, 101, u"AB123456"_s, u"2010-01-01"_s);
    bals(o, 101, 10);
    tran(o, kAll, 101, 1, {}, "2025-04-06", 100, u"Deposit"_s);
    tran(o, kAll, 101, 1, {}, "2026-04-05", 7.891, QVariant());
    tran(o, kAll, 101, 1, {}, "2026-04-06", 1000, u"Deposit"_s);
    tran(o, kAll, 101, 1, {}, "2025-01-01", 200, u"Opening"_s);
    tran(o, kAll, 101, 2, {}, "2025-05-01", 999, u"other account"_s);
    tran(o, kTrans, 101, 1, {}, "2025-06-01", -12.3, u"Withdrawal"_s);
    // In the balance, but no subscriptions.
    for (const auto &[date, value, narrative] : {std::tuple{"2025-07-01", 30, "VOUCHER PAYMENT"}, {"2025-07-02", 40, "Endowment"},
                                                 {"2025-07-03", 41, "DIVIDEND"}, {"2025-07-04", 42, "interest paid"},
                                                 {"2025-07-05", 43, "INDIVIDUAL TOP UP"}})
        tran(o, kTrans, 101, 1, {}, date, value, QString::fromLatin1(narrative));
    member(o, 102, u"CD1234567890"_s, u"2008-04-30"_s); // 216 months: in
    bals(o, 102, 5);
    member(o, 103, u"EF12345"_s, u"2008-03-31"_s); // 217 months: out
    bals(o, 103, 5);
    member(o, 104, u"GH765432A"_s, QVariant());
    bals(o, 104, 5);
    tran(o, kAll, 104, 1, {}, "2025-08-01", 0.125, u"Gift"_s);
    tran(o, kTrans, 104, 1, {}, "2025-08-02", -0.005, u"Fee"_s);
    member(o, 105, u"ZERO0000A"_s, QVariant());
    bals(o, 105, 0);
    tran(o, kAll, 105, 1, {}, "2025-08-01", 50, u"Deposit"_s);
    bals(o, 106, 5); // no MemberMain row
    member(o, 107, QVariant(), QVariant());
    bals(o, 107, 5);
    member(o, 108, u"         "_s, QVariant());
    bals(o, 108, 5);
    member(o, 109, u"IJ000009C"_s, u"2015-05-05"_s);
    bals(o, 109, 0, 8);
}
const QByteArray kShareAccountReturn("Header|2026/04/05\r\n"
                                     "Account|AB123456 |2|y|491.59|0.00|107.89\r\n"
                                     "Account|CD1234567|2|y|0.00|0.00|0.00\r\n"
                                     "Account|GH765432A|2|y|0.12|0.00|0.13\r\n");

void productOffice(TestOffice &o)
{
    o.exec(kTarn, u"INSERT INTO Product VALUES ('S1', 'Ordinary shares', 1), ('JUN', 'Junior', 12), ('CTF', 'Child Trust Fund', 3)"_s);
    member(o, 201, u"KL1111111"_s, u"1990-01-01"_s); // no age test here
    o.exec(kTarn, u"INSERT INTO MemberBalances VALUES (201, 'CTF', 0), (202, 'JUN', 10), (203, 'S1', 10), (204, 'CTF', 10)"_s); // 204: no MemberMain row
    tran(o, kAll, 201, {}, u"CTF"_s, "2025-05-01", 100, u"Deposit"_s);
    tran(o, kTrans, 201, {}, u"jun"_s, "2025-05-02", 20.5, QVariant());
    tran(o, kTrans, 201, {}, u"S1"_s, "2025-05-03", 999, u"Deposit"_s);
    member(o, 202, u"MN22222"_s, QVariant());
    tran(o, kAll, 202, {}, u"JUN"_s, "2026-04-05", -3.333, u"Fee"_s);
    member(o, 203, u"OP3333333"_s, QVariant());
}
const QList<annual::ProductItem> kChosen{{u"CTF - Child Trust Fund"_s, true}, {u"JUN - Junior"_s, true}, {u"S1 - Ordinary shares"_s, false}};

// Every statement sent, with the connection it went to.
class Statements {
public:
    explicit Statements(AnnualReturn &run)
    {
        Connection::setStatementObserver([this, &run](const Connection &c, const QString &sql) {
            sent << (&c == &run.memberConnection() ? u"member: "_s : u"tran: "_s) + sql;
        });
    }
    ~Statements() { Connection::setStatementObserver({}); }
    QStringList sent;
};
} // namespace

class tst_annualreturn : public QObject {
    Q_OBJECT
private slots:
    void shareAccountExactBytes()
    {
        TestOffice office;
        shareAccountOffice(office);
        AnnualReturn run;
        run.open();
        QStringList moments;
        run.onOutputing = [&](int n) { moments << u"outputing %1"_s.arg(n); };
        run.onOutputComplete = [&] { moments << u"complete before its message: %1"_s.arg(office.ui().messages.size()); };
        const annual::RunOutcome done = run.runShareAccount(1, kStart, kEnd);
        QCOMPARE(done.result, Outcome::Done);
        QCOMPARE(office.readFile(kAnnual), kShareAccountReturn);
        QCOMPARE(moments, QStringList({u"outputing 1"_s, u"complete before its message: 1"_s}));
        QCOMPARE(office.ui().seen() + seen(done.notices),
                 QStringList({u"Question | Continue ? | Continue with the following selected account:\r\n\r\nShare account 1 ?"_s,
                              u"Information | Finished | Output complete"_s}));
        QCOMPARE(office.ui().messages[0].buttons, MsgButtons::YesNo);
        // A second run replaces the file with the same content.
        QCOMPARE(run.runShareAccount(1, kStart, kEnd).result, Outcome::Done);
        QCOMPARE(office.readFile(kAnnual), kShareAccountReturn);
        // Every statement as sent, for share account 2 (one member).
        Statements statements(run);
        run.runShareAccount(2, kStart, kEnd);
        QCOMPARE(statements.sent, QStringList({
            u"member: Select * from MemberBals where S2Bal > 0 ;"_s,
            u"member: Select sum(Tranvalue1) as CurrBal from MemberAllTrans where Account = 2 and MemberNo = 109 and TranDate <= #04/05/26# ;"_s,
            u"member: Select sum(Tranvalue1) as CurrBal from MemberTrans where Account = 2 and MemberNo = 109 and TranDate <= #04/05/26# ;"_s,
            u"member: Select * from MemberAllTrans where MemberNo = 109 and Account = 2 and TranDate >= #04/06/25# and TranDate <= #04/05/26# AND TranValue1 > 0 ;"_s,
            u"member: Select * from MemberTrans where MemberNo = 109 and Account = 2 and TranDate >= #04/06/25# and TranDate <= #04/05/26# AND TranValue1 > 0 ;"_s,
            u"member: Select DOB, NINumber from MemberMain where MemberNo = 109 ;"_s}));
        QCOMPARE(office.readFile(kAnnual), QByteArray("Header|2026/04/05\r\nAccount|IJ000009C|2|y|0.00|0.00|0.00\r\n"));
    }

    // Two programs writing the return at once (two desks, or the screen and
    // the command line): one waits for the other, both finish, the file
    // left is one run's whole file, never a mixture, and nothing is left
    // beside it.
    void twoRunsAtOnce()
    {
        TestOffice office;
        shareAccountOffice(office);
        office.exec(kTarn, u"INSERT INTO MemberBals WITH RECURSIVE n(k) AS (SELECT 1000 UNION ALL SELECT k + 1 FROM n WHERE k < 2999) "
                           "SELECT k, 5, 0, 0, 0 FROM n"_s);
        office.exec(kTarn, u"INSERT INTO MemberMain (MemberNo, Forename, Surname, DOB, NINumber) SELECT MemberNo, 'A', 'B', '2010-01-01', "
                           "'QQ' || MemberNo FROM MemberBals WHERE MemberNo >= 1000"_s);
        const QStringList years{u"05/04/26"_s, u"05/04/25"_s};
        QHash<QString, QByteArray> alone; // each run's file, made on its own
        for (const QString &end : years) {
            QCOMPARE(office.ctfadmin(QStringList{u"annual"_s, u"--share-account"_s, u"1"_s, u"--start"_s, u"06/04/24"_s, u"--end"_s, end}).status, 0);
            alone[end] = office.readFile(kAnnual);
        }
        for (int attempt = 0; attempt < 3; ++attempt) {
            QProcess runs[2];
            for (int k = 0; k < 2; ++k)
                office.startCtfadmin(runs[k], {u"annual"_s, u"--share-account"_s, u"1"_s, u"--start"_s, u"06/04/24"_s, u"--end"_s, years[k]});
            for (int k = 0; k < 2; ++k) {
                QVERIFY(runs[k].waitForFinished(60000));
                const QString said = QString::fromLocal8Bit(runs[k].readAllStandardOutput() + runs[k].readAllStandardError());
                QVERIFY2(runs[k].exitCode() == 0 && said.contains(u"Output complete"_s), qPrintable(said));
            }
            // The one that finished last: each run's file is whole.
            const QByteArray left = office.readFile(kAnnual);
            QVERIFY2(left == alone[years[0]] || left == alone[years[1]], left.left(60).constData());
            QCOMPARE(QDir(office.host(u"K:\\Returns"_s)).entryList(QDir::Files), QStringList{u"CTFANRTN.txt"_s});
        }
    }

    // Tarnwell II's files on a drive this program cannot write (one of them
    // left in WAL by Tarnwell): the same return, and not a byte of theirs changed.
    void tarnwellOnAReadOnlyDrive()
    {
        TestOffice office;
        shareAccountOffice(office);
        office.close(kTarn);
        const QString folder = office.host(u"K:\\Tarnwell II"_s);
        for (const char *name : {"/TarnMain.mdb", "/TarnTran.mdb"})
            office.writeFile(folder + QLatin1String(name), office.readFile(kTarn));
        office.exec(folder + u"/TarnTran.mdb"_s, u"PRAGMA journal_mode=WAL"_s);
        office.close(folder + u"/TarnTran.mdb"_s);
        const QByteArray main = office.readFile(folder + u"/TarnMain.mdb"_s), trans = office.readFile(folder + u"/TarnTran.mdb"_s);
        QCOMPARE(trans.at(18), '\2'); // WAL
        Mount readOnly;
        MOUNT_OR_SKIP(readOnly.readOnly(folder));
        appsettings::fields().txtDatabase = u"K:\\Tarnwell II\\"_s;
        {
            AnnualReturn run;
            run.open();
            QVERIFY2(ui::shown(run.runShareAccount(1, kStart, kEnd)) == Outcome::Done, qPrintable(office.ui().lastText()));
        }
        readOnly.unmount();
        QCOMPARE(office.readFile(kAnnual), kShareAccountReturn);
        QCOMPARE(office.readFile(folder + u"/TarnMain.mdb"_s), main);
        QCOMPARE(office.readFile(folder + u"/TarnTran.mdb"_s), trans);
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2);
    }

    void productsExactBytes()
    {
        TestOffice office;
        productOffice(office);
        AnnualReturn run;
        run.open();
        QCOMPARE(ui::shown(run.runProducts(kChosen, kStart, kEnd)), Outcome::Done);
        QCOMPARE(office.readFile(kAnnual), QByteArray("Header|2026/04/05\r\n"
                                                    "Account|KL1111111|2|y|120.50|0.00|120.50\r\n"
                                                    "Account|MN22222  |2|y|-3.33|0.00|0.00\r\n"));
        QCOMPARE(office.ui().seen(), QStringList({u"Question | Continue ? | Continue with the following selected accounts:\r\n\r\n('CTF', 'JUN') ?"_s,
                                                 u"Information | Finished creating K:\\Returns\\CTFANRTN.txt | Output complete \r\nK:\\Returns\\CTFANRTN.txt"_s}));
        // Every statement as sent, for one product held by one member.
        Statements statements(run);
        run.runProducts({{u"S1 - Ordinary shares"_s, true}}, kStart, kEnd);
        QCOMPARE(statements.sent, QStringList({
            u"member: Select * FROM MemberBalances WHERE ProductCode IN ('S1') ;"_s,
            u"tran: Select Sum(TranValue1) as CurrBalance FROM MemberAllTrans WHERE ProductCode IN ('S1') and MemberNo = 203 and Trandate <= #04/05/26# ;"_s,
            u"tran: Select Sum(TranValue1) as CurrBalance FROM MemberTrans WHERE ProductCode IN ('S1') and MemberNo = 203 and Trandate <= #04/05/26# ;"_s,
            u"tran: Select * from MemberAllTrans where MemberNo = 203 and ProductCode in ('S1') and TranDate >= #04/06/25# and TranDate <= #04/05/26# AND TranValue1 > 0 ;"_s,
            u"tran: Select * from MemberTrans where MemberNo = 203 and ProductCode in ('S1') and TranDate >= #04/06/25# and TranDate <= #04/05/26# AND TranValue1 > 0 ;"_s,
            u"member: Select NINumber from MemberMain where MemberNo = 203 ;"_s}));
    }

    // Nobody selected: a nil return; only members the return leaves out: the header alone.
    void nilReturnAndHeaderOnly()
    {
        TestOffice office;
        AnnualReturn run;
        run.open();
        const auto both = [&] { // the outcome (0: done) and the file of each
            QByteArray files = QByteArray::number(int(run.runShareAccount(1, kStart, kEnd).result));
            files += office.readFile(kAnnual);
            files += QByteArray::number(int(run.runProducts(kChosen, kStart, kEnd).result));
            return files + office.readFile(kAnnual);
        };
        QCOMPARE(both(), QByteArray("0Header|2026/04/05\r\nNilReturn\r\n0Header|2026/04/05\r\nNilReturn\r\n"));
        bals(office, 301, 1);
        office.exec(kTarn, u"INSERT INTO MemberBalances VALUES (301, 'CTF', 0)"_s);
        QCOMPARE(both(), QByteArray("0Header|2026/04/05\r\n0Header|2026/04/05\r\n"));
        // Two-digit years: 30 to 99 are 19yy.
        run.runShareAccount(1, u"06/04/29"_s, u"05/04/30"_s);
        QCOMPARE(office.readFile(kAnnual), QByteArray("Header|1930/04/05\r\n"));
    }

    void runsThatWriteNothing_data()
    {
        QTest::addColumn<QString>("selection"); // "share N", or the products chosen ("CTF,JUN"; "none")
        QTest::addColumn<QString>("dates");
        QTest::addColumn<QString>("damage");    // SQL run on Tarnwell first; "SQL Server": the settings name a server
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("message");   // part of the last message
        const QString year = u"06/04/25 05/04/26"_s, loose = u"DROP TABLE MemberBals; CREATE TABLE MemberBals (MemberNo, S1Bal, S2Bal, S3Bal, S4Bal); "_s;
        const int refused = int(Outcome::Refused), failed = int(Outcome::Failed);
        QTest::newRow("empty start") << "share 1" << "__/__/__ 05/04/26" << "" << refused << "Critical | Re-enter | Invalid starting date entered";
        QTest::newRow("31 February end") << "share 1" << "06/04/25 31/02/26" << "" << refused << "Critical | Re-enter | Invalid ending date entered";
        QTest::newRow("products, half typed") << "CTF,JUN" << "06/04/2_ 05/04/26" << "" << refused << "Critical | Re-enter | Invalid starting date entered";
        QTest::newRow("no product chosen") << "none" << year << "" << refused << "Critical |  CTF - Annual Return Output | No products selected";
        QTest::newRow("a quote in a product code") << "CT'F" << year << "" << refused << "The product code \"CT'F\" cannot be used";
        QTest::newRow("answered No") << "share 1" << year << "" << int(Outcome::Cancelled) << "Question | Continue ? | ";
        QTest::newRow("grouped money text in a sum") << "share 1" << year << "INSERT INTO MemberAllTrans VALUES (201, 1, NULL, '2025-05-01', '1,200.00', 'Deposit')"
                                                     << failed << "the value \"1,200.00\" is not an amount of money";
        QTest::newRow("pound sign") << "share 1" << year << "INSERT INTO MemberTrans VALUES (201, 1, NULL, '2025-05-01', '£50.00', 'Deposit')" << failed
                                    << "statement \"Select sum(Tranvalue1) as CurrBal from MemberTrans where Account = 1 and MemberNo = 201";
        QTest::newRow("member number with SQL") << "share 1" << year << loose + "INSERT INTO MemberBals VALUES ('1003 OR 1=1', 5, 0, 0, 0)" << failed
                                                << "The table MemberBals holds the member number \"1003 OR 1=1\", which is not a whole number.";
        QTest::newRow("member number with decimals") << "share 1" << year << loose + "INSERT INTO MemberBals VALUES (1003.5, 5, 0, 0, 0)" << failed
                                                     << "The table MemberBals holds the member number \"1003.5\", which is not a whole number.";
        // In SQL Server mode the transaction statements are rewritten; the file
        // database knows no CONVERT, so the run stops.
        QTest::newRow("cancelled while another run writes") << "share 1" << year << "held" << failed
                                                            << "Cancelled while another annual return was being written to the same file.";
        QTest::newRow("SQL Server dates on a file") << "CTF" << year << "SQL Server" << failed << "CONVERT";
    }

    // Runs refused, cancelled or stopped by a Tarnwell value that is not what it
    // must be: the message names what failed, the earlier return stays whole
    // (a run writes beside it), and nothing else is left in the folder.
    void runsThatWriteNothing()
    {
        QFETCH(QString, selection);
        QFETCH(QString, dates);
        QFETCH(QString, damage);
        QFETCH(int, outcome);
        QFETCH(QString, message);
        TestOffice office;
        member(office, 201, u"AB123456C"_s, u"2010-01-01"_s);
        bals(office, 201, 10);
        office.exec(kTarn, u"INSERT INTO MemberBalances VALUES (201, 'CTF', 0)"_s);
        tran(office, kAll, 201, 1, u"CTF"_s, "2025-05-02", 10, u"Deposit"_s);
        for (const QString &sql : damage.split(u"; "_s, Qt::SkipEmptyParts))
            if (sql != u"SQL Server"_s && sql != u"held"_s)
                office.exec(kTarn, sql);
        office.writeFile(kAnnual, "last year's file\r\n");
        std::optional<beside::FolderHold> other; // as another program's run holds it
        if (damage == u"held"_s)
            QVERIFY(other.emplace(office.host(u"K:\\Returns"_s)).claim(beside::Job::AnnualReturn));
        office.ui().cancelProgress = damage == u"held"_s;
        if (outcome == int(Outcome::Cancelled))
            office.ui().answers.enqueue(MsgResult::No);
        AnnualReturn run;
        run.open();
        bool began = false;
        run.onOutputing = [&](int) { began = true; };
        run.settings().chkSQL = damage == u"SQL Server"_s ? 1 : 0;
        QList<annual::ProductItem> products;
        for (const QString &code : selection.split(u','))
            products.append({code + u" - a product"_s, code != u"none"_s});
        const QString start = dates.section(u' ', 0, 0), end = dates.section(u' ', 1);
        const Outcome result = ui::shown(selection.startsWith(u"share "_s) ? run.runShareAccount(selection.mid(6).toInt(), start, end)
                                                                        : run.runProducts(products, start, end));
        QCOMPARE(int(result), outcome);
        QVERIFY2(office.ui().seen().last().contains(message), qPrintable(office.ui().seen().last()));
        if (outcome == int(Outcome::Failed))
            QVERIFY2(office.ui().seen().last().startsWith(u"Critical | "_s)
                         && office.ui().lastText().contains(u"Nothing was written: K:\\Returns\\CTFANRTN.txt is as it was before this run."_s),
                     qPrintable(office.ui().lastText()));
        QVERIFY(!office.ui().busyNow); // the pointer is back
        QCOMPARE(office.readFile(kAnnual), QByteArray("last year's file\r\n"));
        QCOMPARE(QDir(office.host(u"K:\\Returns"_s)).entryList(QDir::Files), QStringList{u"CTFANRTN.txt"_s});
        QVERIFY(!began || outcome == int(Outcome::Failed)); // a refused run never began
    }

    // The codes before " - " of the products chosen, as the statements and the question give them.
    void productListText()
    {
        QStringList texts;
        for (const QStringList &items : {QStringList{"CTF - Child Trust Fund", "S1 - Ordinary shares"}, QStringList{"CTF2"}, QStringList{"-X"},
                                         QStringList{"A-B"}, QStringList{"AB - Junior - saver"}, QStringList{}}) {
            QList<annual::ProductItem> list;
            for (const QString &i : items)
                list.append({i, true});
            list.append({u"ZZ - not chosen"_s, false});
            texts << annual::productListText(list);
        }
        QCOMPARE(texts, QStringList({"('CTF', 'S1')", "('CTF2')", "('')", "('')", "('AB')", "()"}));
    }

    // Null values are left out of the sums, and a Null date out of every period,
    // as Access leaves them out.
    void nullsLeftOutOfSums()
    {
        TestOffice office;
        member(office, 201, u"AB123456C"_s, u"2010-01-01"_s);
        office.exec(kTarn, u"INSERT INTO MemberBalances VALUES (201, 'CTF', 0)"_s);
        office.exec(kTarn, u"DROP TABLE MemberTrans"_s);
        office.exec(kTarn, u"CREATE TABLE MemberTrans (MemberNo INTEGER, Account INTEGER, ProductCode TEXT, TranDate TEXT, TranValue1 NUMERIC, Narrative TEXT)"_s);
        office.exec(kTarn, u"INSERT INTO MemberTrans VALUES (201, NULL, 'CTF', '2025-05-01', NULL, 'Deposit'), "
                           "(201, NULL, 'CTF', NULL, 99, 'Deposit'), (201, NULL, 'CTF', '2025-05-02', '12.50', 'Deposit')"_s);
        AnnualReturn run;
        run.open();
        QCOMPARE(run.runProducts({{u"CTF - Child Trust Fund"_s, true}}, kStart, kEnd).result, Outcome::Done);
        QCOMPARE(office.readFile(kAnnual), QByteArray("Header|2026/04/05\r\nAccount|AB123456C|2|y|12.50|0.00|12.50\r\n"));
    }

    // The checks name every member the return leaves out and every figure to
    // look at, and write no file.
    void annualChecks()
    {
        TestOffice office;
        shareAccountOffice(office);
        member(office, 110, u"KL000010A"_s, u"2010-01-01"_s);
        bals(office, 110, 5);
        tran(office, kAll, 110, 1, {}, "2025-09-01", 9000.01, u"Deposit"_s);
        member(office, 111, u"KL000011A"_s, u"2010-01-01"_s);
        bals(office, 111, 5);
        tran(office, kTrans, 111, 1, {}, "2025-09-01", -20, u"Withdrawal"_s);
        // A date of birth that is no date means no age test: the member is
        // reported, and the checks name it.
        member(office, 112, u"KL000012A"_s, u"31/02/1990"_s);
        bals(office, 112, 7);
        AnnualReturn run;
        run.open();
        QCOMPARE(run.runShareAccount(1, kStart, kEnd).result, Outcome::Done);
        QVERIFY(office.readFile(kAnnual).contains("Account|KL000012A|2|y|0.00|0.00|0.00\r\n"));
        QFile::remove(office.host(kAnnual));
        office.ui().messages.clear();
        const auto findings = [&](int account, const QList<annual::ProductItem> &products, const QString &start, const QString &end) {
            QStringList lines;
            for (const checks::Finding &f : checks::checkAnnual(run, account, products, start, end).findings)
                lines << f.line();
            return lines;
        };
        QCOMPARE(findings(1, {}, kStart, kEnd), QStringList({
            "Member 103: is over 18 at the end date, so the return leaves the member out.",
            "Member 106: has no MemberMain row, so the return leaves the member out.",
            "Member 107: has no NI number (the reference), so the return leaves the member out.",
            "Member 108: has no NI number (the reference), so the return leaves the member out.",
            "Member 110: subscriptions of 9000.01 in the period are above the annual limit of 9000.00 in force on 05/04/2026; the limit "
            "applies per birthday year, so check the member's year (warning).",
            "Member 111: the year-end balance is -20.00.",
            "Member 112: has the date of birth \"31/02/1990\" in MemberMain, which is not a date, so no age test is made and the "
            "return reports the member; put the date right in Tarnwell (warning)."}));
        // Dates: a slip of the two-digit year, a start after the end.
        const QStringList dates = findings(1, {}, u"06/04/95"_s, u"05/04/94"_s);
        QCOMPARE(dates[0], u"Dates: the start date 06/04/95 reads as 06/04/1995 (two-digit years 30 to 99 are 19yy); almost surely a slip."_s);
        QCOMPARE(dates[2], u"Dates: the start date 06/04/1995 is after the end date 05/04/1994; no transaction counts as a subscription."_s);
        QCOMPARE(checks::annualLimit(QDate(2014, 6, 30)), Money::fromUnits(3840 * 10000));
        QCOMPARE(checks::annualLimit(QDate(2014, 7, 1)), Money::fromUnits(4000 * 10000));
        // The product return reports members of 18 or more: information.
        office.exec(kTarn, u"INSERT INTO MemberBalances VALUES (103, 'CTF', 5)"_s);
        QCOMPARE(findings(0, {{u"CTF - x"_s, true}}, kStart, kEnd),
                 QStringList{u"Member 103: is 18 or more at the end date (born 31/03/2008); the product return still reports the account (information)."_s});
        // The child's age, not month boundaries: a day short of 18 is not
        // reported; 29 February's birthday is 1 March in a common year.
        for (const auto &[no, dob] : {std::pair{120, "2008-04-06"}, {121, "2008-04-05"}, {122, "2008-04-30"}, {123, "2008-02-29"}}) {
            member(office, no, u"MN0001%1A"_s.arg(no), QString::fromLatin1(dob));
            office.exec(kTarn, u"INSERT INTO MemberBalances VALUES (?, 'CTF', 5)"_s, {no});
        }
        const auto over18 = [&](const QString &end) {
            const checks::Result r = checks::checkAnnual(run, 0, {{u"CTF - x"_s, true}}, kStart, end);
            QStringList members;
            for (const checks::Finding &f : r.findings)
                members << f.subject;
            return members.join(u' ') + u" / "_s + r.summary();
        };
        QCOMPARE(over18(kEnd), u"Member 103 Member 121 Member 123 / 3 findings in 3 of 5 members."_s);
        QCOMPARE(over18(u"28/02/26"_s), u" / No findings in 5 members."_s);
        QCOMPARE(over18(u"01/03/26"_s), u"Member 123 / 1 finding in 1 of 5 members."_s);
        // Subscriptions after maturity, on both sides of the 18th birthday
        // (15/01/2026), whichever return reads the member.
        member(office, 124, u"MN000124A"_s, u"2008-01-15"_s);
        office.exec(kTarn, u"INSERT INTO MemberBalances VALUES (124, 'CTF', 5)"_s);
        bals(office, 124, 5);
        for (const auto &[day, narrative] : {std::pair{"2026-01-15", "Deposit"}, {"2026-01-16", "Deposit"}, {"2026-02-01", "DIVIDEND"}}) {
            tran(office, kAll, 124, 1, u"CTF"_s, day, 25, QString::fromLatin1(narrative));
            tran(office, kTrans, 124, 1, u"CTF"_s, day, 0, u"none"_s); // 0: no subscription
        }
        const QString after = u"Member 124: a subscription of 25.00 on 16/01/2026, after the 18th birthday on 15/01/2026: the account had "
                              "matured, so it is to be returned (warning)."_s;
        for (const int account : {0, 1}) {
            QStringList lines;
            for (const checks::Finding &f : checks::checkAnnual(run, account, {{u"CTF - x"_s, true}}, kStart, kEnd).findings)
                if (f.subject == u"Member 124"_s && f.text.contains(u"subscription"_s))
                    lines << f.line();
            QCOMPARE(lines, QStringList{after});
        }
        QVERIFY(office.readFile(kAnnual).isNull());
        QVERIFY(office.ui().messages.isEmpty());
    }

    void maturityEvents_data()
    {
        QTest::addColumn<QString>("dob");    // as MemberMain holds it; "null" for Null
        QTest::addColumn<QString>("period"); // from to
        QTest::addColumn<QString>("due");    // "day event" of each, "; " between
        const QString year = u"01/01/2026 31/12/2026"_s;
        QTest::newRow("17 in the period") << "2009-05-10" << year << "10/05/2026 17th birthday: statement due";
        QTest::newRow("18 in the period") << "2008-05-10" << year << "10/05/2026 18th birthday: account matures";
        QTest::newRow("19: a year after maturity") << "2007-05-10" << year << "10/05/2026 12 months after maturity: statement due";
        QTest::newRow("20: nothing") << "2006-05-10" << year << "";
        QTest::newRow("the birthday is the period's first day") << "2008-05-10" << "10/05/2026 10/05/2026" << "10/05/2026 18th birthday: account matures";
        QTest::newRow("the day after the period") << "2008-05-10" << "01/05/2026 09/05/2026" << "";
        QTest::newRow("the day before the period") << "2008-05-10" << "11/05/2026 31/05/2026" << "";
        QTest::newRow("the period's last day") << "2009-05-31" << "01/05/2026 31/05/2026" << "31/05/2026 17th birthday: statement due";
        QTest::newRow("29 February, a common year: 1 March") << "2008-02-29" << "28/02/2026 28/02/2026" << "";
        QTest::newRow("29 February, 1 March") << "2008-02-29" << "01/03/2026 01/03/2026" << "01/03/2026 18th birthday: account matures";
        QTest::newRow("29 February, a year after maturity") << "2008-02-29" << "28/02/2027 01/03/2027"
                                                            << "01/03/2027 12 months after maturity: statement due";
        QTest::newRow("two events in a long period") << "2009-01-15" << "01/01/2026 31/01/2027" << "15/01/2026 17th birthday: statement due; 15/01/2027 18th birthday: account matures";
        QTest::newRow("no date of birth") << "null" << year << " date of birth unknown";
        QTest::newRow("a date of birth that is no date") << "31/02/2009" << year << " date of birth unknown";
    }

    // The events of one holder in a period: each birthday on both sides of
    // the period's ends, 29 February, and holders whose date of birth is unknown.
    void maturityEvents()
    {
        QFETCH(QString, dob);
        QFETCH(QString, period);
        QFETCH(QString, due);
        annual::AnnualReturn::Holder h{u"7"_s, u"A B"_s, u"QQ123456A"_s, dob == u"null"_s ? QVariant() : QVariant(dob), {}};
        QStringList got;
        for (const maturities::Due &d : maturities::eventsOf(h, *dates::parse(period.section(u' ', 0, 0)), *dates::parse(period.section(u' ', 1))))
            got << (d.day.isValid() ? dates::dayFirst(d.day) : QString()) + u' ' + d.event;
        QCOMPARE(got.join(u"; "_s), due);
    }

    // The report over a selection: the annual return's holders, by date, the
    // balance at the start of the period, the unknown last; a period that is
    // none is refused.
    void maturitiesReport()
    {
        TestOffice office;
        member(office, 301, u"AA000001A"_s, u"2008-06-01"_s);
        member(office, 302, u"AA000002A"_s, u"2009-03-01"_s);
        member(office, 303, u"AA000003A"_s, QVariant());
        member(office, 304, u"AA000004A"_s, u"2008-06-01"_s); // not selected
        for (const int no : {301, 302, 303})
            bals(office, no, 5);
        tran(office, kAll, 301, 1, {}, "2025-12-31", 100, u"Deposit"_s);
        tran(office, kTrans, 301, 1, {}, "2026-01-01", 50, u"Deposit"_s); // from the period's first day: not in the balance
        AnnualReturn run;
        run.open();
        QList<maturities::Due> due;
        QCOMPARE(maturities::report(run, 1, {}, QDate(2026, 1, 1), QDate(2026, 12, 31), due).result, Outcome::Done);
        QStringList got;
        for (const maturities::Due &d : due)
            got << u"%1 %2 %3 %4"_s.arg(d.day.isValid() ? dates::dayFirst(d.day) : u"-"_s, d.member, d.niNumber, d.balance.format2());
        QCOMPARE(got, QStringList({"01/03/2026 302 AA000002A 0.00", "01/06/2026 301 AA000001A 100.00", "- 303 AA000003A 0.00"}));
        const annual::RunOutcome refused = maturities::report(run, 1, {}, QDate(2026, 2, 1), QDate(2026, 1, 1), due);
        QCOMPARE(refused.result, Outcome::Refused);
        QVERIFY(refused.notices.value(0).text.startsWith(u"The period is not valid"_s));
    }
};

QTEST_GUILESS_MAIN(tst_annualreturn)
#include "tst_annualreturn.moc"
