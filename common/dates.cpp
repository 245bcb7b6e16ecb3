#include "common/dates.h"


namespace dates {

int expandYear(int yy)
{
    return yy < 30 ? 2000 + yy : 1900 + yy;
}

int readDigits(const QString &s, qsizetype &at, int min, int max)
{
    int value = 0, n = 0;
    while (n < max && at < s.size() && s[at].unicode() >= '0' && s[at].unicode() <= '9') {
        if (n < 9) // a longer run (a fraction of a second) is read, not valued
            value = value * 10 + (s[at].unicode() - '0');
        ++at;
        ++n;
    }
    return n >= min ? value : -1;
}

namespace {

bool take(const QString &s, qsizetype &at, const char *oneOf)
{
    if (at < s.size())
        for (const char *c = oneOf; *c; ++c)
            if (s[at].unicode() == uchar(*c)) {
                ++at;
                return true;
            }
    return false;
}

// The calendar date, or none; years before 100 are no date either.
std::optional<QDate> valid(int y, int m, int d)
{
    const QDate date(y, m, d);
    if (!date.isValid() || y < 100)
        return std::nullopt;
    return date;
}

// "d/m/yy", "dd-mm-yyyy", ... (one- or two-digit day and month, two- or
// four-digit year; "/", "-" or "." between them).
std::optional<QDate> dayFirstText(const QString &s)
{
    qsizetype at = 0;
    const int d = readDigits(s, at, 1, 2);
    if (d < 0 || !take(s, at, "/.-"))
        return std::nullopt;
    const int m = readDigits(s, at, 1, 2);
    if (m < 0 || !take(s, at, "/.-"))
        return std::nullopt;
    const qsizetype yearAt = at;
    const int y = readDigits(s, at, 2, 4);
    const qsizetype yearDigits = at - yearAt;
    if (y < 0 || yearDigits == 3 || at != s.size())
        return std::nullopt;
    return valid(yearDigits == 2 ? expandYear(y) : y, m, d);
}

// "yyyy-mm-dd", optionally followed by " hh:mm", ":ss" and a fraction.
std::optional<QDate> isoText(const QString &s)
{
    qsizetype at = 0;
    const int y = readDigits(s, at, 4, 4);
    if (y < 0 || !take(s, at, "-"))
        return std::nullopt;
    const int m = readDigits(s, at, 2, 2);
    if (m < 0 || !take(s, at, "-"))
        return std::nullopt;
    const int d = readDigits(s, at, 2, 2);
    if (d < 0)
        return std::nullopt;
    if (at < s.size()) {
        if (!take(s, at, " T") || readDigits(s, at, 2, 2) < 0 || !take(s, at, ":") || readDigits(s, at, 2, 2) < 0)
            return std::nullopt;
        if (take(s, at, ":")) {
            if (readDigits(s, at, 2, 2) < 0)
                return std::nullopt;
            if (take(s, at, ".") && readDigits(s, at, 1, int(s.size())) < 0)
                return std::nullopt;
        }
        if (at != s.size())
            return std::nullopt;
    }
    return valid(y, m, d);
}

} // namespace

std::optional<QDate> parse(const QString &input)
{
    // Read character by character: the return and the checks parse a date
    // or two for every entry.
    const QString text = input.trimmed();
    if (const auto d = dayFirstText(text))
        return d;
    return isoText(text);
}

std::optional<QDate> fromVariant(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    if (value.typeId() == QMetaType::QDate || value.typeId() == QMetaType::QDateTime) {
        const QDate d = value.toDate();
        return d.isValid() ? std::optional<QDate>(d) : std::nullopt;
    }
    return parse(value.toString());
}

QString zeroPadded(int v, int width)
{
    // Without a format string: dates are written for every entry of a return.
    QString s = QString::number(v);
    if (s.size() < width)
        s.prepend(QString(width - s.size(), QLatin1Char('0')));
    return s;
}

static QString two(int v) { return zeroPadded(v, 2); }
static QString four(int v) { return zeroPadded(v, 4); }

QString accessLiteral(const QDate &d) { return two(d.month()) + '/' + two(d.day()) + '/' + two(d.year() % 100); }
QString returnForm(const QDate &d) { return four(d.year()) + '/' + two(d.month()) + '/' + two(d.day()); }
QString dayFirst(const QDate &d) { return two(d.day()) + '/' + two(d.month()) + '/' + four(d.year()); }
QString shownDayFirst(const QVariant &value)
{
    if (const auto d = fromVariant(value))
        return dayFirst(*d);
    return value.isNull() ? QString() : value.toString();
}
QString dayFirstShort(const QDate &d) { return two(d.day()) + '/' + two(d.month()) + '/' + two(d.year() % 100); }
QString iso(const QDate &d) { return four(d.year()) + '-' + two(d.month()) + '-' + two(d.day()); }

} // namespace dates
