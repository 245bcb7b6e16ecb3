// The layers that stand in for Windows: the path mapper, the registry file
// and the Registry class over it, the start-up settings read from it, and
// the launching of outside programs.
#include "app/appsettings.h"
#include "app/registry.h"
#include "app/sysinfo.h"
#include "common/error.h"
#include "platform/officeroot.h"
#include "platform/pathmapper.h"
#include "platform/registrystore.h"
#include "platform/userinterface.h"
#include "support/office.h"
#include "support/scriptedui.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {
const QString kKey = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Orvel\\Tarnwell");

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
    return QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvel\\Tarnwell]\r\n") + values
        + QStringLiteral("\r\n");
}
} // namespace

class tst_platform : public QObject {
    Q_OBJECT
private slots:
    void pathMapping();
    void missingDrive();
    void registryFormats_data();
    void registryFormats();
    void registrySaveKeepsOtherKeys();
    void registryClassReadsAndWrites();
    void registryClassErrors_data();
    void registryClassErrors();
    void setLocationStoresHkeyBeforeThePathCheck();
    void startupSettings_data();
    void startupSettings();
    void launcherDetectsFailure();
    void sysInfo();
};

void tst_platform::pathMapping()
{
    TestOffice office;
    QDir().mkpath(office.root() + QStringLiteral("/drive_k/Returns/Old"));
    QFile f(office.root() + QStringLiteral("/drive_k/Returns/IRReturn.txt"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    const QString k = office.root() + QStringLiteral("/drive_k");
    QCOMPARE(pathmapper::toHost(QStringLiteral("K:\\returns\\irreturn.txt")), k + QStringLiteral("/Returns/IRReturn.txt"));
    QCOMPARE(pathmapper::toHost(QStringLiteral("k:\\RETURNS\\old\\new.log")), k + QStringLiteral("/Returns/Old/new.log"));
    QCOMPARE(pathmapper::toHost(QStringLiteral("K:\\Returns\\")), k + QStringLiteral("/Returns/"));
    QCOMPARE(pathmapper::toHost(QStringLiteral("K:\\")), k + QStringLiteral("/"));
    QVERIFY(pathmapper::fileExists(QStringLiteral("K:\\RETURNS\\IRRETURN.TXT")));
    QVERIFY(!pathmapper::fileExists(QStringLiteral("K:\\Returns")));
    // ".." at a drive's root stays there, as on Windows; a host path keeps its meaning.
    QCOMPARE(pathmapper::toHost(QStringLiteral("K:\\..\\Returns\\IRReturn.txt")), k + QStringLiteral("/Returns/IRReturn.txt"));
    QCOMPARE(pathmapper::toHost(QStringLiteral("K:\\..\\..\\..\\..\\etc\\passwd")), k + QStringLiteral("/etc/passwd"));
    QCOMPARE(pathmapper::toHost(QStringLiteral("K:\\Returns\\..\\..\\x")), k + QStringLiteral("/x"));
    QCOMPARE(pathmapper::toHost(k + QStringLiteral("/../drive_k/Returns")), office.root() + QStringLiteral("/drive_k/Returns"));
    // A host path uses "\" as a separator too.
    QCOMPARE(pathmapper::toHost(k + QStringLiteral("\\returns\\IRReturn.txt")), k + QStringLiteral("/Returns/IRReturn.txt"));
}

void tst_platform::missingDrive()
{
    TestOffice office;
    const MappedPath m = pathmapper::map(QStringLiteral("Q:\\data\\x.mdb"));
    QVERIFY(!m.ok());
    QVERIFY2(m.error.contains(QStringLiteral("Q:")), qPrintable(m.error));
    QVERIFY(!pathmapper::fileExists(QStringLiteral("Q:\\data\\x.mdb")));
}

void tst_platform::registryFormats_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QString v5 = regFile(QStringLiteral("\"Database\"=\"D:\\\\Data\\\\\"\r\n\"Admin\"=dword:00000001\r\n\"Quote\"=\"say \\\"hi\\\"\"\r\n"
                                              "\"Zero\"=hex(1):41,00,42,00,00,00\r\n\"Bin\"=hex:01,02\r\n@=\"default\""));
    QTest::newRow("utf-16 v5") << utf16(v5);
    QTest::newRow("utf-8 v5") << v5.toUtf8();
    QString v4 = v5;
    v4.replace(QStringLiteral("Windows Registry Editor Version 5.00"), QStringLiteral("REGEDIT4"));
    v4.replace(QStringLiteral("hex(1):41,00,42,00,00,00"), QStringLiteral("hex(1):41,42,00"));
    QTest::newRow("regedit4") << v4.toLatin1();
}

void tst_platform::registryFormats()
{
    QFETCH(QByteArray, bytes);
    const RegistryStore s = RegistryStore::parse(bytes);
    auto text = [&](const char *name) { return s.value(kKey, QString::fromLatin1(name)).value_or(RegValue{}).text; };
    QCOMPARE(text("database"), QStringLiteral("D:\\Data\\"));
    QCOMPARE(text("Quote"), QStringLiteral("say \"hi\""));
    QCOMPARE(text(""), QStringLiteral("default"));
    QCOMPARE(text("Zero"), QStringLiteral("AB") + QChar(0));
    QCOMPARE(s.value(kKey, QStringLiteral("Admin"))->type, RegType::Dword);
    QCOMPARE(s.value(kKey, QStringLiteral("Admin"))->dword, 1u);
    QCOMPARE(s.value(kKey, QStringLiteral("Bin"))->type, RegType::Other);
    QVERIFY(!s.value(kKey, QStringLiteral("Missing")));
    // Writing it out again gives the same bytes.
    QCOMPARE(s.serialise(), bytes);
}

void tst_platform::registrySaveKeepsOtherKeys()
{
    TestOffice office;
    const QString original = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n\"Keep\"=\"me\"\r\n\"Bin\"=hex:00,01,\\\r\n  02,03\r\n\r\n"
                                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvel\\Tarnwell]\r\n\"Database\"=\"K:\\\\\"\r\n\r\n");
    office.writeRegistry(utf16(original));
    Registry r;
    r.SetLocation(appsettings::kHkeyLocalMachine, QStringLiteral("Software\\Orvel\\Tarnwell"), QStringLiteral("AdminPW"));
    r.setValue(QStringLiteral("secret"));
    QVERIFY(r.ERROR_SUCCESS());
    QFile f(officeroot::registryFile());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray after = f.readAll();
    QVERIFY(after.startsWith("\xFF\xFE"));
    QString expected = original;
    expected.replace(QStringLiteral("\"Database\"=\"K:\\\\\"\r\n"), QStringLiteral("\"Database\"=\"K:\\\\\"\r\n\"AdminPW\"=\"secret\"\r\n"));
    QCOMPARE(after, utf16(expected));
    QVERIFY(QDir(office.root()).entryList(QDir::Files).filter(QStringLiteral("system.reg")).size() == 1);
}

