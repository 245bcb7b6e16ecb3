#include "register/entryrules.h"

#include "common/ctfmodules.h"
#include "common/dates.h"

#include <QRegularExpression>

namespace entryrules {

int NumeralsOnly(int keyAscii)
{
    return (keyAscii >= '0' && keyAscii <= '9') || keyAscii == 8 ? keyAscii : 0;
}

AmountKey amountKey(const QString &text, int caret, int selectionStart, int selectionLength, QChar key)
{
    QString remaining = text;
    if (selectionLength > 0) {
        remaining = text.left(selectionStart) + text.mid(selectionStart + selectionLength);
        caret = selectionStart;
    }
    const qsizetype point = remaining.indexOf(QLatin1Char('.'));
    const bool hasMinus = remaining.contains(QLatin1Char('-'));
    if (key.isDigit() && key.unicode() < 128)
        return point >= 0 && remaining.size() - point - 1 >= 2 ? AmountKey::Drop : AmountKey::Keep;
    if (key == QLatin1Char('.')) {
        if (point >= 0)
            return AmountKey::Beep;
        return caret == 0 ? AmountKey::ZeroPoint : AmountKey::Keep;
    }
    if (key == QLatin1Char('-'))
        return hasMinus ? AmountKey::Drop : AmountKey::Keep;
    if (key == QLatin1Char(',') || key == QChar(8))
        return AmountKey::Keep;
    return AmountKey::Beep;
}

bool isAmountNumber(const QString &text)
{
    QString t = text.trimmed();
    t.remove(QLatin1Char(','));
    static const QRegularExpression re(QStringLiteral("^-?(\\d+\\.?\\d*|\\.\\d+)-?$"));
    if (!re.match(t).hasMatch())
        return false;
    return !(t.startsWith('-') && t.endsWith('-') && t.size() > 1);
}

QString ageText(const QString &dobText, const QDate &today)
{
    const auto dob = dates::parse(dobText);
    QString code;
    CheckDate(dobText, code);
    if (!dob || code != QStringLiteral("OK"))
        return {};
    int years = today.year() - dob->year();
    const int year = dobText.left(5) == QStringLiteral("29/02") ? 1980 : today.year();
    const QDate birthday(year, dob->month(), dob->day());
    const QDate now(year, today.month(), today.day());
    if (now < birthday)
        --years;
    const QString digits = QStringLiteral("%1").arg(qAbs(years), 2, 10, QLatin1Char('0'));
    return years < 0 ? QLatin1Char('-') + digits : digits;
}

QString plainNumber(double value) { return QString::number(value, 'g', 15); }

} // namespace entryrules
