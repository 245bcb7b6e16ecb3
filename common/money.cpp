#include "common/money.h"

#include <cmath>

Money Money::fromDouble(double d)
{
    // Half away from zero at the fourth decimal; a column value such as 12.345
    // is held as 12.3450 exactly.
    const double scaled = d * 10000.0;
    return fromUnits(static_cast<std::int64_t>(std::llround(scaled)));
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
        return fromDouble(d);
    }
    if (i != t.size() || digits == 0)
        return std::nullopt;
    for (; fracDigits < 4; ++fracDigits)
        frac *= 10;
    std::int64_t units = whole * 10000 + frac;
    if (roundDigit >= 5)
        ++units; // half away from zero on the magnitude
    return fromUnits(neg ? -units : units);
}

Money Money::fromVariant(const QVariant &v)
{
    if (v.isNull() || !v.isValid())
        return {};
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return fromUnits(v.toLongLong() * 10000);
    case QMetaType::Double:
    case QMetaType::Float:
        return fromDouble(v.toDouble());
    default:
        if (auto m = parse(v.toString()))
            return *m;
        return fromDouble(v.toDouble());
    }
}

Money Money::roundedTo2() const
{
    const std::int64_t mag = m_units < 0 ? -m_units : m_units;
    std::int64_t r = (mag + 50) / 100 * 100;
    return fromUnits(m_units < 0 ? -r : r);
}

QString Money::format2() const
{
    const std::int64_t cents = roundedTo2().units() / 100;
    const std::int64_t mag = cents < 0 ? -cents : cents;
    return QStringLiteral("%1%2.%3")
        .arg(cents < 0 ? QStringLiteral("-") : QString())
        .arg(mag / 100)
        .arg(mag % 100, 2, 10, QLatin1Char('0'));
}

QString Money::plain() const
{
    const std::int64_t mag = m_units < 0 ? -m_units : m_units;
    QString s = QString::number(mag / 10000);
    std::int64_t frac = mag % 10000;
    if (frac) {
        QString f = QStringLiteral("%1").arg(frac, 4, 10, QLatin1Char('0'));
        while (f.endsWith('0'))
            f.chop(1);
        s += '.' + f;
    }
    return m_units < 0 ? '-' + s : s;
}