void tst_platform::registryClassReadsAndWrites()
{
    TestOffice office;
    Registry r;
    QVERIFY(!r.ERROR_SUCCESS());
    r.SetLocation(appsettings::kHkeyLocalMachine, QStringLiteral("Software\\Orvel\\Tarnwell"), QStringLiteral("Database"));
    QVERIFY(!r.Value().isValid()); // no file: an empty registry
    QVERIFY(!r.ERROR_SUCCESS());
    r.setValue(QStringLiteral("123"));
    QCOMPARE(r.Value().typeId(), QMetaType::Int);
    QCOMPARE(r.Value().toInt(), 123);
    r.setValue(QStringLiteral("12a"));
    QCOMPARE(r.Value(), QVariant(QStringLiteral("12a")));
    QVERIFY(r.ERROR_SUCCESS());
    r.DeleteValue();
    QVERIFY(r.ERROR_SUCCESS());
    QVERIFY(!r.Value().isValid());
    r.DeleteValue();
    QVERIFY(!r.ERROR_SUCCESS());
    r.setName(QStringLiteral("Zero"));
    office.writeRegistry(regFile(QStringLiteral("\"Zero\"=hex(1):41,00,42,00,00,00\r\n\"NoZero\"=hex(1):41,00,42,00")).toUtf8());
    QCOMPARE(r.Value(), QVariant(QStringLiteral("AB")));
    r.setName(QStringLiteral("NoZero"));
    QCOMPARE(r.Value(), QVariant(QStringLiteral("AB")));
    r.setPath(QStringLiteral("Software\\New\\Key"));
    r.CreateKey();
    QVERIFY(r.ERROR_SUCCESS());
    r.DeleteKey();
    QVERIFY(r.ERROR_SUCCESS());
    r.DeleteKey();
    QVERIFY(!r.ERROR_SUCCESS());
}

