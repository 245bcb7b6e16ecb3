#include "register/backups.h"

#include "app/appsettings.h"
#include "common/besidefile.h"
#include "common/error.h"
#include "common/textfile.h"
#include "data/connection.h"
#include "data/connectionstrings.h"
#include "data/dbfile.h"
#include "data/sqlitenative.h"
#include "platform/pathmapper.h"
#include "register/history.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSqlQuery>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace backups {
namespace {
constexpr const char *kExtension = ".backup";
constexpr const char *kStampForm = "yyyy-MM-dd HHmmss";

QString baseOf(const QString &registerHostPath) { return QFileInfo(registerHostPath).completeBaseName(); }

// A SQLite handle of our own, closed with the object.
struct Handle {
    sqlite3 *db = nullptr;
    ~Handle() { sqlite3_close_v2(db); }
    QString error() const { return QString::fromUtf8(sqlite3_errmsg(db)); }
};

bool openFile(Handle &h, const QString &hostPath, int flags, QString *why)
{
    if (sqlite3_open_v2(QFile::encodeName(hostPath).constData(), &h.db, flags | SQLITE_OPEN_NOFOLLOW, nullptr) != SQLITE_OK) {
        *why = h.db ? h.error() : QStringLiteral("out of memory");
        return false;
    }
    sqlite3_busy_timeout(h.db, 30000);
    return true;
}

// One value of a statement's first row; `ok` false on a failure.
QString firstValue(Handle &h, const char *sql, bool *ok)
{
    QString error;
    const auto statement = sqlitenative::Statement::prepare(h.db, QString::fromLatin1(sql), &error);
    *ok = statement && statement->start({}, &error) && statement->step(&error);
    return *ok ? statement->value(0).toString() : QString();
}

// A copy of the database at `from` written to a new file at `to` (host
// paths), made through SQLite's online backup in one step: one read
// transaction, so the copy is one state of the file whatever other
// connections write meanwhile. The copy keeps no journal of its own.
QString copyDatabase(const QString &from, const QString &to)
{
    const int fd = beside::createNew(to);
    if (fd < 0)
        return QString::fromLocal8Bit(strerror(errno));
    ::close(fd);
    QString why;
    Handle src, dst;
    if (!openFile(src, from, SQLITE_OPEN_READONLY, &why) || !openFile(dst, to, SQLITE_OPEN_READWRITE, &why))
        return why;
    sqlite3_backup *b = sqlite3_backup_init(dst.db, "main", src.db, "main");
    if (!b)
        return dst.error();
    const int rc = sqlite3_backup_step(b, -1);
    sqlite3_backup_finish(b);
    if (rc != SQLITE_DONE)
        return QString::fromUtf8(sqlite3_errstr(rc));
    if (sqlite3_exec(dst.db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return dst.error();
    return {};
}

bool syncFile(const QString &hostPath)
{
    QFile f(hostPath);
    return f.open(QIODevice::ReadOnly) && textfile::syncToDisk(f);
}

struct Named {
    QString path;
    QDateTime when;
    QString reason;
};
// The backups of a register, by their names, newest first.
QList<Named> named(const QString &registerHostPath)
{
    const QRegularExpression form(QStringLiteral("^%1 (\\d{4}-\\d\\d-\\d\\d \\d{6}) (.+)\\%2$")
                                      .arg(QRegularExpression::escape(baseOf(registerHostPath)), QLatin1String(kExtension)));
    QList<Named> out;
    const QString folder = folderOf(registerHostPath);
    for (const QString &name : QDir(folder).entryList(QDir::Files)) {
        const auto m = form.match(name);
        const QDateTime when = QDateTime::fromString(m.captured(1), QString::fromLatin1(kStampForm));
        if (m.hasMatch() && when.isValid())
            out << Named{folder + QLatin1Char('/') + name, when, m.captured(2)};
    }
    std::stable_sort(out.begin(), out.end(), [](const Named &a, const Named &b) { return a.when > b.when; });
    return out;
}

void prune(const QString &registerHostPath, const QDate &today)
{
    const QList<Named> all = named(registerHostPath);
    QList<QDateTime> times;
    for (const Named &n : all)
        times << n.when;
    const QList<bool> keep = kept(times, appsettings::number("BackupsKept", 30), appsettings::number("BackupMonthsKept", 24), today);
    for (int i = 0; i < all.size(); ++i)
        if (!keep[i])
            QFile::remove(all[i].path);
}
} // namespace

QString folderOf(const QString &registerHostPath) { return QFileInfo(registerHostPath).absolutePath() + QStringLiteral("/backups"); }

QList<bool> kept(const QList<QDateTime> &newestFirst, int last, int months, const QDate &today)
{
    QList<bool> keep(newestFirst.size(), false);
    QSet<int> monthsSeen;
    const QDate oldestMonth = QDate(today.year(), today.month(), 1).addMonths(-(months - 1));
    // Oldest first, so that the first of each month is the one kept.
    for (qsizetype i = newestFirst.size() - 1; i >= 0; --i) {
        const QDate d = newestFirst[i].date();
        const int month = d.year() * 12 + d.month();
        if (i < last)
            keep[i] = true;
        if (d >= oldestMonth && !monthsSeen.contains(month)) {
            monthsSeen.insert(month);
            keep[i] = true;
        }
    }
    return keep;
}

Taken take(const QString &registerHostPath, const QString &reason, const QDateTime &now)
{
    const QString folder = folderOf(registerHostPath);
    if (!QFileInfo(folder).isDir()) {
        // Shared by the office's desks through the register folder's group, as the register is.
        if (::mkdir(QFile::encodeName(folder).constData(), 0770) != 0 && errno != EEXIST)
            return {{}, QStringLiteral("the folder %1 could not be made (%2)").arg(pathmapper::shown(folder), QString::fromLocal8Bit(strerror(errno)))};
        struct stat parent {};
        if (::stat(QFile::encodeName(QFileInfo(registerHostPath).absolutePath()).constData(), &parent) == 0)
            (void)::chown(QFile::encodeName(folder).constData(), uid_t(-1), parent.st_gid); // refused outside that group: nothing to do
        ::chmod(QFile::encodeName(folder).constData(), 0770 | S_ISGID);
    }
    const QString base = folder + QLatin1Char('/') + baseOf(registerHostPath) + QLatin1Char(' ') + now.toString(QString::fromLatin1(kStampForm))
        + QLatin1Char(' ') + reason;
    const QString ownFile = beside::ownName(base + QLatin1String(kExtension));
    QString why;
    {
        beside::FolderHold hold(folder);
        why = copyDatabase(registerHostPath, ownFile);
        if (why.isEmpty() && !syncFile(ownFile))
            why = QStringLiteral("it could not be written to the disk");
        // Put in place under a name nobody has: a link never replaces one.
        QString path = base + QLatin1String(kExtension);
        for (int n = 2; why.isEmpty(); ++n) {
            if (::link(QFile::encodeName(ownFile).constData(), QFile::encodeName(path).constData()) == 0) {
                textfile::syncFolder(folder);
                ::unlink(QFile::encodeName(ownFile).constData());
                prune(registerHostPath, now.date());
                return {path, {}};
            }
            if (errno != EEXIST)
                why = QString::fromLocal8Bit(strerror(errno));
            path = base + QStringLiteral(" %1").arg(n) + QLatin1String(kExtension);
        }
        ::unlink(QFile::encodeName(ownFile).constData());
    }
    return {{}, QStringLiteral("the backup of %1 could not be written in %2: %3").arg(pathmapper::shown(registerHostPath), pathmapper::shown(folder), why)};
}

Taken daily(const QString &registerHostPath, const QDateTime &now)
{
    QByteArray head;
    QString error;
    if (!dbfile::readHead(registerHostPath, 16, &head, &error))
        return {{}, error};
    if (!head.startsWith("SQLite format 3"))
        return {{}, QStringLiteral("not a SQLite register")};
    for (const Named &n : named(registerHostPath))
        if (n.when.date() == now.date())
            return {n.path, {}};
    return take(registerHostPath, QString::fromLatin1(kDaily), now);
}

QString problemOf(const QString &hostPath)
{
    Handle h;
    QString why;
    if (!openFile(h, hostPath, SQLITE_OPEN_READONLY, &why))
        return why;
    bool ok = false;
    const QString check = firstValue(h, "PRAGMA integrity_check(1)", &ok);
    if (!ok)
        return h.error();
    if (check != QStringLiteral("ok"))
        return QStringLiteral("it fails its integrity check (%1)").arg(check);
    firstValue(h, "SELECT count(*) FROM ChildTrustFunds", &ok);
    return ok ? QString() : QStringLiteral("it holds no register (%1)").arg(h.error());
}

namespace {
// A damaged register's message names the backup to restore.
const bool kAdviceSet = [] {
    Connection::damagedFileAdvice = [](const QString &hostPath) {
        const QString good = newestGood(hostPath);
        return good.isEmpty() ? QString()
                              : QStringLiteral("The newest backup of the register that passes its check is %1; to restore it, close "
                                               "ctfadmin on every desk and run: ctfadmin restore \"%1\"").arg(pathmapper::shown(good));
    };
    return true;
}();
} // namespace

QString newestGood(const QString &registerHostPath)
{
    for (const Named &n : named(registerHostPath))
        if (problemOf(n.path).isEmpty())
            return n.path;
    return {};
}

QList<Info> list(const QString &registerHostPath)
{
    QList<Info> out;
    for (const Named &n : named(registerHostPath)) {
        // Counted, not checked whole: a restore checks the one it restores.
        Info i{n.path, n.when, n.reason, -1, -1, {}};
        Handle h;
        bool ok = false;
        if (openFile(h, n.path, SQLITE_OPEN_READONLY, &i.problem)) {
            i.entries = firstValue(h, "SELECT count(*) FROM ChildTrustFunds", &ok).toLongLong();
            if (ok)
                i.outstanding = firstValue(h, "SELECT count(*) FROM ChildTrustFunds WHERE RecordOutput = 0", &ok).toLongLong();
            if (!ok)
                i.problem = QStringLiteral("it holds no register (%1)").arg(h.error());
        }
        out << i;
    }
    return out;
}

namespace {
// Into the restored copy (open in `c`, the register as it is attached as
// "cur"): the register's history as it stands, then, as one change, every
// entry the restore puts back, changes or removes.
void carryHistory(Connection &c, const QString &detail)
{
    history::ensure(c);
    if (history::kept(c, QStringLiteral("cur"))) {
        for (const char *t : {"EntryHistory", "RegisterChanges"}) {
            c.execute(QStringLiteral("DELETE FROM main.%1").arg(QLatin1String(t)));
            c.execute(QStringLiteral("INSERT INTO main.%1 SELECT * FROM cur.%1").arg(QLatin1String(t)));
        }
    }
    history::Change change(c, QString::fromLatin1(history::kRestore), detail);
    change.begin();
    const QString oldCols = history::columnList(QStringLiteral("Old")), newCols = history::columnList(QStringLiteral("New"));
    const QString was = history::columnList(QStringLiteral("w.")), now = history::columnList(QStringLiteral("n."));
    c.execute(history::insertSelectHead(oldCols + QStringLiteral(", ") + newCols)
              + QStringLiteral("n.ID, 'changed', %1, %2 FROM cur.ChildTrustFunds w JOIN main.ChildTrustFunds n ON n.ID = w.ID WHERE %3")
                    .arg(was, now, history::anyDiffers(QStringLiteral("w."), QStringLiteral("n."))));
    c.execute(history::insertSelectHead(oldCols)
              + QStringLiteral("w.ID, 'deleted', %1 FROM cur.ChildTrustFunds w WHERE w.ID NOT IN (SELECT ID FROM main.ChildTrustFunds)").arg(was));
    c.execute(history::insertSelectHead(newCols)
              + QStringLiteral("n.ID, 'added', %1 FROM main.ChildTrustFunds n WHERE n.ID NOT IN (SELECT ID FROM cur.ChildTrustFunds)").arg(now));
    change.end();
}

// The register's journal back in its file, and the register left in
// rollback-journal mode, which SQLite allows only when no other connection
// of any program has it open; empty when done.
QString quiesce(const QString &registerHostPath)
{
    Handle h;
    QString why;
    if (!openFile(h, registerHostPath, SQLITE_OPEN_READWRITE, &why))
        return why;
    sqlite3_busy_timeout(h.db, 0);
    bool ok = false;
    const QString mode = firstValue(h, "PRAGMA journal_mode=DELETE", &ok);
    return ok && mode.compare(QStringLiteral("delete"), Qt::CaseInsensitive) == 0 ? QString() : QStringLiteral("another program has it open");
}
} // namespace

Restored restore(const QString &registerWindowsPath, const QString &backupHostPath, const QDateTime &now, QString *say)
{
    const QString reg = pathmapper::map(registerWindowsPath).hostPath;
    const auto refuse = [&](const QString &why) {
        *say = QStringLiteral("The register %1 was not restored from %2: %3. Nothing was changed.")
                   .arg(registerWindowsPath, pathmapper::shown(backupHostPath), why);
        return Restored::Refused;
    };
    if (reg.isEmpty() || !QFileInfo(reg).isFile())
        return refuse(QStringLiteral("the register is not there"));
    if (const QString problem = problemOf(backupHostPath); !problem.isEmpty())
        return refuse(problem);
    beside::FileUse alone(reg, beside::FileUse::Kind::Alone);
    if (!alone.held())
        return refuse(QStringLiteral("it is open on another desk or screen; close it there first"));
    if (const QString busy = quiesce(reg); !busy.isEmpty())
        return refuse(busy);
    const Taken before = take(reg, QString::fromLatin1(kBeforeRestore), now);
    if (!before.ok())
        return refuse(before.why);
    const QString ownWindows = beside::ownName(registerWindowsPath);
    const QString own = pathmapper::map(ownWindows).hostPath;
    try {
        beside::FolderHold hold(QFileInfo(reg).absolutePath());
        if (const QString why = copyDatabase(backupHostPath, own); !why.isEmpty())
            throw DbError(why);
        {
            Connection c;
            c.setConnectionString(jetConnectionString(ownWindows));
            c.open();
            c.execute(QStringLiteral("ATTACH DATABASE ? AS cur"), {reg});
            c.beginTransaction();
            carryHistory(c, QStringLiteral("from %1; the register as it was is kept as %2").arg(QFileInfo(backupHostPath).fileName(),
                                                                                               QFileInfo(before.path).fileName()));
            c.commit();
            c.execute(QStringLiteral("DETACH DATABASE cur"));
            c.close();
        }
        if (!syncFile(own))
            throw DbError(QStringLiteral("%1 could not be written to the disk").arg(ownWindows));
        if (const QString busy = quiesce(reg); !busy.isEmpty())
            throw DbError(busy);
        textfile::replace(ownWindows, registerWindowsPath);
    } catch (const CtfError &e) {
        dbfile::removeWithSideFiles(own);
        *say = QStringLiteral("The register %1 was not restored from %2: %3. The register is as it was.")
                   .arg(registerWindowsPath, pathmapper::shown(backupHostPath), e.description());
        return Restored::Failed;
    }
    *say = QStringLiteral("The register %1 was restored from %2. The register as it was is kept as %3.")
               .arg(registerWindowsPath, pathmapper::shown(backupHostPath), pathmapper::shown(before.path));
    return Restored::Done;
}

} // namespace backups
