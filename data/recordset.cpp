#include "data/recordset.h"

#include "common/error.h"
#include "data/accesssql.h"
#include "data/connection.h"
#include "data/sqlitenative.h"
#include "data/sqlserver.h"

#include <QDataStream>
#include <QIODevice>
#include <QRegularExpression>

#include <cstring>
#include <QSqlError>
#include <QSqlRecord>

namespace {
const QString kRowid = QStringLiteral("ctfadmin_rowid");

QString failure(const Connection &c, const QString &sql, const QString &why)
{
    if (c.backend() == Connection::Backend::SqlServer && why.contains(QStringLiteral("Timeout expired"), Qt::CaseInsensitive))
        return QStringLiteral("The database %1 did not answer within %2 seconds the statement \"%3\".")
            .arg(c.describe())
            .arg(sqlserver::kStatementSeconds)
            .arg(sql);
    return QStringLiteral("The database %1 refused the statement \"%2\": %3")
        .arg(c.describe(), sql, c.why(why));
}

QString failure(const Connection &c, const QString &sql, const QSqlError &e) { return failure(c, sql, e.text()); }
} // namespace

Recordset::Recordset() = default;
Recordset::~Recordset() { close(); }

void Recordset::close()
{
    if (m_shaped) {
        m_shaped->statement->reset();
        m_shaped->busy = false;
        m_shaped.reset();
    }
    m_stream = nullptr;
    m_query.reset();
    m_rows.clear();
    m_unpackedPos = -1;
    m_columns.clear();
    m_columnCache.clear();
    m_table.clear();
    m_open = false;
    m_streamEof = true;
}

template <typename Next, typename Value>
void Recordset::readRows(int first, int n, Next next, Value value)
{
    QVector<QVariant> values;
    values.reserve(n - first);
    while (next()) {
        Row row;
        values.clear();
        for (int i = first; i < n; ++i)
            values << value(i);
        row.values = Packed(values);
        if (first == 1)
            row.rowid = value(0).toLongLong();
        m_rows << std::move(row);
    }
}

