// Access tables stored into SQLite by the one set of rules: a snapshot
// written whole (convert) or rows added to a new file of the program's own
// (append), every export at once, progress by rows.
#include "data/accessfile.h"
#include "data/accessrows.h"

#include "common/besidefile.h"
#include "common/textfile.h"
#include "data/schema.h"
#include "platform/userinterface.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace accessfile {

using namespace detail;

namespace {
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

} // namespace accessfile
