#pragma once
// The one money type: a fixed-point currency value, a count of
// ten-thousandths held in 64 bits. Values read from columns are rounded to
// four decimals on the way in; sums and formats never touch binary floating
// point after that. Rounding goes half away from zero.
#include <QString>
#include <QVariant>
#include <cstdint>
#include <optional>

class Money {
public:
    constexpr Money() = default;
    static constexpr Money fromUnits(std::int64_t tenThousandths) { Money m; m.m_units = tenThousandths; return m; }
    // A column value: integer, double (rounded to 4 decimals) or decimal text;
    // other text reads as its number (0 when none). Throws CtfError for a
    // value beyond what the type holds (about 922 trillion pounds), never wraps.
    static Money fromVariant(const QVariant &v);
    // Throws CtfError beyond the range, as above.
    static Money fromDouble(double d);
    // A value that must be an amount of money: a whole or decimal number, or
    // plain number text ("12.50", "-3", "1.5E+2"), within the range; nullopt
    // for anything else (Null, "1,200.00", "£50.00", a value out of range).
    static std::optional<Money> read(const QVariant &v);
    // Plain decimal text ("-12.345", "7", "0.5"); nullopt when it is not one.
    static std::optional<Money> parse(const QString &text);

    constexpr std::int64_t units() const { return m_units; }
    double toDouble() const { return double(m_units) / 10000.0; }

    // Rounded to two decimals, half away from zero.
    Money roundedTo2() const;
    // "#0.00" / "###0.00": at least one integer digit, two decimals, leading "-".
    QString format2() const;
    // Plain number text without fixed decimals (12.5, 7, -0.25).
    QString plain() const;

    constexpr bool isZero() const { return m_units == 0; }
    // Sums beyond the range throw CtfError.
    Money operator+(Money o) const;
    Money &operator+=(Money o) { return *this = *this + o; }
    Money operator-() const { return fromUnits(m_units == INT64_MIN ? INT64_MAX : -m_units); }
    auto operator<=>(const Money &) const = default;

private:
    std::int64_t m_units = 0;
};