// The three ways a statement is read (compiled once for its shape, straight
// through SQLite, through Qt's driver) are tried in this order; each returns
// as soon as it has the rows, so they read best together.
void Recordset::open(const QString &sql, Connection &connection, CursorType cursor, LockType lock)
{
    close();
    connection.notifyStatement(sql);
    if (!connection.isOpen())
        throw DbError(QStringLiteral("The database %1 is not open.").arg(connection.describe()));
    m_connection = &connection;
    m_sql = sql;
    m_static = cursor == CursorType::Static;
    const bool sqlite = connection.backend() == Connection::Backend::Sqlite;
    // A read run again and again with other values (a statement per member)
    // is compiled once for its shape and run with its values bound.
    if (!m_static && sqlite) {
        const accesssql::Shape shape = accesssql::shape(sql);
        if (auto compiled = connection.compiledShape(shape.text)) {
            QString error;
            if (!compiled->statement->start(shape.values, &error))
                throw DbError(failure(connection, sql, error));
            compiled->busy = true;
            m_shaped = compiled;
            m_columns = compiled->statement->columns();
            m_open = true;
            fetchStreamRow();
            m_atFirst = true;
            return;
        }
    }
    QString text = sqlite ? accesssql::toSqlite(sql) : sql;

    // An updatable result on one table carries the row identity it writes back by.
    bool withRowid = false;
    if (m_static && lock == LockType::Optimistic && sqlite) {
        static const QRegularExpression selectAll(
            QStringLiteral("^\\s*select\\s+\\*\\s+from\\s+\\[?([A-Za-z_][A-Za-z0-9_]*)\\]?(\\s.*|;.*)?$"),
            QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
        if (const auto m = selectAll.match(text); m.hasMatch()) {
            m_table = m.captured(1);
            text = QStringLiteral("SELECT rowid AS ") + kRowid + QStringLiteral(", * FROM ") + m_table + m.captured(2);
            withRowid = true;
        }
    }

    // A static result on SQLite is read straight through SQLite: Qt's driver
    // would cache every value once more on the way. A statement SQLite
    // refuses goes the driver's way, which words the refusal as it always has.
    if (m_static && sqlite)
        if (sqlite3 *db = sqlitenative::handle(connection.database())) {
            QString error;
            if (const auto statement = sqlitenative::Statement::prepare(db, text, &error)) {
                readAll(*statement, withRowid ? 1 : 0, connection, sql);
                return;
            }
        }

    auto query = std::make_unique<QSqlQuery>(connection.database());
    query->setForwardOnly(true);
    if (!query->exec(text))
        throw DbError(failure(connection, sql, query->lastError()));
    const QSqlRecord rec = query->record();
    const int first = withRowid ? 1 : 0;
    for (int i = first; i < rec.count(); ++i)
        m_columns << rec.fieldName(i);

    if (!m_static) {
        m_query = std::move(query);
        m_stream = m_query.get();
        m_open = true;
        fetchStreamRow();
        m_atFirst = true;
        return;
    }
    readRows(first, rec.count(), [&] { return query->next(); }, [&](int i) { return query->value(i); });
    if (query->lastError().isValid())
        throw DbError(failure(connection, sql, query->lastError()));
    m_pos = 0;
    m_open = true;
}

void Recordset::readAll(sqlitenative::Statement &statement, int first, const Connection &connection, const QString &sql)
{
    QString error;
    if (!statement.start({}, &error))
        throw DbError(failure(connection, sql, error));
    m_columns = statement.columns().mid(first);
    readRows(first, int(statement.columns().size()), [&] { return statement.step(&error); }, [&](int i) { return statement.value(i); });
    statement.reset();
    if (!error.isEmpty())
        throw DbError(failure(connection, sql, error));
    m_pos = 0;
    m_open = true;
}

void Recordset::fetchStreamRow()
{
    m_atFirst = false;
    if (m_shaped) {
        QString error;
        m_streamEof = !m_shaped->statement->step(&error);
        if (!error.isEmpty())
            throw DbError(failure(*m_connection, m_sql, error));
        return;
    }
    m_streamEof = !m_stream->next();
    if (m_streamEof && m_stream->lastError().isValid())
        throw DbError(failure(*m_connection, m_sql, m_stream->lastError()));
}

bool Recordset::eof() const
{
    if (!m_open)
        return true;
    return m_static ? m_pos >= m_rows.size() : m_streamEof;
}

void Recordset::moveFirst()
{
    if (!m_open)
        throw DbError(QStringLiteral("The result is not open."));
    if (m_static) {
        m_pos = 0;
        return;
    }
    if (m_atFirst)
        return;
    // A forward-only result starts again by running its statement again.
    Connection *c = m_connection;
    const QString sql = m_sql;
    open(sql, *c, CursorType::ForwardOnly, LockType::ReadOnly);
}

void Recordset::moveNext()
{
    if (eof())
        throw DbError(QStringLiteral("There is no current row to move on from."));
    if (m_static)
        ++m_pos;
    else
        fetchStreamRow();
}

int Recordset::columnIndex(const QString &column) const
{
    // Callers name the same columns row after row: remember each name as given.
    if (const auto known = m_columnCache.constFind(column); known != m_columnCache.cend())
        return *known;
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].compare(column, Qt::CaseInsensitive) == 0) {
            m_columnCache.insert(column, i);
            return i;
        }
    throw DbError(QStringLiteral("The result of \"%1\" has no column %2.").arg(m_sql, column));
}

void Recordset::requireRow() const
{
    if (eof())
        throw DbError(QStringLiteral("There is no current row in the result of \"%1\".").arg(m_sql));
}

QVariant Recordset::value(int position) const
{
    requireRow();
    if (position < 0 || position >= m_columns.size())
        throw DbError(QStringLiteral("The result of \"%1\" has no column %2.").arg(m_sql).arg(position));
    if (m_shaped)
        return m_shaped->statement->value(position);
    if (!m_static)
        return m_stream->value(position);
    const Row &row = m_rows[m_pos];
    return row.edited.isEmpty() ? currentValues()[position] : row.edited[position];
}

QVariant Recordset::value(const QString &column) const { return value(columnIndex(column)); }

void Recordset::requireUpdatable(const char *what) const
{
    if (!m_open || !m_static || m_table.isEmpty())
        throw DbError(QStringLiteral("Cannot %1: the result of \"%2\" cannot be changed.").arg(QString::fromLatin1(what), m_sql));
}

void Recordset::setValue(const QString &column, const QVariant &v)
{
    requireUpdatable("set a column");
    requireRow();
    const int i = columnIndex(column);
    Row &row = m_rows[m_pos];
    if (row.edited.isEmpty())
        row.edited = currentValues();
    row.edited[i] = v;
}

void Recordset::addNew()
{
    requireUpdatable("add a row");
    Row row;
    row.edited.resize(m_columns.size());
    row.values = Packed(row.edited);
    m_rows << row;
    m_pos = int(m_rows.size()) - 1;
}

QVector<QVariant> Recordset::loadRow(qint64 rowid)
{
    QSqlQuery q(m_connection->database());
    q.prepare(QStringLiteral("SELECT * FROM ") + m_table + QStringLiteral(" WHERE rowid = ?"));
    q.addBindValue(rowid);
    QVector<QVariant> values;
    if (q.exec() && q.next())
        for (int i = 0; i < q.record().count(); ++i)
            values << q.value(i);
    return values;
}

