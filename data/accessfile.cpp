#include "data/accessfile.h"

#include "common/besidefile.h"
#include "common/error.h"
#include "common/textfile.h"
#include "data/accessexport.h"
#include "data/dbfile.h"
#include "data/schema.h"
#include "platform/officeroot.h"
#include "platform/userinterface.h"

#include <QCryptographicHash>
#include <QtEndian>
#include <QDate>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTime>
#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <sqlite3.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace accessfile {
namespace {

// mdb-export's output: fields and rows split by control characters that
// Access text does not hold, Null as its own mark, dates in full.
const char kField = '\x1f';
const char kRow = '\x1e';
const char kNull = '\x1d';
const char *kDateTimeFormat = "%Y-%m-%d %H:%M:%S";

std::function<void(const QString &)> &conversionObserver()
{
    static std::function<void(const QString &)> o;
    return o;
}

QProcessEnvironment mdbEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MDB_JET3_CHARSET"), QStringLiteral("CP1252"));
    env.insert(QStringLiteral("MDBICONV"), QStringLiteral("UTF-8"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    return env;
}

// Runs an mdbtools program; its whole output. Throws DbError.
QByteArray runTool(const QString &program, const QStringList &args, const QString &shown, const QString &what)
{
    QProcess p;
    p.setProcessEnvironment(mdbEnvironment());
    p.start(program, args);
    if (!p.waitForStarted())
        throw DbError(QStringLiteral("Cannot read the Access database '%1': %2 could not be started (is mdbtools installed?).")
                          .arg(shown, program));
    p.waitForFinished(-1);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        const QString why = QString::fromUtf8(p.readAllStandardError()).trimmed();
        throw DbError(QStringLiteral("Cannot read %1 of the Access database '%2'%3").arg(what, shown, why.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + why));
    }
    return p.readAllStandardOutput();
}

Column::Kind kindOf(const QString &type)
{
    const QString t = type.trimmed().toLower();
    if (t.startsWith(QStringLiteral("text")) || t.startsWith(QStringLiteral("memo")) || t.startsWith(QStringLiteral("replication")))
        return Column::Kind::Text;
    if (t == QStringLiteral("byte") || t == QStringLiteral("integer") || t == QStringLiteral("long integer"))
        return Column::Kind::Integer;
    if (t == QStringLiteral("currency"))
        return Column::Kind::Money;
    if (t == QStringLiteral("datetime"))
        return Column::Kind::Date;
    if (t.startsWith(QStringLiteral("boolean")))
        return Column::Kind::YesNo;
    if (t == QStringLiteral("single") || t == QStringLiteral("double") || t.startsWith(QStringLiteral("numeric")))
        return Column::Kind::Real;
    return Column::Kind::Binary;
}

QString sqliteType(Column::Kind k)
{
    switch (k) {
    case Column::Kind::Text: return QStringLiteral("TEXT COLLATE NOCASE");
    case Column::Kind::Integer:
    case Column::Kind::YesNo: return QStringLiteral("INTEGER");
    case Column::Kind::Real:
    case Column::Kind::Money: return QStringLiteral("NUMERIC");
    case Column::Kind::Date: return QStringLiteral("TEXT");
    case Column::Kind::Binary: return QStringLiteral("BLOB");
    }
    return QString();
}

QString quoted(const QString &name) { return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"'); }

} // namespace

bool isAccessFile(const QString &hostPath)
{
    // The register may be the file asked about, with connections open on it.
    QByteArray head;
    return dbfile::readHead(hostPath, 19, &head, nullptr) && isAccessHeader(head);
}

bool isAccessHeader(const QByteArray &head)
{
    return head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB";
}

int Table::column(const QString &n) const
{
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].name.compare(n, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

namespace {
// One value of mdb-export's output converted by the rules, without copying
// text: what convertValue gives as a QVariant and the conversion binds
// straight into SQLite.
struct Value {
    enum class Type { Null, Integer, Real, Text, Blob } type = Type::Null;
    qint64 integer = 0;
    double real = 0;
    const char *text = nullptr; // Text: into the export's output
    qsizetype size = 0;
    QByteArray blob;
};

bool digitsAt(const char *p, qsizetype n)
{
    for (qsizetype i = 0; i < n; ++i)
        if (p[i] < '0' || p[i] > '9')
            return false;
    return true;
}

int number(const char *p, qsizetype n)
{
    int v = 0;
    for (qsizetype i = 0; i < n; ++i)
        v = v * 10 + (p[i] - '0');
    return v;
}

bool readValue(const char *p, qsizetype n, Column::Kind kind, Value &v)
{
    if (n == 1 && p[0] == kNull) {
        v.type = Value::Type::Null;
        return true;
    }
    switch (kind) {
    case Column::Kind::Text:
        v.type = Value::Type::Text;
        v.text = p;
        v.size = n;
        return true;
    case Column::Kind::Integer:
    case Column::Kind::YesNo: {
        const auto [end, ec] = std::from_chars(p, p + n, v.integer);
        if (ec != std::errc() || end != p + n || n == 0)
            return false;
        if (kind == Column::Kind::YesNo)
            v.integer = v.integer != 0 ? 1 : 0;
        v.type = Value::Type::Integer;
        return true;
    }
    case Column::Kind::Money: {
        // Four decimals at most, read exactly: the nearest double of the
        // decimal text, which prints and reads back as that text.
        const qsizetype sign = n > 0 && p[0] == '-' ? 1 : 0;
        const char *dot = static_cast<const char *>(std::memchr(p, '.', size_t(n)));
        const qsizetype whole = (dot ? dot - p : n) - sign;
        const qsizetype decimals = dot ? n - (dot - p) - 1 : 0;
        if (whole < 1 || !digitsAt(p + sign, whole) || (dot && (decimals < 1 || decimals > 4 || !digitsAt(dot + 1, decimals))))
            return false;
        [[fallthrough]];
    }
    case Column::Kind::Real: {
        const auto [end, ec] = std::from_chars(p, p + n, v.real);
        if (ec != std::errc() || end != p + n || n == 0)
            return false;
        v.type = Value::Type::Real;
        return true;
    }
    case Column::Kind::Date: {
        // "YYYY-MM-DD HH:MM:SS"; mdbtools prints days before 1899-12-30 (and
        // far-future ones such as 9999-12-31) as day 0 of January 1900, which
        // is no date at all.
        if ((n != 10 && n != 19) || !digitsAt(p, 4) || p[4] != '-' || !digitsAt(p + 5, 2) || p[7] != '-' || !digitsAt(p + 8, 2)
            || !QDate::isValid(number(p, 4), number(p + 5, 2), number(p + 8, 2)))
            return false;
        bool midnight = true;
        if (n == 19) {
            if (p[10] != ' ' || !digitsAt(p + 11, 2) || p[13] != ':' || !digitsAt(p + 14, 2) || p[16] != ':' || !digitsAt(p + 17, 2)
                || !QTime::isValid(number(p + 11, 2), number(p + 14, 2), number(p + 17, 2)))
                return false;
            midnight = std::memcmp(p + 11, "00:00:00", 8) == 0;
        }
        v.type = Value::Type::Text;
        v.text = p;
        v.size = midnight ? 10 : 19;
        return true;
    }
    case Column::Kind::Binary:
        v.type = Value::Type::Blob;
        v.blob = QByteArray::fromHex(QByteArray::fromRawData(p, n));
        return true;
    }
    return false;
}
} // namespace

namespace {
QVariant toVariant(const Value &v)
{
    switch (v.type) {
    case Value::Type::Null: return {};
    case Value::Type::Integer: return qlonglong(v.integer);
    case Value::Type::Real: return v.real;
    case Value::Type::Text: return QString::fromUtf8(v.text, v.size);
    case Value::Type::Blob: return v.blob;
    }
    return {};
}

// Takes the whole rows at the start of `pending` (all of it when `last`):
// each field's value to field(column, value), then rowDone() after each
// row; `rows` counts them. Throws DbError naming the file, the table, the
// column and the row.
template <typename Field, typename RowDone>
void splitRows(QByteArray &pending, const Table &t, const QString &shown, qint64 &rows, bool last, Field field, RowDone rowDone)
{
    const char *data = pending.constData();
    const qsizetype size = pending.size();
    const int columns = int(t.columns.size());
    qsizetype start = 0;
    Value v;
    for (;;) {
        const char *end = static_cast<const char *>(std::memchr(data + start, kRow, size_t(size - start)));
        if (!end)
            break;
        const qsizetype rowEnd = end - data;
        ++rows;
        qsizetype at = start;
        for (int column = 0;; ++column) {
            const char *sep = static_cast<const char *>(std::memchr(data + at, kField, size_t(rowEnd - at)));
            const qsizetype fieldEnd = sep ? sep - data : rowEnd;
            if (column >= columns || (!sep && column + 1 != columns))
                throw DbError(QStringLiteral("Cannot read row %1 of table %2 in the Access database '%3': its fields are not the "
                                             "table's %4 columns.").arg(rows).arg(t.name, shown).arg(columns));
            if (!readValue(data + at, fieldEnd - at, t.columns[column].kind, v)) {
                const QString text = QString::fromUtf8(data + at, fieldEnd - at);
                // mdbtools prints a date it cannot convert as day 0 of January
                // 1900: the stored date is before 30 December 1899 or far ahead
                // (31/12/9999, say), and the operator must hear it as that.
                const QString what = t.columns[column].kind == Column::Kind::Date && text.startsWith(QLatin1String("1900-01-00"))
                    ? QStringLiteral("a date that mdbtools cannot read (one before 30 December 1899, or far ahead such as 31/12/9999)")
                    : QStringLiteral("the value \"%1\"").arg(text);
                throw DbError(QStringLiteral("Cannot convert %1 in column %2 of row %3 of table %4 in the Access database '%5'; "
                                             "nothing was stored from it. Put the value right in the Access file, then try again.")
                                  .arg(what, t.columns[column].name)
                                  .arg(rows)
                                  .arg(t.name, shown));
            }
            field(column, v);
            if (!sep)
                break;
            at = fieldEnd + 1;
        }
        rowDone();
        start = rowEnd + 1;
    }
    pending.remove(0, start);
    if (last && !pending.trimmed().isEmpty())
        throw DbError(QStringLiteral("Cannot read table %1 of the Access database '%2': its last row is cut short.").arg(t.name, shown));
}

// The end of one table's export: it must have started and ended well.
void checkEnded(const ExportStreams::Event &e, const Table &t, const QString &shown)
{
    if (!e.started)
        throw DbError(QStringLiteral("Cannot read the Access database '%1': mdb-export could not be started (is mdbtools installed?).")
                          .arg(shown));
    if (e.exitCode != 0) {
        const QString why = QString::fromUtf8(e.errors).trimmed();
        throw DbError(QStringLiteral("Cannot read table %1 of the Access database '%2'%3")
                          .arg(t.name, shown, why.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + why));
    }
}
} // namespace

bool convertValue(const QByteArray &text, Column::Kind kind, QVariant &value)
{
    Value v;
    if (!readValue(text.constData(), text.size(), kind, v))
        return false;
    value = toVariant(v);
    return true;
}

Reader::Reader(const QString &hostPath, const QString &shownPath) : m_host(hostPath), m_shown(shownPath) {}

const QList<Table> &Reader::tables()
{
    if (m_read)
        return m_tables;
    const QString schema = QString::fromUtf8(runTool(QStringLiteral("mdb-schema"), {QStringLiteral("--no-indexes"), QStringLiteral("--no-relations"), m_host, QStringLiteral("access")},
                                                     m_shown, QStringLiteral("the tables")));
    static const QRegularExpression tableLine(QStringLiteral("^CREATE TABLE \\[(.+)\\]\\s*$"));
    static const QRegularExpression columnLine(QStringLiteral("^\\s*\\[(.+)\\]\\s+(.+?)\\s*,?\\s*$"));
    Table *current = nullptr;
    for (const QString &line : schema.split(QLatin1Char('\n'))) {
        if (const auto m = tableLine.match(line); m.hasMatch()) {
            m_tables.append(Table{m.captured(1), {}});
            current = &m_tables.last();
        } else if (line.startsWith(QLatin1Char(')'))) {
            current = nullptr;
        } else if (current) {
            if (const auto column = columnLine.match(line); column.hasMatch()) {
                QString type = column.captured(2);
                type.remove(QStringLiteral(" NOT NULL"));
                current->columns.append(Column{column.captured(1), kindOf(type)});
            }
        }
    }
    if (m_tables.isEmpty())
        throw DbError(QStringLiteral("The Access database '%1' holds no table that can be read; the file may be damaged.").arg(m_shown));
    m_read = true;
    return m_tables;
}

const Table *Reader::table(const QString &name)
{
    for (const Table &t : tables())
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

void Reader::rows(const Table &table, const std::function<void(const QVariantList &)> &each)
{
    ExportStreams stream({exportArguments(table)}, mdbEnvironment(), 0);
    QByteArray pending;
    qint64 rows = 0;
    QVariantList values;
    const auto field = [&](int, const Value &v) { values << toVariant(v); };
    const auto rowDone = [&] {
        each(values);
        values.clear();
    };
    for (ExportStreams::Event e = stream.next(); e.stream >= 0; e = stream.next()) {
        pending.append(e.data);
        if (e.ended)
            checkEnded(e, table, m_shown);
        splitRows(pending, table, m_shown, rows, e.ended, field, rowDone);
    }
    checkWhole(table, rows, listedRows(table));
}

qint64 Reader::listedRows(const Table &table)
{
    bool isNumber = false;
    const qint64 listed = runTool(QStringLiteral("mdb-count"), {m_host, table.name}, m_shown,
                                  QStringLiteral("the number of rows of table ") + table.name)
                              .trimmed()
                              .toLongLong(&isNumber);
    return isNumber ? listed : -1;
}

// mdb-export skips what it cannot read (pages cut off or damaged) and says
// nothing: the rows read must be the rows the table's own definition lists,
// or the figures would be wrong without a word.
void Reader::checkWhole(const Table &table, qint64 read, qint64 listed) const
{
    if (listed != read)
        throw DbError(QStringLiteral("The Access database '%1' is damaged or cut short: its table %2 lists %3 rows, of which %4 could be "
                                     "read. Nothing was taken from it; restore the file from a backup, or repair it in Access.")
                          .arg(m_shown, table.name, listed >= 0 ? QString::number(listed) : QStringLiteral("an unknown number of"))
                          .arg(read));
}

QStringList Reader::exportArguments(const Table &table) const
{
    return {QStringLiteral("-H"), QStringLiteral("-Q"), QStringLiteral("-d"), QString(QLatin1Char(kField)), QStringLiteral("-R"),
            QString(QLatin1Char(kRow)), QStringLiteral("-0"), QString(QLatin1Char(kNull)), QStringLiteral("-b"), QStringLiteral("hex"),
            QStringLiteral("-T"), QString::fromLatin1(kDateTimeFormat), m_host, table.name};
}

namespace {
// A statement on the snapshot being written; throws DbError.
void run(sqlite3 *db, const QString &sql, const QString &file)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString why = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
        throw DbError(QStringLiteral("Cannot write %1: %2").arg(file, why));
    }
}

// One table of a conversion: its inserts, what has come of its export and
// not yet been stored, and the rows stored. Rows go in `perBatch` at a step
// (one statement's work, and AUTOINCREMENT's bookkeeping, once for them
// all); the rows of a chunk of the export that do not fill a batch go one at
// a step, since a row's values are bound where they lie in the chunk.
struct TableWrite {
    sqlite3_stmt *batch = nullptr;
    sqlite3_stmt *single = nullptr;
    int perBatch = 1;
    int columns = 0;
    QByteArray pending;
    qint64 rows = 0;
    qint64 listed = 0;
    QList<DateForm> dates;                      // by column; Iso beyond
    std::vector<std::array<char, 10>> dateText; // day-first dates, bound until their rows are stored

    void finalize()
    {
        sqlite3_finalize(batch);
        sqlite3_finalize(single);
        batch = single = nullptr;
    }
};

sqlite3_stmt *prepare(sqlite3 *db, const QString &sql, const QString &file)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK)
        throw DbError(QStringLiteral("Cannot write %1: %2").arg(file, QString::fromUtf8(sqlite3_errmsg(db))));
    return statement;
}

