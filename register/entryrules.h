#pragma once
// The field rules of the maintenance screen that do not need a widget: the
// key filters of the member number and the amount, the numeric reset of the
// amount and the child's age.
#include <QDate>
#include <QString>

namespace entryrules {

// The key code to keep: digits and Backspace; anything else becomes 0.
int NumeralsOnly(int keyAscii);

enum class AmountKey { Keep, Drop, Beep, ZeroPoint };
// What a key typed into the amount does, given the text, the caret and the
// selection. ZeroPoint: the field becomes "0." with the caret after it.
AmountKey amountKey(const QString &text, int caret, int selectionStart, int selectionLength, QChar key);

// Whether the amount text reads as a number (spaces and grouping commas
// aside, digits with at most one point and a minus at the start or end).
bool isAmountNumber(const QString &text);

// The age shown beside a date of birth ("07", "-01"), or empty text when the
// text is no valid date.
QString ageText(const QString &dobText, const QDate &today);

// A number as it goes into a statement: plain decimal, no grouping (123, 12.5).
QString plainNumber(double value);

} // namespace entryrules
