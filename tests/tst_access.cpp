// Genuine Access files, written by Jackcess outside this project
// (tests/data/mdb, with their data dumps and licences): every conversion
// rule checked against the dumps, the snapshot cache, the annual return on a
// genuine Tarnwell file, import-register and the refusals.
#include "annual/annualreturn.h"
#include "common/error.h"
#include "common/money.h"
#include "data/accessfile.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "data/schema.h"
#include "register/entrymaintenance.h"
#include "register/registerimport.h"
#include "support/office.h"

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {
const QString kData = QStringLiteral(CTF_TEST_DATA "/mdb");

QJsonObject dump(const QString &name)
{
    QFile f(kData + u"/generated/"_s + name + u".json"_s);
    f.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(f.readAll()).object();
}

void copyInto(TestOffice &office, const QString &fixture, const QString &windowsPath)
{
    QFile::remove(office.host(windowsPath));
    QVERIFY(QFile::copy(kData + fixture, office.host(windowsPath)));
    QFile::setPermissions(office.host(windowsPath), QFile::ReadOwner | QFile::WriteOwner);
}

// The value a dump's cell must arrive as, by the conversion rules.
QVariant expected(const QJsonValue &cell, const QString &type)
{
    if (cell.isNull() || (cell.isString() && cell.toString().isEmpty()))
        return {}; // mdbtools gives empty text as Null
    if (type == u"Boolean"_s)
        return qlonglong(cell.toBool() ? 1 : 0);
    if (type == u"Currency"_s)
        return Money::parse(cell.toString())->plain();
    if (type == u"Long"_s || type == u"AutoNumber"_s)
        return qlonglong(cell.toDouble());
    return cell.toString(); // text, and dates as ISO text
}

QVariant stored(const QVariant &v, const QString &type)
{
    if (v.isNull())
        return {};
    if (type == u"Currency"_s)
        return Money::fromVariant(v).plain();
    if (type == u"Long"_s || type == u"AutoNumber"_s || type == u"Boolean"_s)
        return v.toLongLong();
    return v.toString();
}

// An SQLite Tarnwell database made from a dump alone, as an office loading
// its data with sqlite3 would make it.
void databaseFromDump(TestOffice &office, const QString &hostPath, const QJsonObject &d)
{
    schema::createDatabaseFile(hostPath, schema::Kind::Tarnwell);
    for (const QJsonValue &t : d[u"tables"_s].toArray()) {
        const QJsonArray columns = t[u"columns"_s].toArray();
        const QString insert = u"INSERT INTO %1 VALUES (%2)"_s.arg(t[u"name"_s].toString(), QStringList(columns.size(), u"?"_s).join(u','));
        for (const QJsonValue &row : t[u"rows"_s].toArray()) {
            QVariantList values;
            for (int i = 0; i < columns.size(); ++i) {
                const QJsonValue cell = row.toArray()[i];
                values << (cell.isNull() ? QVariant()
                           : columns[i].toObject()[u"type"_s].toString() == u"Currency"_s ? QVariant(cell.toString().toDouble())
                           : cell.isDouble() ? QVariant(qlonglong(cell.toDouble()))
                           : QVariant(cell.toString()));
            }
            office.exec(hostPath, insert, values);
        }
    }
    office.close(hostPath);
}
} // namespace

