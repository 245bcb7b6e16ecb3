#pragma once
// The shared input services every screen uses: the returns folder, the Tab
// keystroke that makes Enter move on, the day/month check of a typed date and
// the reading of typed text as a number.
#include <QString>

// The returns folder: the program folder + "\" unless the submission
// program's settings file names one on its "ReturnsPath" line.
QString GetReturnsPath();

// Where the submission program's settings file lies (a Windows path).
inline constexpr const char *kSubmissionSettingsFile =
    "c:\\program files\\child trust fund interface\\settings.ini";

// Delivers the keystrokes ("{tab}" is the only one used) to the widget with
// the focus and returns at once.
void ShellSendKeys(const QString &keys);

// Sets result to "MT", "NG", "id", "im" or "OK".
void CheckDate(const QString &dateText, QString &result);

// The number that typed text starts with ("12abc" is 12, "abc" is 0,
// "-3.5x" is -3.5); blanks before it are skipped.
double LeadingNumber(const QString &text);
