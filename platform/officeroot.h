#pragma once
// The office root: one folder that stands for the credit union office's
// Windows machine (its drives, its registry, C:\temp). And the program
// folder, the host folder of the running executable.
#include <QString>

namespace officeroot {

// --root DIR, else $CTFADMIN_ROOT, else $XDG_DATA_HOME/ctfadmin.
QString path();
void setPath(const QString &dir);

// The folder of the executable, without a trailing separator. Tests set it.
QString programFolder();
void setProgramFolder(const QString &dir);

// The registry file, HKEY_LOCAL_MACHINE.
QString registryFile();

} // namespace officeroot
