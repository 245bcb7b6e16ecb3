// The command line as a scheduled job runs it: the files it writes, what it
// prints and its exit status.
#include "returns/returnoutput.h"
#include "support/mounts.h"
#include "support/office.h"

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// The URNs of the entry lines of a return file.
QSet<QString> urnsIn(const QByteArray &file)
{
    QSet<QString> urns;
    for (const QByteArray &line : file.split('\n'))
        if (line.startsWith("Voucher|"))
            urns << QString::fromLatin1(line.mid(8, 9)).trimmed();
    return urns;
}

// The incomplete returns runs left in K:\Returns, as host paths.
QStringList incompleteReturns(const TestOffice &office)
{
    const QDir folder(office.host(u"K:\\Returns"_s));
    QStringList paths;
    for (const QString &name : folder.entryList({u"IRReturn.txt.incomplete*"_s}, QDir::Files))
        paths << folder.filePath(name);
    return paths;
}

QSet<QString> markedUrns(TestOffice &office)
{
    const QStringList urns = office.scalar(kCtf, u"SELECT group_concat(CRN, ' ') FROM ChildTrustFunds WHERE RecordOutput <> 0"_s)
                                 .toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return QSet<QString>(urns.begin(), urns.end());
}
} // namespace

namespace {
// Command name to the options it mentions, from --help's usage lines or the
// man page's command entries.
QMap<QString, QSet<QString>> optionsByCommand(const QStringList &entries)
{
    static const QRegularExpression option(u"--[a-z-]+"_s);
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

class tst_cli : public QObject {
    Q_OBJECT
private slots:
    void commands_data()
    {
        // Run first: "ctf: SQL" on the register, "tarn: SQL" on Tarnwell's file,
        // "reg: text" as the registry file, "rm: path" removes an office file.
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("printed"); // stdout then stderr; ending in "...", their start
        QTest::addColumn<QByteArray>("file"); // the return or annual return written; null: neither
        const QString year = u" --start 06/04/25 --end 05/04/26"_s, product = u"tarn: INSERT INTO Product VALUES ('CTF', 'Child Trust Fund', 12)"_s;
        const QString voucher = u"ctf: INSERT INTO ChildTrustFunds (Entity, CRN, DOB, Amount, RecordOutput) VALUES ('Voucher', 'AB123456C', "
                                "'01/02/2010', %1, 0)"_s;
        QTest::newRow("return") << QStringList{voucher.arg(250)} << "return --period-end 30/11/2026" << 0
                                << "ASCII file  [K:\\Returns\\IRReturn.txt]  has been created\n"
                                << QByteArray("Header|2026/11/30\r\nVoucher|AB123456C|2010/02/01|250.00\r\n");
        QTest::newRow("annual, products with a blank")
            << QStringList{product, u"tarn: INSERT INTO Product VALUES ('JUN', 'Junior saver', 12)"_s,
                           u"tarn: INSERT INTO MemberMain VALUES (7, 'A', 'B', NULL, 'QQ123456A')"_s, u"tarn: INSERT INTO MemberBalances VALUES (7, 'JUN', 0)"_s,
                           u"tarn: INSERT INTO MemberAllTrans VALUES (7, NULL, 'JUN', '2025-04-06', 10.005, NULL)"_s}
            << "annual --products \"CTF, JUN\"" + year << 0 << "Output complete \nK:\\Returns\\CTFANRTN.txt\n"
            << QByteArray("Header|2026/04/05\r\nAccount|QQ123456A|2|y|10.01|0.00|10.01\r\n");
        QTest::newRow("settings hide passwords")
            << QStringList{u"reg: REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Orvel\\Tarnwell]\r\n\"Database\"=\"SRV1\"\r\n"
                           "\"SQLDatabase\"=\"SRV1\"\r\n\"Admin\"=dword:00000001\r\n\"AdminPW\"=\"topsecret\"\r\n"_s}
            << "settings" << 0
            << "chkSQL: 1\ntxtDatabase: SRV1\nchkAdmin: 1\nsqlPW: ****\nsqlUserName: \nSQLSubset: \nreturns folder: K:\\Returns\\\n"
               "CTF: Provider=Microsoft.Jet.OLEDB.4.0;Data Source=K:\\CTF.mdb;Persist Security Info=False\n"
               "Tarnwell: provider=SQLOLEDB.1;Persist Security Info=False;Initial Catalog=TarnMain;Data Source=SRV1;User Id =sa;Password=****\n"
               "TarnTran: provider=SQLOLEDB.1;Persist Security Info=False;Initial Catalog=TarnTran;Data Source=SRV1;User Id =sa;Password=****\n"
            << QByteArray();
        QTest::newRow("enquiry as CSV")
            << QStringList{u"ctf: INSERT INTO ChildTrustFunds (Entity, CRN, DOB, Amount, Ref, RecordOutput) VALUES ('Voucher', 'AB1', '01/02/2010', 12.5, 'a,b', 0), "
                           "('RAA', 'AB2', '01/02/2010', 1, NULL, 1), ('RAA', 'AB3', NULL, 1, 'c' || char(10) || 'd', 0), "
                           "('RAA', 'AB4', NULL, 1, 'e' || char(13), 0), ('RAA', 'AB5', NULL, 1, 'say \"\"', 0)"_s}
            << "enquiry --csv" << 0
            << "ID,Entity,CRN,DOB,Amount,DOD,MemberNo,PeriodEndSent,RecordOutput,Ref,SentRef,Type\n3,RAA,AB3,,1,,,,False,\"c\nd\",,\n"
               "4,RAA,AB4,,1,,,,False,\"e\r\",,\n5,RAA,AB5,,1,,,,False,\"say \"\"\"\"\",,\n1,Voucher,AB1,01/02/2010,12.5,,,,False,\"a,b\",,\n"
            << QByteArray();
        QTest::newRow("enquiry, an amount beyond money") << QStringList{voucher.arg(u"1e300"_s)} << "enquiry --csv" << 0
                                                       << "ID,Entity,CRN,DOB,Amount,DOD,MemberNo,PeriodEndSent,RecordOutput,Ref,SentRef,Type\n"
                                                          "1,Voucher,AB123456C,01/02/2010,1e+300,,,,False,,,\n" << QByteArray();
        QTest::newRow("enquiry of all") << QStringList{voucher.arg(1)} << "enquiry --all" << 0 << "ID  Entity   CRN        DOB ..." << QByteArray();
        QTest::newRow("check, nothing outstanding") << QStringList() << "check" << 0 << "No findings in 0 outstanding entries.\n" << QByteArray();
        QTest::newRow("check, a finding") << QStringList{voucher.arg(0)} << "check" << 1
                                          << "ID 1: the amount 0.00 of a Voucher is not more than 0.\n1 finding in 1 of 1 outstanding entry.\n" << QByteArray();
        QTest::newRow("check, unknown option") << QStringList() << "check --all" << 2 << "..." << QByteArray();
        QTest::newRow("check, no register") << QStringList{u"rm: K:\\CTF.mdb"_s} << "check" << 3 << "..." << QByteArray();
        QTest::newRow("annual check, nobody") << QStringList() << "check --annual --share-account 1" + year << 0 << "No findings in 0 members.\n" << QByteArray();
        QTest::newRow("annual check, left out") << QStringList{u"tarn: INSERT INTO MemberBals VALUES (7, 5, 0, 0, 0)"_s}
                                                << "check --annual --share-account 1" + year << 1
                                                << "Member 7: has no MemberMain row, so the return leaves the member out.\n1 finding in 1 of 1 member.\n"
                                                << QByteArray();
        QTest::newRow("annual check, bad date") << QStringList() << "check --annual --share-account 1 --start 32/04/25 --end 05/04/26" << 1
                                                << "Invalid starting date entered\n" << QByteArray();
        QTest::newRow("annual check, no selection") << QStringList() << "check --annual" << 2 << "..." << QByteArray();
        QTest::newRow("maturities due") << QStringList{u"tarn: INSERT INTO MemberMain VALUES (7, 'Ann', 'Lee', '2008-06-01', 'QQ123456A')"_s,
                                                       u"tarn: INSERT INTO MemberBals VALUES (7, 5, 0, 0, 0)"_s}
                                        << "due --from 01/01/2026 --to 31/12/2026 --share-account 1 --csv" << 0
                                        << "Date,Event,Member,Name,NI number,Date of birth,Balance at 01/01/2026\n"
                                           "01/06/2026,18th birthday: account matures,7,Ann Lee,QQ123456A,01/06/2008,0.00\n"
                                        << QByteArray();
        QTest::newRow("maturities, nothing due") << QStringList() << "due --from 01/01/2026 --to 31/12/2026 --share-account 1" << 0
                                                 << "Nothing is due\n" << QByteArray();
        QTest::newRow("maturities, period reversed") << QStringList() << "due --from 01/02/2026 --to 01/01/2026 --share-account 1" << 1
                                                     << "The period is not valid: give two dates, day first (DD/MM/YYYY), the first not after the second.\n"
                                                     << QByteArray();
        QTest::newRow("maturities, no selection") << QStringList() << "due --from 01/01/2026 --to 31/12/2026" << 2 << "..." << QByteArray();
        QTest::newRow("version") << QStringList() << "--version" << 0 << "ctfadmin 1.0.15\n" << QByteArray();
        QTest::newRow("period end") << QStringList() << "return --period-end 31/02/2026" << 1 << "Invalid period end date!\n..." << QByteArray();
        QTest::newRow("start date") << QStringList() << "annual --share-account 1 --start 32/04/25 --end 05/04/26" << 1
                                    << "Invalid starting date entered\n..." << QByteArray();
        QTest::newRow("end date") << QStringList{product} << "annual --products CTF --start 06/04/25 --end 5/4" << 1 << "Invalid ending date entered\n..."
                                  << QByteArray();
        QTest::newRow("missing log") << QStringList() << "recreate C:\\temp\\QDnone.log" << 1 << "Unable to re-create document from log file\n..."
                                     << QByteArray();
        QTest::newRow("share account 5") << QStringList() << "annual --share-account 5" + year << 2 << "..." << QByteArray();
        QTest::newRow("unknown command") << QStringList() << "frobnicate" << 2 << "..." << QByteArray();
        QTest::newRow("product not in Product") << QStringList{product} << "annual --products CTF,CFT" + year << 2
                                                << "--products: there is no product CFT in Tarnwell's Product table\n..." << QByteArray();
        QTest::newRow("both selections") << QStringList{product} << "annual --share-account 1 --products CTF" + year << 2 << "..." << QByteArray();
        QTest::newRow("no Tarnwell file") << QStringList{u"rm: K:\\Tarnwell.mdb"_s} << "annual --share-account 1" + year << 3
                                          << "Could not find file 'K:\\Tarnwell.mdb'.\n" << QByteArray();
        QTest::newRow("no register") << QStringList{u"rm: K:\\CTF.mdb"_s} << "return" << 3
                                     << "Unable to access the database\nCould not find file 'K:\\CTF.mdb'...." << QByteArray();
    }

    // Each command as a scheduled job runs it: what it prints, its exit status,
    // and the file it writes (refused runs write none).
    void commands()
    {
        QFETCH(QStringList, setup);
        QFETCH(QString, args);
        QFETCH(int, status);
        QFETCH(QString, printed);
        QFETCH(QByteArray, file);
        TestOffice office;
        for (const QString &step : setup) {
            const QString what = step.section(u": "_s, 1);
            if (step.startsWith(u"ctf: "_s) || step.startsWith(u"tarn: "_s))
                office.exec(step.startsWith(u"ctf"_s) ? kCtf : kTarn, what);
            else if (step.startsWith(u"reg: "_s))
                office.writeRegistry(what.toLatin1());
            else if (step.startsWith(u"rm: "_s))
                QVERIFY(QFile::remove(office.host(what)));
        }
        const CliRun r = office.ctfadmin(args);
        QCOMPARE(r.status, status);
        const QString all = r.out + r.err;
        if (printed.endsWith(u"..."_s))
            QVERIFY2(all.startsWith(printed.chopped(3)), qPrintable(all));
        else
            QCOMPARE(all, printed);
        const QByteArray written = office.readFile(args.startsWith(u"annual"_s) ? kAnnual : kReturn);
        QCOMPARE(written, file);
        QVERIFY(!file.isNull() || office.readFile(kAnnual).isNull());
    }

    void setupNeverOverwritesAndBringsTheDemoRegistry()
    {
        TestOffice office;
        office.addEntry(u"Voucher"_s, u"AB1"_s, u"01/02/2010"_s, 1);
        const CliRun r = office.ctfadmin(u"setup --demo"_s);
        QCOMPARE(r.status, 0);
        QCOMPARE(office.scalar(kCtf, u"SELECT count(*) FROM ChildTrustFunds"_s).toInt(), 1);
        QVERIFY(r.out.contains(u"kept"_s));
        QCOMPARE(office.ctfadmin(u"setup --members none"_s).status, 2);

        // The demo brings its registry file (as the registry editor exports it)
        // naming a Tarnwell folder other than K:\, and the files it needs there;
        // a second run keeps them.
        const QString reg = office.root() + u"/system.reg"_s;
        const QByteArray exported = office.readFile(reg);
        QVERIFY(exported.startsWith("\xFF\xFEW\0i\0n\0"));
        const CliRun settings = office.ctfadmin(u"settings"_s);
        QVERIFY(settings.out.contains(u"txtDatabase: K:\\Tarnwell\\\n"_s));
        QVERIFY(settings.out.contains(u"Tarnwell: Provider=Microsoft.Jet.OLEDB.4.0;Data Source=K:\\Tarnwell\\TarnMain.mdb;"_s));
        QVERIFY(settings.out.contains(u"TarnTran: Provider=Microsoft.Jet.OLEDB.4.0;Data Source=K:\\Tarnwell\\TarnTran.mdb;"_s));
        QCOMPARE(office.ctfadmin(u"annual --products CTF,JUN --start 06/04/25 --end 05/04/26"_s).status, 0);
        QVERIFY(office.readFile(kAnnual).count("Account|") > 10);
        QVERIFY(office.ctfadmin(u"setup --demo"_s).out.contains(u"kept "_s + reg));
        QCOMPARE(office.readFile(reg), exported);

        // Plain setup keeps the start without a registry key.
        TestOffice plain;
        QFile::remove(plain.root() + u"/system.reg"_s);
        QCOMPARE(plain.ctfadmin(u"setup"_s).status, 0);
        QVERIFY(!QFile::exists(plain.root() + u"/system.reg"_s));
    }

    // The demo office looks like a real one to the checks (a handful of
    // deliberate findings), and under the usual umask every file that holds
    // members' or children's data is closed to other users of the machine.
    void demoOffice()
    {
        TestOffice office;
        office.close(kCtf);
        QVERIFY(QFile::remove(office.host(kCtf)) && QFile::remove(office.host(kTarn)));
        const mode_t oldMask = ::umask(022);
        const CliRun setup = office.ctfadmin(u"setup --demo"_s);
        const CliRun check = office.ctfadmin(u"check"_s);
        QCOMPARE(check.status, 1);
        QCOMPARE(check.out, QStringLiteral("ID 46: an Endowment without a type; the return would send an empty type.\n"
                                           "ID 49: the same URN, kind and amount as ID 43; the child would be sent twice in this return.\n"
                                           "2 findings in 2 of 34 outstanding entries.\n"));
        const CliRun annualCheck = office.ctfadmin(u"check --annual --share-account 1 --start 06/04/25 --end 05/04/26"_s);
        QVERIFY2(annualCheck.out.endsWith(u"\n35 findings in 6 of 193 members.\n"_s), qPrintable(annualCheck.out)); // 29 subscriptions after maturity
        const QList<CliRun> runs{setup, office.ctfadmin(u"return --period-end 30/11/2026"_s),
                                 office.ctfadmin(u"annual --share-account 1 --start 06/04/25 --end 05/04/26"_s)};
        ::umask(oldMask);
        for (const CliRun &r : runs)
            QVERIFY2(r.status == 0, qPrintable(r.err));
        QStringList files{office.host(kCtf), office.host(kCtf) + u".return-run"_s, office.host(kReturn), office.host(kAnnual)};
        for (const QString &log : QDir(office.host(u"C:\\temp"_s)).entryList({u"QD*.log"_s}))
            files << office.host(u"C:\\temp\\"_s) + log;
        for (const QString &tarnwell : QDir(office.host(u"K:\\Tarnwell"_s)).entryList({u"*.mdb"_s}))
            files << office.host(u"K:\\Tarnwell\\"_s) + tarnwell;
        QCOMPARE(files.size(), 7);
        for (const QString &file : files) {
            QVERIFY2(QFile::exists(file), qPrintable(file));
            QVERIFY2(!(QFileInfo(file).permissions() & (QFileDevice::ReadOther | QFileDevice::WriteOther)), qPrintable(file));
        }
    }

    // ctfadmin return killed at random moments: no entry is ever marked without
    // its line in a file the program leaves; once put right, everything marked
    // is in a return that was put in place, and the rest goes into the next one.
    void killedRunsLoseNothing()
    {
        TestOffice office;
        const int entries = 20000;
        office.exec(kCtf, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                                         "INSERT INTO ChildTrustFunds (Entity, CRN, DOB, Amount, RecordOutput) "
                                         "SELECT 'Voucher', printf('KT%06d', i), '05/05/2013', i, 0 FROM n").arg(entries));
        QSet<QString> returned; // the entries of every return put in place
        QSet<QString> markedBefore;
        QRandomGenerator random(20261206);
        for (int round = 0; round < 12; ++round) {
            QProcess p;
            office.startCtfadmin(p, {u"return"_s, u"--period-end"_s, u"30/11/2026"_s});
            QVERIFY(p.waitForStarted());
            QThread::msleep(random.bounded(10, 700));
            p.kill();
            p.waitForFinished();
            QSet<QString> inFiles = urnsIn(office.readFile(kReturn)); // and the incomplete file under the run's own name
            for (const QString &partial : incompleteReturns(office))
                inFiles += urnsIn(office.readFile(partial));
            const QSet<QString> marked = markedUrns(office) - markedBefore;
            QVERIFY2(inFiles.contains(marked), qPrintable(u"round %1: %2 marked without a line"_s.arg(round).arg((marked - inFiles).size())));
            {
                returns::ReturnOutput opening; // what the next opening of the screen does
                QVERIFY(opening.load());
            }
            returned += urnsIn(office.readFile(kReturn));
            markedBefore = markedUrns(office);
            QVERIFY2(returned.contains(markedBefore), qPrintable(u"round %1"_s.arg(round)));
        }
        // Another period end: a run in the same minute as a killed one is refused.
        QCOMPARE(office.ctfadmin(u"return --period-end 15/12/2026"_s).status, 0);
        returned += urnsIn(office.readFile(kReturn));
        QCOMPARE(markedUrns(office).size(), entries);
        QCOMPARE(returned.size(), entries);
        QCOMPARE(incompleteReturns(office), QStringList());
    }

    // K: mounted read-only. A register in WAL closed cleanly reads as before;
    // one whose last commit is still in its -wal (a desk has it open) shows
    // that commit too. The return is refused and changes nothing.
    void readOnlyDrive()
    {
        TestOffice office;
        office.addEntry(u"Voucher"_s, u"AB123456C"_s, u"01/02/2010"_s, 0); // a finding: check ends with 1
        office.close(kCtf);
        const CliRun enquiry = office.ctfadmin(u"enquiry --all --csv"_s), check = office.ctfadmin(u"check"_s);
        const QByteArray before = office.readFile(kCtf);
        QCOMPARE(before.at(18), '\2'); // WAL
        const QString k = office.host(u"K:\\"_s);
        QList<CliRun> runs;
        {
            Mount readOnly;
            MOUNT_OR_SKIP(readOnly.readOnly(k));
            for (const char *c : {"enquiry --all --csv", "check", "return"})
                runs << office.ctfadmin(QString::fromLatin1(c));
        }
        QCOMPARE(runs[0].out + runs[0].err, enquiry.out + enquiry.err);
        QCOMPARE(runs[1].out, check.out);
        QCOMPARE(runs[1].status, 1);
        QCOMPARE(runs[2].status, 3);
        QVERIFY2(runs[2].err.contains(u"Read-only file system"_s), qPrintable(runs[2].err));
        QCOMPARE(office.readFile(kCtf), before);
        office.addEntry(u"RAA"_s, u"CD123456"_s, u"01/02/2010"_s, 5); // its connection stays open
        Mount readOnly;
        QVERIFY(readOnly.readOnly(k));
        const CliRun open = office.ctfadmin(u"enquiry --all --csv"_s);
        QVERIFY2(open.out.contains(u"RAA,CD123456,"_s), qPrintable(open.out + open.err));
    }

    // An office whose register and Tarnwell file are genuine Access files.
    void accessRegisterEndToEnd()
    {
        TestOffice office;
        for (const auto &[fixture, path] : {std::pair{"ctf-register-jet4.mdb", kCtf}, std::pair{"tarnwell-jet4.mdb", kTarn}}) {
            QFile::remove(office.host(path));
            QVERIFY(QFile::copy(QStringLiteral(CTF_TEST_DATA "/mdb/generated/") + QLatin1String(fixture), office.host(path)));
            QFile::setPermissions(office.host(path), QFile::ReadOwner | QFile::WriteOwner);
        }
        const CliRun refused = office.ctfadmin(u"return"_s);
        QCOMPARE(refused.status, 3);
        QVERIFY2(refused.err.contains(u"Run \"ctfadmin import-register\" once"_s), qPrintable(refused.err));
        const CliRun converted = office.ctfadmin(u"import-register"_s);
        QCOMPARE(converted.status, 0);
        QVERIFY2(converted.out.contains(u"40 entries"_s), qPrintable(converted.out));
        QCOMPARE(office.ctfadmin(u"import-register"_s).status, 0);
        QCOMPARE(office.ctfadmin(u"return --period-end 30/11/2026"_s).status, 0);
        QVERIFY(office.readFile(kReturn).startsWith("Header|2026/11/30\r\nEndowment|"));
        QCOMPARE(office.ctfadmin(u"annual --products CTF --start 06/04/25 --end 05/04/26"_s).status, 0);
        QVERIFY(office.readFile(kAnnual).count('\n') > 5);
        QCOMPARE(office.ctfadmin(u"enquiry --all --csv"_s).out.count('\n'), 41);
    }

    // --help comes from the command table; the man page is written by hand: the
    // same commands, each with the same options.
    void helpAndManPageAgree()
    {
        TestOffice office;
        const CliRun help = office.ctfadmin(u"--help"_s);
        QCOMPARE(help.status, 0);
        QStringList usage;
        const QString prefix = u"ctfadmin [--root DIR] "_s;
        for (const QString &line : help.out.split(QLatin1Char('\n'))) {
            if (line.startsWith(prefix) && line.size() > prefix.size() && line[prefix.size()] != QLatin1Char(' '))
                usage << line.mid(prefix.size());
            else if (line.startsWith(QString(prefix.size(), QLatin1Char(' '))) && !usage.isEmpty())
                usage.last() += line; // a usage line that goes on
        }
        QFile man(QStringLiteral(CTF_MAN_PAGE));
        QVERIFY(man.open(QIODevice::ReadOnly));
        QString text = QString::fromUtf8(man.readAll());
        text = text.section(u".SH COMMANDS"_s, 1).section(u"\n.SH "_s, 0, 0);
        static const QRegularExpression macro(u"^\\.(BR|BI|IR|RI|B|I) ?"_s), font(u"\\\\f[BIR]"_s);
        QStringList entries;
        for (const QString &entry : text.split(u"\n.TP\n"_s, Qt::SkipEmptyParts)) {
            QStringList words;
            for (QString line : entry.split(QLatin1Char('\n')))
                words << line.remove(macro).remove(font).replace(u"\\-"_s, u"-"_s).remove(QLatin1Char('"'));
            entries << words.join(QLatin1Char(' ')).trimmed();
        }
        QVERIFY(usage.size() >= 9);
        QCOMPARE(optionsByCommand(entries), optionsByCommand(usage));
    }
};

QTEST_GUILESS_MAIN(tst_cli)

#include "tst_cli.moc"
