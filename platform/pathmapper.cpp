#include "platform/pathmapper.h"

#include "platform/officeroot.h"

#include <QDir>
#include <QFileInfo>

namespace pathmapper {

QChar driveLetter(const QString &p)
{
    if (p.size() >= 2 && p[1] == ':' && p[0].isLetter() && p[0].unicode() < 128)
        return p[0].toLower();
    return QChar();
}

// Finds an existing entry of dir whose name equals name ignoring case; an
// exact match wins.
static QString matchComponent(const QString &dir, const QString &name)
{
    if (QFileInfo::exists(dir + '/' + name))
        return name;
    const QStringList entries = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &e : entries)
        if (e.compare(name, Qt::CaseInsensitive) == 0)
            return e;
    return name;
}

QString shown(const QString &hostPath)
{
    const QString drives = officeroot::path() + QStringLiteral("/drive_");
    // "<root>/drive_k" or "<root>/drive_k/...": one letter, then the end or a separator.
    if (!hostPath.startsWith(drives) || hostPath.size() < drives.size() + 1 || !hostPath.at(drives.size()).isLetter()
        || (hostPath.size() > drives.size() + 1 && hostPath.at(drives.size() + 1) != QLatin1Char('/')))
        return hostPath;
    QString rest = hostPath.mid(drives.size() + 1);
    rest.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return hostPath.at(drives.size()).toUpper() + QLatin1Char(':') + (rest.isEmpty() ? QStringLiteral("\\") : rest);
}

MappedPath map(const QString &windowsPath)
{
    QString rest = windowsPath;
    QString base;
    const QChar drive = driveLetter(windowsPath);
    if (!drive.isNull()) {
        base = officeroot::path() + QStringLiteral("/drive_") + drive;
        if (!QFileInfo(base).isDir())
            return {QString(), QStringLiteral("Drive %1: is not available (no folder %2)")
                                   .arg(drive.toUpper())
                                   .arg(base)};
        rest = windowsPath.mid(2);
    } else if (rest.startsWith('/') || rest.startsWith('\\')) {
        base = QStringLiteral("/");
    } else {
        base = QDir::currentPath();
    }
    rest.replace('\\', '/');
    const QStringList parts = rest.split('/', Qt::SkipEmptyParts);
    QString current = base == QStringLiteral("/") ? QString() : base;
    // On a drive, ".." at its root stays at the root, as on Windows: a
    // Windows path never leads outside its drive's folder.
    const qsizetype floor = drive.isNull() ? 0 : current.size();
    for (const QString &part : parts) {
        if (part == QStringLiteral("."))
            continue;
        if (part == QStringLiteral("..")) {
            const qsizetype cut = current.lastIndexOf('/');
            if (cut > 0 && cut >= floor)
                current.truncate(cut);
            continue;
        }
        const QString parentDir = current.isEmpty() ? QStringLiteral("/") : current;
        current += '/' + matchComponent(parentDir, part);
    }
    if (current.isEmpty())
        current = QStringLiteral("/");
    // A trailing separator names a folder; keep it, callers join names to it.
    if ((windowsPath.endsWith('\\') || windowsPath.endsWith('/')) && !current.endsWith('/'))
        current += '/';
    return {current, QString()};
}

QString toHost(const QString &windowsPath) { return map(windowsPath).hostPath; }

bool fileExists(const QString &windowsPath)
{
    const MappedPath m = map(windowsPath);
    return m.ok() && QFileInfo(m.hostPath).isFile();
}

} // namespace pathmapper
