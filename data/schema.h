#pragma once
// The SQLite schema of the register and of the Tarnwell tables, as
// docs/storage.md documents it. Text columns compare and sort without regard
// to letter case, as in Access; dates of the Tarnwell tables are ISO text.
#include <QString>
#include <QStringList>

namespace schema {
enum class Kind { Register, Tarnwell };
// Creates the database file at hostPath with its tables and indexes; throws
// DbError. An existing file is refused, never overwritten.
void createDatabaseFile(const QString &hostPath, Kind kind);
QString ddl(Kind kind);
// The program's indexes on a table it knows (the register's and Tarnwell's
// tables), as CREATE INDEX statements, for those whose columns the table
// has; for snapshots of data made elsewhere.
QStringList indexesFor(const QString &table, const QStringList &columns);
// The Tarnwell tables the program reads; a snapshot of an Access file holds
// these alone.
const QStringList &tarnwellTables();
}