// `head` ("INSERT INTO t (a, b) VALUES ") and `row` ("(?1, ifnull(?2, 0))",
// ?n the table's n-th column) made into the table's two inserts.
void prepareInserts(sqlite3 *db, TableWrite &w, const Table &t, const QString &head, const QString &row, const QString &file)
{
    static const QRegularExpression parameter(QStringLiteral("\\?(\\d+)"));
    w.columns = int(t.columns.size());
    // Within SQLite's 32,766 parameters a statement, whatever the width.
    w.perBatch = std::clamp(32766 / std::max(w.columns, 1), 1, 16);
    QStringList rows;
    for (int r = 0; r < w.perBatch; ++r) {
        QString numbered;
        qsizetype at = 0;
        for (auto it = parameter.globalMatch(row); it.hasNext();) {
            const auto m = it.next();
            numbered += row.mid(at, m.capturedStart() - at) + QLatin1Char('?') + QString::number(m.captured(1).toInt() + r * w.columns);
            at = m.capturedEnd();
        }
        rows << numbered + row.mid(at);
    }
    w.batch = prepare(db, head + rows.join(QLatin1Char(',')), file);
    w.single = prepare(db, head + row, file);
    w.dateText.resize(size_t(w.perBatch) * size_t(w.columns));
}

// Stores the whole rows of `pending` (all of it when `last`); throws DbError
// naming the file, the table, the column and the row.
void storeRows(sqlite3 *db, TableWrite &w, const Table &t, const QString &shown, bool last)
{
    qint64 whole = 0;
    for (const char *p = w.pending.constData(), *end = p + w.pending.size(); (p = static_cast<const char *>(std::memchr(p, kRow, size_t(end - p)))); ++p)
        ++whole;
    const qint64 batched = whole - whole % w.perBatch;
    qint64 row = 0;
    const auto step = [&](sqlite3_stmt *insert) {
        const int rc = sqlite3_step(insert);
        sqlite3_reset(insert);
        if (rc != SQLITE_DONE)
            throw DbError(QStringLiteral("Cannot store a row of table %1: %2").arg(t.name, QString::fromUtf8(sqlite3_errmsg(db))));
    };
    splitRows(
        w.pending, t, shown, w.rows, last,
        [&](int column, const Value &v) {
            sqlite3_stmt *insert = row < batched ? w.batch : w.single;
            const int slot = row < batched ? int(row % w.perBatch) : 0;
            const int at = slot * w.columns + column + 1;
            switch (v.type) {
            case Value::Type::Null: sqlite3_bind_null(insert, at); break;
            case Value::Type::Integer: sqlite3_bind_int64(insert, at, v.integer); break;
            case Value::Type::Real: sqlite3_bind_double(insert, at, v.real); break;
            case Value::Type::Text:
                if (const DateForm form = w.dates.value(column, DateForm::Iso); form != DateForm::Iso && t.columns[column].kind == Column::Kind::Date) {
                    // "YYYY-MM-DD..." (checked by readValue) as "DD/MM/YYYY" or "DD/MM/YY".
                    std::array<char, 10> &d = w.dateText[size_t(slot * w.columns + column)];
                    const bool shortYear = form == DateForm::DayFirstShortYear;
                    d = {v.text[8], v.text[9], '/', v.text[5], v.text[6], '/', v.text[shortYear ? 2 : 0], v.text[shortYear ? 3 : 1], v.text[2], v.text[3]};
                    sqlite3_bind_text(insert, at, d.data(), shortYear ? 8 : 10, SQLITE_STATIC);
                    break;
                }
                sqlite3_bind_text(insert, at, v.text, int(v.size), SQLITE_STATIC);
                break;
            case Value::Type::Blob: sqlite3_bind_blob(insert, at, v.blob.constData(), int(v.blob.size()), SQLITE_TRANSIENT); break;
            }
        },
        [&] {
            ++row;
            if (row > batched)
                step(w.single);
            else if (row % w.perBatch == 0)
                step(w.batch);
        });
}
} // namespace

