#pragma once
// A database connection configured by a connection string of the office's
// format. A Jet string ("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=K:\CTF.mdb;...")
// opens the SQLite file at the mapped path and never creates one; an
// SQLOLEDB string opens the SQL Server catalogue through ODBC and FreeTDS.
// Failures throw DbError with a text that names the database; passwords
// never appear in one.
#include "common/besidefile.h"
#include "data/dbfile.h"
#include "data/sqlitenative.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>
#include <functional>
#include <memory>

// What a database file turns out to be, and so how a Jet connection string
// opens it: decided from what is found, before anything is opened.
struct JetFacts {
    bool isFile = false;
    QByteArray head;            // its first bytes (up to 100)
    bool walExists = false;     // a -wal beside it
    bool folderWritable = false;
    bool sharedDrive = false;   // a network or user-space filesystem
    bool readOnly = false;      // the connection only reads (Tarnwell)
};
enum class JetOpen {
    Missing,        // no file there: refused, never created
    Empty,          // 0 bytes: a damaged or unfinished copy, refused
    NotADatabase,   // neither SQLite nor Access: refused
    AccessSnapshot, // a genuine Access file, read through its SQLite snapshot
    AsItStands,     // in WAL, closed cleanly, in a folder this user cannot write: read as it stands (immutable)
    ReadOnly,       // read only, its journal left as it is
    SharedJournal,  // written on a shared drive: a rollback journal, full syncs
    LocalWal,       // written on a local disk: WAL
};
JetOpen chooseJetOpen(const JetFacts &facts);

class Connection {
public:
    // The SQLite settings of every database file (see docs/performance.md).
    static constexpr qint64 kMmapBytes = 1LL << 30;
    static constexpr int kCacheKiB = 64 * 1024;

    enum class Backend { None, Sqlite, SqlServer };

    Connection();
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    void setConnectionString(const QString &connectionString) { m_connectionString = connectionString; }
    // A connection that only reads (Tarnwell's files): opened read-only,
    // its journal and file left exactly as they are. Set before open().
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    // On a genuine Access file, the only tables its statements read: they
    // alone are converted (accessfile::snapshot). Set before open().
    void setAccessTables(const QStringList &tables) { m_accessTables = tables; }
    const QString &connectionString() const { return m_connectionString; }
    void open();
    bool isOpen() const;
    void close();

    Backend backend() const { return m_backend; }

    // A transaction around several writes; throw DbError. On a database
    // file it takes the write lock at once (BEGIN IMMEDIATE), so nothing
    // else changes the file until it ends. Commits and rollbacks are
    // reported to the statement observer as "COMMIT" and "ROLLBACK".
    void beginTransaction();
    void commit();
    void rollback();
    bool inTransaction() const { return m_inTransaction; }
    // On a database file, a number that changes whenever another connection
    // (in this program or another) commits a change; -1 where unknown. Read
    // inside a ReadSnapshot it belongs to the state the snapshot's reads saw.
    // The observer sees it as "PRAGMA data_version".
    qint64 changeCounter();
    // Runs one statement of the program's own (not of the office's
    // dialect) with bound values; the number of rows it changed. Throws
    // DbError. The statement is prepared once and kept while the connection
    // is open, for statements run row after row.
    int execute(const QString &sql, const QVariantList &binds = {});
    // A statement prepared once per opening and kept for reuse: a register's
    // UPDATE compiles its history triggers, so preparing it per save would
    // cost more than the save.
    QSqlQuery &prepared(const QString &sql);
    QSqlDatabase database() const;
    // What the connection reaches, for messages ("K:\CTF.mdb", "TarnMain on SRV1").
    const QString &describe() const { return m_describe; }
    // The drive a database file lives on (known once open() has read it).
    const dbfile::Drive &drive() const { return m_drive; }
    // A driver's failure text, with what SQLite leaves unsaid (which drive
    // failed, what to do) added.
    QString why(const QString &driverText) const;
    // How long a statement waits for another writer of the file.
    int busySeconds() const { return m_drive.shared ? 30 : 5; }

    // Tests watch every statement sent, as the caller wrote it.
    using StatementObserver = std::function<void(const Connection &, const QString &sql)>;
    static void setStatementObserver(StatementObserver observer);
    void notifyStatement(const QString &sql) const;

    // How long a SQL Server login may go unanswered (tests shorten it).
    static void setLoginSeconds(int seconds) { s_loginSeconds = seconds; }
    static int loginSeconds() { return s_loginSeconds; }

    // A read statement of one shape (accesssql::shape) turned into SQLite and
    // compiled once for the life of the connection; nullptr when that
    // statement is in use by another result, or cannot be prepared.
    struct CompiledShape {
        std::unique_ptr<sqlitenative::Statement> statement;
        bool busy = false;
    };
    std::shared_ptr<CompiledShape> compiledShape(const QString &shapeText);

    // The reads that follow pass over a database file once (the enquiry's
    // rows, written as they are read): no memory map and SQLite's small
    // default cache, so memory does not grow with the file. Not seen by the
    // observer; nothing happens on SQL Server.
    void readInOnePass();

    // Many reads in a row on a database file (an annual return's statements
    // per member) see one state of it and take its read lock once, instead
    // of once per statement. Not a statement of the caller's: the observer
    // does not see it. Nothing happens on SQL Server or inside a transaction.
    class ReadSnapshot {
    public:
        explicit ReadSnapshot(Connection &c);
        ~ReadSnapshot();
        ReadSnapshot(const ReadSnapshot &) = delete;
        ReadSnapshot &operator=(const ReadSnapshot &) = delete;
        // Whether the reads are in one transaction, so that what they read
        // and changeCounter() belong to one state of the file.
        bool active() const { return m_connection != nullptr; }

    private:
        Connection *m_connection = nullptr;
    };

    // What every screen and command says of a register still in Access.
    static QString registerInAccessMessage(const QString &dataSource);

    // What to add to the message of a written file that SQLite finds
    // damaged (its host path given): the register's newest good backup and
    // how to restore it. Set by the register's backups.
    static std::function<QString(const QString &hostPath)> damagedFileAdvice;

    // The value of one key of a connection string (keys ignore case and blanks).
    static QString connectionValue(const QString &connectionString, const QString &key);

private:
    void openJet(const QString &dataSource);
    void useRollbackJournal(QSqlQuery &pragma, const QString &dataSource);
    // The journal, memory map and cache an opened SQLite file is read with.
    void tuneSqlite(QSqlQuery &pragma, JetOpen how, const QString &dataSource, const QString &hostPath);
    void openSqlServer();
    // damagedFileAdvice's text after a blank, or empty.
    static QString damageAdvice(const QString &hostPath);

    static int s_loginSeconds;
    QString m_connectionString;
    QString m_name;
    QString m_describe;
    Backend m_backend = Backend::None;
    bool m_inTransaction = false;
    bool m_readOnly = false;
    QStringList m_accessTables;
    dbfile::Drive m_drive;
    QString m_hostPath; // of a database file, for what its side files say
    QHash<QString, QSqlQuery> m_prepared;
    QHash<QString, std::shared_ptr<CompiledShape>> m_shapes;
    // A file this connection writes is in use while it is open (a restore
    // waits for every desk to close it).
    std::unique_ptr<beside::FileUse> m_use;
};
