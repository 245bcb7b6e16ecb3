#pragma once
// The six hidden setting fields of the main screen, filled once at start-up
// from the registry and only read afterwards, and the main screen's title,
// which asking for the register's connection string changes.
#include <QString>
#include <functional>

struct SettingFields {
    int chkSQL = 0;
    QString txtDatabase;
    int chkAdmin = 0;
    QString sqlPW;
    QString sqlUserName;
    QString SQLSubset;
};

namespace appsettings {

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

} // namespace appsettings
