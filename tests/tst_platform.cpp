// The layers that stand in for Windows: the path mapper, the registry file
// and the Registry class over it, the start-up settings read from it, and
// the launching of outside programs.
#include "app/appsettings.h"
#include "app/registry.h"
#include "app/sysinfo.h"
#include "common/besidefile.h"
#include "common/error.h"
#include "platform/officeroot.h"
#include "platform/pathmapper.h"
#include "platform/registrystore.h"
#include "platform/userinterface.h"
#include "support/office.h"

using namespace Qt::StringLiterals;

namespace {
const QString kKey = u"HKEY_LOCAL_MACHINE\\Software\\Orvel\\Tarnwell"_s;

QByteArray utf16(const QString &text)
{
    QByteArray b("\xFF\xFE", 2);
    for (QChar c : text) {
        b.append(char(c.unicode() & 0xFF));
        b.append(char(c.unicode() >> 8));
    }
    return b;
}

QString regFile(const QString &values)
{
    return u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvel\\Tarnwell]\r\n"_s + values
        + u"\r\n"_s;
}
} // namespace

class tst_platform : public QObject {
    Q_OBJECT
private slots:
    void pathMapping()
    {
        TestOffice office;
        QDir().mkpath(office.root() + u"/drive_k/Returns/Old"_s);
        office.writeFile(office.root() + u"/drive_k/Returns/IRReturn.txt"_s, {});
        const QString k = office.root() + u"/drive_k"_s;
        // Names match in any letter case; ".." at a drive's root stays there, as
        // on Windows; a host path keeps its meaning, "\" a separator there too.
        QStringList mapped;
        for (const QString &path : {u"K:\\returns\\irreturn.txt"_s, u"k:\\RETURNS\\old\\new.log"_s, u"K:\\Returns\\"_s, u"K:\\"_s,
                                    u"K:\\..\\Returns\\IRReturn.txt"_s, u"K:\\..\\..\\..\\..\\etc\\passwd"_s, u"K:\\Returns\\..\\..\\x"_s,
                                    k + u"/../drive_k/Returns"_s, k + u"\\returns\\IRReturn.txt"_s})
            mapped << pathmapper::toHost(path).replace(k, u"k"_s);
        QCOMPARE(mapped, QStringList({"k/Returns/IRReturn.txt", "k/Returns/Old/new.log", "k/Returns/", "k/", "k/Returns/IRReturn.txt", "k/etc/passwd",
                                      "k/x", "k/Returns", "k/Returns/IRReturn.txt"}));
        QVERIFY(pathmapper::fileExists(u"K:\\RETURNS\\IRRETURN.TXT"_s));
        QVERIFY(!pathmapper::fileExists(u"K:\\Returns"_s));
        // Host paths shown as the office names them; others as they are.
        QCOMPARE(QStringList({pathmapper::shown(k + u"/Returns/IRReturn.txt"_s), pathmapper::shown(k), pathmapper::shown(k + u"x/a"_s),
                              pathmapper::shown(u"/tmp/a"_s)}),
                 QStringList({u"K:\\Returns\\IRReturn.txt"_s, u"K:\\"_s, k + u"x/a"_s, u"/tmp/a"_s}));
        // A drive the office has no folder for is named in the error.
        QVERIFY(pathmapper::map(u"Q:\\data\\x.mdb"_s).error.contains(u"Q:"_s));
        QVERIFY(!pathmapper::fileExists(u"Q:\\data\\x.mdb"_s));
    }

