#pragma once
// The six hidden setting fields of the main screen, filled once at start-up
// from the registry and only read afterwards, and the main screen's title,
// which asking for the register's connection string changes.
#include "data/settingfields.h"

#include <QString>
#include <functional>

namespace appsettings {

// A whole number above 0 kept under the program's registry key (the office's
// own settings, such as how many backups are kept), or `fallback`.
int number(const char *name, int fallback);
SettingFields &fields();

inline constexpr const char *kProgramTitle = "Child trust fund administration";
inline constexpr const char *kTarnwellKey = "Software\\Orvel\\Tarnwell";
inline constexpr quint32 kHkeyLocalMachine = 0x80000002u;

QString mainTitle();
void setMainTitle(const QString &title);
// The main screen follows its title through this.
void onMainTitleChanged(std::function<void(const QString &)> listener);

// The start-up steps: read the six registry values into the fields, every
// failing step skipped.
void loadFromRegistry(SettingFields &into);

// Removes what killed runs left in the office's folders (files written
// beside their place, which hold members' data: the returns folder, C:\temp,
// the register's folder, the snapshots of Access files) where no run holds
// the folder now. Every command and the main screen run it at start
// (returns::sweepAtStart).
void sweepLeftovers();

} // namespace appsettings

// The shared functions over the main screen's setting fields: each hands the
// fields to the data layer's function of the same job. Asking for "CTF" also
// sets the main screen's title to say where the register is.
QString GetConnectionString(const QString &name);
QString TranslateSQL(const QString &sql, bool force);
QString ConvertSQLDates(const QString &sql);
QString SQLISNULL(const QString &sql, bool force);
