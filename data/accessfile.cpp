#include "data/accessfile.h"

#include "common/error.h"
#include "common/textfile.h"
#include "data/dbfile.h"
#include "data/schema.h"
#include "platform/officeroot.h"
#include "platform/userinterface.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTime>
#include <atomic>
#include <memory>
#include <sys/stat.h>
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

bool convertValue(const QByteArray &text, Column::Kind kind, QVariant &value)
{
    if (text.size() == 1 && text[0] == kNull) {
        value = QVariant();
        return true;
    }
    bool ok = true;
    switch (kind) {
    case Column::Kind::Text:
        value = QString::fromUtf8(text);
        return true;
    case Column::Kind::Integer:
        value = text.toLongLong(&ok);
        return ok;
    case Column::Kind::YesNo: {
        const qlonglong v = text.toLongLong(&ok);
        value = qlonglong(v != 0 ? 1 : 0);
        return ok;
    }
    case Column::Kind::Real:
        value = text.toDouble(&ok);
        return ok;
    case Column::Kind::Money: {
        // Four decimals at most, read exactly: the nearest double of the
        // decimal text, which prints and reads back as that text.
        static const QRegularExpression money(QStringLiteral("^-?\\d+(\\.\\d{1,4})?$"));
        const QString t = QString::fromLatin1(text);
        if (!money.match(t).hasMatch())
            return false;
        value = t.toDouble(&ok);
        return ok;
    }
    case Column::Kind::Date: {
        // "YYYY-MM-DD HH:MM:SS"; mdbtools prints days before 1899-12-30 as
        // day 0 of January 1900, which is no date at all.
        const QString t = QString::fromLatin1(text);
        const QDate d = QDate::fromString(t.left(10), QStringLiteral("yyyy-MM-dd"));
        const QTime time = t.size() > 10 ? QTime::fromString(t.mid(11), QStringLiteral("HH:mm:ss")) : QTime(0, 0);
        if (!d.isValid() || !time.isValid() || (t.size() != 10 && t.size() != 19))
            return false;
        value = time == QTime(0, 0) ? t.left(10) : t;
        return true;
    }
    case Column::Kind::Binary:
        value = QByteArray::fromHex(text);
        return true;
    }
    return false;
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

std::unique_ptr<QProcess> Reader::startRows(const Table &table)
{
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(mdbEnvironment());
    p->start(QStringLiteral("mdb-export"),
             {QStringLiteral("-H"), QStringLiteral("-Q"), QStringLiteral("-d"), QString(QLatin1Char(kField)), QStringLiteral("-R"),
              QString(QLatin1Char(kRow)), QStringLiteral("-0"), QString(QLatin1Char(kNull)), QStringLiteral("-b"), QStringLiteral("hex"),
              QStringLiteral("-T"), QString::fromLatin1(kDateTimeFormat), m_host, table.name});
    return p;
}

void Reader::rows(const Table &table, const std::function<void(const QVariantList &)> &each)
{
    readRows(*startRows(table), table, each);
}

void Reader::readRows(QProcess &p, const Table &table, const std::function<void(const QVariantList &)> &each)
{
    if (!p.waitForStarted())
        throw DbError(QStringLiteral("Cannot read the Access database '%1': mdb-export could not be started (is mdbtools installed?).").arg(m_shown));
    QByteArray pending;
    qint64 row = 0;
    QVariantList values;
    const auto takeRows = [&](bool last) {
        qsizetype start = 0;
        for (;;) {
            const qsizetype end = pending.indexOf(kRow, start);
            if (end < 0)
                break;
            const QByteArray line = pending.mid(start, end - start);
            start = end + 1;
            ++row;
            const QList<QByteArray> fields = line.split(kField);
            if (fields.size() != table.columns.size())
                throw DbError(QStringLiteral("Cannot read row %1 of table %2 in the Access database '%3': it has %4 fields where the "
                                             "table has %5 columns.")
                                  .arg(row).arg(table.name, m_shown).arg(fields.size()).arg(table.columns.size()));
            values.clear();
            for (int i = 0; i < fields.size(); ++i) {
                QVariant v;
                if (!convertValue(fields[i], table.columns[i].kind, v))
                    throw DbError(QStringLiteral("Cannot convert the value \"%1\" in column %2 of row %3 of table %4 in the Access "
                                                 "database '%5'; nothing was stored from it.")
                                      .arg(QString::fromUtf8(fields[i]), table.columns[i].name)
                                      .arg(row)
                                      .arg(table.name, m_shown));
                values << v;
            }
            each(values);
        }
        pending.remove(0, start);
        if (last && !pending.trimmed().isEmpty())
            throw DbError(QStringLiteral("Cannot read table %1 of the Access database '%2': its last row is cut short.").arg(table.name, m_shown));
    };
    while (p.state() != QProcess::NotRunning) {
        p.waitForReadyRead(-1);
        pending += p.readAllStandardOutput();
        takeRows(false);
    }
    pending += p.readAllStandardOutput();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        const QString why = QString::fromUtf8(p.readAllStandardError()).trimmed();
        throw DbError(QStringLiteral("Cannot read table %1 of the Access database '%2'%3").arg(table.name, m_shown, why.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + why));
    }
    takeRows(true);
    // mdb-export skips what it cannot read (pages cut off or damaged) and
    // says nothing: the rows read must be the rows the table's own
    // definition lists, or the figures would be wrong without a word.
    bool isNumber = false;
    const qint64 listed = runTool(QStringLiteral("mdb-count"), {m_host, table.name}, m_shown,
                                  QStringLiteral("the number of rows of table ") + table.name)
                              .trimmed()
                              .toLongLong(&isNumber);
    if (!isNumber || listed != row)
        throw DbError(QStringLiteral("The Access database '%1' is damaged or cut short: its table %2 lists %3 rows, of which %4 could be "
                                     "read. Nothing was taken from it; restore the file from a backup, or repair it in Access.")
                          .arg(m_shown, table.name, isNumber ? QString::number(listed) : QStringLiteral("an unknown number of"))
                          .arg(row));
}