void Recordset::insertRow(Row &row)
{
    QSqlQuery q(m_connection->database());
    QStringList names, marks;
    QVariantList binds;
    for (int i = 0; i < m_columns.size(); ++i) {
        if (row.edited[i].isNull())
            continue;
        names << '"' + m_columns[i] + '"';
        marks << QStringLiteral("?");
        binds << row.edited[i];
    }
    const QString sql = names.isEmpty()
        ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(m_table)
        : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(m_table, names.join(','), marks.join(','));
    q.prepare(sql);
    for (const QVariant &b : binds)
        q.addBindValue(b);
    if (!q.exec())
        throw DbError(QStringLiteral("Cannot add the row to %1 in %2: %3").arg(m_table, m_connection->describe(), m_connection->why(q.lastError().text())));
    row.rowid = q.lastInsertId().toLongLong();
    QVector<QVariant> stored = loadRow(row.rowid);
    row.values = Packed(stored.size() == m_columns.size() ? stored : row.edited);
    row.edited.clear();
    m_unpackedPos = -1;
}

void Recordset::update()
{
    requireUpdatable("save the row");
    requireRow();
    Row &row = m_rows[m_pos];
    if (row.edited.isEmpty())
        return;
    if (row.rowid < 0) {
        insertRow(row);
        return;
    }
    QStringList sets, checks;
    QVariantList setBinds, checkBinds;
    const QVector<QVariant> &values = currentValues();
    for (int i = 0; i < m_columns.size(); ++i) {
        const QString col = '"' + m_columns[i] + '"';
        if (row.edited[i] != values[i] || row.edited[i].isNull() != values[i].isNull()) {
            sets << col + QStringLiteral(" = ?");
            setBinds << row.edited[i];
        }
        checks << col + QStringLiteral(" IS ? COLLATE BINARY");
        checkBinds << values[i];
    }
    if (sets.isEmpty()) {
        row.edited.clear();
        return;
    }
    QSqlQuery &q = m_connection->prepared(QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ? AND %3").arg(m_table, sets.join(", "), checks.join(" AND ")));
    for (const QVariant &b : setBinds)
        q.addBindValue(b);
    q.addBindValue(row.rowid);
    for (const QVariant &b : checkBinds)
        q.addBindValue(b);
    if (!q.exec())
        throw DbError(QStringLiteral("Cannot save the row of %1 in %2: %3").arg(m_table, m_connection->describe(), m_connection->why(q.lastError().text())));
    if (q.numRowsAffected() != 1)
        throw DbError(QStringLiteral("Cannot save the row of %1 in %2: it was changed or deleted by someone else "
                                     "since it was read. Nothing was saved; look the entry up again.")
                          .arg(m_table, m_connection->describe()));
    // The columns' affinity gives back what was bound (a number in a text
    // column reads as its text, and compares equal to it), so the row is not
    // read again.
    row.values = Packed(row.edited);
    row.edited.clear();
    m_unpackedPos = -1;
}

void Recordset::acceptValues(std::initializer_list<std::pair<int, QVariant>> changes)
{
    requireUpdatable("save the row");
    requireRow();
    Row &row = m_rows[m_pos];
    if (!row.edited.isEmpty())
        throw DbError(QStringLiteral("Cannot accept values over pending changes in the result of \"%1\".").arg(m_sql));
    // The unpacked copy of the current row becomes the row as saved, so the
    // next read of it needs no unpacking.
    currentValues();
    for (const auto &[position, v] : changes) {
        if (position < 0 || position >= m_unpacked.size())
            throw DbError(QStringLiteral("The result of \"%1\" has no column %2.").arg(m_sql).arg(position));
        m_unpacked[position] = v;
    }
    row.values = Packed(m_unpacked);
}

qint64 Recordset::rowId() const
{
    requireUpdatable("name the row");
    requireRow();
    return m_rows[m_pos].rowid;
}

void Recordset::deleteRow()
{
    requireUpdatable("delete the row");
    requireRow();
    Row &row = m_rows[m_pos];
    if (row.rowid >= 0) {
        QStringList checks;
        for (const QString &c : m_columns)
            checks << '"' + c + QStringLiteral("\" IS ? COLLATE BINARY");
        QSqlQuery q(m_connection->database());
        q.prepare(QStringLiteral("DELETE FROM %1 WHERE rowid = ? AND %2").arg(m_table, checks.join(" AND ")));
        q.addBindValue(row.rowid);
        for (const QVariant &v : currentValues())
            q.addBindValue(v);
        if (!q.exec())
            throw DbError(QStringLiteral("Cannot delete the row of %1 in %2: %3").arg(m_table, m_connection->describe(), m_connection->why(q.lastError().text())));
        if (q.numRowsAffected() != 1)
            throw DbError(QStringLiteral("Cannot delete the row of %1 in %2: it was changed or deleted by someone else "
                                         "since it was read. Nothing was deleted.").arg(m_table, m_connection->describe()));
    }
    m_rows.removeAt(m_pos);
    m_unpackedPos = -1;
}

const QVector<QVariant> &Recordset::currentValues() const
{
    if (m_unpackedPos != m_pos) {
        m_rows[m_pos].values.unpackInto(m_unpacked);
        m_unpackedPos = m_pos;
    }
    return m_unpacked;
}

namespace {
enum Tag : char { Null, Integer, Real, Latin1, Utf16, Bytes, Other };

template <typename T>
void put(QByteArray &out, T v)
{
    out.append(reinterpret_cast<const char *>(&v), sizeof v);
}

template <typename T>
T take(const char *&p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    p += sizeof v;
    return v;
}

bool fitsLatin1(const QString &s)
{
    for (QChar c : s)
        if (c.unicode() > 0xff)
            return false;
    return true;
}

void putBlock(QByteArray &out, Tag tag, const char *data, qsizetype size)
{
    out.append(char(tag));
    put<qint32>(out, qint32(size));
    out.append(data, size);
}
} // namespace

// One case per kind of value packed; the hot path of every read row.
Recordset::Packed::Packed(const QVector<QVariant> &values)
{
    qsizetype size = 0; // the exact size, so that the row takes one allocation
    for (const QVariant &v : values) {
        if (v.isNull())
            size += 1;
        else if (v.typeId() == QMetaType::QString) {
            const QString *text = static_cast<const QString *>(v.constData());
            size += 5 + (fitsLatin1(*text) ? text->size() : text->size() * 2);
        } else if (v.typeId() == QMetaType::QByteArray)
            size += 5 + static_cast<const QByteArray *>(v.constData())->size();
        else
            size += 9;
    }
    m_bytes.reserve(size);
    for (const QVariant &v : values) {
        if (v.isNull()) {
            m_bytes.append(char(Null));
            continue;
        }
        switch (v.typeId()) {
        case QMetaType::LongLong:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Bool:
            m_bytes.append(char(Integer));
            put<qint64>(m_bytes, v.toLongLong());
            break;
        case QMetaType::Double:
            m_bytes.append(char(Real));
            put<double>(m_bytes, v.toDouble());
            break;
        case QMetaType::QString: {
            const QString &text = *static_cast<const QString *>(v.constData());
            if (fitsLatin1(text)) {
                // Narrowed in place: no text copy per column.
                m_bytes.append(char(Latin1));
                put<qint32>(m_bytes, qint32(text.size()));
                const qsizetype at = m_bytes.size();
                m_bytes.resize(at + text.size());
                char *out = m_bytes.data() + at;
                for (QChar c : text)
                    *out++ = char(c.unicode());
            } else {
                putBlock(m_bytes, Utf16, reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
            }
            break;
        }
        case QMetaType::QByteArray: {
            const QByteArray bytes = v.toByteArray();
            putBlock(m_bytes, Bytes, bytes.constData(), bytes.size());
            break;
        }
        default: {
            // Date-times and the like from SQL Server: kept as Qt streams them.
            QByteArray streamed;
            QDataStream out(&streamed, QIODevice::WriteOnly);
            out << v;
            putBlock(m_bytes, Other, streamed.constData(), streamed.size());
        }
        }
    }
    if (m_bytes.capacity() > m_bytes.size())
        m_bytes.squeeze(); // something streamed took more than its guess
}

void Recordset::Packed::unpackInto(QVector<QVariant> &values) const
{
    values.clear();
    const char *p = m_bytes.constData();
    const char *end = p + m_bytes.size();
    while (p < end) {
        const Tag tag = Tag(*p++);
        if (tag == Null) {
            values << QVariant();
            continue;
        }
        if (tag == Integer) {
            values << QVariant(take<qint64>(p));
            continue;
        }
        if (tag == Real) {
            values << QVariant(take<double>(p));
            continue;
        }
        const qint32 n = take<qint32>(p);
        switch (tag) {
        case Latin1: values << QVariant(QString::fromLatin1(p, n)); break;
        case Utf16: values << QVariant(QString(reinterpret_cast<const QChar *>(p), n / 2)); break;
        case Bytes: values << QVariant(QByteArray(p, n)); break;
        default: {
            QDataStream in(QByteArray::fromRawData(p, n));
            QVariant v;
            in >> v;
            values << v;
        }
        }
        p += n;
    }
}

