#pragma once
// Rewriting of SQL text written in the Access dialect for SQL Server, as the
// product annual return sends its transaction statements. Each function is
// given the mode (sqlServer: Tarnwell data on SQL Server) rather than
// reading the settings.
#include <QString>

QString translateSql(const QString &sql, bool force, bool sqlServer);
QString convertSqlDates(const QString &sql, bool sqlServer);
// Mode bits: 2/32 replace every occurrence, 64 strip classes everywhere,
// 4 from the start, 8 from the end, 128 collapse repeats, 1 upper-case.
// Character classes: 1 blank, 4 tab, 8 CR, 32 LF; 0 = all four.
QString ReplaceToken(const QString &text, int mode, const QString &search, const QString &replacement,
                     int charClasses, int repeatCount);
// Throws CtfError 0x8004020D on a badly formed ISNULL expression.
QString sqlIsNull(const QString &sql, bool force, bool sqlServer);
