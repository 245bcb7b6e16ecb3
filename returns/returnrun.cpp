#include "returns/returnrun.h"

#include "common/besidefile.h"
#include "common/error.h"
#include "common/textfile.h"
#include "platform/pathmapper.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace returns {
namespace {
const QByteArray kStarted = "started: ";
const QByteArray kHost = "host: ";
const QByteArray kPid = "pid: ";
const QByteArray kSentRef = "sent ref: ";
const QByteArray kPartial = "new return: ";
const QByteArray kReturn = "return: ";
const QByteArray kLog = "log copy: ";
const QByteArray kMarked = "marked: ";
const QByteArray kComplete = "complete";
const QByteArray kAbandoned = "abandoned";
const QByteArray kLogCopyFailed = "log copy failed";
} // namespace

QString jsonIds(const QList<qint64> &ids)
{
    QByteArray json = "[";
    for (qint64 n : ids)
        json += QByteArray::number(n) + ',';
    if (json.size() > 1)
        json.chop(1);
    return QString::fromLatin1(json + ']');
}

QString RunInfo::describe() const
{
    QString text = started.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    if (!host.isEmpty())
        text += QStringLiteral(" on ") + host;
    return text;
}

RunRecord::RunRecord(const QString &registerWindowsPath) : m_path(registerWindowsPath + QStringLiteral(".return-run")) {}

RunRecord::~RunRecord() { release(); }

bool RunRecord::claim(RunInfo *other)
{
    if (m_locked)
        return true;
    const MappedPath mapped = pathmapper::map(m_path);
    if (!mapped.ok())
        throw FileError(QStringLiteral("Cannot open %1: %2").arg(m_path, mapped.error));
    // Never through a link planted at its name: the record is written to.
    const int fd = ::open(QFile::encodeName(mapped.hostPath).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC,
                          textfile::kPrivateFileMode);
    if (fd < 0)
        throw FileError(QStringLiteral("Cannot open %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno))));
    beside::takeFolderGroup(fd, QFileInfo(mapped.hostPath).absolutePath());
    if (!m_file.open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw FileError(QStringLiteral("Cannot open %1: %2").arg(m_path, m_file.errorString()));
    }
    ::fchmod(m_file.handle(), textfile::kPrivateFileMode); // it names entries' IDs
    // A byte-range lock on the open file description: network filesystems
    // (NFS, SMB, FUSE with lock forwarding) carry it to the file server, so it
    // holds across desks; it belongs to this open file alone, so a second run
    // in this program is refused too, and closing other descriptors of the
    // file does not drop it.
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (::fcntl(m_file.handle(), F_OFD_SETLK, &whole) != 0) {
        if (other)
            *other = leftover();
        m_file.close();
        return false;
    }
    m_locked = true;
    return true;
}

void RunRecord::release()
{
    if (m_file.isOpen())
        m_file.close(); // drops the lock
    m_locked = false;
}

RunInfo RunRecord::leftover()
{
    RunInfo info;
    m_file.seek(0);
    const QByteArray all = m_file.readAll();
    for (const QByteArray &raw : all.split('\n')) {
        const QByteArray line = raw.trimmed();
        const auto value = [&](const QByteArray &key) { return QString::fromUtf8(line.mid(key.size())); };
        if (line.startsWith(kStarted))
            info.started = QDateTime::fromString(value(kStarted), Qt::ISODate);
        else if (line.startsWith(kHost))
            info.host = value(kHost);
        else if (line.startsWith(kPid))
            info.pid = value(kPid).toLongLong();
        else if (line.startsWith(kSentRef))
            info.sentRef = value(kSentRef);
        else if (line.startsWith(kPartial))
            info.partialPath = value(kPartial);
        else if (line.startsWith(kReturn))
            info.returnPath = value(kReturn);
        else if (line.startsWith(kLog))
            info.logPath = value(kLog);
        else if (line.startsWith(kMarked)) {
            for (const QByteArray &id : line.mid(kMarked.size()).split(' ')) {
                bool ok = false;
                const qint64 n = id.toLongLong(&ok);
                if (ok)
                    info.marked << n;
            }
        } else if (line == kComplete)
            info.complete = true;
        else if (line == kAbandoned)
            info.abandoned = true;
        else if (line == kLogCopyFailed)
            info.logCopyFailed = true;
    }
    if (info.abandoned)
        info.complete = false;
    // A record cut short by a crash still names its run; one with nothing
    // readable in it is taken as the run that began at the file's time.
    if (!all.trimmed().isEmpty() && !info.started.isValid())
        info.started = QFileInfo(m_file).lastModified();
    return info;
}

void RunRecord::append(const QByteArray &bytes)
{
    if (!m_file.seek(m_file.size()) || m_file.write(bytes) != bytes.size() || !textfile::syncToDisk(m_file))
        throw FileError(QStringLiteral("Cannot write %1: %2").arg(m_path, m_file.errorString()));
    textfile::notifySync(m_path);
}

void RunRecord::begin(const RunInfo &run)
{
    if (!m_file.resize(0))
        throw FileError(QStringLiteral("Cannot write %1: %2").arg(m_path, m_file.errorString()));
    QByteArray text;
    text += kStarted + run.started.toString(Qt::ISODate).toUtf8() + '\n';
    text += kHost + run.host.toUtf8() + '\n';
    text += kPid + QByteArray::number(run.pid) + '\n';
    text += kSentRef + run.sentRef.toUtf8() + '\n';
    text += kPartial + run.partialPath.toUtf8() + '\n';
    text += kReturn + run.returnPath.toUtf8() + '\n';
    text += kLog + run.logPath.toUtf8() + '\n';
    append(text);
}

void RunRecord::addMarked(const QList<qint64> &ids)
{
    if (ids.isEmpty())
        return;
    QByteArray line = kMarked;
    for (qint64 id : ids)
        line += QByteArray::number(id) + ' ';
    line.chop(1);
    append(line + '\n');
}

void RunRecord::markComplete() { append(kComplete + '\n'); }
void RunRecord::markAbandoned() { append(kAbandoned + '\n'); }
void RunRecord::markLogCopyFailed() { append(kLogCopyFailed + '\n'); }

void RunRecord::clear()
{
    if (!m_file.resize(0) || !textfile::syncToDisk(m_file))
        throw FileError(QStringLiteral("Cannot write %1: %2").arg(m_path, m_file.errorString()));
}

} // namespace returns