void tst_platform::registryClassErrors_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<bool>("hkeySet");
    QTest::addColumn<uint>("number");
    QTest::addColumn<QString>("description");
    QTest::newRow("write, no HKEY") << 0 << false << 0x80040780u << "Cannot save a Value with no HKEY.";
    QTest::newRow("write, no Path") << 0 << true << 0x80040781u << "Cannot save a Value in an empty Path.";
    QTest::newRow("read, no HKEY") << 1 << false << 0x80040783u << "Cannot read a Value with no HKEY.";
    QTest::newRow("read, no Path") << 1 << true << 0x80040784u << "Cannot read a Value in an empty Path.";
    QTest::newRow("create, no HKEY") << 2 << false << 0x80040788u << "Cannot create Key with no HKEY.";
    QTest::newRow("create, no Path") << 2 << true << 0x80040789u << "Cannot create Key in an empty Path.";
    QTest::newRow("delete key, no HKEY") << 3 << false << 0x8004078Au << "Cannot delete a Key with no HKEY.";
    QTest::newRow("delete key, no Path") << 3 << true << 0x8004078Bu << "Cannot delete a Key in an empty Path.";
    QTest::newRow("delete value, no HKEY") << 4 << false << 0x8004078Cu << "Cannot delete a Value with no HKEY.";
    QTest::newRow("delete value, no Path") << 4 << true << 0x8004078Du << "Cannot delete a Value in an empty Path.";
    QTest::newRow("empty path") << 5 << true << 0x80040786u << "Cannot assign an empty Path.";
}

void tst_platform::registryClassErrors()
{
    QFETCH(int, operation);
    QFETCH(bool, hkeySet);
    QFETCH(uint, number);
    QFETCH(QString, description);
    TestOffice office;
    Registry r;
    if (hkeySet)
        r.setHKEY(appsettings::kHkeyLocalMachine);
    try {
        switch (operation) {
        case 0: r.setValue(1); break;
        case 1: r.Value(); break;
        case 2: r.CreateKey(); break;
        case 3: r.DeleteKey(); break;
        case 4: r.DeleteValue(); break;
        case 5: r.setPath(QString()); break;
        }
        QFAIL("no error raised");
    } catch (const CtfError &e) {
        QCOMPARE(e.number(), number);
        QCOMPARE(e.source(), QStringLiteral("Registry Class"));
        QCOMPARE(e.description(), description);
    }
    QVERIFY(!QFile::exists(officeroot::registryFile()));
}

void tst_platform::setLocationStoresHkeyBeforeThePathCheck()
{
    Registry r;
    r.setName(QStringLiteral("before"));
    QVERIFY_THROWS_EXCEPTION(CtfError, r.SetLocation(appsettings::kHkeyLocalMachine, QString(), QStringLiteral("after")));
    QCOMPARE(quint32(r.HKEY()), appsettings::kHkeyLocalMachine);
    QCOMPARE(r.Name(), QStringLiteral("before"));
}

void tst_platform::startupSettings_data()
{
    QTest::addColumn<QString>("values");
    QTest::addColumn<int>("chkSQL");
    QTest::addColumn<QString>("database");
    QTest::addColumn<int>("chkAdmin");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("subset");
    QTest::newRow("no key") << QString() << 0 << "K:\\" << 0 << "" << "" << "";
    QTest::newRow("sql server") << "\"Database\"=\"SRV1\"\r\n\"SQLDatabase\"=\"SRV1\"\r\n\"Admin\"=dword:00000001\r\n\"AdminPW\"=\"pw\"\r\n"
                                   "\"AdminUserName\"=\"bob\"\r\n\"DataSubset\"=\"X\""
                                << 1 << "SRV1" << 1 << "bob" << "pw" << "X";
    QTest::newRow("case differs: access") << "\"Database\"=\"SRV1\"\r\n\"SQLDatabase\"=\"srv1\"\r\n\"DataSubset\"=\"X\"" << 0 << "SRV1" << 0 << "" << "" << "";
    QTest::newRow("admin as text 1") << "\"Database\"=\"D:\\\\\"\r\n\"Admin\"=\"1\"" << 0 << "D:\\" << 1 << "" << "" << "";
    QTest::newRow("admin 0") << "\"Database\"=\"D:\\\\\"\r\n\"Admin\"=dword:00000000" << 0 << "D:\\" << 0 << "" << "" << "";
    QTest::newRow("admin text") << "\"Database\"=\"D:\\\\\"\r\n\"Admin\"=\"yes\"" << 0 << "D:\\" << 0 << "" << "" << "";
    QTest::newRow("database empty") << "\"Database\"=\"\"\r\n\"SQLDatabase\"=\"\"\r\n\"Admin\"=dword:00000001\r\n\"AdminUserName\"=\"bob\""
                                    << 0 << "K:\\" << 0 << "" << "" << "";
    QTest::newRow("database as number") << "\"Database\"=dword:0000000c\r\n\"SQLDatabase\"=dword:0000000c" << 1 << "12" << 0 << "" << "" << "";
    QTest::newRow("binary value reads empty") << "\"Database\"=hex:41,42" << 0 << "K:\\" << 0 << "" << "" << "";
}

