#include "common/ctfmodules.h"

#include "platform/keysender.h"
#include "platform/officeroot.h"
#include "platform/pathmapper.h"

#include <QFile>

QString GetReturnsPath()
{
    QString result = officeroot::programFolder() + QLatin1Char('\\');
    const QString settingsFile = QString::fromLatin1(kSubmissionSettingsFile);
    if (!pathmapper::fileExists(settingsFile))
        return result;
    QFile f(pathmapper::toHost(settingsFile));
    if (!f.open(QIODevice::ReadOnly))
        return result;
    while (!f.atEnd()) {
        QByteArray raw = f.readLine();
        if (raw.isEmpty() && f.error() != QFileDevice::NoError)
            break;
        while (raw.endsWith('\n') || raw.endsWith('\r'))
            raw.chop(1);
        QString line = QString::fromLatin1(raw);
        if (line.contains(QStringLiteral("ReturnsPath"))) {
            line.remove(QLatin1Char(' '));
            line.remove(QStringLiteral("ReturnsPath="));
            result = line;
            break;
        }
    }
    return result;
}

void ShellSendKeys(const QString &keys)
{
    keysender::send(keys);
}

void CheckDate(const QString &t, QString &result)
{
    if (t.isEmpty() || t == QStringLiteral("  /  /  ") || t == QStringLiteral("__/__/__")) {
        result = QStringLiteral("MT");
        return;
    }
    QString d, m, y;
    switch (t.size()) {
    case 6: d = t.mid(0, 2); m = t.mid(2, 2); y = t.mid(4, 2); break;
    case 8: d = t.mid(0, 2); m = t.mid(3, 2); y = t.mid(6, 2); break;
    case 10: d = t.mid(0, 2); m = t.mid(3, 2); y = t.mid(8, 2); break;
    default: break;
    }
    if (d.isEmpty() || m.isEmpty() || y.isEmpty() || d == QStringLiteral("00") || m == QStringLiteral("00")) {
        result = QStringLiteral("NG");
        return;
    }
    // Parts that are not digits read as 0, which the rules below refuse.
    const int day = d.toInt();
    const int month = m.toInt();
    const int year = y.toInt();
    const bool leap = year % 4 == 0;
    if ((month == 1 && day > 31) || (month == 2 && day > (leap ? 29 : 28))
        || (day > 30 && (month == 4 || month == 6 || month == 9 || month == 11))) {
        result = QStringLiteral("id");
        return;
    }
    if (day > 31)
        result = QStringLiteral("id");
    else if (month < 1 || month > 12)
        result = QStringLiteral("im");
    else if (day < 1)
        result = QStringLiteral("NG");
    else
        result = QStringLiteral("OK");
}

double LeadingNumber(const QString &text)
{
    int i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    const int start = i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        ++i;
    bool digits = false;
    while (i < text.size() && text[i].isDigit()) { ++i; digits = true; }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i].isDigit()) { ++i; digits = true; }
    }
    if (!digits)
        return 0;
    return text.mid(start, i - start).toDouble();
}
