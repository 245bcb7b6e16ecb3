// Connection strings, SQL rewriting for SQL Server, and the shared input
// helpers: the texts they produce are configuration and must match exactly.
#include "app/appsettings.h"
#include "common/besidefile.h"
#include "common/ctfmodules.h"
#include "common/textfile.h"
#include "common/error.h"
#include "data/connectionstrings.h"
#include "data/sqldialect.h"
#include "platform/officeroot.h"
#include "support/office.h"

using namespace Qt::StringLiterals;

class tst_foundation : public QObject {
    Q_OBJECT
private slots:
    void connectionStrings_data()
    {
        QTest::addColumn<QString>("fields"); // chkSQL|txtDatabase|chkAdmin|sqlUserName|sqlPW|SQLSubset
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        const QString jet = u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s, sql = u"provider=SQLOLEDB.1;Persist Security Info=False;"_s;
        const QString tail = u";Persist Security Info=False"_s;
        QTest::newRow("access K: Tarnwell") << "0|K:\\|0|||" << "Tarnwell" << jet + "K:\\Tarnwell.mdb" + tail;
        QTest::newRow("access K: TarnTran") << "0|K:\\|0|||" << "TarnTran" << jet + "K:\\Tarnwell.mdb" + tail;
        QTest::newRow("access K: TarnMain") << "0|K:\\|0|||" << "TarnMain" << jet + "K:\\TarnMain.mdb" + tail;
        QTest::newRow("access folder Tarnwell") << "0|D:\\Data\\|0|||" << "Tarnwell" << jet + "D:\\Data\\TarnMain.mdb" + tail;
        QTest::newRow("access folder TarnTran") << "0|D:\\Data\\|0|||" << "TarnTran" << jet + "D:\\Data\\TarnTran.mdb" + tail;
        QTest::newRow("access folder no separator") << "0|D:\\Data|0|||" << "Tarnwell" << jet + "D:\\DataTarnMain.mdb" + tail;
        QTest::newRow("sql trusted") << "1|S|0|||X" << "Tarnwell" << sql + "Initial Catalog=TarnMainX;Data Source=S;Trusted_Connection=Yes;";
        QTest::newRow("sql TarnTran") << "1|S|0|||X" << "TarnTran" << sql + "Initial Catalog=TarnTranX;Data Source=S;Trusted_Connection=Yes;";
        QTest::newRow("sql sa empty user") << "1|SRV1|1||pw|" << "TarnMain" << sql + "Initial Catalog=TarnMain;Data Source=SRV1;User Id =sa;Password=pw";
        QTest::newRow("sql user empty password") << "1|SRV1|1|bob||" << "Tarnwell" << sql + "Initial Catalog=TarnMain;Data Source=SRV1;User Id =bob;Password=";
        QTest::newRow("unknown name") << "0|K:\\|0|||" << "tarnwell" << "";
        QTest::newRow("CTF in sql mode") << "1|SRV1|0|||" << "CTF" << jet + "K:\\CTF.mdb" + tail;
    }

    void connectionStrings()
    {
        QFETCH(QString, fields);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        TestOffice office;
        const QStringList v = fields.split(u'|');
        SettingFields f;
        f.chkSQL = v[0].toInt();
        f.txtDatabase = v[1];
        f.chkAdmin = v[2].toInt();
        f.sqlUserName = v[3];
        f.sqlPW = v[4];
        f.SQLSubset = v[5];
        const ConnectionChoice c = connectionStringFor(f, name, officeroot::programFolder());
        QCOMPARE(c.connectionString, expected);
        QCOMPARE(c.mainTitle, name == u"CTF"_s ? u" CTF administration (CTF.mdb location is K:\\)"_s : QString());
    }

    void registerInProgramFolder()
    {
        TestOffice office;
        const QString folder = office.root() + u"/program"_s;
        office.writeFile(folder + u"/ctf.MDB"_s, {});
        QCOMPARE(GetConnectionString(u"CTF"_s),
                 u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + folder + u"\\CTF.mdb;Persist Security Info=False"_s);
        QCOMPARE(appsettings::mainTitle(), u" CTF administration (CTF.mdb location is "_s + folder + u")"_s);
    }