namespace {
sqlite3 *openForWriting(const QString &file, int flags, const QString &shownFile)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, flags | SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        const QString why = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        throw DbError(QStringLiteral("Cannot %1 %2: %3").arg((flags & SQLITE_OPEN_CREATE) ? QStringLiteral("create") : QStringLiteral("open"), shownFile, why));
    }
    return db;
}

// Every export of `tables` at once, each row stored by its table's insert
// as it comes; progress by rows. `indexes`: each table's known indexes built
// as soon as its rows are in, while the larger tables' exports go on.
// Throws DbError; the inserts are the caller's to finalize.
void storeAll(Reader &reader, const QList<Table> &tables, std::vector<TableWrite> &writes, sqlite3 *db, const QString &file,
              const QString &shownPath, bool indexes)
{
    qint64 total = 0;
    QList<QStringList> exports;
    int largest = 0;
    for (qsizetype k = 0; k < tables.size(); ++k) {
        total += writes[size_t(k)].listed = reader.listedRows(tables[k]);
        exports << reader.exportArguments(tables[k]);
        if (writes[size_t(k)].listed > writes[size_t(largest)].listed)
            largest = int(k);
    }
    ExportStreams streams(exports, mdbEnvironment(), largest);
    QElapsedTimer shown;
    shown.start();
    bool firstShown = true;
    qint64 stored = 0;
    for (ExportStreams::Event e = streams.next(); e.stream >= 0; e = streams.next()) {
        TableWrite &w = writes[size_t(e.stream)];
        const Table &t = tables[e.stream];
        const qint64 before = w.rows;
        if (!e.data.isEmpty()) {
            w.pending.append(e.data);
            storeRows(db, w, t, shownPath, false);
        }
        QStringList toBuild;
        if (e.ended) {
            checkEnded(e, t, shownPath);
            storeRows(db, w, t, shownPath, true);
            reader.checkWhole(t, w.rows, w.listed);
            if (indexes) {
                QStringList names;
                for (const Column &c : t.columns)
                    names << c.name;
                toBuild = schema::indexesFor(t.name, names);
            }
        }
        stored += w.rows - before;
        // The first rows, then five times a second at most; and before a
        // table's indexes, which at the end of the largest take a while with
        // every row read.
        if (firstShown || shown.elapsed() >= 200 || !toBuild.isEmpty()) {
            firstShown = false;
            shown.restart();
            const int percent = total > 0 ? int(100 * stored / total) : 0;
            const QString indexing = toBuild.isEmpty() ? QString() : QStringLiteral("; indexing ") + t.name;
            if (!ui::current().progress(QStringLiteral("Reading %1: %2 of %3 rows%4").arg(shownPath).arg(stored).arg(total).arg(indexing), percent))
                throw DbError(QStringLiteral("The reading of the Access database '%1' was cancelled; nothing was kept from it.").arg(shownPath));
        }
        for (const QString &index : toBuild)
            run(db, index, file);
    }
}

