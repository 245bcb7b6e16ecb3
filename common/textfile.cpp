#include "common/textfile.h"

#include "common/besidefile.h"
#include "common/error.h"
#include "platform/pathmapper.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

LineWriter::LineWriter(const QString &windowsPath, Mode mode) : m_path(windowsPath), m_mode(mode)
{
    const MappedPath mapped = pathmapper::map(windowsPath);
    if (!mapped.ok())
        throw FileError(QStringLiteral("Cannot create %1: %2").arg(windowsPath, mapped.error));
    const int fd = beside::createNew(mapped.hostPath);
    if (fd < 0)
        throw FileError(QStringLiteral("Cannot create %1: %2").arg(windowsPath, QString::fromLocal8Bit(std::strerror(errno))));
    if (!m_file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw FileError(QStringLiteral("Cannot create %1: %2").arg(windowsPath, m_file.errorString()));
    }
}

LineWriter::~LineWriter() { m_file.close(); }

void LineWriter::writeOut(const char *data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const qint64 n = m_file.write(data + done, size - done);
        if (n <= 0)
            throw FileError(QStringLiteral("Cannot write %1: %2").arg(m_path, m_file.errorString()));
        done += n;
    }
}

void LineWriter::writeLine(const QString &text)
{
    if (m_mode == Mode::Buffered) {
        m_pending += textfile::codePage(text);
        m_pending.append("\r\n", 2);
        return;
    }
    QByteArray bytes = textfile::codePage(text);
    bytes.append("\r\n", 2);
    writeOut(bytes.constData(), bytes.size());
}

void LineWriter::sync()
{
    writeOut(m_pending.constData(), m_pending.size());
    m_pending.clear();
    if (!textfile::syncToDisk(m_file))
        throw FileError(QStringLiteral("Cannot write %1 to the disk: %2").arg(m_path, m_file.errorString()));
    textfile::notifySync(m_path);
}

void LineWriter::close()
{
    if (m_file.isOpen()) {
        if (!m_pending.isEmpty()) {
            writeOut(m_pending.constData(), m_pending.size());
            m_pending.clear();
        }
        m_file.close();
        if (m_file.error() != QFileDevice::NoError)
            throw FileError(QStringLiteral("Cannot close %1: %2").arg(m_path, m_file.errorString()));
    }
}

namespace textfile {

namespace {
bool failWith(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}
QString systemError(int err) { return QString::fromLocal8Bit(std::strerror(err)); }
} // namespace

bool writeReplacing(const QString &target, const QByteArray &bytes, QString *error)
{
    const MappedPath to = pathmapper::map(target);
    if (!to.ok())
        return failWith(error, to.error);
    const QString folder = QFileInfo(to.hostPath).absolutePath();
    if (!QFileInfo(folder).isDir())
        return failWith(error, QStringLiteral("the folder of %1 does not exist").arg(pathmapper::shown(to.hostPath)));
    // Written whole beside the target, on the disk, and only then renamed
    // over it: a full disk or a failed write leaves the target as it was.
    // A name of this run's own, so that two runs never write one file.
    const beside::FolderHold hold(folder);
    const QString own = beside::ownName(to.hostPath);
    const QByteArray ownBytes = QFile::encodeName(own);
    int fd = beside::createNew(own);
    if (fd < 0)
        return failWith(error, systemError(errno));
    const auto abandon = [&](int err) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(ownBytes.constData());
        return failWith(error, systemError(err));
    };
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return abandon(n < 0 ? errno : ENOSPC);
        done += n;
    }
    if (::fdatasync(fd) != 0)
        return abandon(errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0 || ::rename(ownBytes.constData(), QFile::encodeName(to.hostPath).constData()) != 0)
        return abandon(errno);
    syncFolder(folder);
    notifySync(target);
    return true;
}

bool copyReplacing(const QString &source, const QString &target, QString *error)
{
    const MappedPath from = pathmapper::map(source);
    if (!from.ok())
        return failWith(error, from.error);
    QFile in(from.hostPath);
    if (!in.open(QIODevice::ReadOnly))
        return failWith(error, in.errorString());
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return failWith(error, in.errorString());
    return writeReplacing(target, bytes, error);
}

namespace {
SyncObserver &syncObserver()
{
    static SyncObserver o;
    return o;
}
} // namespace

void syncFolder(const QString &hostFolder)
{
    const int fd = ::open(QFile::encodeName(hostFolder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void setSyncObserver(SyncObserver observer) { syncObserver() = std::move(observer); }

void notifySync(const QString &windowsPath)
{
    if (syncObserver())
        syncObserver()(windowsPath);
}

bool syncToDisk(QFile &file)
{
    if (!file.isOpen() || !file.flush())
        return false;
    return ::fdatasync(file.handle()) == 0;
}

void replace(const QString &source, const QString &target)
{
    const MappedPath from = pathmapper::map(source);
    const MappedPath to = pathmapper::map(target);
    if (!from.ok() || !to.ok())
        throw FileError(QStringLiteral("Cannot put %1 in the place of %2: %3").arg(source, target, from.ok() ? to.error : from.error));
    if (::rename(QFile::encodeName(from.hostPath).constData(), QFile::encodeName(to.hostPath).constData()) != 0)
        throw FileError(QStringLiteral("Cannot put %1 in the place of %2: %3").arg(source, target, QString::fromLocal8Bit(std::strerror(errno))));
    syncFolder(QFileInfo(to.hostPath).absolutePath());
    notifySync(target);
}

namespace {
// Windows-1252's bytes 0x80 to 0x9F; 0 where the code page has none.
constexpr char16_t kHigh[32] = {0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                                0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

// The byte of a character, or -1 where the code page lacks it.
int byteOf(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int k = 0; k < 32; ++k)
        if (kHigh[k] == c)
            return 0x80 + k;
    return -1;
}
} // namespace

QByteArray codePage(const QString &text)
{
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; }))
        return text.toLatin1(); // every line the program writes, in practice
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int b = byteOf(text[i].unicode());
        if (b < 0 && text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i; // one character, one "?"
        bytes += b < 0 ? '?' : char(b);
    }
    return bytes;
}

QString notInCodePage(const QString &text)
{
    QString missing;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (byteOf(text[i].unicode()) >= 0)
            continue;
        const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
        if (!missing.contains(text.mid(i, n)))
            missing += text.mid(i, n);
        i += n - 1;
    }
    return missing;
}

QByteArray csvField(const QString &v)
{
    for (QChar ch : v)
        if (ch == u',' || ch == u'"' || ch == u'\n' || ch == u'\r')
            return '"' + QString(v).replace(QLatin1Char('"'), QStringLiteral("\"\"")).toUtf8() + '"';
    return v.toUtf8();
}

bool remove(const QString &windowsPath, QString *error)
{
    const MappedPath mapped = pathmapper::map(windowsPath);
    if (!mapped.ok()) {
        if (error)
            *error = mapped.error;
        return false;
    }
    QFile f(mapped.hostPath);
    if (!f.exists() || f.remove())
        return true;
    if (error)
        *error = f.errorString();
    return false;
}

} // namespace textfile
