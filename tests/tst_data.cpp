// The database layer over the SQLite files: the Access dialect rewriting,
// the one money type and date parser, and result sets with optimistic
// locking.
#include "common/dates.h"
#include "common/error.h"
#include "common/money.h"
#include "data/accesssql.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "support/office.h"

using namespace Qt::StringLiterals;

namespace {
const QString kJet = u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Persist Security Info=False"_s;

// Why opening the file fails, or "opened".
QString openFailure(const QString &windowsPath)
{
    Connection c;
    c.setConnectionString(kJet.arg(windowsPath));
    try {
        c.open();
    } catch (const DbError &e) {
        return c.isOpen() ? u"open after a failure"_s : e.description();
    }
    return u"opened"_s;
}
} // namespace

class tst_data : public QObject {
    Q_OBJECT
private slots:
    void accessToSqlite_data()
    {
        QTest::addColumn<QString>("access");
        QTest::addColumn<QString>("sqlite");
        QTest::newRow("date literal") << "TranDate <= #04/05/26# ;" << "TranDate <= '2026-04-05' ;";
        QTest::newRow("four-digit year") << "d = #12/31/2005#" << "d = '2005-12-31'";
        QTest::newRow("nineteen thirty") << "d = #1/2/30#" << "d = '1930-01-02'";
        QTest::newRow("true false") << "WHERE RecordOutput = False OR x = TRUE" << "WHERE RecordOutput = 0 OR x = 1";
        QTest::newRow("words inside names kept") << "SELECT TrueValue, IsFalse FROM T" << "SELECT TrueValue, IsFalse FROM T";
        QTest::newRow("quoted text kept") << "WHERE Narrative = 'True #01/01/01#'" << "WHERE Narrative = 'True #01/01/01#'";
        QTest::newRow("delete star") << "Delete * From ChildTrustFunds" << "DELETE FROM ChildTrustFunds";
        QTest::newRow("one-argument isnull") << "SELECT IIF(ISNULL(Amount), 0, Amount) FROM T" << "SELECT IIF(((Amount) IS NULL), 0, Amount) FROM T";
        QTest::newRow("two-argument isnull") << "SELECT ISNULL(Amount, 0) FROM T" << "SELECT IFNULL(Amount, 0) FROM T";
        QTest::newRow("call with commas inside isnull") << "SELECT ISNULL(IIF(a, b, c)) FROM T" << "SELECT ((IIF(a, b, c)) IS NULL) FROM T";
        QTest::newRow("not a date") << "x = #a#" << "x = #a#";
        QTest::newRow("order by ignores case") << "SELECT * FROM T WHERE RecordOutput = False ORDER BY Entity, CRN;"
                                               << "SELECT * FROM T WHERE RecordOutput = 0 ORDER BY Entity COLLATE NOCASE, CRN COLLATE NOCASE;";
        QTest::newRow("order by with direction") << "select a from T Order by SentRef desc, Entity"
                                                 << "select a from T Order by SentRef COLLATE NOCASE desc, Entity COLLATE NOCASE";
        QTest::newRow("order by in a subquery left") << "SELECT (SELECT max(x) FROM U ORDER BY y) FROM T" << "SELECT (SELECT max(x) FROM U ORDER BY y) FROM T";
        QTest::newRow("order by with trailing blank") << "Select * FROM Product ORDER BY ProductCode " << "Select * FROM Product ORDER BY ProductCode COLLATE NOCASE ";
    }

    void accessToSqlite()
    {
        QFETCH(QString, access);
        QFETCH(QString, sqlite);
        QCOMPARE(accesssql::toSqlite(access), sqlite);
    }

    void statementShapes_data()
    {
        QTest::addColumn<QString>("access");
        QTest::addColumn<QString>("shape");
        QTest::addColumn<QVariantList>("values");
        QTest::newRow("member and date") << "Select sum(Tranvalue1) as CurrBal from MemberTrans where Account = 1 and MemberNo = 201 and TranDate <= #04/05/26# ;"
                                         << "Select sum(Tranvalue1) as CurrBal from MemberTrans where Account = ? and MemberNo = ? and TranDate <= ? ;"
                                         << QVariantList{qlonglong(1), qlonglong(201), u"2026-04-05"_s};
        QTest::newRow("quoted text, doubled quote") << "Select * FROM ChildTrustFunds WHERE CRN = 'O''NEIL' ;"
                                                    << "Select * FROM ChildTrustFunds WHERE CRN = ? ;" << QVariantList{u"O'NEIL"_s};
        QTest::newRow("digits in names and lists stay") << "Select * from MemberBals where S1Bal > 0 AND ID IN (1, 2) ORDER BY 1"
                                                        << "Select * from MemberBals where S1Bal > ? AND ID IN (1, 2) ORDER BY 1" << QVariantList{qlonglong(0)};
        QTest::newRow("products") << "Select * FROM MemberBalances WHERE ProductCode IN ('CTF', 'JUN') ;"
                                  << "Select * FROM MemberBalances WHERE ProductCode IN (?, ?) ;" << QVariantList{u"CTF"_s, u"JUN"_s};
        QTest::newRow("decimal, keyword kept") << "x >= 12.5 and y = True" << "x >= ? and y = True" << QVariantList{12.5};
    }

