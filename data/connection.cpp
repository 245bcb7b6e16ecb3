#include "data/connection.h"

#include "common/error.h"
#include "data/accessfile.h"
#include "data/accesssql.h"
#include "data/dbfile.h"
#include "data/sqlserver.h"
#include "data/strictsum.h"
#include "platform/pathmapper.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <atomic>
#include <unistd.h>

namespace {
std::atomic<int> g_counter{0};

Connection::StatementObserver &observer()
{
    static Connection::StatementObserver o;
    return o;
}

} // namespace

Connection::Connection() : m_name(QStringLiteral("ctfadmin-%1").arg(++g_counter)) {}

Connection::~Connection()
{
    close();
    if (QSqlDatabase::contains(m_name))
        QSqlDatabase::removeDatabase(m_name);
}

void Connection::setStatementObserver(StatementObserver o) { observer() = std::move(o); }

void Connection::notifyStatement(const QString &sql) const
{
    if (observer())
        observer()(*this, sql);
}

QString Connection::connectionValue(const QString &cs, const QString &key)
{
    const QStringList parts = cs.split(';');
    for (const QString &part : parts) {
        const qsizetype eq = part.indexOf('=');
        if (eq < 0)
            continue;
        if (part.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return part.mid(eq + 1).trimmed();
    }
    return {};
}

QSqlDatabase Connection::database() const { return QSqlDatabase::database(m_name, false); }

bool Connection::isOpen() const
{
    return QSqlDatabase::contains(m_name) && database().isOpen();
}

void Connection::close()
{
    m_inTransaction = false;
    m_prepared.clear();
    // Before the database closes: a result still holding one finds it closed.
    for (const auto &shape : std::as_const(m_shapes))
        shape->statement->finalize();
    m_shapes.clear();
    if (QSqlDatabase::contains(m_name)) {
        QSqlDatabase db = database();
        if (db.isOpen())
            db.close();
    }
    m_use.reset();
}

void Connection::open()
{
    close();
    const QString provider = connectionValue(m_connectionString, QStringLiteral("Provider"));
    if (provider.compare(QStringLiteral("Microsoft.Jet.OLEDB.4.0"), Qt::CaseInsensitive) == 0
        || provider.startsWith(QStringLiteral("Microsoft.ACE.OLEDB"), Qt::CaseInsensitive)) {
        openJet(connectionValue(m_connectionString, QStringLiteral("Data Source")));
    } else if (provider.startsWith(QStringLiteral("SQLOLEDB"), Qt::CaseInsensitive)) {
        openSqlServer();
    } else if (m_connectionString.trimmed().isEmpty()) {
        throw DbError(QStringLiteral("No database is configured for this connection (empty connection string)."));
    } else {
        throw DbError(QStringLiteral("Unknown database provider \"%1\" in the connection string.").arg(provider));
    }
}

JetOpen chooseJetOpen(const JetFacts &f)
{
    if (!f.isFile)
        return JetOpen::Missing;
    // SQLite would take an empty file for a new database and write one
    // into it: an empty file is a damaged or unfinished copy, never a database.
    if (f.head.isEmpty())
        return JetOpen::Empty;
    if (accessfile::isAccessHeader(f.head))
        return JetOpen::AccessSnapshot;
    if (!f.head.startsWith(QByteArrayLiteral("SQLite format 3")))
        return JetOpen::NotADatabase;
    // A file in WAL mode, closed cleanly (no -wal beside it), in a folder
    // this user cannot write (a read-only mount, a copied backup, another
    // user's folder): SQLite cannot make the shared-memory file WAL needs
    // and would refuse every read. With no -wal file every commit is in the
    // file itself, so it is read as it stands; nothing can be written to it
    // from here anyway.
    if (f.head.size() > 18 && f.head.at(18) == 2 && !f.walExists && !f.folderWritable)
        return JetOpen::AsItStands;
    if (f.readOnly)
        return JetOpen::ReadOnly;
    // A file server gives no memory shared between desks (or none at all):
    // WAL would lose commits or fail, so the file keeps a rollback journal.
    return f.sharedDrive ? JetOpen::SharedJournal : JetOpen::LocalWal;
}

void Connection::openJet(const QString &dataSource)
{
    m_describe = dataSource;
    m_drive = {};
    m_hostPath.clear();
    const MappedPath mapped = pathmapper::map(dataSource);
    if (!mapped.ok())
        throw DbError(QStringLiteral("Could not find file '%1'. %2").arg(dataSource, mapped.error));
    JetFacts facts;
    facts.isFile = QFileInfo(mapped.hostPath).isFile();
    // Through the one descriptor kept open for this file: closing a
    // descriptor of our own here would drop the locks of every connection
    // this program has open on it (see data/dbfile.h).
    QString readError;
    if (facts.isFile && !dbfile::readHead(mapped.hostPath, 100, &facts.head, &readError))
        throw DbError(QStringLiteral("Cannot read the database file '%1': %2").arg(dataSource, readError));
    facts.walExists = QFileInfo::exists(mapped.hostPath + QStringLiteral("-wal"));
    facts.folderWritable = ::access(QFile::encodeName(QFileInfo(mapped.hostPath).absolutePath()).constData(), W_OK) == 0;
    m_drive = dbfile::driveOf(mapped.hostPath);
    facts.sharedDrive = m_drive.shared;
    facts.readOnly = m_readOnly;
    const JetOpen how = chooseJetOpen(facts);
    switch (how) {
    case JetOpen::Missing: throw DbError(QStringLiteral("Could not find file '%1'.").arg(dataSource));
    case JetOpen::Empty:
        throw DbError(QStringLiteral("'%1' is empty (0 bytes), so it is not a database ctfadmin can read. Put the "
                                     "office's copy of the file back in its place.").arg(dataSource) + damageAdvice(mapped.hostPath));
    case JetOpen::NotADatabase: throw DbError(QStringLiteral("'%1' is not a database file that ctfadmin can read.").arg(dataSource) + damageAdvice(mapped.hostPath));
    default: break;
    }
    m_hostPath = mapped.hostPath;
    if (how == JetOpen::LocalWal || how == JetOpen::SharedJournal)
        m_use = std::make_unique<beside::FileUse>(mapped.hostPath, beside::FileUse::Kind::Shared);
    // A genuine Access file is read through its read-only SQLite snapshot.
    const bool access = how == JetOpen::AccessSnapshot, asItStands = how == JetOpen::AsItStands;
    const QString file = access ? accessfile::snapshot(mapped.hostPath, dataSource, m_accessTables) : mapped.hostPath;
    QSqlDatabase db = QSqlDatabase::contains(m_name) ? database() : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    db.setDatabaseName(asItStands ? QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded) + QStringLiteral("?immutable=1") : file);
    // Writers wait for each other; across desks on a file server a commit
    // takes longer, so they wait longer there.
    const QString busy = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busySeconds() * 1000);
    db.setConnectOptions(asItStands ? QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_OPEN_READONLY;") + busy
                         : access || m_readOnly ? QStringLiteral("QSQLITE_OPEN_READONLY;") + busy
                                                : busy);
    if (!db.open())
        throw DbError(QStringLiteral("Cannot open the database '%1': %2").arg(dataSource, why(db.lastError().text())));
    m_backend = Backend::Sqlite;
    if (!strictsum::install(db))
        throw DbError(QStringLiteral("Cannot open the database '%1': its sums could not be checked.").arg(dataSource));
    QSqlQuery pragma(db);
    if (access) {
        if (pragma.exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'ChildTrustFunds' COLLATE NOCASE"))
            && pragma.next()) {
            db.close();
            throw DbError(registerInAccessMessage(dataSource));
        }
        return;
    }
    tuneSqlite(pragma, how, dataSource, mapped.hostPath);
}

