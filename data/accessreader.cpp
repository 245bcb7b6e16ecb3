// The reader of genuine Access files: mdbtools' programs run as separate
// processes, their output turned into values by the one set of rules.
#include "data/accessfile.h"
#include "data/accessrows.h"

#include "data/dbfile.h"

#include <QDate>
#include <QProcess>
#include <QRegularExpression>
#include <QTime>
#include <QVariant>
#include <charconv>
#include <cmath>
#include <cstring>

namespace accessfile {
namespace detail {

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

namespace {
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

} // namespace

// One case per kind of Access column; the fast path for every value read,
// so it stays one function.
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

} // namespace detail

using namespace detail;

namespace {
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

} // namespace accessfile
