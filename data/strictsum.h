#pragma once
// Sums of money on a database file as Access and SQL Server make them, and
// never a wrong one: SQLite's own sum() reads a text such as "1,200.00" as 1
// and "£50.00" as 0, without a word. The connection's sum() is replaced by
// one that adds whole and decimal numbers, and plain number text ("12.50",
// as data loaded from text files holds it), leaves Null out as Access does,
// and stops the statement with an error that quotes any other value.
#include <QSqlDatabase>

namespace strictsum {
// False when the connection's database handle could not be reached.
bool install(QSqlDatabase &db);
}