void Connection::tuneSqlite(QSqlQuery &pragma, JetOpen how, const QString &dataSource, const QString &hostPath)
{
    if (how == JetOpen::SharedJournal)
        useRollbackJournal(pragma, dataSource);
    else if (how == JetOpen::LocalWal) {
        // Each saved row is committed on its own; WAL with synchronous NORMAL
        // keeps every commit once the call returns, even when the program is
        // killed, without a disk flush per row.
        pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    }
    // Pages are read through the memory map (on a local disk: a shared drive
    // gives each desk a map of its own) and kept in a cache large enough for
    // a register or a Tarnwell file of a large credit union, so long runs do
    // not read and write the same pages again and again.
    pragma.exec(QStringLiteral("PRAGMA mmap_size=%1").arg(m_drive.shared ? 0 : kMmapBytes));
    pragma.exec(QStringLiteral("PRAGMA cache_size=-%1").arg(kCacheKiB));
    // The first read makes the -wal and -shm of a file in WAL, and tells of
    // a file damaged at its start (with the register's newest good backup).
    const bool read = pragma.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    const QString error = read ? QString() : pragma.lastError().text();
    pragma.finish();
    if (!read && m_use) {
        database().close();
        throw DbError(QStringLiteral("Cannot open the database '%1': %2").arg(dataSource, why(error)));
    }
    // The desks that share the register through its group must be able to open them.
    if (!m_drive.shared && how != JetOpen::AsItStands)
        dbfile::shareSideFiles(hostPath);
}

