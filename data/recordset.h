#pragma once
// A result set on one SQL text and one connection. Forward-only read-only
// results stream row by row. Static results hold a snapshot; when they are
// opened with optimistic locking on "SELECT * FROM <table> ..." of a database
// file they are updatable: a row can be added, changed or deleted, and the
// write succeeds only while the row still holds what was read (an update or
// delete whose row changed or vanished fails with DbError and changes
// nothing). Columns are found by name without regard to case, or by position.
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QHash>
#include <QVector>
#include <initializer_list>
#include <memory>
#include <utility>

#include "data/connection.h"

enum class CursorType { ForwardOnly, Static };
enum class LockType { ReadOnly, Optimistic };

class Recordset {
public:
    Recordset();
    ~Recordset();

    void open(const QString &sql, Connection &connection, CursorType cursor = CursorType::ForwardOnly,
              LockType lock = LockType::ReadOnly);
    bool isOpen() const { return m_open; }
    void close();

    bool eof() const;
    void moveFirst();
    void moveNext();

    int fieldCount() const { return int(m_columns.size()); }
    QString fieldName(int position) const { return m_columns.value(position); }
    QVariant value(const QString &column) const;
    QVariant value(int position) const;
    bool isNull(const QString &column) const { return value(column).isNull(); }

    // Static results only.
    int recordCount() const { return int(m_rows.size()); }
    bool updatable() const { return !m_table.isEmpty(); }
    void setValue(const QString &column, const QVariant &value);
    void addNew();
    void update();
    void deleteRow();
    // The caller's own statement (in a transaction that rules out anyone
    // else's change) wrote these values, by column position, into the
    // current row: they become its values, as update() would leave them.
    void acceptValues(std::initializer_list<std::pair<int, QVariant>> changes);
    // A column's position, found by name without regard to case.
    int columnIndex(const QString &column) const;
    // The database's identity of the current row (updatable results).
    qint64 rowId() const;

private:
    void requireRow() const;
    void requireUpdatable(const char *what) const;
    void fetchStreamRow();
    // Every row of a static result into the snapshot, whichever way it is
    // read: `next` steps to a row, `value(i)` reads its column i; with
    // `first` 1, column 0 is the row identity.
    template <typename Next, typename Value>
    void readRows(int first, int n, Next next, Value value);
    // A whole static result read straight from a compiled statement.
    void readAll(sqlitenative::Statement &statement, int first, const Connection &connection, const QString &sql);
    QVector<QVariant> loadRow(qint64 rowid);

    // A row's values as read (or as last saved), packed into one block: a
    // snapshot of 100,000 rows then takes a fraction of what as many
    // QVariant arrays would.
    class Packed {
    public:
        Packed() = default;
        explicit Packed(const QVector<QVariant> &values);
        // Into a vector whose storage is reused row after row.
        void unpackInto(QVector<QVariant> &values) const;

    private:
        QByteArray m_bytes;
    };
    struct Row {
        Packed values;
        QVector<QVariant> edited;    // pending changes, empty when none
        qint64 rowid = -1;           // -1 for a row added and not yet saved
    };
    // update() of a row added and not yet saved.
    void insertRow(Row &row);
    // The current row's values, unpacked once per row visited.
    const QVector<QVariant> &currentValues() const;
    mutable int m_unpackedPos = -1;
    mutable QVector<QVariant> m_unpacked;

    Connection *m_connection = nullptr;
    bool m_open = false;
    bool m_static = false;
    QString m_sql;
    QStringList m_columns;
    mutable QHash<QString, int> m_columnCache;
    QString m_table;                 // updatable results: the table written to
    // Forward-only state.
    std::unique_ptr<QSqlQuery> m_query;
    std::shared_ptr<Connection::CompiledShape> m_shaped; // a statement compiled once for its shape
    QSqlQuery *m_stream = nullptr;                       // the one rows are read from
    QVector<QVariant> m_current;
    bool m_streamEof = true;
    bool m_atFirst = false;
    // Static state.
    QVector<Row> m_rows;
    int m_pos = 0;
};