void convert(const QString &hostPath, const QString &shownPath, const QString &target)
{
    if (conversionObserver())
        conversionObserver()(shownPath);
    Reader reader(hostPath, shownPath);
    const QList<Table> tables = reader.tables();
    const QString partial = target + QStringLiteral(".converting");
    QFile::remove(partial);
    static std::atomic<int> counter{0};
    const QString name = QStringLiteral("ctfadmin-convert-%1").arg(++counter);
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(partial);
        try {
            if (!db.open())
                throw DbError(QStringLiteral("Cannot create %1: %2").arg(partial, db.lastError().text()));
            QSqlQuery q(db);
            q.exec(QStringLiteral("PRAGMA journal_mode=OFF"));
            q.exec(QStringLiteral("PRAGMA synchronous=OFF"));
            db.transaction();
            // Every table's mdb-export runs at once, each read in turn while
            // the others go on.
            std::vector<std::unique_ptr<QProcess>> exports;
            for (const Table &t : tables)
                exports.push_back(reader.startRows(t));
            for (qsizetype k = 0; k < tables.size(); ++k) {
                const Table &t = tables[k];
                ui::current().progress(QStringLiteral("Reading %1 from %2").arg(t.name, shownPath), int(100 * k / tables.size()));
                QStringList columns, names, marks;
                for (const Column &c : t.columns) {
                    columns << quoted(c.name) + QLatin1Char(' ') + sqliteType(c.kind);
                    names << c.name;
                    marks << QStringLiteral("?");
                }
                if (!q.exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(quoted(t.name), columns.join(QStringLiteral(", ")))))
                    throw DbError(QStringLiteral("Cannot create table %1 in %2: %3").arg(t.name, partial, q.lastError().text()));
                QSqlQuery insert(db);
                insert.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(quoted(t.name), marks.join(QLatin1Char(','))));
                reader.readRows(*exports[size_t(k)], t, [&](const QVariantList &row) {
                    for (int i = 0; i < row.size(); ++i)
                        insert.bindValue(i, row[i]);
                    if (!insert.exec())
                        throw DbError(QStringLiteral("Cannot store a row of table %1: %2").arg(t.name, insert.lastError().text()));
                });
                for (const QString &index : schema::indexesFor(t.name, names))
                    q.exec(index);
            }
            if (!db.commit())
                throw DbError(QStringLiteral("Cannot write %1: %2").arg(partial, db.lastError().text()));
            ui::current().progress(QString(), -1);
        } catch (const CtfError &e) {
            failure = e.description();
            ui::current().progress(QString(), -1);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!failure.isNull()) {
        QFile::remove(partial);
        throw DbError(failure);
    }
    // Never more open than the file it came from, and never open to other
    // users of the machine: it holds members' names and NI numbers.
    struct stat source {};
    const mode_t mode = ::stat(QFile::encodeName(hostPath).constData(), &source) == 0 ? (source.st_mode & textfile::kPrivateFileMode) : 0600;
    ::chmod(QFile::encodeName(partial).constData(), mode);
    QFile::remove(target);
    if (!QFile::rename(partial, target)) {
        QFile::remove(partial);
        throw DbError(QStringLiteral("Cannot put the converted database in place as %1.").arg(target));
    }
}

namespace {
// What tells one version of a file from another: a file rewritten in place
// changes its times (to the nanosecond, and the change time cannot be set
// back), one replaced by a rename changes its inode.
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
} // namespace

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
    const QByteArray pathKey = QCryptographicHash::hash(info.absoluteFilePath().toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    const QString folder = officeroot::path() + QStringLiteral("/cache/access");
    if (!QDir().mkpath(folder)
        || ::chmod(QFile::encodeName(officeroot::path() + QStringLiteral("/cache")).constData(), 0700) != 0
        || ::chmod(QFile::encodeName(folder).constData(), 0700) != 0)
        throw DbError(QStringLiteral("Cannot read the Access database '%1': the snapshot folder %2 cannot be created.").arg(shownPath, folder));
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
        try {
            convert(hostPath, shownPath, file);
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