void Connection::useRollbackJournal(QSqlQuery &pragma, const QString &dataSource)
{
    // The file server's byte-range locks order the desks. A file left in WAL
    // by a local run is switched back; in exclusive locking mode SQLite reads
    // the WAL without shared memory to do so.
    pragma.exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"));
    const bool switched = pragma.exec(QStringLiteral("PRAGMA journal_mode=DELETE")) && pragma.next()
        && pragma.value(0).toString().compare(QStringLiteral("delete"), Qt::CaseInsensitive) == 0;
    const QString failure = switched ? QString() : why(pragma.lastError().text());
    pragma.finish();
    pragma.exec(QStringLiteral("PRAGMA locking_mode=NORMAL"));
    // The next read gives the exclusive lock back.
    pragma.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    pragma.finish();
    if (!switched) {
        database().close();
        throw DbError(QStringLiteral("Cannot open the database '%1' on the %2 drive: it could not be set to the "
                                     "journal a shared drive needs (%3). Close ctfadmin on every desk that has "
                                     "it open, then try again.")
                          .arg(dataSource, m_drive.kind, failure.isEmpty() ? QStringLiteral("the file is in use") : failure));
    }
    pragma.exec(QStringLiteral("PRAGMA synchronous=FULL"));
}

std::function<QString(const QString &)> Connection::damagedFileAdvice;

QString Connection::damageAdvice(const QString &hostPath)
{
    const QString advice = damagedFileAdvice ? damagedFileAdvice(hostPath) : QString();
    return advice.isEmpty() ? advice : QLatin1Char(' ') + advice;
}

