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

namespace {
// Three numbers, each zero-padded to its width, joined by `sep`, built in one
// buffer with one allocation: a date is written for every entry of a return
// and of the checks' findings.
QString joined(int a, int wa, char16_t sep, int b, int wb, int c, int wc)
{
    if (a < 0 || b < 0 || c < 0)
        return zeroPadded(a, wa) + QChar(sep) + zeroPadded(b, wb) + QChar(sep) + zeroPadded(c, wc);
    char16_t buffer[48];
    char16_t *out = buffer;
    const auto put = [&out](int v, int width) {
        char16_t reversed[12];
        int n = 0;
        do {
            reversed[n++] = char16_t(u'0' + v % 10);
            v /= 10;
        } while (v != 0);
        for (int i = n; i < width; ++i)
            *out++ = u'0';
        while (n > 0)
            *out++ = reversed[--n];
    };
    put(a, wa);
    *out++ = sep;
    put(b, wb);
    *out++ = sep;
    put(c, wc);
    return QString(reinterpret_cast<const QChar *>(buffer), out - buffer);
}
} // namespace

QString accessLiteral(const QDate &d) { return joined(d.month(), 2, u'/', d.day(), 2, d.year() % 100, 2); }
QString returnForm(const QDate &d) { return joined(d.year(), 4, u'/', d.month(), 2, d.day(), 2); }
QString dayFirst(const QDate &d) { return joined(d.day(), 2, u'/', d.month(), 2, d.year(), 4); }
QString shownDayFirst(const QVariant &value)
{
    if (const auto d = fromVariant(value))
        return dayFirst(*d);
    return value.isNull() ? QString() : value.toString();
}
QString dayFirstShort(const QDate &d) { return joined(d.day(), 2, u'/', d.month(), 2, d.year() % 100, 2); }
QString iso(const QDate &d) { return joined(d.year(), 4, u'-', d.month(), 2, d.day(), 2); }

QDate birthday(const QDate &dob, int years)
{
    const int year = dob.year() + years;
    if (dob.month() == 2 && dob.day() == 29 && !QDate::isLeapYear(year))
        return QDate(year, 3, 1);
    return QDate(year, dob.month(), dob.day());
}

int yearsOld(const QDate &dob, const QDate &day)
{
    const int years = day.year() - dob.year();
    return day < birthday(dob, years) ? years - 1 : years;
}

} // namespace dates
