#include "platform/officeroot.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace {
QString g_root;
QString g_programFolder;
}

namespace officeroot {

QString path()
{
    if (!g_root.isEmpty())
        return g_root;
    const QString env = qEnvironmentVariable("CTFADMIN_ROOT");
    if (!env.isEmpty())
        return QDir::cleanPath(QDir(env).absolutePath());
    QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (xdg.isEmpty())
        xdg = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(xdg + QStringLiteral("/ctfadmin"));
}

void setPath(const QString &dir)
{
    g_root = dir.isEmpty() ? QString() : QDir::cleanPath(QDir(dir).absolutePath());
}

QString programFolder()
{
    if (!g_programFolder.isEmpty())
        return g_programFolder;
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

void setProgramFolder(const QString &dir) { g_programFolder = dir; }

QString registryFile() { return path() + QStringLiteral("/system.reg"); }

} // namespace officeroot
