#pragma once
// The one date parser of the program. Dates are typed and stored day first
// ("dd/mm/yyyy", "dd/mm/yy"); Tarnwell dates are ISO text. Two-digit years
// are 20yy for 00-29 and 19yy for 30-99, everywhere.
#include <QDate>
#include <QString>
#include <QVariant>
#include <optional>

namespace dates {

int expandYear(int twoDigitYear);

// Reads text the way the screens test "is this a date": day first with "/",
// "-" or "." between one- or two-digit day and month and a two- or four-digit
// year, or ISO "yyyy-mm-dd" (optionally followed by a time). Surrounding
// blanks are ignored; anything else, or an impossible calendar date, is no date.
std::optional<QDate> parse(const QString &text);
inline bool isDate(const QString &text) { return parse(text).has_value(); }
// A column value: a date or date-time (as SQL Server gives them) or text read
// as above; Null or anything else is no date.
std::optional<QDate> fromVariant(const QVariant &value);

// Reads `min` to `max` ASCII digits of `s` at `at`, moving `at` past them,
// and gives their value (of a run longer than nine digits, the value of the
// first nine); -1 (and `at` past what was read) when fewer are there.
int readDigits(const QString &s, qsizetype &at, int min, int max);
// A whole number with leading zeros to at least `width` digits.
QString zeroPadded(int v, int width);
// Access date literal text "mm/dd/yy" (month first, two-digit year).
QString accessLiteral(const QDate &d);
// "yyyy/mm/dd", the form both return files carry.
QString returnForm(const QDate &d);
// "dd/mm/yyyy", the register's and the screens' form.
QString dayFirst(const QDate &d);
// A stored date as the screens show it, "dd/mm/yyyy"; a value that is no
// date is shown as it stands, Null as empty text.
QString shownDayFirst(const QVariant &value);
// "dd/mm/yy".
QString dayFirstShort(const QDate &d);
// "yyyy-mm-dd", the ISO text held in Tarnwell date columns.
QString iso(const QDate &d);

// The day on which one born on `dob` reaches the age of `years`: the same
// day and month, and for one born on 29 February, 1 March in a common year
// (English law takes the anniversary of 29 February in a common year to be
// 1 March: nobody is a year older before the whole year has passed).
QDate birthday(const QDate &dob, int years);
// Whole years of age on `day`.
int yearsOld(const QDate &dob, const QDate &day);

} // namespace dates