    void statementShapes()
    {
        QFETCH(QString, access);
        QFETCH(QString, shape);
        QFETCH(QVariantList, values);
        const accesssql::Shape s = accesssql::shape(access);
        QCOMPARE(s.text, shape);
        QCOMPARE(s.values, values);
    }

    void money_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("formatted"); // empty: refused
        QTest::newRow("zero") << QVariant(0) << "0.00";
        QTest::newRow("1234.5") << QVariant(1234.5) << "1234.50";
        QTest::newRow("minus 7.25") << QVariant(-7.25) << "-7.25";
        QTest::newRow("7.891") << QVariant(7.891) << "7.89";
        QTest::newRow("minus 12.3") << QVariant(-12.3) << "-12.30";
        QTest::newRow("12.345 up") << QVariant(12.345) << "12.35";
        QTest::newRow("minus half penny") << QVariant(-0.005) << "-0.01";
        QTest::newRow("just under half") << QVariant(0.0049) << "0.00";
        QTest::newRow("text") << QVariant(u"2.675"_s) << "2.68";
        QTest::newRow("fifth decimal rounds in") << QVariant(u"0.00495"_s) << "0.01";
        QTest::newRow("large") << QVariant(u"123456789012.345"_s) << "123456789012.35";
        QTest::newRow("null") << QVariant() << "0.00";
        QTest::newRow("largest whole pounds") << QVariant(qlonglong(922337203685477)) << "922337203685477.00";
        // Beyond the range: refused, never wrapped.
        QTest::newRow("integer beyond") << QVariant(qlonglong(922337203685478)) << "";
        QTest::newRow("text beyond") << QVariant(u"922337203685479"_s) << "";
        QTest::newRow("exponent beyond") << QVariant(u"1E20"_s) << "";
        QTest::newRow("double beyond") << QVariant(1e300) << "";
    }

    void money()
    {
        QFETCH(QVariant, value);
        QFETCH(QString, formatted);
        if (formatted.isEmpty()) {
            QVERIFY(!Money::read(value));
            QVERIFY_THROWS_EXCEPTION(CtfError, Money::fromVariant(value));
        } else {
            QCOMPARE(Money::fromVariant(value).format2(), formatted);
        }
    }

    // Sums stay exact where binary floating point drifts.
    void moneySumsStayExact()
    {
        Money sum;
        for (int i = 0; i < 10; ++i)
            sum += Money::fromVariant(0.1);
        QCOMPARE(sum, Money::fromUnits(10000));
    }

    void dateParsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("date");
        QTest::newRow("dd/mm/yyyy") << "30/11/2026" << QDate(2026, 11, 30);
        QTest::newRow("dd/mm/yy 29") << "05/04/29" << QDate(2029, 4, 5);
        QTest::newRow("dd/mm/yy 30") << "05/04/30" << QDate(1930, 4, 5);
        QTest::newRow("iso") << "2026-04-05" << QDate(2026, 4, 5);
        QTest::newRow("iso with time") << "2026-04-05 10:30:00" << QDate(2026, 4, 5);
        QTest::newRow("31 February") << "31/02/2026" << QDate();
        QTest::newRow("mask prompt") << "__/__/____" << QDate();
        QTest::newRow("half typed") << "30/11/20__" << QDate();
        QTest::newRow("empty") << "" << QDate();
        QTest::newRow("one-digit day and month, dots") << " 1.2.26 " << QDate(2026, 2, 1);
        QTest::newRow("mixed separators") << "01-02/2026" << QDate(2026, 2, 1);
        QTest::newRow("three-digit year") << "01/02/026" << QDate();
        QTest::newRow("five-digit year") << "01/02/20265" << QDate();
        QTest::newRow("year before 100") << "01/02/0099" << QDate();
        QTest::newRow("iso T, minutes") << "2026-04-05T10:30" << QDate(2026, 4, 5);
        QTest::newRow("iso fraction") << "2026-04-05 10:30:00.125" << QDate(2026, 4, 5);
        QTest::newRow("iso long fraction") << "2026-04-05 10:30:00.12345678901234567890" << QDate(2026, 4, 5);
        QTest::newRow("iso fraction without seconds") << "2026-04-05 10:30.5" << QDate();
        QTest::newRow("iso short month") << "2026-4-05" << QDate();
        QTest::newRow("iso cut time") << "2026-04-05 10:3" << QDate();
        QTest::newRow("trailing text") << "30/11/2026x" << QDate();
        QTest::newRow("arabic-indic digits") << QString::fromUtf8("\u0663\u0660/11/2026") << QDate();
    }

    void dateParsing()
    {
        QFETCH(QString, text);
        QFETCH(QDate, date);
        QCOMPARE(dates::parse(text).value_or(QDate()), date);
    }

    // A date as a driver hands it over: a date, a date-time (SQL Server's
    // datetime column; in UTC too), or text.
    void dateFromDriverValues()
    {
        const QDate d(2010, 2, 28);
        for (const QVariant &v : {QVariant(d), QVariant(QDateTime(d, QTime(23, 59))), QVariant(QDateTime(d, QTime(0, 0), Qt::UTC)),
                                  QVariant(u"28/02/2010"_s)})
            QCOMPARE(dates::fromVariant(v), std::optional<QDate>(d));
        QCOMPARE(dates::fromVariant(QVariant()), std::optional<QDate>());
    }

    // A missing file is never created, and an Access file is named for what it is.
    void jetOpenChoice_data()
    {
        QTest::addColumn<QString>("found"); // the file's kind, then what else holds: wal, writable, shared, readonly
        QTest::addColumn<int>("how");
        QTest::newRow("nothing there") << "none" << int(JetOpen::Missing);
        QTest::newRow("0 bytes") << "empty" << int(JetOpen::Empty);
        QTest::newRow("Jet 4") << "jet" << int(JetOpen::AccessSnapshot);
        QTest::newRow("Access, read-only folder") << "jet readonly" << int(JetOpen::AccessSnapshot);
        QTest::newRow("text file") << "text writable" << int(JetOpen::NotADatabase);
        QTest::newRow("register, local") << "sqlite writable" << int(JetOpen::LocalWal);
        QTest::newRow("register, shared drive") << "sqlite writable shared" << int(JetOpen::SharedJournal);
        QTest::newRow("Tarnwell, local") << "sqlite writable readonly" << int(JetOpen::ReadOnly);
        QTest::newRow("in WAL, closed, folder not writable") << "wal" << int(JetOpen::AsItStands);
        QTest::newRow("in WAL, closed, read-only connection") << "wal readonly" << int(JetOpen::AsItStands);
        QTest::newRow("in WAL, a -wal beside it") << "wal wal" << int(JetOpen::LocalWal);
        QTest::newRow("in WAL, folder writable") << "wal writable" << int(JetOpen::LocalWal);
        QTest::newRow("rollback journal, folder not writable") << "sqlite shared" << int(JetOpen::SharedJournal);
    }

    // How a Jet connection string opens a file, from what it finds.
    void jetOpenChoice()
    {
        QFETCH(QString, found);
        QFETCH(int, how);
        const QStringList f = found.split(u' ');
        JetFacts facts;
        facts.isFile = f[0] != u"none"_s;
        const QByteArray sqlite = QByteArray("SQLite format 3\0", 16) + QByteArray(84, '\1');
        if (f[0] == u"jet"_s)
            facts.head = QByteArray("\0\1\0\0Standard Jet DB\0", 20);
        else if (f[0] == u"text"_s)
            facts.head = "Header|2026/11/30\r\n";
        else if (f[0] == u"sqlite"_s || f[0] == u"wal"_s)
            facts.head = QByteArray(sqlite).replace(18, 1, f[0] == u"wal"_s ? "\2" : "\1");
        facts.walExists = f.count(u"wal"_s) == (f[0] == u"wal"_s ? 2 : 1);
        facts.folderWritable = f.contains(u"writable"_s);
        facts.sharedDrive = f.contains(u"shared"_s);
        facts.readOnly = f.contains(u"readonly"_s);
        QCOMPARE(int(chooseJetOpen(facts)), how);
    }

    void openingNeverCreatesAndRefusesAccess()
    {
        TestOffice office;
        QCOMPARE(openFailure(u"K:\\Nothing.mdb"_s), u"Could not find file 'K:\\Nothing.mdb'."_s);
        QVERIFY(!QFile::exists(office.host(u"K:\\Nothing.mdb"_s)));
        office.writeFile(u"K:\\Old.mdb"_s, QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) + QByteArray(2000, '\0'));
        const QString refused = openFailure(u"K:\\Old.mdb"_s);
        QVERIFY2(refused.contains(u"Access database"_s) && refused.contains(u"K:\\Old.mdb"_s), qPrintable(refused));
    }

    // Columns by name in any letter case and by position; a forward-only
    // result streams, goes back to its start and refuses writes.
    void columnsAndForwardOnly()
    {
        TestOffice office;
        for (int i = 0; i < 3; ++i)
            office.addEntry(u"Voucher"_s, u"AB00000%1"_s.arg(i), u"01/02/2010"_s, 12.5);
        const auto c = opened(u"CTF"_s);
        Recordset rs;
        rs.open(u"SELECT * FROM ChildTrustFunds WHERE RecordOutput = False ORDER BY CRN;"_s, *c);
        QCOMPARE(rs.value(u"crn"_s).toString() + u'|' + rs.fieldName(1), u"AB000000|Entity"_s);
        QVERIFY(rs.value(u"MEMBERNO"_s).isNull());
        QCOMPARE(rs.value(u"Amount"_s).toDouble(), 12.5);
        QVERIFY_THROWS_EXCEPTION(DbError, rs.value(u"NoSuchColumn"_s));
        int rows = 0;
        for (; !rs.eof(); rs.moveNext())
            ++rows;
        QCOMPARE(rows, 3);
        rs.moveFirst();
        QCOMPARE(rs.value(u"CRN"_s).toString(), u"AB000000"_s);
        QVERIFY_THROWS_EXCEPTION(DbError, rs.setValue(u"CRN"_s, u"x"_s));
        QVERIFY_THROWS_EXCEPTION(DbError, rs.open(u"SELECT * FROM NoSuchTable"_s, *c));
        rs.open(u"SELECT Min(ID) FROM ChildTrustFunds WHERE RecordOutput = True ;"_s, *c, CursorType::Static, LockType::Optimistic);
        QVERIFY(!rs.eof());
        QVERIFY(rs.value(0).isNull());
        // Text ignores letter case, as in Access, in comparisons and in order.
        office.addEntry(u"voucher"_s, u"ab000000a"_s, u"01/02/2010"_s, 1);
        office.addEntry(u"RAA"_s, u"AB000002"_s, u"01/02/2010"_s, 1);
        rs.open(u"Select * FROM ChildTrustFunds WHERE CRN = 'AB000000A' ;"_s, *c, CursorType::Static, LockType::Optimistic);
        QCOMPARE(rs.recordCount(), 1);
        rs.open(u"SELECT * FROM ChildTrustFunds ORDER BY Entity, CRN;"_s, *c, CursorType::Static, LockType::Optimistic);
        QStringList order;
        for (; !rs.eof(); rs.moveNext())
            order << rs.value(u"Entity"_s).toString() + u' ' + rs.value(u"CRN"_s).toString();
        QCOMPARE(order, QStringList({"RAA AB000002", "Voucher AB000000", "voucher ab000000a", "Voucher AB000001", "Voucher AB000002"}));
    }

    void snapshotKeepsValuesExactly_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("null") << QVariant();
        QTest::newRow("integer") << QVariant(qlonglong(-9007199254740993LL));
        QTest::newRow("real") << QVariant(12.345678901234567);
        QTest::newRow("empty text") << QVariant(QString(""));
        QTest::newRow("latin-1 text") << QVariant(u"Caf\u00e9 \u00a312.50|x\r\n"_s);
        QTest::newRow("other text") << QVariant(u"\u0141\u00f3d\u017a \u20ac \U0001F600"_s);
        QTest::newRow("bytes") << QVariant(QByteArray("\x00\x01\xff", 3));
    }

    // A static result keeps every value as the database gave it, and an update
    // still finds the row by those values.
    void snapshotKeepsValuesExactly()
    {
        QFETCH(QVariant, stored);
        TestOffice office;
        office.exec(kCtf, u"CREATE TABLE Sample (Id INTEGER PRIMARY KEY, Value, Other TEXT)"_s);
        office.exec(kCtf, u"INSERT INTO Sample (Value, Other) VALUES (?, 'x')"_s, {stored});
        const auto c = opened(u"CTF"_s);
        Recordset rs;
        rs.open(u"SELECT * FROM Sample"_s, *c, CursorType::Static, LockType::Optimistic);
        const QVariant read = rs.value(u"Value"_s);
        QCOMPARE(read.isNull(), stored.isNull());
        if (!stored.isNull())
            QCOMPARE(read, stored);
        rs.setValue(u"Other"_s, u"y"_s);
        rs.update();
        QCOMPARE(rs.value(u"Value"_s), read);
        QCOMPARE(office.scalar(kCtf, u"SELECT Other FROM Sample"_s).toString(), u"y"_s);
        // Another desk changes the row since: neither a save nor a delete
        // made from this read goes through.
        office.exec(kCtf, u"UPDATE Sample SET Other = 'desk 2'"_s);
        rs.setValue(u"Other"_s, u"z"_s);
        QVERIFY_THROWS_EXCEPTION(DbError, rs.update());
        QVERIFY_THROWS_EXCEPTION(DbError, rs.deleteRow());
        QCOMPARE(office.scalar(kCtf, u"SELECT Other FROM Sample"_s).toString(), u"desk 2"_s);
    }

};

QTEST_GUILESS_MAIN(tst_data)
#include "tst_data.moc"
