#pragma once
// The one path mapper. The program keeps Windows paths as text and maps a
// path only when it touches the file system: "X:\a\b" lives in
// <office root>/drive_x/a/b; any other path is a host path in which "\" is a
// separator too. Components are matched against what exists without regard
// to letter case; a component that does not exist keeps its spelling.
#include <QString>

struct MappedPath {
    QString hostPath;   // empty when the mapping failed
    QString error;      // why it failed (a missing drive), naming the drive
    bool ok() const { return error.isEmpty(); }
};

namespace pathmapper {

MappedPath map(const QString &windowsPath);
// Host path, or empty text when the drive is missing.
QString toHost(const QString &windowsPath);
// Whether a file exists at the Windows path (letter case ignored).
bool fileExists(const QString &windowsPath);
// The drive letter of "X:..." paths, or a null char.
QChar driveLetter(const QString &windowsPath);
// A host path as the office names it, for messages: "K:\backups\x" for one
// in a drive's folder, else the host path itself.
QString shown(const QString &hostPath);

} // namespace pathmapper