// Opens `file`, runs `body` on it and closes it whatever happens, the
// tables' inserts finalized and the progress shown ended; throws DbError
// with what failed.
void writeInto(const QString &file, int flags, std::vector<TableWrite> &writes, const std::function<void(sqlite3 *)> &body,
               const QString &shownFile)
{
    sqlite3 *db = nullptr;
    QString failure;
    try {
        db = openForWriting(file, flags, shownFile);
        body(db);
    } catch (const CtfError &e) {
        failure = e.description();
    }
    for (TableWrite &w : writes)
        w.finalize();
    if (sqlite3_close(db) != SQLITE_OK && failure.isNull())
        failure = QStringLiteral("Cannot write %1: it could not be closed.").arg(shownFile);
    ui::current().progress(QString(), -1);
    if (!failure.isNull())
        throw DbError(failure);
}
} // namespace

void convert(const QString &hostPath, const QString &shownPath, const QString &target, const QStringList &only, const QString &targetShown)
{
    if (conversionObserver())
        conversionObserver()(shownPath);
    const QString shown = targetShown.isEmpty() ? target : targetShown;
    Reader reader(hostPath, shownPath);
    QList<Table> tables;
    for (const Table &t : reader.tables())
        if (only.isEmpty() || only.contains(t.name, Qt::CaseInsensitive))
            tables << t;
    std::vector<TableWrite> writes(size_t(tables.size()));
    // Written under a name of this run's own, created new, and renamed over
    // the target only when complete: two conversions at once never share a
    // file, and what a killed one leaves is swept (it holds members' data).
    const beside::FolderHold hold(QFileInfo(target).absolutePath());
    const QString partial = beside::ownName(target);
    const int fd = beside::createNew(partial);
    if (fd < 0)
        throw DbError(QStringLiteral("Cannot create %1: %2").arg(shown, QString::fromLocal8Bit(std::strerror(errno))));
    ::close(fd); // SQLite opens it: an empty file is an empty database
    try {
        writeInto(partial, 0, writes, [&](sqlite3 *db) {
            // A snapshot is written once, whole, and thrown away on any failure;
            // large pages take long rows of transactions with less work per row.
            run(db, QStringLiteral("PRAGMA page_size=16384; PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA locking_mode=EXCLUSIVE; "
                                   "PRAGMA cache_size=-8192; PRAGMA threads=2; BEGIN"), shown);
            for (qsizetype k = 0; k < tables.size(); ++k) {
                const Table &t = tables[k];
                QStringList columns, marks;
                for (const Column &c : t.columns) {
                    columns << quoted(c.name) + QLatin1Char(' ') + sqliteType(c.kind);
                    marks << QStringLiteral("?%1").arg(marks.size() + 1);
                }
                run(db, QStringLiteral("CREATE TABLE %1 (%2)").arg(quoted(t.name), columns.join(QStringLiteral(", "))), shown);
                prepareInserts(db, writes[size_t(k)], t, QStringLiteral("INSERT INTO %1 VALUES ").arg(quoted(t.name)),
                               QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')'), shown);
            }
            storeAll(reader, tables, writes, db, shown, shownPath, true);
            for (TableWrite &w : writes)
                w.finalize();
            run(db, QStringLiteral("COMMIT"), shown);
        }, shown);
    } catch (const DbError &) {
        QFile::remove(partial);
        throw;
    }
    // Never more open than the file it came from, and never open to other
    // users of the machine: it holds members' names and NI numbers.
    struct stat source {};
    const mode_t mode = ::stat(QFile::encodeName(hostPath).constData(), &source) == 0 ? (source.st_mode & textfile::kPrivateFileMode) : 0600;
    ::chmod(QFile::encodeName(partial).constData(), mode);
    if (::rename(QFile::encodeName(partial).constData(), QFile::encodeName(target).constData()) != 0) {
        const int err = errno;
        QFile::remove(partial);
        throw DbError(QStringLiteral("Cannot put %1 in place: %2").arg(shown, QString::fromLocal8Bit(std::strerror(err))));
    }
}

