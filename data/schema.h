#pragma once
// The SQLite schema of the register and of the Tarnwell tables, as
// docs/storage.md documents it. Text columns compare and sort without regard
// to letter case, as in Access; dates of the Tarnwell tables are ISO text.
#include <QString>

namespace schema {
enum class Kind { Register, Tarnwell };
// Creates the database file at hostPath with its tables and indexes; throws
// DbError. An existing file is refused, never overwritten.
void createDatabaseFile(const QString &hostPath, Kind kind);
QString ddl(Kind kind);
}
