#pragma once
// What the three parts of the Access conversion share: mdb-export's output
// split into rows and fields and each value converted by the one set of
// rules (the reader of mdbtools' output, accessreader.cpp), stored into
// SQLite (accesswriter.cpp), kept as snapshots (accesscache.cpp). Nothing
// outside data/access*.cpp includes it.
#include "common/error.h"
#include "data/accessexport.h"
#include "data/accessfile.h"

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <cstring>
#include <functional>

namespace accessfile::detail {

// mdb-export's output: fields and rows split by control characters that
// Access text does not hold, Null as its own mark, dates in full.
inline constexpr char kField = '\x1f';
inline constexpr char kRow = '\x1e';
inline constexpr char kNull = '\x1d';
inline constexpr const char *kDateTimeFormat = "%Y-%m-%d %H:%M:%S";

// Who is told of each conversion (tests).
std::function<void(const QString &)> &conversionObserver();
// The environment every mdbtools program runs in: Jet 3 text in its code
// page, everything handed over as UTF-8.
QProcessEnvironment mdbEnvironment();

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

// One field of mdb-export's output (n bytes at p) converted by the rules
// for its column's kind; false when it cannot be converted faithfully.
bool readValue(const char *p, qsizetype n, Column::Kind kind, Value &v);

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
void checkEnded(const ExportStreams::Event &e, const Table &t, const QString &shown);

} // namespace accessfile::detail