    void registryFormats_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QString v5 = regFile(QStringLiteral("\"Database\"=\"D:\\\\Data\\\\\"\r\n\"Admin\"=dword:00000001\r\n\"Quote\"=\"say \\\"hi\\\"\"\r\n"
                                                  "\"Zero\"=hex(1):41,00,42,00,00,00\r\n\"Bin\"=hex:01,02\r\n@=\"default\""));
        QTest::newRow("utf-16 v5") << utf16(v5);
        QTest::newRow("utf-8 v5") << v5.toUtf8();
        QString v4 = v5;
        v4.replace(u"Windows Registry Editor Version 5.00"_s, u"REGEDIT4"_s);
        v4.replace(u"hex(1):41,00,42,00,00,00"_s, u"hex(1):41,42,00"_s);
        QTest::newRow("regedit4") << v4.toLatin1();
    }

    void registryFormats()
    {
        QFETCH(QByteArray, bytes);
        const RegistryStore s = RegistryStore::parse(bytes);
        auto text = [&](const char *name) { return s.value(kKey, QString::fromLatin1(name)).value_or(RegValue{}).text; };
        QCOMPARE(QStringList({text("database"), text("Quote"), text(""), text("Zero")}), QStringList({u"D:\\Data\\"_s, u"say \"hi\""_s, u"default"_s, u"AB"_s + QChar(0)}));
        QCOMPARE(s.value(kKey, u"Admin"_s)->type, RegType::Dword);
        QCOMPARE(s.value(kKey, u"Admin"_s)->dword, 1u);
        QCOMPARE(s.value(kKey, u"Bin"_s)->type, RegType::Other);
        QVERIFY(!s.value(kKey, u"Missing"_s));
        // Writing it out again gives the same bytes.
        QCOMPARE(s.serialise(), bytes);
    }

    void registrySaveKeepsOtherKeys()
    {
        TestOffice office;
        const QString original = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                                                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n\"Keep\"=\"me\"\r\n\"Bin\"=hex:00,01,\\\r\n  02,03\r\n\r\n"
                                                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvel\\Tarnwell]\r\n\"Database\"=\"K:\\\\\"\r\n\r\n");
        office.writeRegistry(utf16(original));
        Registry r;
        r.SetLocation(appsettings::kHkeyLocalMachine, u"Software\\Orvel\\Tarnwell"_s, u"AdminPW"_s);
        r.setValue(u"secret"_s);
        QVERIFY(r.ERROR_SUCCESS());
        const QByteArray after = office.readFile(officeroot::registryFile());
        QString expected = original;
        expected.replace(u"\"Database\"=\"K:\\\\\"\r\n"_s, u"\"Database\"=\"K:\\\\\"\r\n\"AdminPW\"=\"secret\"\r\n"_s);
        QCOMPARE(after, utf16(expected));
        QVERIFY(QDir(office.root()).entryList(QDir::Files).filter(u"system.reg"_s).size() == 1);
        QCOMPARE(QFileInfo(officeroot::registryFile()).permissions() & (QFile::ReadOther | QFile::WriteOther), QFile::Permissions());
        // Read and written back as one, one program at a time: while another
        // holds it, a change waits (here cancelled) and loses nothing.
        beside::FolderHold other(office.root());
        QVERIFY(other.claim(beside::Job::Registry));
        office.ui().cancelProgress = true;
        r.setValue(u"changed"_s);
        QVERIFY(!r.ERROR_SUCCESS());
        QCOMPARE(office.readFile(officeroot::registryFile()), after);
        QCOMPARE(office.ui().progressShown.size(), 1);
    }

    void registryClassReadsAndWrites()
    {
        TestOffice office;
        Registry r;
        QVERIFY(!r.ERROR_SUCCESS());
        const auto succeeds = [&](const std::function<void()> &action) {
            action();
            return r.ERROR_SUCCESS();
        };
        QVERIFY(!succeeds([&] { r.SetLocation(appsettings::kHkeyLocalMachine, u"Software\\Orvel\\Tarnwell"_s, u"Database"_s); }));
        QVERIFY(!r.Value().isValid()); // no file: an empty registry
        QVERIFY(!r.ERROR_SUCCESS());
        r.setValue(u"123"_s);
        QCOMPARE(r.Value().typeId(), QMetaType::Int); // a number reads as one
        QCOMPARE(r.Value().toInt(), 123);
        QVERIFY(succeeds([&] { r.setValue(u"12a"_s); }));
        QCOMPARE(r.Value(), QVariant(u"12a"_s));
        QVERIFY(succeeds([&] { r.DeleteValue(); }));
        QVERIFY(!r.Value().isValid());
        QVERIFY(!succeeds([&] { r.DeleteValue(); }));
        // REG_SZ written as hex reads up to its terminating zero, or to its end.
        office.writeRegistry(regFile(u"\"Zero\"=hex(1):41,00,42,00,00,00\r\n\"NoZero\"=hex(1):41,00,42,00"_s).toUtf8());
        for (const QString &name : {u"Zero"_s, u"NoZero"_s}) {
            r.setName(name);
            QCOMPARE(r.Value(), QVariant(u"AB"_s));
        }
        r.setPath(u"Software\\New\\Key"_s);
        QVERIFY(succeeds([&] { r.CreateKey(); }));
        QVERIFY(succeeds([&] { r.DeleteKey(); }));
        QVERIFY(!succeeds([&] { r.DeleteKey(); }));
    }

    // Every operation checks HKEY, then Path, and touches nothing when one is
    // missing; SetLocation stores HKEY before its Path check, Name after it.
    void registryClassErrors()
    {
        TestOffice office;
        const auto raised = [](const std::function<void()> &operation) {
            try {
                operation();
            } catch (const CtfError &e) {
                return u"%1 %2: %3"_s.arg(e.number() - 0x80040000u).arg(e.source(), e.description());
            }
            return QString();
        };
        const std::function<void(Registry &)> operations[] = {[](Registry &r) { r.setValue(1); }, [](Registry &r) { r.Value(); },
                                                              [](Registry &r) { r.CreateKey(); }, [](Registry &r) { r.DeleteKey(); },
                                                              [](Registry &r) { r.DeleteValue(); }};
        const uint offsets[][2] = {{1920, 1921}, {1923, 1924}, {1928, 1929}, {1930, 1931}, {1932, 1933}}; // no HKEY, no Path
        for (int i = 0; i < 5; ++i)
            for (const bool hkeySet : {false, true}) {
                Registry r;
                if (hkeySet)
                    r.setHKEY(appsettings::kHkeyLocalMachine);
                const QString error = raised([&] { operations[i](r); });
                QVERIFY2(error.startsWith(u"%1 Registry Class: Cannot "_s.arg(offsets[i][hkeySet])), qPrintable(error));
            }
        Registry r;
        QCOMPARE(raised([&] { r.setValue(1); }), u"1920 Registry Class: Cannot save a Value with no HKEY."_s);
        r.setName(u"before"_s);
        QCOMPARE(raised([&] { r.SetLocation(appsettings::kHkeyLocalMachine, QString(), u"after"_s); }),
                 u"1926 Registry Class: Cannot assign an empty Path."_s);
        QCOMPARE(quint32(r.HKEY()), appsettings::kHkeyLocalMachine);
        QCOMPARE(r.Name(), u"before"_s);
        QVERIFY(!QFile::exists(officeroot::registryFile()));
    }

    void startupSettings_data()
    {
        QTest::addColumn<QString>("values");
        QTest::addColumn<QString>("fields"); // chkSQL|txtDatabase|chkAdmin|sqlUserName|sqlPW|SQLSubset
        QTest::newRow("no key") << QString() << "0|K:\\|0|||";
        QTest::newRow("sql server") << "\"Database\"=\"SRV1\"\r\n\"SQLDatabase\"=\"SRV1\"\r\n\"Admin\"=dword:00000001\r\n\"AdminPW\"=\"pw\"\r\n"
                                       "\"AdminUserName\"=\"bob\"\r\n\"DataSubset\"=\"X\"" << "1|SRV1|1|bob|pw|X";
        QTest::newRow("case differs: access") << "\"Database\"=\"SRV1\"\r\n\"SQLDatabase\"=\"srv1\"\r\n\"DataSubset\"=\"X\"" << "0|SRV1|0|||";
        QTest::newRow("admin as text 1") << "\"Database\"=\"D:\\\\\"\r\n\"Admin\"=\"1\"" << "0|D:\\|1|||";
        QTest::newRow("admin 0") << "\"Database\"=\"D:\\\\\"\r\n\"Admin\"=dword:00000000" << "0|D:\\|0|||";
        QTest::newRow("admin text") << "\"Database\"=\"D:\\\\\"\r\n\"Admin\"=\"yes\"" << "0|D:\\|0|||";
        QTest::newRow("database empty") << "\"Database\"=\"\"\r\n\"SQLDatabase\"=\"\"\r\n\"Admin\"=dword:00000001\r\n\"AdminUserName\"=\"bob\"" << "0|K:\\|0|||";
        QTest::newRow("database as number") << "\"Database\"=dword:0000000c\r\n\"SQLDatabase\"=dword:0000000c" << "1|12|0|||";
        QTest::newRow("binary value reads empty") << "\"Database\"=hex:41,42" << "0|K:\\|0|||";
    }

    void startupSettings()
    {
        QFETCH(QString, values);
        QFETCH(QString, fields);
        TestOffice office;
        if (!values.isNull())
            office.writeRegistry(utf16(regFile(values)));
        SettingFields f;
        appsettings::loadFromRegistry(f);
        QCOMPARE(u"%1|%2|%3|%4|%5|%6"_s.arg(f.chkSQL).arg(f.txtDatabase).arg(f.chkAdmin).arg(f.sqlUserName, f.sqlPW, f.SQLSubset), fields);
    }

    void launcherDetectsFailure()
    {
        TestOffice office;
        const QString program = u"C:\\Program Files\\Child Trust Fund Interface\\ChildTrustFund.exe"_s;
        QVERIFY(!launcher::start(program, WindowStyle::Normal));
        // A file that is not executable does not start either.
        office.writeFile(program, "#!/bin/sh\nexit 0\n");
        QVERIFY(!launcher::start(program, WindowStyle::Normal));
        QVERIFY(QFile::setPermissions(office.host(program), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(launcher::start(program, WindowStyle::Normal));
        // The editor: CTFADMIN_EDITOR names it; one that does not exist fails.
        qputenv("CTFADMIN_EDITOR", "/nonexistent/editor");
        QVERIFY(!launcher::start(u"notepad K:\\Returns\\IRReturn.txt"_s, WindowStyle::Maximized));
        // One that ends at once with a failure (xdg-open with no application
        // for the file) has not started; one that stays, or ends well, has.
        QStringList started;
        for (const char *editor : {"true", "false", "sh -c \"sleep 3\""}) {
            qputenv("CTFADMIN_EDITOR", editor);
            started << QString::number(launcher::start(u"notepad K:\\Returns\\IRReturn.txt"_s, WindowStyle::Maximized));
        }
        QCOMPARE(started.join(u' '), u"1 0 1"_s);
        qunsetenv("CTFADMIN_EDITOR");
    }

    void sysInfo()
    {
        TestOffice office;
        StartSysInfo();
        QCOMPARE(office.ui().seen(), QStringList{u"None | Child trust fund administration | System Information Is Unavailable At This Time"_s});
        QVERIFY(office.ui().launches.isEmpty());
        // The folder value, where the folder holds MSINFO32.EXE.
        office.writeRegistry(QByteArray("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location]\r\n\"MSINFO\"=\"C:\\\\Tools\"\r\n"));
        office.writeFile(u"C:\\Tools\\MSINFO32.EXE"_s, {});
        StartSysInfo();
        QCOMPARE(office.ui().messages.size(), 1);
        QCOMPARE(office.ui().launches, QStringList{u"C:\\Tools\\MSINFO32.EXE"_s});
        // The PATH value is started without a check; a failed start gives the message.
        office.writeRegistry(QByteArray("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\r\n\"PATH\"=\"C:\\\\X\\\\msinfo32.exe\"\r\n"));
        office.ui().launchSucceeds = false;
        StartSysInfo();
        QCOMPARE(office.ui().launches.last(), u"C:\\X\\msinfo32.exe"_s);
        QCOMPARE(office.ui().messages.size(), 2);
    }
};

QTEST_GUILESS_MAIN(tst_platform)
#include "tst_platform.moc"