void tst_platform::startupSettings()
{
    QFETCH(QString, values);
    QFETCH(int, chkSQL);
    QFETCH(QString, database);
    QFETCH(int, chkAdmin);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, subset);
    TestOffice office;
    if (!values.isNull())
        office.writeRegistry(utf16(regFile(values)));
    SettingFields f;
    appsettings::loadFromRegistry(f);
    QCOMPARE(f.chkSQL, chkSQL);
    QCOMPARE(f.txtDatabase, database);
    QCOMPARE(f.chkAdmin, chkAdmin);
    QCOMPARE(f.sqlUserName, user);
    QCOMPARE(f.sqlPW, password);
    QCOMPARE(f.SQLSubset, subset);
}

void tst_platform::launcherDetectsFailure()
{
    TestOffice office;
    QVERIFY(!launcher::start(QStringLiteral("C:\\Program Files\\Child Trust Fund Interface\\ChildTrustFund.exe"), WindowStyle::Normal));
    // A file that is not executable does not start either.
    const QString exe = office.host(QStringLiteral("C:\\Program Files\\Child Trust Fund Interface\\ChildTrustFund.exe"));
    QFile f(exe);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\nexit 0\n");
    f.close();
    QVERIFY(!launcher::start(QStringLiteral("C:\\Program Files\\Child Trust Fund Interface\\ChildTrustFund.exe"), WindowStyle::Normal));
    QVERIFY(f.setPermissions(f.permissions() | QFile::ExeOwner));
    QVERIFY(launcher::start(QStringLiteral("C:\\Program Files\\Child Trust Fund Interface\\ChildTrustFund.exe"), WindowStyle::Normal));
    // The editor: CTFADMIN_EDITOR names it; one that does not exist fails.
    qputenv("CTFADMIN_EDITOR", "/nonexistent/editor");
    QVERIFY(!launcher::start(QStringLiteral("notepad K:\\Returns\\IRReturn.txt"), WindowStyle::Maximized));
    qputenv("CTFADMIN_EDITOR", "true");
    QVERIFY(launcher::start(QStringLiteral("notepad K:\\Returns\\IRReturn.txt"), WindowStyle::Maximized));
    qunsetenv("CTFADMIN_EDITOR");
}

void tst_platform::sysInfo()
{
    TestOffice office;
    ScriptedUiScope scope;
    StartSysInfo();
    QCOMPARE(scope.ui().messages.size(), 1);
    QCOMPARE(scope.ui().messages[0].text, QStringLiteral("System Information Is Unavailable At This Time"));
    QCOMPARE(scope.ui().messages[0].title, QStringLiteral("Child trust fund administration"));
    QCOMPARE(scope.ui().messages[0].icon, MsgIcon::None);
    QVERIFY(scope.ui().launches.isEmpty());

    // Only the folder value, and the folder holds no MSINFO32.EXE.
    office.writeRegistry(QByteArray("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location]\r\n\"MSINFO\"=\"C:\\\\Tools\"\r\n"));
    StartSysInfo();
    QCOMPARE(scope.ui().messages.size(), 2);
    QDir().mkpath(office.host(QStringLiteral("C:\\")) + QStringLiteral("/Tools"));
    QFile exe(office.host(QStringLiteral("C:\\Tools\\MSINFO32.EXE")));
    QVERIFY(exe.open(QIODevice::WriteOnly));
    exe.close();
    StartSysInfo();
    QCOMPARE(scope.ui().messages.size(), 2);
    QCOMPARE(scope.ui().launches, QStringList{QStringLiteral("C:\\Tools\\MSINFO32.EXE")});

    // The PATH value is started without a check; a failed start gives the message.
    office.writeRegistry(QByteArray("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\r\n\"PATH\"=\"C:\\\\X\\\\msinfo32.exe\"\r\n"));
    scope.ui().launchSucceeds = false;
    StartSysInfo();
    QCOMPARE(scope.ui().launches.last(), QStringLiteral("C:\\X\\msinfo32.exe"));
    QCOMPARE(scope.ui().messages.size(), 3);
}

QTEST_GUILESS_MAIN(tst_platform)
#include "tst_platform.moc"