qint64 append(Reader &reader, const QString &target, const QHash<QString, Insert> &inserts)
{
    const QString &shownPath = reader.shownPath();
    if (conversionObserver())
        conversionObserver()(shownPath);
    QList<Table> tables;
    for (const Table &t : reader.tables())
        if (inserts.contains(t.name.toLower()))
            tables << t;
    std::vector<TableWrite> writes(size_t(tables.size()));
    writeInto(target, 0, writes, [&](sqlite3 *db) {
        sqlite3_stmt *mode = prepare(db, QStringLiteral("PRAGMA journal_mode"), target);
        const QString journal = sqlite3_step(mode) == SQLITE_ROW ? QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(mode, 0)))
                                                                 : QStringLiteral("delete");
        sqlite3_finalize(mode);
        // The file is new and thrown away on any failure: no journal; its
        // indexes kept up row by row, on this thread while mdb-export
        // reads on the other core, with a cache that holds them.
        run(db, QStringLiteral("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA locking_mode=EXCLUSIVE; PRAGMA cache_size=-32768; BEGIN"),
            target);
        for (qsizetype k = 0; k < tables.size(); ++k) {
            const Insert insert = inserts.value(tables[k].name.toLower());
            prepareInserts(db, writes[size_t(k)], tables[k], insert.head, insert.row, target);
            writes[size_t(k)].dates = insert.dates;
        }
        storeAll(reader, tables, writes, db, target, shownPath, false);
        for (TableWrite &w : writes)
            w.finalize();
        run(db, QStringLiteral("COMMIT; PRAGMA locking_mode=NORMAL; PRAGMA journal_mode=%1").arg(journal), target);
    }, target);
    qint64 rows = 0;
    for (const TableWrite &w : writes)
        rows += w.rows;
    return rows;
}