QString Connection::why(const QString &driverText) const
{
    QString text = driverText.trimmed();
    if (m_use && (text.contains(QStringLiteral("malformed"), Qt::CaseInsensitive) || text.contains(QStringLiteral("not a database"), Qt::CaseInsensitive)))
        if (const QString advice = damageAdvice(m_hostPath); !advice.isEmpty())
            return text + advice;
    // SQLite's busy timeout ran out: someone else is writing the file.
    if (m_backend != Backend::SqlServer && text.contains(QStringLiteral("database is locked"), Qt::CaseInsensitive))
        return QStringLiteral("another desk or program has been writing %1 for more than %2 seconds (%3); try again when it has finished")
            .arg(m_describe)
            .arg(busySeconds())
            .arg(text);
    // SQLite's words for a drive that failed under it say nothing of which
    // drive or what to do.
    if (m_backend != Backend::SqlServer
        && (text.contains(QStringLiteral("disk I/O error"), Qt::CaseInsensitive)
            || text.contains(QStringLiteral("unable to open database file"), Qt::CaseInsensitive)
            || text.contains(QStringLiteral("attempt to write a readonly database"), Qt::CaseInsensitive))) {
        if (const QString side = m_hostPath.isEmpty() ? QString() : dbfile::sideFileProblem(m_hostPath); !side.isEmpty())
            return text + QStringLiteral(" (%1)").arg(side);
        const QString drive = m_drive.shared ? QStringLiteral("the %1 network drive that holds %2").arg(m_drive.kind, m_describe)
                                             : QStringLiteral("the drive that holds %1").arg(m_describe);
        text += QStringLiteral(" (%1 could not read or write it: check that the drive is connected, has room and "
                               "lets this user write there; a network drive must carry file locks to the server, see "
                               "docs/install.md)").arg(drive);
    }
    return text;
}

int Connection::s_loginSeconds = sqlserver::kLoginSeconds;

void Connection::openSqlServer()
{
    const QString server = connectionValue(m_connectionString, QStringLiteral("Data Source"));
    const QString catalog = connectionValue(m_connectionString, QStringLiteral("Initial Catalog"));
    m_describe = catalog + QStringLiteral(" on ") + server;
    sqlserver::Address address = sqlserver::parse(server);
    if (!address.error.isEmpty())
        throw DbError(QStringLiteral("Cannot open the database %1: %2.").arg(m_describe, address.error));
    if (!address.instance.isEmpty())
        address.port = sqlserver::instancePort(address.host, address.instance);
    sqlserver::Login login;
    if (const QString driver = qEnvironmentVariable("CTFADMIN_ODBC_DRIVER"); !driver.isEmpty())
        login.driver = driver;
    if (const QString tds = qEnvironmentVariable("CTFADMIN_TDS_VERSION"); !tds.isEmpty())
        login.tdsVersion = tds;
    login.trusted = connectionValue(m_connectionString, QStringLiteral("Trusted_Connection")).compare(QStringLiteral("Yes"), Qt::CaseInsensitive) == 0;
    login.user = connectionValue(m_connectionString, QStringLiteral("User Id"));
    login.password = sqlserver::password(m_connectionString);
    QSqlDatabase db = QSqlDatabase::contains(m_name) ? database() : QSqlDatabase::addDatabase(QStringLiteral("QODBC"), m_name);
    if (!db.isValid())
        throw DbError(QStringLiteral("Cannot reach SQL Server (%1): the Qt ODBC driver is not installed.").arg(m_describe));
    db.setDatabaseName(sqlserver::odbcConnectionString(address, catalog, login));
    db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(s_loginSeconds));
    if (!db.open()) {
        const QString driverText = db.lastError().text();
        db.setDatabaseName(QString()); // the password goes with it
        throw DbError(sqlserver::loginFailure(server, address.host, catalog, address.port, driverText, s_loginSeconds));
    }
    m_backend = Backend::SqlServer;
}

void Connection::beginTransaction()
{
    if (!isOpen())
        throw DbError(QStringLiteral("The database %1 is not open.").arg(m_describe));
    QSqlDatabase db = database();
    if (m_backend == Backend::Sqlite) {
        QSqlQuery &q = prepared(QStringLiteral("BEGIN IMMEDIATE"));
        if (!q.exec())
            throw DbError(QStringLiteral("Cannot start a transaction in %1: %2").arg(m_describe, why(q.lastError().text())));
    } else if (!db.transaction()) {
        throw DbError(QStringLiteral("Cannot start a transaction in %1: %2").arg(m_describe, why(db.lastError().text())));
    }
    m_inTransaction = true;
}