    void translateSql_data()
    {
        QTest::addColumn<int>("chkSQL");
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("true") << 1 << "Select * from T where Flag = True" << "Select * from T where Flag = 1";
        QTest::newRow("false inside word") << 1 << "Select Falsey from T" << "Select 0y from T";
        QTest::newRow("delete star") << 1 << "Delete * From T" << "DELETE From T";
        QTest::newRow("delete star alone") << 1 << "DELETE *" << "DELETE";
        QTest::newRow("two blanks kept") << 1 << "DELETE  * FROM T" << "DELETE  * FROM T";
        QTest::newRow("dates") << 1 << "a <= #04/05/06# ;" << "a <= CONVERT(DATETIME, '2006-04-05 00:00:00', 102) ;";
        QTest::newRow("year 30 is 1930") << 1 << "#01/02/30#" << "CONVERT(DATETIME, '1930-01-02 00:00:00', 102)";
        QTest::newRow("year 29 is 2029, four-digit year") << 1 << "#01/02/29# and #12/31/2005#"
                                                          << "CONVERT(DATETIME, '2029-01-02 00:00:00', 102) and CONVERT(DATETIME, '2005-12-31 00:00:00', 102)";
        QTest::newRow("no date between the marks") << 1 << "#a#b# x # y #1/2/06#" << "#a#b# x # y #1/2/06#";
        QTest::newRow("access isnull") << 0 << "Select ISNULL(Amount, 0) from T" << "Select IIF(ISNULL(Amount), 0, Amount) from T";
        QTest::newRow("access dates untouched") << 0 << "a <= #04/05/06# and b = True" << "a <= #04/05/06# and b = True";
        QTest::newRow("sql isnull untouched") << 1 << "ISNULL(x, 0)" << "ISNULL(x, 0)";
        // Characters whose upper case is longer ("ß" -> "SS", "ﬁ" -> "FI") keep every position.
        QTest::newRow("sharp s before TRUE") << 1 << "SELECT 'ßßßßß' FROM T WHERE Flag = True" << "SELECT 'ßßßßß' FROM T WHERE Flag = 1";
        QTest::newRow("ligature before FALSE") << 1 << "SELECT 'ﬁﬁ' WHERE a = FALSE" << "SELECT 'ﬁﬁ' WHERE a = 0";
        QTest::newRow("sharp s before ISNULL") << 0 << "SELECT 'Maß', ISNULL(a, 0)" << "SELECT 'Maß', IIF(ISNULL(a), 0, a)";
    }

    void translateSql()
    {
        QFETCH(int, chkSQL);
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(::translateSql(in, false, chkSQL == 1), out);
    }