class tst_access : public QObject {
    Q_OBJECT
private slots:
    void conversionMatchesDumps_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("Tarnwell, Jet 4") << "tarnwell-jet4";
        QTest::newRow("register, Date/Time columns") << "ctf-register-jet4";
        QTest::newRow("register, Text date columns") << "ctf-register-textdates-jet4";
    }

    void conversionMatchesDumps()
    {
        QFETCH(QString, name);
        TestOffice office;
        const QString target = office.root() + u"/converted.sqlite"_s;
        accessfile::convert(kData + u"/generated/"_s + name + u".mdb"_s, name, target);
        int cells = 0;
        for (const QJsonValue &t : dump(name)[u"tables"_s].toArray()) {
            const QString table = t[u"name"_s].toString();
            const QJsonArray columns = t[u"columns"_s].toArray(), rows = t[u"rows"_s].toArray();
            const QList<QVariantList> converted = office.rows(target, u"SELECT * FROM \"%1\" ORDER BY rowid"_s.arg(table));
            QCOMPARE(converted.size(), rows.size());
            for (int r = 0; r < rows.size(); ++r) {
                QCOMPARE(converted[r].size(), columns.size());
                for (int c = 0; c < columns.size(); ++c) {
                    const QString type = columns[c].toObject()[u"type"_s].toString();
                    const QVariant want = expected(rows[r].toArray()[c], type);
                    const QVariant got = stored(converted[r][c], type);
                    QVERIFY2(got == want && got.isNull() == want.isNull(),
                             qPrintable(u"%1 row %2 %3: %4 instead of %5"_s
                                            .arg(table).arg(r + 1).arg(columns[c].toObject()[u"name"_s].toString(), got.toString(),
                                                                       want.toString())));
                    ++cells;
                }
            }
        }
        QVERIFY(cells > 100);
    }

    void jackcessTestFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("Jet 3 (Access 97)") << "testV1997.mdb";
        QTest::newRow("Jet 4 (Access 2000)") << "testV2000.mdb";
    }

    // Table1 of Jackcess's own test files holds two rows whose values Jackcess's
    // tests state: text, Byte, Integer, Long, Double, Date/Time, Currency, Yes/No.
    void jackcessTestFiles()
    {
        QFETCH(QString, file);
        accessfile::Reader reader(kData + u"/jackcess-tests/"_s + file, file);
        const accessfile::Table *t = reader.table(u"Table1"_s);
        QVERIFY(t);
        QList<QVariantList> rows;
        reader.rows(*t, [&](const QVariantList &row) { rows << row; });
        QCOMPARE(rows.size(), 2);
        const QVariantList full = rows[0][0] == u"abcdefg"_s ? rows[0] : rows[1];
        const QVariantList zero = rows[0][0] == u"abcdefg"_s ? rows[1] : rows[0];
        QCOMPARE(full, QVariantList({u"abcdefg"_s, u"hijklmnop"_s, qlonglong(2), qlonglong(222), qlonglong(333333333),
                                     444.555, u"1974-09-21"_s, 3.5, qlonglong(1)}));
        QCOMPARE(zero, QVariantList({u"a"_s, u"b"_s, qlonglong(0), qlonglong(0), qlonglong(0), 0.0,
                                     u"1981-12-12"_s, 0.0, qlonglong(0)}));
    }

    void valuesThatCannotBeConverted()
    {
        using K = accessfile::Column::Kind;
        const struct { QByteArray text; K kind; bool ok; QVariant value; } cases[] = {
            {"1900-01-00 00:00:00", K::Date, false, {}},      // a date before 30 December 1899
            {"2026-04-05 00:00:00", K::Date, true, u"2026-04-05"_s},
            {"2026-04-05 13:07:00", K::Date, true, u"2026-04-05 13:07:00"_s},
            {"12.7500", K::Money, true, 12.75},
            {"-0.0050", K::Money, true, -0.005},
            {"1e5", K::Money, false, {}},
            {"12.75001", K::Money, false, {}},
            {"\x1d", K::Text, true, QVariant()},                // Null
            {"line\r\nbreak", K::Text, true, u"line\r\nbreak"_s},
            {"x", K::Integer, false, {}},
        };
        for (const auto &c : cases) {
            QVariant v;
            QCOMPARE(accessfile::convertValue(c.text, c.kind, v), c.ok);
            if (c.ok)
                QCOMPARE(v, c.value);
        }
    }

    void damagedFilesRefused_data()
    {
        QTest::addColumn<qint64>("keepPages"); // pages of 4 KiB kept, -1: all
        QTest::addColumn<int>("zeroPage");     // a page overwritten with zeros, -1: none
        QTest::addColumn<QString>("message");
        QTest::newRow("cut to its first two pages") << qint64(2) << -1 << "Cannot read";
        QTest::newRow("cut to 90% of its pages") << qint64(59) << -1 << "its table MemberTrans lists 272 rows, of which 0 could be read";
        QTest::newRow("cut to 63 of 66 pages") << qint64(63) << -1 << "its table MemberTrans lists 272 rows, of which 74 could be read";
        QTest::newRow("one damaged page") << qint64(-1) << 55 << "its table MemberAllTrans lists 362 rows, of which 289 could be read";
    }

    // mdbtools reads what it can of a damaged file and says nothing: such a file
    // is refused with its name and no snapshot is left.
    void damagedFilesRefused()
    {
        QFETCH(qint64, keepPages);
        QFETCH(int, zeroPage);
        QFETCH(QString, message);
        TestOffice office;
        const QString damaged = office.root() + u"/damaged.mdb"_s;
        QByteArray file = office.readFile(kData + u"/generated/tarnwell-jet4.mdb"_s);
        if (keepPages >= 0)
            file.truncate(keepPages * 4096);
        if (zeroPage >= 0)
            file.replace(zeroPage * 4096, 4096, QByteArray(4096, '\0'));
        office.writeFile(damaged, file);
        try {
            accessfile::convert(damaged, u"K:\\damaged.mdb"_s, office.root() + u"/damaged.sqlite"_s);
            QFAIL("a damaged file was converted");
        } catch (const DbError &e) {
            QVERIFY2(e.description().contains(u"K:\\damaged.mdb"_s) && e.description().contains(message), qPrintable(e.description()));
        }
        QVERIFY(!QFile::exists(office.root() + u"/damaged.sqlite"_s));
    }

    // The conversion says how far it has got by rows, and which table's
    // indexes it builds; Cancel stops it and leaves nothing.
    void conversionProgressAndCancel()
    {
        TestOffice office;
        const QString target = office.root() + u"/snapshot.sqlite"_s;
        accessfile::convert(kData + u"/generated/tarnwell-jet4.mdb"_s, kTarn, target);
        static const QRegularExpression line(u"^Reading K:\\\\Tarnwell\\.mdb: (\\d+) of 824 rows(?:; indexing (\\w+))?$"_s);
        qint64 rows = 0;
        QStringList indexed;
        for (const QString &text : office.ui().progressShown) {
            const QRegularExpressionMatch m = line.match(text);
            QVERIFY2(m.hasMatch() && m.captured(1).toLongLong() >= rows, qPrintable(text));
            rows = m.captured(1).toLongLong();
            if (m.hasCaptured(2))
                indexed << m.captured(2);
        }
        indexed.sort();
        QCOMPARE(indexed, QStringList({"MemberAllTrans", "MemberBalances", "MemberBals", "MemberMain", "MemberTrans", "Product"}));
        QFile::remove(target);
        office.ui().cancelProgress = true;
        QVERIFY_THROWS_EXCEPTION(DbError, accessfile::convert(kData + u"/generated/tarnwell-jet4.mdb"_s, kTarn, target));
        QCOMPARE(QDir(office.root()).entryList({u"snapshot*"_s}, QDir::Files), QStringList());
    }

    void snapshotCache()
    {
        TestOffice office;
        copyInto(office, u"/generated/tarnwell-jet4.mdb"_s, kTarn);
        int conversions = 0;
        accessfile::setConversionObserver([&](const QString &) { ++conversions; });
        for (int i = 0; i < 2; ++i) {
            const auto c = opened(u"Tarnwell"_s);
            Recordset rs;
            rs.open(u"Select * FROM Control ;"_s, *c);
            QCOMPARE(rs.value(u"cuname"_s).toString(), u"Tarnwell Test Credit Union Ltd"_s);
            // Read-only: nothing reaches the Access file.
            QVERIFY_THROWS_EXCEPTION(DbError, c->execute(u"DELETE FROM Control"_s));
        }
        QCOMPARE(conversions, 1);
        // A file readable by its owner alone gives a snapshot no more open, in
        // folders of the owner's, whatever the umask.
        const QString cache = office.root() + u"/cache/access"_s;
        const auto mode = [](const QString &path) { return int(QFileInfo(path).permissions() & 0x0077); };
        QCOMPARE(mode(office.root() + u"/cache"_s), 0);
        QCOMPARE(mode(cache), 0);
        // A change in the same second and of the same size is a new version
        // (a copy replacing the file in place changes its change time).
        QVERIFY(QFile::setPermissions(office.host(kTarn), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        const mode_t oldMask = ::umask(022);
        opened(u"Tarnwell"_s);
        ::umask(oldMask);
        QCOMPARE(conversions, 2);
        const QStringList snapshots = QDir(cache).entryList({u"*.sqlite"_s}, QDir::Files);
        QCOMPARE(snapshots.size(), 1);
        QCOMPARE(mode(cache + QLatin1Char('/') + snapshots[0]), 0);
        // One run reads one version: a change between its two openings is not
        // seen until the run is over.
        {
            const accessfile::OneVersionPerFile run;
            const auto members = opened(u"Tarnwell"_s);
            QVERIFY(QFile::setPermissions(office.host(kTarn), QFileDevice::ReadOwner | QFileDevice::WriteOwner)); // a new change time
            const auto transactions = opened(u"Tarnwell"_s);
            QCOMPARE(conversions, 2);
        }
        opened(u"Tarnwell"_s);
        QCOMPARE(conversions, 3);
        // The maintenance screen's members: Control and MemberMain alone, in a
        // snapshot of their own beside the whole one of the same version; a
        // new version's replaces both.
        for (int change = 0; change < 2; ++change) {
            if (change)
                QVERIFY(QFile::setPermissions(office.host(kTarn), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
            maint::EntryMaintenance m;
            QVERIFY(m.openMemberDatabase(GetConnectionString(u"Tarnwell"_s)));
            QCOMPARE(m.readControl().value_or(maint::ControlInfo{}).cuname, u"Tarnwell Test Credit Union Ltd"_s);
        }
        QCOMPARE(conversions, 5);
        const QStringList kept = QDir(cache).entryList({u"*.sqlite"_s}, QDir::Files);
        QCOMPARE(kept.size(), 1); // the whole snapshot was of the version before
        QCOMPARE(office.scalar(cache + u'/' + kept[0], u"SELECT group_concat(name, ',') FROM (SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name)"_s).toString(),
                 u"Control,MemberMain"_s);
        opened(u"Tarnwell"_s);
        QCOMPARE(QDir(cache).entryList({u"*.sqlite"_s}, QDir::Files).size(), 2);
        accessfile::setConversionObserver({});
        QCOMPARE(office.readFile(kTarn), office.readFile(kData + u"/generated/tarnwell-jet4.mdb"_s));
    }

    // Commands started together on a changed genuine file all finish with
    // the figures of one whole version, and the file is converted once: the
    // others wait for that conversion and read what it made.
    void commandsAtOnceConvertOnce()
    {
        TestOffice office;
        copyInto(office, u"/generated/tarnwell-jet4.mdb"_s, kTarn);
        const QString year = u" --start 06/04/25 --end 05/04/26"_s;
        const QStringList commands{u"annual --products CTF"_s + year, u"check --annual --share-account 2"_s + year,
                                   u"check --annual --products CTF"_s + year};
        QProcess runs[3];
        for (int k = 0; k < 3; ++k)
            office.startCtfadmin(runs[k], QProcess::splitCommand(commands[k]));
        QStringList together;
        int converted = 0;
        for (QProcess &p : runs) {
            QVERIFY(p.waitForFinished(120000));
            const QString err = QString::fromLocal8Bit(p.readAllStandardError());
            converted += err.contains(u"Reading K:\\Tarnwell.mdb"_s) ? 1 : 0;
            QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() <= 1, qPrintable(err));
            together << QString::fromLocal8Bit(p.readAllStandardOutput());
        }
        QCOMPARE(converted, 1);
        const QByteArray annualFile = office.readFile(kAnnual);
        for (int k = 0; k < 3; ++k) // the same again, one at a time
            QCOMPARE(office.ctfadmin(commands[k]).out, together[k]);
        QCOMPARE(office.readFile(kAnnual), annualFile);
        QVERIFY(annualFile.startsWith("Header|2026/04/05\r\nAccount|"));
    }

    // The same CTFANRTN.txt from the genuine file as from an SQLite database
    // made from its dump.
    void annualReturnOnGenuineTarnwell()
    {
        TestOffice office;
        const QList<QList<annual::ProductItem>> products{{{u"CTF - Child Trust Fund"_s, true}},
                                                         {{u"CTF - x"_s, true}, {u"JCTF - y"_s, true}}};
        const auto runAll = [&] {
            QList<QByteArray> files;
            annual::AnnualReturn run;
            run.open();
            for (int n = 1; n <= 4; ++n) {
                ui::shown(run.runShareAccount(n, u"06/04/25"_s, u"05/04/26"_s));
                files << office.readFile(kAnnual);
            }
            for (const auto &items : products) {
                ui::shown(run.runProducts(items, u"06/04/25"_s, u"05/04/26"_s));
                files << office.readFile(kAnnual);
            }
            return files;
        };
        copyInto(office, u"/generated/tarnwell-jet4.mdb"_s, kTarn);
        const QList<QByteArray> genuine = runAll();
        QVERIFY(!office.ui().messages.isEmpty());
        for (const RecordedMessage &m : office.ui().messages)
            QVERIFY2(m.icon != MsgIcon::Critical, qPrintable(m.text));
        QFile::remove(office.host(kTarn));
        databaseFromDump(office, office.host(kTarn), dump(u"tarnwell-jet4"_s));
        const QList<QByteArray> fromDump = runAll();
        QCOMPARE(genuine, fromDump);
        int lines = 0;
        for (const QByteArray &f : genuine)
            lines += int(f.count('\n'));
        QVERIFY(lines > 20);
    }

    void importRegister_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("Date/Time columns") << "ctf-register-jet4";
        QTest::newRow("Text date columns") << "ctf-register-textdates-jet4";
    }

    void importRegister()
    {
        QFETCH(QString, name);
        TestOffice office;
        copyInto(office, u"/generated/"_s + name + u".mdb"_s, kCtf);
        const registerimport::Outcome imported = registerimport::importRegister(QDate(2026, 12, 6));
        QCOMPARE(imported.result, registerimport::Result::Converted);
        QVERIFY2(imported.notices.last().text.contains(u"kept, unchanged, as K:\\CTF (Access original 2026-12-06).mdb"_s),
                 qPrintable(imported.notices.last().text));
        QCOMPARE(office.readFile(u"K:\\CTF (Access original 2026-12-06).mdb"_s),
                 office.readFile(kData + u"/generated/"_s + name + u".mdb"_s));
        // Every entry as the dump has it, dates as day-first text.
        const QJsonObject table = dump(name)[u"tables"_s].toArray()[0].toObject();
        const QJsonArray columns = table[u"columns"_s].toArray();
        const auto c = opened(u"CTF"_s);
        Recordset rs;
        int checked = 0;
        for (const QJsonValue &row : table[u"rows"_s].toArray()) {
            const QJsonArray r = row.toArray();
            rs.open(u"SELECT * FROM ChildTrustFunds WHERE ID = %1"_s.arg(r[0].toInteger()), *c);
            QVERIFY(!rs.eof());
            for (int i = 0; i < columns.size(); ++i) {
                const QString col = columns[i].toObject()[u"name"_s].toString();
                const QString type = columns[i].toObject()[u"type"_s].toString();
                QVariant want = expected(r[i], type);
                if (!want.isNull() && type == u"DateTime"_s)
                    want = QDate::fromString(want.toString().left(10), Qt::ISODate)
                               .toString(col == u"PeriodEndSent"_s ? u"dd/MM/yy"_s : u"dd/MM/yyyy"_s);
                const QVariant got = stored(rs.value(col), type);
                QVERIFY2(got == want && got.isNull() == want.isNull(),
                         qPrintable(u"ID %1 %2: %3 instead of %4"_s.arg(r[0].toInteger()).arg(col, got.toString(), want.toString())));
                ++checked;
            }
        }
        QCOMPARE(checked, 40 * 12);
        rs.close();
        c->close();
        // The history starts with the import: every entry added, as it was converted.
        QCOMPARE(office.scalar(kCtf, u"SELECT count(*) || '|' || count(DISTINCT h.ChangeID) || '|' || min(c.Through) FROM EntryHistory h "
                                     "JOIN RegisterChanges c USING (ChangeID) JOIN ChildTrustFunds e ON e.ID = h.EntryID AND e.CRN IS h.NewCRN "
                                     "AND e.Amount IS h.NewAmount WHERE h.Action = 'added'"_s).toString(),
                 u"40|1|import-register"_s);
        // New entries continue after the highest ID (the command line's test runs a return on it).
        const qint64 highest = office.scalar(kCtf, u"SELECT max(ID) FROM ChildTrustFunds"_s).toLongLong();
        QCOMPARE(office.addEntry(u"Voucher"_s, u"ZZ999999A"_s, u"01/01/2010"_s, 1), highest + 1);
        // Again: it says so and changes nothing.
        const QByteArray after = office.readFile(kCtf);
        QCOMPARE(registerimport::importRegister(QDate(2026, 12, 7)).result, registerimport::Result::AlreadyConverted);
        QCOMPARE(office.readFile(kCtf), after);
    }

    void interruptedImportChangesNothing()
    {
        TestOffice office;
        copyInto(office, u"/generated/ctf-register-jet4.mdb"_s, kCtf);
        // The Access register changes while it is read (Access on another
        // desk): nothing is put in its place.
        accessfile::setConversionObserver([&](const QString &) {
            QFile::setPermissions(office.host(kCtf), QFile::permissions(office.host(kCtf))); // a new change time
        });
        const registerimport::Outcome failed = registerimport::importRegister(QDate(2026, 12, 6));
        QCOMPARE(failed.result, registerimport::Result::Failed);
        accessfile::setConversionObserver({});
        const QString said = failed.notices.last().text;
        QVERIFY2(said.contains(u"it was changed while it was being read"_s) && said.endsWith(u"Nothing was changed."_s), qPrintable(said));
        QCOMPARE(QDir(office.host(u"K:\\"_s)).entryList({u"CTF*"_s}, QDir::Files), QStringList{u"CTF.mdb"_s});
        QCOMPARE(office.readFile(kCtf), office.readFile(kData + u"/generated/ctf-register-jet4.mdb"_s));
        QVERIFY(!QFile::exists(office.host(u"K:\\CTF (Access original 2026-12-06).mdb"_s)));
    }

    // Every screen's component that meets the register in Access names the
    // command that converts it; a genuine file without a table the program
    // reads gives the same message as an SQLite file without it.
    void registerInAccessRefused()
    {
        TestOffice office;
        copyInto(office, u"/generated/ctf-register-jet4.mdb"_s, kCtf);
        const QString advice = u"Run \"ctfadmin import-register\" once"_s;
        maint::EntryMaintenance m;
        try {
            m.openRegister(GetConnectionString(u"CTF"_s));
            QFAIL("the Access register was opened");
        } catch (const DbError &e) {
            QVERIFY2(e.description().contains(advice) && e.description().contains(u"kept beside it"_s), qPrintable(e.description()));
        }

        // A genuine Tarnwell file without MemberBals: the message an SQLite file
        // without it gives.
        const auto shareAccountMessage = [&] {
            annual::AnnualReturn run;
            run.open();
            return run.runShareAccount(1, u"06/04/25"_s, u"05/04/26"_s).notices.last().text;
        };
        copyInto(office, u"/jackcess-tests/testV2000.mdb"_s, kTarn);
        const QString genuine = shareAccountMessage();
        // Its snapshot holds only the tables the program reads: Table1 is left out.
        QCOMPARE(office.scalar(accessfile::snapshot(office.host(kTarn), kTarn), u"SELECT count(*) FROM sqlite_master WHERE name = 'Table1'"_s), QVariant(0));
        QFile::remove(office.host(kTarn));
        schema::createDatabaseFile(office.host(kTarn), schema::Kind::Register);
        QCOMPARE(genuine, shareAccountMessage());
        QVERIFY2(genuine.contains(u"MemberBals"_s), qPrintable(genuine));
    }
};

QTEST_GUILESS_MAIN(tst_access)
#include "tst_access.moc"
