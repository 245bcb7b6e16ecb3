#include "common/dates.h"

#include <QRegularExpression>

namespace dates {

int expandYear(int yy)
{
    return yy < 30 ? 2000 + yy : 1900 + yy;
}

std::optional<QDate> parse(const QString &input)
{
    const QString text = input.trimmed();
    static const QRegularExpression dayFirstRe(
        QStringLiteral("^(\\d{1,2})[/.-](\\d{1,2})[/.-](\\d{2}|\\d{4})$"));
    static const QRegularExpression isoRe(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(?:[ T]\\d{2}:\\d{2}(?::\\d{2}(?:\\.\\d+)?)?)?$"));
    int y = 0, m = 0, d = 0;
    if (const auto match = dayFirstRe.match(text); match.hasMatch()) {
        d = match.captured(1).toInt();
        m = match.captured(2).toInt();
        const QString ys = match.captured(3);
        y = ys.size() == 2 ? expandYear(ys.toInt()) : ys.toInt();
    } else if (const auto iso = isoRe.match(text); iso.hasMatch()) {
        y = iso.captured(1).toInt();
        m = iso.captured(2).toInt();
        d = iso.captured(3).toInt();
    } else {
        return std::nullopt;
    }
    const QDate date(y, m, d);
    if (!date.isValid() || y < 100)
        return std::nullopt;
    return date;
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

static QString two(int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); }
static QString four(int v) { return QStringLiteral("%1").arg(v, 4, 10, QLatin1Char('0')); }

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