QString versionKey(const QString &hostPath)
{
    struct stat st {};
    if (::stat(QFile::encodeName(hostPath).constData(), &st) != 0)
        return {};
    return QStringLiteral("%1-%2.%3-%4.%5-%6")
        .arg(qint64(st.st_size))
        .arg(qint64(st.st_mtim.tv_sec)).arg(qint64(st.st_mtim.tv_nsec))
        .arg(qint64(st.st_ctim.tv_sec)).arg(qint64(st.st_ctim.tv_nsec))
        .arg(quint64(st.st_ino));
}

namespace {
QString snapshotOfCurrentVersion(const QString &hostPath, const QString &shownPath);

// The snapshots taken while a OneVersionPerFile lives, by the file's path.
struct Pinned {
    QMutex mutex;
    int scopes = 0;
    QHash<QString, QString> files;
};
Pinned &pinned()
{
    static Pinned p;
    return p;
}
} // namespace

OneVersionPerFile::OneVersionPerFile()
{
    const QMutexLocker lock(&pinned().mutex);
    ++pinned().scopes;
}

OneVersionPerFile::~OneVersionPerFile()
{
    const QMutexLocker lock(&pinned().mutex);
    if (--pinned().scopes == 0)
        pinned().files.clear();
}

QString snapshot(const QString &hostPath, const QString &shownPath)
{
    const QString absolute = QFileInfo(hostPath).absoluteFilePath();
    {
        const QMutexLocker lock(&pinned().mutex);
        if (const auto it = pinned().files.constFind(absolute); it != pinned().files.cend() && QFileInfo::exists(*it))
            return *it;
    }
    const QString file = snapshotOfCurrentVersion(hostPath, shownPath);
    const QMutexLocker lock(&pinned().mutex);
    if (pinned().scopes > 0)
        pinned().files.insert(absolute, file);
    return file;
}

