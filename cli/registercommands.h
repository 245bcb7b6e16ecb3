#pragma once
// The commands that work on the register as a whole: its import from
// Access, its history, its backups and their restore.
#include "cli/commands.h"

namespace cli {

Status importRegister(const Arguments &);
Status registerHistory(const Arguments &o);
Status listBackups(const Arguments &);
Status restoreBackup(const Arguments &o);

} // namespace cli
