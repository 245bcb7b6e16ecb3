#include "data/dbfile.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <map>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <utility>

namespace dbfile {
namespace {

QString systemError(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// One read-only descriptor per file (device and inode), never closed: see
// the header. A file replaced by another (a new inode) gets its own.
int keptDescriptor(const QString &hostPath, QString *error)
{
    static QMutex mutex;
    static std::map<std::pair<dev_t, ino_t>, int> kept;
    const QByteArray name = QFile::encodeName(hostPath);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        *error = systemError(errno);
        return -1;
    }
    const QMutexLocker lock(&mutex);
    // A kept file that has since been deleted (a replaced snapshot, a test's
    // office) can no longer be opened by anyone: its descriptor is let go so
    // that its space is freed.
    for (auto it = kept.begin(); it != kept.end();) {
        struct stat held {};
        if (::fstat(it->second, &held) == 0 && held.st_nlink == 0) {
            ::close(it->second);
            it = kept.erase(it);
        } else {
            ++it;
        }
    }
    const auto key = std::make_pair(st.st_dev, st.st_ino);
    if (const auto it = kept.find(key); it != kept.end())
        return it->second;
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = systemError(errno);
        return -1;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) == 0 && (opened.st_dev != st.st_dev || opened.st_ino != st.st_ino)) {
        // Replaced between stat and open: keep it under what was opened.
        kept.emplace(std::make_pair(opened.st_dev, opened.st_ino), fd);
        return fd;
    }
    kept.emplace(key, fd);
    return fd;
}

struct Kind {
    unsigned long magic;
    const char *name;
};

// Filesystems on which a file is shared between machines, or served by a
// program in user space: neither gives SQLite the shared memory WAL needs
// across desks. Values are statfs's f_type (linux/magic.h and the
// filesystems' own sources).
constexpr Kind kSharedKinds[] = {
    {0x6969, "NFS"},
    {0x517B, "SMB"},
    {0xFF534D42, "SMB/CIFS"},
    {0xFE534D42, "SMB2/CIFS"},
    {0x01021997, "9p"}, // also the Windows drives of WSL 2 (drvfs)
    {0x65735546, "FUSE"}, // sshfs, bindfs, GlusterFS, virtiofs, ...
    {0x5346414F, "AFS"},
    {0x6B414653, "AFS"},
    {0x00C36400, "Ceph"},
    {0x73757245, "Coda"},
    {0x564C, "NCP"},
    {0x7461636F, "OCFS2"},
    {0x01161970, "GFS2"},
    {0x0BD00BD0, "Lustre"},
    {0x20030528, "OrangeFS"},
    {0x47504653, "GPFS"},
};

// Names looked up through a drive's cache (see accessChecked, openRetried).
//
// SQLite decides whether a rollback journal is left over (hot) by asking
// whether the file exists. On a network or FUSE drive the answer may come
// from the desk's cache of names and still say yes after another desk
// deleted the journal at its commit; SQLite then tries to roll it back,
// cannot open it, and every read fails with "unable to open database
// file". Opening the journal asks the file server itself. Only the
// journal is opened here: it carries no locks, so closing it drops none.
sqlite3_vfs *g_system = nullptr;
sqlite3_vfs g_vfs;

int accessChecked(sqlite3_vfs *, const char *path, int flags, int *result)
{
    const int rc = g_system->xAccess(g_system, path, flags, result);
    if (rc != SQLITE_OK || flags != SQLITE_ACCESS_EXISTS || !*result)
        return rc;
    const size_t n = std::strlen(path);
    constexpr size_t suffix = sizeof("-journal") - 1;
    if (n < suffix || std::strcmp(path + n - suffix, "-journal") != 0)
        return rc;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
    else if (errno == ENOENT)
        *result = 0;
    return rc;
}

