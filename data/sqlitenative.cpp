#include "data/sqlitenative.h"

#include <QSqlDriver>

#include <cstring>
#include <memory>
#include <sqlite3.h>

namespace sqlitenative {

sqlite3 *handle(const QSqlDatabase &db)
{
    const QVariant h = db.driver() ? db.driver()->handle() : QVariant();
    if (!h.isValid() || std::strcmp(h.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(h.data());
}

Statement::Statement(sqlite3 *db, sqlite3_stmt *statement) : m_db(db), m_statement(statement)
{
    const int n = sqlite3_column_count(statement);
    for (int i = 0; i < n; ++i)
        // Column names as Qt's driver gives them: without double quotes.
        m_columns << QString::fromUtf8(sqlite3_column_name(statement, i)).remove(QLatin1Char('"'));
}

Statement::~Statement() { finalize(); }

void Statement::finalize()
{
    sqlite3_finalize(m_statement);
    m_statement = nullptr;
}

std::unique_ptr<Statement> Statement::prepare(sqlite3 *db, const QString &sql, QString *error)
{
    sqlite3_stmt *statement = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v3(db, text.constData(), int(text.size()), SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK
        || !statement) {
        *error = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(statement);
        return nullptr;
    }
    return std::make_unique<Statement>(db, statement);
}

bool Statement::start(const QVariantList &values, QString *error)
{
    if (!m_statement) {
        *error = QStringLiteral("the database was closed");
        return false;
    }
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
    for (int i = 0; i < values.size(); ++i) {
        const QVariant &v = values[i];
        int rc = SQLITE_OK;
        if (v.isNull()) {
            rc = sqlite3_bind_null(m_statement, i + 1);
        } else {
            switch (v.typeId()) {
            case QMetaType::Int:
            case QMetaType::LongLong:
            case QMetaType::UInt:
            case QMetaType::Bool:
                rc = sqlite3_bind_int64(m_statement, i + 1, v.toLongLong());
                break;
            case QMetaType::Double:
                rc = sqlite3_bind_double(m_statement, i + 1, v.toDouble());
                break;
            default: {
                const QString text = v.toString();
                rc = sqlite3_bind_text16(m_statement, i + 1, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
            }
            }
        }
        if (rc != SQLITE_OK) {
            *error = QString::fromUtf8(sqlite3_errmsg(m_db));
            return false;
        }
    }
    return true;
}

bool Statement::step(QString *error)
{
    if (!m_statement) {
        *error = QStringLiteral("the database was closed");
        return false;
    }
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        *error = QString::fromUtf8(sqlite3_errmsg(m_db));
    return false;
}

QVariant Statement::value(int column) const
{
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(m_statement, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_statement, column));
    case SQLITE_NULL:
        return QVariant();
    case SQLITE_BLOB: {
        const void *bytes = sqlite3_column_blob(m_statement, column);
        return QVariant(QByteArray(static_cast<const char *>(bytes), sqlite3_column_bytes(m_statement, column)));
    }
    default: {
        // Read as stored (UTF-8) and widened by Qt, faster than SQLite's own
        // UTF-16 conversion.
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
        return QVariant(QString::fromUtf8(text, sqlite3_column_bytes(m_statement, column)));
    }
    }
}

void Statement::reset()
{
    if (m_statement)
        sqlite3_reset(m_statement);
}

} // namespace sqlitenative
