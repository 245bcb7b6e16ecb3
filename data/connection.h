#pragma once
// A database connection configured by a connection string of the office's
// format. A Jet string ("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=K:\CTF.mdb;...")
// opens the SQLite file at the mapped path and never creates one; an
// SQLOLEDB string opens the SQL Server catalogue through ODBC and FreeTDS.
// Failures throw DbError with a text that names the database; passwords
// never appear in one.
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>
#include <functional>

class Connection {
public:
    enum class Backend { None, Sqlite, SqlServer };

    Connection();
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    void setConnectionString(const QString &connectionString) { m_connectionString = connectionString; }
    const QString &connectionString() const { return m_connectionString; }
    void open();
    bool isOpen() const;
    void close();

    Backend backend() const { return m_backend; }

    // A transaction around several writes; throw DbError. Commits and
    // rollbacks are reported to the statement observer as "COMMIT" and
    // "ROLLBACK".
    void beginTransaction();
    void commit();
    void rollback();
    bool inTransaction() const { return m_inTransaction; }
    // Runs one statement of the program's own (not of the office's
    // dialect) with bound values; the number of rows it changed. Throws DbError.
    int execute(const QString &sql, const QVariantList &binds = {});
    QSqlDatabase database() const;
    // What the connection reaches, for messages ("K:\CTF.mdb", "TarnMain on SRV1").
    const QString &describe() const { return m_describe; }

    // Tests watch every statement sent, as the caller wrote it.
    using StatementObserver = std::function<void(const Connection &, const QString &sql)>;
    static void setStatementObserver(StatementObserver observer);
    void notifyStatement(const QString &sql) const;

    // The value of one key of a connection string (keys ignore case and blanks).
    static QString connectionValue(const QString &connectionString, const QString &key);

private:
    void openJet(const QString &dataSource);
    void openSqlServer();

    QString m_connectionString;
    QString m_name;
    QString m_describe;
    Backend m_backend = Backend::None;
    bool m_inTransaction = false;
};