    void sqlIsNull_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("nested") << "ISNULL(ISNULL(a, 1), 2)" << "IIF(ISNULL(IIF(ISNULL(a), 1, a)), 2, IIF(ISNULL(a), 1, a))";
        QTest::newRow("lower case, no blank") << "isnull(x,0)" << "IIF(ISNULL(x),0, x)";
        QTest::newRow("two in a row") << "ISNULL(a, 0) + ISNULL(b, 1)" << "IIF(ISNULL(a), 0, a) + IIF(ISNULL(b), 1, b)";
        QTest::newRow("parenthesised default") << "ISNULL(a, (1+2))" << "IIF(ISNULL(a), (1+2), a)";
        const char *refused = "8004020d modTarnwell.SQLISNULL: modTarnwell.SQLISNULL\rBadly formatted ISNULL statement. Should be of the form "
                              "'ISNULL(Field, 0)'";
        QTest::newRow("no default") << "ISNULL(x)" << refused;
        QTest::newRow("not closed") << "ISNULL(x, 0" << refused;
        QTest::newRow("cut short") << "ISNULL(" << refused;
    }

    void sqlIsNull()
    {
        QFETCH(QString, in);
        QFETCH(QString, out);
        const auto rewritten = [&](bool force, bool sqlServer) {
            try {
                return ::sqlIsNull(in, force, sqlServer);
            } catch (const CtfError &e) {
                return u"%1 %2: %3"_s.arg(e.number(), 0, 16).arg(e.source(), e.description());
            }
        };
        QCOMPARE(rewritten(false, false), out);
        QCOMPARE(rewritten(false, true), in);
        QCOMPARE(rewritten(true, true), out);
    }

    void replaceTokenModes_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("call"); // mode|search|replacement|classes|repeat
        QTest::addColumn<QString>("out");
        QTest::newRow("replace ignoring case") << "a true TRUE" << "2|TRUE|1|0|0" << "a 1 1";
        QTest::newRow("empty search") << "abc" << "2||x|0|0" << "abc";
        QTest::newRow("strip all blanks") << " a b\tc " << "64|||1|0" << "ab\tc";
        QTest::newRow("strip start") << " \t a " << "4|||0|0" << "a ";
        QTest::newRow("strip end") << " a \r\n" << "8|||0|0" << " a";
        QTest::newRow("32 with classes strips too") << "a b a" << "32|A|x|1|0" << "xbx";
        QTest::newRow("collapse blanks") << "a    b" << "128|||1|2" << "a b";
        QTest::newRow("remove unit") << "aXbxc" << "128|x||64|1" << "abc";
        QTest::newRow("upper case") << "abc" << "1|||0|0" << "ABC";
        QTest::newRow("replace then upper") << "true or x" << "3|TRUE|1|0|0" << "1 OR X";
    }

    void replaceTokenModes()
    {
        QFETCH(QString, in);
        QFETCH(QString, call);
        QFETCH(QString, out);
        const QStringList a = call.split(u'|');
        QCOMPARE(ReplaceToken(in, a[0].toInt(), a[1], a[2], a[3].toInt(), a[4].toInt()), out);
    }

    void checkDate_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("code");
        QTest::newRow("empty") << "" << "MT";
        QTest::newRow("blank mask") << "  /  /  " << "MT";
        QTest::newRow("prompt mask") << "__/__/__" << "MT";
        QTest::newRow("31 April") << "31/04/2005" << "id";
        QTest::newRow("29 Feb 2004") << "29/02/2004" << "OK";
        QTest::newRow("29 Feb 2000") << "29/02/2000" << "OK";
        QTest::newRow("29 Feb 2005") << "29/02/2005" << "id";
        QTest::newRow("month 13") << "15/13/2005" << "im";
        QTest::newRow("day rule first") << "32/13/2005" << "id";
        QTest::newRow("day 00") << "00/01/2005" << "NG";
        QTest::newRow("ddmmyy") << "010105" << "OK";
        QTest::newRow("short year") << "31/12/05" << "OK";
        QTest::newRow("odd length") << "1/01/05" << "NG";
    }

    void checkDate()
    {
        QFETCH(QString, text);
        QFETCH(QString, code);
        QString result = u"??"_s;
        CheckDate(text, result);
        QCOMPARE(result, code);
    }

    void returnsPath_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("expected");
        QTest::newRow("blanks around") << QByteArray("[x]\r\nReturnsPath = D:\\Returns\\\r\n") << "D:\\Returns\\";
        QTest::newRow("blanks inside") << QByteArray("ReturnsPath=C:\\My Returns\\\r\n") << "C:\\MyReturns\\";
        QTest::newRow("case matters") << QByteArray("returnspath=D:\\X\\\r\n") << "<default>";
        QTest::newRow("first match wins") << QByteArray("OldReturnsPath=D:\\X\\\nReturnsPath=E:\\\n") << "OldD:\\X\\";
        QTest::newRow("empty value") << QByteArray("ReturnsPath=\r\n") << "";
        QTest::newRow("no separator kept") << QByteArray("ReturnsPath=C:\\Returns") << "C:\\Returns";
        QTest::newRow("no file") << QByteArray() << "<default>";
    }

    void returnsPath()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, expected);
        TestOffice office;
        QFile f(office.host(QString::fromLatin1(kSubmissionSettingsFile)));
        if (ini.isNull()) {
            QVERIFY(f.remove());
        } else {
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(ini);
            f.close();
        }
        if (expected == u"<default>"_s)
            expected = officeroot::programFolder() + u"\\"_s;
        QCOMPARE(GetReturnsPath(), expected);
    }

    // Files written beside their place: never an existing name (a planted
    // link above all) opened for writing; a killed run's file removed by the
    // next program that finds the folder unheld; one annual run a folder.
    void besideFiles()
    {
        TestOffice office;
        const QString folder = office.host(u"K:\\Returns"_s);
        office.writeFile(u"K:\\Returns\\secret"_s, "kept");
        QVERIFY(QFile::link(folder + u"/secret"_s, folder + u"/link"_s));
        for (const char *name : {"link", "secret"})
            QVERIFY_THROWS_EXCEPTION(FileError, LineWriter(u"K:\\Returns\\"_s + QLatin1String(name)));
        QCOMPARE(office.readFile(u"K:\\Returns\\secret"_s), QByteArray("kept"));
        const QString left = beside::ownName(folder + u"/CTFANRTN.txt"_s);
        QVERIFY(left != beside::ownName(folder + u"/CTFANRTN.txt"_s));
        {
            beside::FolderHold running(folder);
            office.writeFile(u"K:\\Returns\\"_s + QFileInfo(left).fileName(), "members");
            QVERIFY(running.claim(beside::Job::AnnualReturn));
            QVERIFY(!beside::FolderHold(folder).claim(beside::Job::AnnualReturn));
            QCOMPARE(beside::sweep(folder), QStringList()); // the run holds the folder: its file stays
            QVERIFY(QFile::exists(left));
        }
        QCOMPARE(beside::sweep(folder), QStringList{QFileInfo(left).fileName()});
        office.writeFile(u"K:\\Returns\\"_s + QFileInfo(left).fileName(), "members");
        QVERIFY(beside::FolderHold(folder).claim(beside::Job::AnnualReturn)); // sweeps as it takes the folder
        QVERIFY(!QFile::exists(left));
        QVERIFY(beside::FolderHold(folder).claim(beside::Job::AnnualReturn));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden), QStringList({".ctfadmin-lock", "link", "secret"}));
    }
};

QTEST_GUILESS_MAIN(tst_foundation)
#include "tst_foundation.moc"
