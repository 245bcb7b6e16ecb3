#pragma once
// Reads on a database file straight through SQLite, for the statements run
// again and again with other values (one set per member of an annual
// return): compiled once, their values bound, each column converted only
// when it is read. Values come out as Qt's SQLite driver gives them (whole
// numbers as qlonglong, decimals as double, text as QString, Null as a null
// QVariant), so a result reads the same whichever way it was run.
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace sqlitenative {

// The SQLite handle under a Qt connection; nullptr when it has none.
sqlite3 *handle(const QSqlDatabase &db);

// A compiled statement, finalized with the object (or by finalize(), when
// its connection closes first).
class Statement {
public:
    Statement(sqlite3 *db, sqlite3_stmt *statement);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    // Compiles `sql`; nullptr with the reason in *error when SQLite refuses it.
    static std::unique_ptr<Statement> prepare(sqlite3 *db, const QString &sql, QString *error);

    bool valid() const { return m_statement != nullptr; }
    void finalize();
    const QStringList &columns() const { return m_columns; }
    // Starts a run with the values bound in order; false when they could
    // not be bound (reason in *error).
    bool start(const QVariantList &values, QString *error);
    // The next row: true on a row, false at the end or on a failure (then
    // *error is set).
    bool step(QString *error);
    QVariant value(int column) const;
    // Ends the run, releasing what the read holds.
    void reset();

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_statement;
    QStringList m_columns;
};

} // namespace sqlitenative