namespace {
QString snapshotOfCurrentVersion(const QString &hostPath, const QString &shownPath)
{
    const QFileInfo info(hostPath);
    const QByteArray pathHash = QCryptographicHash::hash(info.absoluteFilePath().toUtf8(), QCryptographicHash::Sha1);
    const QByteArray pathKey = pathHash.toHex().left(16);
    const QString folder = officeroot::path() + QStringLiteral("/cache/access");
    if (!QDir().mkpath(folder)
        || ::chmod(QFile::encodeName(officeroot::path() + QStringLiteral("/cache")).constData(), 0700) != 0
        || ::chmod(QFile::encodeName(folder).constData(), 0700) != 0)
        throw DbError(QStringLiteral("Cannot read the Access database '%1': the folder for the copies of Access files in the office "
                                     "root %2 cannot be made.").arg(shownPath, officeroot::path()));
    const QString prefix = QString::fromLatin1(pathKey) + QLatin1Char('-');
    // A file that changes while it is read (Tarnwell writing it, a copy
    // over it) would give a snapshot of no one version: the version is
    // checked before and after, and the file read again when they differ.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QString before = versionKey(hostPath);
        if (before.isEmpty())
            throw DbError(QStringLiteral("Could not find file '%1'.").arg(shownPath));
        const QString file = folder + QLatin1Char('/') + prefix + before + QStringLiteral(".sqlite");
        if (QFileInfo::exists(file))
            return file;
        // One conversion of a version however many programs ask for it at
        // once: the others wait for it (the lock is the file server's where
        // the office root is on one) and then read what it made.
        beside::FolderHold hold(folder);
        bool waited = false;
        const bool claimed = hold.claimWaiting(qFromBigEndian<quint32>(pathHash.constData()), [&] {
            waited = true;
            return ui::current().progress(QStringLiteral("Waiting while another program reads %1").arg(shownPath), 0);
        });
        if (waited)
            ui::current().progress(QString(), -1);
        if (!claimed)
            throw DbError(QStringLiteral("The reading of the Access database '%1' was cancelled; nothing was kept from it.").arg(shownPath));
        if (QFileInfo::exists(file))
            return file; // made by the program waited for
        try {
            // Only the tables the program reads: Tarnwell's other tables (loans,
            // audit trails) would cost time, and a value in them that mdbtools
            // cannot read would stop the annual return for nothing. The
            // register's table too, by which an Access register is known.
            static const QStringList read = schema::tarnwellTables() + QStringList{QStringLiteral("ChildTrustFunds")};
            convert(hostPath, shownPath, file, read, QStringLiteral("the copy of %1 kept for reading").arg(shownPath));
        } catch (const DbError &) {
            // Read while it was being written: try again; otherwise the
            // file itself is at fault.
            if (versionKey(hostPath) != before)
                continue;
            throw;
        }
        if (versionKey(hostPath) != before) {
            QFile::remove(file);
            continue;
        }
        // Snapshots of earlier versions of the same file are of no more use.
        for (const QString &old : QDir(folder).entryList({prefix + QStringLiteral("*.sqlite")}, QDir::Files))
            if (folder + QLatin1Char('/') + old != file)
                QFile::remove(folder + QLatin1Char('/') + old);
        return file;
    }
    throw DbError(QStringLiteral("The Access database '%1' changed each time it was read, so no figures were taken from it. "
                                 "Try again when Tarnwell has finished writing it.").arg(shownPath));
}

} // namespace

void setConversionObserver(std::function<void(const QString &)> observer) { conversionObserver() = std::move(observer); }

} // namespace accessfile
