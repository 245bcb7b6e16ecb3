#pragma once
// The one place where Access dialect becomes SQLite dialect, for statements
// sent to the database files: #mm/dd/yy# and #mm/dd/yyyy# date literals
// become 'YYYY-MM-DD' text (the form the date columns hold), True/False
// become 1/0, "DELETE * FROM" loses its asterisk, one-argument ISNULL(x)
// becomes (x IS NULL) and two-argument ISNULL becomes IFNULL. IIF is
// SQLite's own. The terms of the ORDER BY clause sort text without regard to
// letter case, as Access does, even in a table loaded without NOCASE
// columns. Text inside quotes is never touched.
#include <QString>
#include <QVariantList>

namespace accesssql {
QString toSqlite(const QString &accessSql);

// A statement's shape: its text with the values that vary from one run of
// it to the next (quoted text, date literals, numbers compared with "=",
// "<", ">", "<=", ">=", "<>") as "?" placeholders, and those values (dates
// already in the ISO form of toSqlite). Statements of one shape are turned
// into SQLite and compiled once, and run with their values bound; a bound
// value compares exactly as the literal it stands for.
struct Shape {
    QString text;
    QVariantList values;
};
Shape shape(const QString &accessSql);
}
