#pragma once
// The About box's link to the system information tool, whose path the
// registry names.
#include <QString>

// Reads one registry value as text (numbers in decimal); false when the key
// or value is missing, leaving value empty. Other value kinds leave value
// as passed in.
bool GetKeyValue(quint32 rootKey, const QString &keyName, const QString &valueName, QString &value);

// Starts the tool, or says it is unavailable.
void StartSysInfo();
