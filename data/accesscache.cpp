// The snapshots of genuine Access files: converted once a version, however
// many programs ask at once, kept private in the office root's cache and
// removed when their version is gone.
#include "data/accessfile.h"
#include "data/accessrows.h"

#include "common/besidefile.h"
#include "data/schema.h"
#include "platform/officeroot.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QtEndian>
#include <sys/stat.h>

namespace accessfile {

using namespace detail;


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
QString snapshotOfCurrentVersion(const QString &hostPath, const QString &shownPath, const QStringList &tables);
QString setTag(const QStringList &asked);

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

QString snapshot(const QString &hostPath, const QString &shownPath, const QStringList &tables)
{
    const QString absolute = QFileInfo(hostPath).absoluteFilePath() + setTag(tables); // one set of tables, in any order
    {
        const QMutexLocker lock(&pinned().mutex);
        if (const auto it = pinned().files.constFind(absolute); it != pinned().files.cend() && QFileInfo::exists(*it))
            return *it;
    }
    const QString file = snapshotOfCurrentVersion(hostPath, shownPath, tables);
    const QMutexLocker lock(&pinned().mutex);
    if (pinned().scopes > 0)
        pinned().files.insert(absolute, file);
    return file;
}

namespace {
// The tables a snapshot holds: those asked for, or every table the program
// reads; and the part of its name that tells the one set from another.
QStringList tablesOf(const QStringList &asked)
{
    // Tarnwell's other tables (loans, audit trails) would cost time, and a
    // value in them that mdbtools cannot read would stop the annual return
    // for nothing. The register's table too, by which an Access register is
    // known.
    static const QStringList all = schema::tarnwellTables() + QStringList{QStringLiteral("ChildTrustFunds")};
    return asked.isEmpty() ? all : asked;
}
QString setTag(const QStringList &asked)
{
    if (asked.isEmpty())
        return {};
    QStringList names;
    for (const QString &t : asked)
        names << t.toLower();
    names.sort();
    return QLatin1Char('-') + QString::fromLatin1(QCryptographicHash::hash(names.join(QLatin1Char(',')).toUtf8(), QCryptographicHash::Sha1).toHex().left(8));
}

QString snapshotOfCurrentVersion(const QString &hostPath, const QString &shownPath, const QStringList &tables)
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
        const QString file = folder + QLatin1Char('/') + prefix + before + setTag(tables) + QStringLiteral(".sqlite");
        if (QFileInfo::exists(file))
            return file;
        // One conversion of a version however many programs ask for it at
        // once: the others wait for it (the lock is the file server's where
        // the office root is on one) and then read what it made.
        beside::FolderHold hold(folder);
        if (!hold.claimWaiting(qFromBigEndian<quint32>(pathHash.constData()), QStringLiteral("Waiting while another program reads %1").arg(shownPath)))
            throw DbError(QStringLiteral("The reading of the Access database '%1' was cancelled; nothing was kept from it.").arg(shownPath));
        if (QFileInfo::exists(file))
            return file; // made by the program waited for
        try {
            convert(hostPath, shownPath, file, tablesOf(tables), QStringLiteral("the copy of %1 kept for reading").arg(shownPath));
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
        // Snapshots of earlier versions of the same file are of no more use;
        // those of other tables of this version are.
        for (const QString &old : QDir(folder).entryList({prefix + QStringLiteral("*.sqlite")}, QDir::Files))
            if (!old.startsWith(prefix + before + QLatin1Char('.')) && !old.startsWith(prefix + before + QLatin1Char('-')))
                QFile::remove(folder + QLatin1Char('/') + old);
        return file;
    }
    throw DbError(QStringLiteral("The Access database '%1' changed each time it was read, so no figures were taken from it. "
                                 "Try again when Tarnwell has finished writing it.").arg(shownPath));
}

} // namespace

void setConversionObserver(std::function<void(const QString &)> observer) { conversionObserver() = std::move(observer); }


} // namespace accessfile
