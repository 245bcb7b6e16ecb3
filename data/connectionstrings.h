#pragma once
// Logical database names ("CTF", "Tarnwell"/"TarnMain", "TarnTran") turned
// into the connection strings of the configured back end, from the setting
// fields given. The strings are the office's configuration format and are
// produced exactly.
#include "data/settingfields.h"

#include <QString>

struct ConnectionChoice {
    QString connectionString;   // empty for an unknown name
    // For "CTF" only: the main screen's title, which names where the
    // register was found ("... (CTF.mdb location is K:\)"); else empty.
    QString mainTitle;
};

// programFolder: the folder of the program, a host path, where a register
// "CTF.MDB" (any letter case) takes precedence over K:\.
ConnectionChoice connectionStringFor(const SettingFields &settings, const QString &name, const QString &programFolder);

// The Jet connection string of a database file at a Windows path, as the
// office's configuration writes it.
QString jetConnectionString(const QString &windowsPath);
