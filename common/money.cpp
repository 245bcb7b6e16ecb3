#include "common/money.h"

#include "common/error.h"

#include <cmath>

namespace {
// The largest whole number of pounds the type holds.
constexpr std::int64_t kMaxWhole = INT64_MAX / 10000;

[[noreturn]] void outOfRange(const QString &value)
{
    throw CtfError(0, QStringLiteral("Money"),
                   QStringLiteral("The amount %1 is beyond what ctfadmin can hold (about 922 trillion pounds).").arg(value));
}

std::optional<Money> checkedDouble(double d)
{
    const double scaled = d * 10000.0;
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2233720368547e18)
        return std::nullopt;
    // Half away from zero at the fourth decimal; a column value such as 12.345
    // is held as 12.3450 exactly.
    return Money::fromUnits(static_cast<std::int64_t>(std::llround(scaled)));
}
} // namespace

Money Money::fromDouble(double d)
{
    if (const auto m = checkedDouble(d))
        return *m;
    outOfRange(QString::number(d, 'g', 17));
}

Money Money::operator+(Money o) const
{
    std::int64_t sum = 0;
    if (__builtin_add_overflow(m_units, o.m_units, &sum))
        throw CtfError(0, QStringLiteral("Money"), QStringLiteral("A sum of money went beyond what ctfadmin can hold (about 922 trillion pounds)."));
    return fromUnits(sum);
}

std::optional<Money> Money::read(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return std::nullopt;
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong: {
        const qlonglong n = v.toLongLong();
        if (n > kMaxWhole || n < -kMaxWhole)
            return std::nullopt;
        return fromUnits(n * 10000);
    }
    case QMetaType::UInt:
    case QMetaType::ULongLong: {
        const qulonglong n = v.toULongLong();
        if (n > qulonglong(kMaxWhole))
            return std::nullopt;
        return fromUnits(std::int64_t(n) * 10000);
    }
    case QMetaType::Double:
    case QMetaType::Float:
        return checkedDouble(v.toDouble());
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return parse(v.toString());
    default:
        return std::nullopt;
    }
}

std::optional<Money> Money::parse(const QString &input)
{
    const QString t = input.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    int i = 0;
    bool neg = false;
    if (t[0] == '-' || t[0] == '+') {
        neg = t[0] == '-';
        ++i;
    }
    std::int64_t whole = 0;
    int digits = 0;
    for (; i < t.size() && t[i].isDigit(); ++i, ++digits) {
        if (whole > (INT64_MAX / 10 - 9) / 10000)
            return std::nullopt;
        whole = whole * 10 + t[i].digitValue();
    }
    std::int64_t frac = 0;
    int fracDigits = 0;
    int roundDigit = -1;
    if (i < t.size() && t[i] == '.') {
        ++i;
        for (; i < t.size() && t[i].isDigit(); ++i, ++digits) {
            const int dv = t[i].digitValue();
            if (fracDigits < 4) {
                frac = frac * 10 + dv;
                ++fracDigits;
            } else if (roundDigit < 0) {
                roundDigit = dv;
            }
        }
    }
    // Accept an exponent form as written by some exporters (1.5E+2).
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        bool ok = false;
        const double d = t.toDouble(&ok);
        if (!ok)
            return std::nullopt;
        return checkedDouble(d);
    }
    if (i != t.size() || digits == 0)
        return std::nullopt;
    for (; fracDigits < 4; ++fracDigits)
        frac *= 10;
    std::int64_t units = 0;
    if (__builtin_mul_overflow(whole, std::int64_t(10000), &units) || __builtin_add_overflow(units, frac + (roundDigit >= 5 ? 1 : 0), &units))
        return std::nullopt; // beyond the range (half away from zero on the magnitude above)
    return fromUnits(neg ? -units : units);
}

Money Money::fromVariant(const QVariant &v)
{
    if (v.isNull() || !v.isValid())
        return {};
    if (const auto m = read(v))
        return *m;
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        outOfRange(v.toString());
    default: {
        bool number = false;
        const double d = v.toString().toDouble(&number);
        if (number)
            return fromDouble(d); // beyond the range: refused there
        return fromDouble(v.toDouble());
    }
    }
}

Money Money::roundedTo2() const
{
    // The magnitude in 64 unsigned bits: that of the most negative value and
    // the carry of the rounding both fit.
    const std::uint64_t mag = m_units < 0 ? 0 - std::uint64_t(m_units) : std::uint64_t(m_units);
    const std::uint64_t rounded = (mag + 50) / 100 * 100;
    const std::uint64_t limit = m_units < 0 ? std::uint64_t(INT64_MAX) + 1 : std::uint64_t(INT64_MAX);
    if (rounded > limit)
        throw CtfError(0, QStringLiteral("Money"), QStringLiteral("An amount went beyond what ctfadmin can hold (about 922 trillion pounds)."));
    const std::int64_t r = m_units < 0 ? std::int64_t(0 - rounded) : std::int64_t(rounded);
    return fromUnits(std::int64_t(r));
}

QString Money::format2() const
{
    const std::int64_t cents = roundedTo2().units() / 100;
    const std::int64_t mag = cents < 0 ? -cents : cents;
    // Built without a format string: every line of a return has an amount.
    QString s = QString::number(mag / 100);
    s.reserve(s.size() + 4);
    if (cents < 0)
        s.prepend(QLatin1Char('-'));
    s += QLatin1Char('.');
    s += QLatin1Char(char('0' + mag % 100 / 10));
    s += QLatin1Char(char('0' + mag % 10));
    return s;
}

QString Money::plain() const
{
    const quint64 mag = m_units < 0 ? 0 - quint64(m_units) : quint64(m_units);
    QString s = QString::number(mag / 10000);
    quint64 frac = mag % 10000;
    if (frac) {
        // The four decimals without their trailing zeros, no format string:
        // the enquiry writes an amount for every entry.
        int digits = 4;
        while (frac % 10 == 0) {
            frac /= 10;
            --digits;
        }
        s += QLatin1Char('.');
        const qsizetype at = s.size();
        s.resize(at + digits);
        for (int i = digits - 1; i >= 0; --i, frac /= 10)
            s[at + i] = QLatin1Char(char('0' + frac % 10));
    }
    if (m_units < 0)
        s.prepend(QLatin1Char('-'));
    return s;
}
