#include "common/besidefile.h"

#include "common/textfile.h"
#include "platform/userinterface.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace beside {

QString ownName(const QString &path, const char *tag)
{
    return path + QLatin1String(tag)
        + QStringLiteral("%1-%2").arg(QCoreApplication::applicationPid()).arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'));
}

int createNew(const QString &hostPath)
{
    const int fd = ::open(QFile::encodeName(hostPath).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          textfile::kPrivateFileMode);
    if (fd >= 0) {
        ::fchmod(fd, textfile::kPrivateFileMode); // whatever the umask
        takeFolderGroup(fd, QFileInfo(hostPath).absolutePath());
    }
    return fd;
}

void takeFolderGroup(int fd, const QString &hostFolder)
{
    struct stat file {}, folder {};
    if (::fstat(fd, &file) == 0 && ::stat(QFile::encodeName(hostFolder).constData(), &folder) == 0 && file.st_gid != folder.st_gid
        && file.st_uid == ::geteuid())
        (void)::fchown(fd, uid_t(-1), folder.st_gid); // refused when this user is not in that group: nothing to be done
}

namespace {
// Byte 0: shared while a run has a file of its own in the folder, whole
// for the sweep. Byte `job`: one run of that job at a time.
bool lockByte(int fd, short type, off_t byte)
{
    struct flock l {};
    l.l_type = type;
    l.l_whence = SEEK_SET;
    l.l_start = byte;
    l.l_len = 1;
    while (::fcntl(fd, F_OFD_SETLK, &l) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

int openLockFile(const QString &hostFolder)
{
    if (hostFolder.isEmpty())
        return -1;
    const QByteArray path = QFile::encodeName(hostFolder + QStringLiteral("/.ctfadmin-lock"));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, textfile::kPrivateFileMode);
    if (fd >= 0) {
        ::fchmod(fd, textfile::kPrivateFileMode); // whatever the umask; refused on another user's file, which has it
        takeFolderGroup(fd, hostFolder);
    }
    return fd;
}

// With byte 0 held whole: every file of a run's own here is a killed run's.
QStringList removeLeftovers(const QString &hostFolder)
{
    QStringList removed;
    const QString pattern = QLatin1Char('*') + QLatin1String(kTag) + QLatin1Char('*');
    for (const QString &name : QDir(hostFolder).entryList({pattern}, QDir::Files | QDir::System | QDir::Hidden))
        if (::unlink(QFile::encodeName(hostFolder + QLatin1Char('/') + name).constData()) == 0)
            removed << name;
    return removed;
}
} // namespace

FolderHold::FolderHold(const QString &hostFolder) : m_fd(openLockFile(hostFolder))
{
    if (m_fd < 0)
        return;
    if (lockByte(m_fd, F_WRLCK, 0))
        removeLeftovers(hostFolder);
    // Held whole, the lock becomes shared in one step; otherwise a sweep has
    // it for a moment, and the run waits for it.
    for (int tries = 0; !lockByte(m_fd, F_RDLCK, 0) && tries < 200; ++tries)
        ::usleep(10000);
}

FolderHold::~FolderHold()
{
    if (m_fd >= 0)
        ::close(m_fd); // drops this run's locks
}

bool FolderHold::claim(Job job)
{
    return m_fd < 0 || lockByte(m_fd, F_WRLCK, off_t(job));
}

bool FolderHold::claimWaiting(quint32 key, const QString &waitingText)
{
    // Past the jobs' bytes; keys that meet on one byte only wait for each other.
    return takeWaiting(1024 + off_t(key % (1u << 30)), waitingText);
}

bool FolderHold::claimWaiting(Job job, const QString &waitingText) { return takeWaiting(off_t(job), waitingText); }

bool FolderHold::takeWaiting(long long byte, const QString &waitingText)
{
    bool waited = false;
    bool claimed = true;
    while (m_fd >= 0 && !lockByte(m_fd, F_WRLCK, byte)) {
        waited = true;
        if (!ui::current().progress(waitingText, 0)) {
            claimed = false;
            break;
        }
        ::usleep(100000);
    }
    if (waited)
        ui::current().progress(QString(), -1);
    return claimed;
}

namespace {
off_t useByte(const QString &fileName) { return (off_t(1) << 31) + off_t(qHash(fileName) % (1u << 20)); }
} // namespace

FileUse::FileUse(const QString &hostPath, Kind kind)
    : m_fd(openLockFile(QFileInfo(hostPath).absolutePath())), m_byte(useByte(QFileInfo(hostPath).fileName()))
{
    if (m_fd < 0)
        return;
    if (kind == Kind::Alone) {
        m_held = lockByte(m_fd, F_WRLCK, m_byte);
        return;
    }
    // A restore holds the file alone for a moment: wait for it, then go on
    // whatever happens (a use not counted only lets a restore go ahead).
    for (int tries = 0; !(m_held = lockByte(m_fd, F_RDLCK, m_byte)) && tries < 300; ++tries)
        ::usleep(10000);
}

FileUse::~FileUse()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QStringList sweep(const QString &hostFolder)
{
    const int fd = openLockFile(hostFolder);
    if (fd < 0)
        return {};
    const QStringList removed = lockByte(fd, F_WRLCK, 0) ? removeLeftovers(hostFolder) : QStringList();
    ::close(fd);
    return removed;
}

} // namespace beside
