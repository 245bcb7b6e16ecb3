#include "common/textfile.h"

#include "common/error.h"
#include "platform/pathmapper.h"

#include <QFileInfo>
#include <QSaveFile>

LineWriter::LineWriter(const QString &windowsPath) : m_path(windowsPath)
{
    const MappedPath mapped = pathmapper::map(windowsPath);
    if (!mapped.ok())
        throw FileError(QStringLiteral("Cannot create %1: %2").arg(windowsPath, mapped.error));
    m_file.setFileName(mapped.hostPath);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw FileError(QStringLiteral("Cannot create %1: %2").arg(windowsPath, m_file.errorString()));
}

LineWriter::~LineWriter() { m_file.close(); }

void LineWriter::writeLine(const QString &text)
{
    QByteArray bytes = text.toLatin1();
    bytes.append("\r\n", 2);
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = m_file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            throw FileError(QStringLiteral("Cannot write %1: %2").arg(m_path, m_file.errorString()));
        done += n;
    }
}

void LineWriter::close()
{
    if (m_file.isOpen()) {
        m_file.close();
        if (m_file.error() != QFileDevice::NoError)
            throw FileError(QStringLiteral("Cannot close %1: %2").arg(m_path, m_file.errorString()));
    }
}

namespace textfile {

bool copyReplacing(const QString &source, const QString &target, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const MappedPath from = pathmapper::map(source);
    if (!from.ok())
        return fail(from.error);
    const MappedPath to = pathmapper::map(target);
    if (!to.ok())
        return fail(to.error);
    QFile in(from.hostPath);
    if (!in.open(QIODevice::ReadOnly))
        return fail(in.errorString());
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return fail(in.errorString());
    if (!QFileInfo(QFileInfo(to.hostPath).absolutePath()).isDir())
        return fail(QStringLiteral("the folder of %1 does not exist").arg(target));
    QSaveFile out(to.hostPath);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        return fail(out.errorString());
    return true;
}

} // namespace textfile