// The same cache makes the creation of a new journal fail for a moment
// (ENOENT: the cached name points at the deleted file) until the desk asks
// the server again, about a second later: the creation is tried again for a
// few seconds before it counts as a failure.
int openRetried(sqlite3_vfs *vfs, sqlite3_filename path, sqlite3_file *file, int flags, int *outFlags)
{
    int rc = g_system->xOpen(vfs, path, file, flags, outFlags);
    const bool journal = path && (flags & SQLITE_OPEN_MAIN_JOURNAL) && (flags & SQLITE_OPEN_CREATE);
    for (int tries = 0; journal && rc == SQLITE_CANTOPEN && errno == ENOENT && tries < 150; ++tries) {
        ::usleep(20000);
        rc = g_system->xOpen(vfs, path, file, flags, outFlags);
    }
    return rc;
}

// Every SQLite connection of the program, Qt's included (they share the
// system's SQLite), uses it: installed when this file is loaded, before any
// database is opened.
const bool g_vfsInstalled = [] {
    g_system = sqlite3_vfs_find(nullptr);
    if (!g_system)
        return false;
    g_vfs = *g_system;
    g_vfs.zName = "ctfadmin-unix";
    g_vfs.xAccess = accessChecked;
    g_vfs.xOpen = openRetried;
    return sqlite3_vfs_register(&g_vfs, 1) == SQLITE_OK;
}();

} // namespace

bool readHead(const QString &hostPath, int bytes, QByteArray *head, QString *error)
{
    QString why;
    const int fd = keptDescriptor(hostPath, &why);
    if (fd < 0) {
        if (error)
            *error = why;
        return false;
    }
    QByteArray buffer(bytes, Qt::Uninitialized);
    ssize_t got = -1;
    do
        got = ::pread(fd, buffer.data(), size_t(bytes), 0);
    while (got < 0 && errno == EINTR);
    if (got < 0) {
        if (error)
            *error = systemError(errno);
        return false;
    }
    buffer.truncate(qsizetype(got));
    *head = buffer;
    return true;
}

Drive driveOf(const QString &hostPath)
{
    // A file not there yet lives where its folder is.
    QString probe = hostPath;
    while (!probe.isEmpty() && !QFileInfo::exists(probe)) {
        const QString up = QFileInfo(probe).path();
        if (up == probe)
            break;
        probe = up;
    }
    struct statfs fs {};
    if (::statfs(QFile::encodeName(probe).constData(), &fs) != 0)
        return {};
    const auto type = static_cast<unsigned long>(fs.f_type) & 0xFFFFFFFFUL;
    for (const Kind &k : kSharedKinds)
        if (type == k.magic)
            return {true, QString::fromLatin1(k.name)};
    return {};
}

void shareSideFiles(const QString &hostPath)
{
    struct stat db {};
    if (::stat(QFile::encodeName(hostPath).constData(), &db) != 0)
        return;
    for (const char *tail : {"-wal", "-shm"}) {
        const QByteArray side = QFile::encodeName(hostPath + QLatin1String(tail));
        struct stat st {};
        if (::lstat(side.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_gid != db.st_gid)
            (void)::lchown(side.constData(), uid_t(-1), db.st_gid); // not in that group: nothing to be done here
    }
}

QString sideFileProblem(const QString &hostPath)
{
    for (const char *tail : {"-wal", "-shm"}) {
        const QString side = hostPath + QLatin1String(tail);
        const QByteArray name = QFile::encodeName(side);
        struct stat st {};
        if (::stat(name.constData(), &st) == 0 && ::access(name.constData(), R_OK | W_OK) != 0) {
            const struct group *g = ::getgrgid(st.st_gid);
            const QString groupName = g ? QString::fromLocal8Bit(g->gr_name) : QString::number(st.st_gid);
            return QStringLiteral("%1 was made by another user's program in the group %2, which this user is not in: give the "
                                  "register's folder the office's group and its setgid bit (chmod g+s), so that every file made "
                                  "there is the office's, see docs/install.md")
                .arg(QFileInfo(side).fileName(), groupName);
        }
    }
    return {};
}

void removeWithSideFiles(const QString &hostPath)
{
    for (const char *suffix : {"", "-wal", "-shm"})
        QFile::remove(hostPath + QLatin1String(suffix));
}

} // namespace dbfile
