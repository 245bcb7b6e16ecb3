#include "office.h"

#include "common/ctfmodules.h"
#include "data/schema.h"
#include "platform/officeroot.h"
#include "platform/pathmapper.h"

TestOffice::TestOffice(const QString &returnsPath)
{
    m_savedFields = appsettings::fields();
    officeroot::setPath(m_dir.path());
    // The program folder holds no CTF.MDB, so the register is K:\CTF.mdb.
    QDir().mkpath(m_dir.path() + QStringLiteral("/program"));
    officeroot::setProgramFolder(m_dir.path() + QStringLiteral("/program"));
    QDir().mkpath(m_dir.path() + QStringLiteral("/drive_c/temp"));
    QDir().mkpath(m_dir.path() + QStringLiteral("/drive_k/Returns"));
    QDir().mkpath(m_dir.path() + QStringLiteral("/drive_c/program files/child trust fund interface"));
    QFile ini(host(QString::fromLatin1(kSubmissionSettingsFile)));
    if (ini.open(QIODevice::WriteOnly))
        ini.write("[Settings]\r\nReturnsPath=" + returnsPath.toLatin1() + "\r\n");
    ini.close();
    schema::createDatabaseFile(host(QStringLiteral("K:\\CTF.mdb")), schema::Kind::Register);
    schema::createDatabaseFile(host(QStringLiteral("K:\\Tarnwell.mdb")), schema::Kind::Tarnwell);
    appsettings::fields() = SettingFields{};
    appsettings::fields().txtDatabase = QStringLiteral("K:\\");
}

namespace {
QByteArray hashOf(const QString &path)
{
    QFile f(path);
    QCryptographicHash h(QCryptographicHash::Sha1);
    return f.open(QIODevice::ReadOnly) && h.addData(&f) ? h.result() : QByteArray();
}
} // namespace

TestOffice::~TestOffice()
{
    // Tarnwell's file as the test last wrote it: the program only ever reads it.
    if (!m_tarnwellHash.isEmpty() && hashOf(host(kTarnwellFile)) != m_tarnwellHash)
        QTest::qFail("K:\\Tarnwell.mdb was changed by the program, which must only ever read it", __FILE__, __LINE__);
    for (const QString &name : QSqlDatabase::connectionNames())
        if (name.startsWith(QStringLiteral("testoffice-")))
            QSqlDatabase::removeDatabase(name);
    appsettings::fields() = m_savedFields;
    officeroot::setPath(QString());
    officeroot::setProgramFolder(QString());
}

QString TestOffice::host(const QString &path) const { return path.startsWith(QLatin1Char('/')) ? path : pathmapper::toHost(path); }

QSqlDatabase TestOffice::open(const QString &windowsDb)
{
    const QString name = QStringLiteral("testoffice-") + windowsDb;
    if (QSqlDatabase::contains(name))
        return QSqlDatabase::database(name);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(host(windowsDb));
    if (!db.open())
        qFatal("cannot open %s", qPrintable(windowsDb));
    return db;
}

void TestOffice::exec(const QString &windowsDb, const QString &sql, const QVariantList &binds)
{
    QSqlQuery q(open(windowsDb));
    q.prepare(sql);
    for (const QVariant &b : binds)
        q.addBindValue(b);
    if (!q.exec())
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    if (windowsDb == kTarnwellFile)
        m_tarnwellHash = hashOf(host(kTarnwellFile));
}

QList<QVariantList> TestOffice::rows(const QString &windowsDb, const QString &sql)
{
    QSqlQuery q(open(windowsDb));
    QList<QVariantList> rows;
    for (bool ok = q.exec(sql); ok && q.next();) {
        rows.append(QVariantList());
        for (int i = 0; i < q.record().count(); ++i)
            rows.last() << q.value(i);
    }
    return rows;
}

QVariant TestOffice::scalar(const QString &windowsDb, const QString &sql) { return rows(windowsDb, sql).value(0).value(0); }

void TestOffice::close(const QString &windowsDb)
{
    if (windowsDb == kTarnwellFile)
        m_tarnwellHash.clear(); // the test is about to change the file itself
    const QString name = QStringLiteral("testoffice-") + windowsDb;
    if (QSqlDatabase::contains(name))
        QSqlDatabase::database(name, false).close();
}

QByteArray TestOffice::readFile(const QString &path) const
{
    QFile f(host(path));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void TestOffice::writeFile(const QString &path, const QByteArray &bytes) const
{
    const QString at = host(path);
    QDir().mkpath(QFileInfo(at).path());
    QFile f(at);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        QTest::qFail(qPrintable(QStringLiteral("cannot write ") + at), __FILE__, __LINE__);
}

void TestOffice::writeRegistry(const QByteArray &bytes) { writeFile(officeroot::registryFile(), bytes); }

QString TestOffice::executable() { return QStringLiteral(CTFADMIN_EXE); }

void TestOffice::startCtfadmin(QProcess &p, const QStringList &args) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    p.setProcessEnvironment(env);
    p.start(executable(), QStringList{QStringLiteral("--root"), root()} + args);
}

CliRun TestOffice::ctfadmin(const QStringList &args) const
{
    QProcess p;
    startCtfadmin(p, args);
    const bool ended = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit;
    return {ended ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardOutput()), QString::fromLocal8Bit(p.readAllStandardError())};
}

qint64 TestOffice::addEntry(const QString &entity, const QVariant &crn, const QVariant &dob, const QVariant &amount,
                            const QVariant &type, const QVariant &ref, const QVariant &dod, bool output)
{
    exec(QStringLiteral("K:\\CTF.mdb"),
         QStringLiteral("INSERT INTO ChildTrustFunds (Entity, CRN, DOB, Amount, Type, Ref, DOD, RecordOutput) VALUES (?,?,?,?,?,?,?,?)"),
         {entity.isNull() ? QVariant() : QVariant(entity), crn, dob, amount, type, ref, dod, output ? 1 : 0});
    return scalar(QStringLiteral("K:\\CTF.mdb"), QStringLiteral("SELECT max(ID) FROM ChildTrustFunds")).toLongLong();
}

std::unique_ptr<Connection> opened(const QString &name)
{
    auto c = std::make_unique<Connection>();
    c->setConnectionString(GetConnectionString(name));
    c->open();
    return c;
}