void Connection::commit()
{
    notifyStatement(QStringLiteral("COMMIT"));
    QSqlDatabase db = database();
    m_inTransaction = false;
    QString failure;
    if (m_backend == Backend::Sqlite) {
        QSqlQuery &q = prepared(QStringLiteral("COMMIT"));
        if (!q.exec())
            failure = why(q.lastError().text());
    } else if (!db.commit()) {
        failure = why(db.lastError().text());
    }
    if (!failure.isNull()) {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        throw DbError(QStringLiteral("Cannot save the changes in %1: %2").arg(m_describe, failure));
    }
}

qint64 Connection::changeCounter()
{
    if (m_backend != Backend::Sqlite || !isOpen())
        return -1;
    notifyStatement(QStringLiteral("PRAGMA data_version"));
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("PRAGMA data_version")) || !q.next())
        return -1;
    return q.value(0).toLongLong();
}

void Connection::readInOnePass()
{
    if (m_backend != Backend::Sqlite || !isOpen())
        return;
    QSqlQuery pragma(database());
    pragma.exec(QStringLiteral("PRAGMA mmap_size=0"));
    pragma.exec(QStringLiteral("PRAGMA cache_size=-2000"));
}

Connection::ReadSnapshot::ReadSnapshot(Connection &c)
{
    if (c.m_backend != Backend::Sqlite || c.m_inTransaction || !c.isOpen())
        return;
    // A failed BEGIN only costs the speed: each read then locks on its own.
    if (QSqlQuery(c.database()).exec(QStringLiteral("BEGIN DEFERRED")))
        m_connection = &c;
}

Connection::ReadSnapshot::~ReadSnapshot()
{
    if (m_connection && m_connection->isOpen())
        QSqlQuery(m_connection->database()).exec(QStringLiteral("COMMIT"));
}

void Connection::rollback()
{
    if (!m_inTransaction)
        return;
    notifyStatement(QStringLiteral("ROLLBACK"));
    m_inTransaction = false;
    QSqlQuery(database()).exec(QStringLiteral("ROLLBACK"));
}

QSqlQuery &Connection::prepared(const QString &sql)
{
    auto it = m_prepared.find(sql);
    if (it == m_prepared.end()) {
        QSqlQuery q(database());
        if (!q.prepare(sql))
            throw DbError(QStringLiteral("The database %1 refused the statement \"%2\": %3").arg(m_describe, sql, why(q.lastError().text())));
        it = m_prepared.insert(sql, q);
    }
    return *it;
}

int Connection::execute(const QString &sql, const QVariantList &binds)
{
    notifyStatement(sql);
    if (!isOpen())
        throw DbError(QStringLiteral("The database %1 is not open.").arg(m_describe));
    QSqlQuery &q = prepared(sql);
    for (int i = 0; i < binds.size(); ++i)
        q.bindValue(i, binds[i]);
    if (!q.exec())
        throw DbError(QStringLiteral("The database %1 refused the statement \"%2\": %3").arg(m_describe, sql, why(q.lastError().text())));
    return q.numRowsAffected();
}

QString Connection::registerInAccessMessage(const QString &dataSource)
{
    return QStringLiteral("'%1' is the CTF register as a Microsoft Access database. Run \"ctfadmin import-register\" once to "
                          "convert it into the register ctfadmin keeps; the Access original is kept beside it, unchanged.")
        .arg(dataSource);
}

std::shared_ptr<Connection::CompiledShape> Connection::compiledShape(const QString &shapeText)
{
    auto it = m_shapes.find(shapeText);
    if (it == m_shapes.end()) {
        sqlite3 *db = sqlitenative::handle(database());
        QString error;
        auto statement = db ? sqlitenative::Statement::prepare(db, accesssql::toSqlite(shapeText), &error) : nullptr;
        if (!statement)
            return nullptr; // the statement reports its own failure when run as written
        it = m_shapes.insert(shapeText, std::make_shared<CompiledShape>(CompiledShape{std::move(statement), false}));
    }
    return (*it)->busy ? nullptr : *it;
}
