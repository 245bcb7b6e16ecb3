#include "data/sqldialect.h"

#include "common/dates.h"
#include "common/error.h"

#include <QDate>

QString translateSql(const QString &sql, bool force, bool sqlServer)
{
    QString s = sql;
    if (sqlServer) {
        s = convertSqlDates(s, true);
        s = ReplaceToken(s, 2, QStringLiteral("TRUE"), QStringLiteral("1"), 0, 0);
        s = ReplaceToken(s, 2, QStringLiteral("FALSE"), QStringLiteral("0"), 0, 0);
        if (s.toUpper().startsWith(QStringLiteral("DELETE *")))
            s = s.size() > 8 ? QStringLiteral("DELETE") + s.mid(8) : QStringLiteral("DELETE");
    } else {
        s = sqlIsNull(s, force, false);
    }
    return s;
}

namespace {
bool matchesDigits(const QString &l, const QString &pattern)
{
    if (l.size() != pattern.size())
        return false;
    for (int i = 0; i < l.size(); ++i) {
        if (pattern[i] == '#') {
            if (l[i] < '0' || l[i] > '9')
                return false;
        } else if (l[i] != pattern[i]) {
            return false;
        }
    }
    return true;
}
} // namespace

QString convertSqlDates(const QString &sql, bool sqlServer)
{
    if (!sqlServer)
        return sql;
    QString out;
    QString rest = sql;
    for (;;) {
        const qsizetype first = rest.indexOf('#');
        if (first < 0) {
            out += rest;
            break;
        }
        const qsizetype second = rest.indexOf('#', first + 1);
        if (second < 0) {
            out += rest;
            break;
        }
        out += rest.left(first);
        const QString l = rest.mid(first + 1, second - first - 1);
        rest = rest.mid(second + 1);
        if (!matchesDigits(l, QStringLiteral("##/##/####")) && !matchesDigits(l, QStringLiteral("##/##/##"))) {
            out += '#' + l + '#';
            continue;
        }
        const int month = l.mid(0, 2).toInt();
        const int day = l.mid(3, 2).toInt();
        const QString ys = l.mid(6);
        const int year = ys.size() == 2 ? dates::expandYear(ys.toInt()) : ys.toInt();
        // A literal that is no calendar date keeps its digits as typed; SQL
        // Server then refuses the statement rather than reading another date.
        const QString text = QStringLiteral("%1-%2-%3")
                                 .arg(year, 4, 10, QLatin1Char('0'))
                                 .arg(month, 2, 10, QLatin1Char('0'))
                                 .arg(day, 2, 10, QLatin1Char('0'));
        out += QStringLiteral("CONVERT(DATETIME, '") + text + QStringLiteral(" 00:00:00', 102)");
    }
    return out;
}

namespace {

bool inClass(QChar c, int classes)
{
    const bool all = classes == 0;
    return ((all || (classes & 1)) && c == ' ') || ((all || (classes & 4)) && c == '\t')
        || ((all || (classes & 8)) && c == '\r') || ((all || (classes & 32)) && c == '\n');
}

// Matches ignore letter case character by character, so every position is
// one of the text itself, whatever characters it holds ("ß" upper-cases to
// two letters; an upper-cased copy would shift every later position).
void replaceAll(QString &text, const QString &search, const QString &replacement)
{
    for (;;) {
        const qsizetype at = text.indexOf(search, 0, Qt::CaseInsensitive);
        if (at < 0)
            return;
        text = text.left(at) + replacement + text.mid(at + search.size());
    }
}

} // namespace

QString ReplaceToken(const QString &input, int mode, const QString &search, const QString &replacement,
                     int classes, int repeatCount)
{
    QString text = input;
    if (mode & 32 && classes != 0)
        mode |= 64;
    if ((mode & 2) || (mode & 32)) {
        if (search.isEmpty())
            return text;
        replaceAll(text, search, replacement);
    }
    if (mode & 64) {
        QString kept;
        for (QChar c : text)
            if (!inClass(c, classes))
                kept += c;
        text = kept;
    }
    if (mode & 4) {
        qsizetype i = 0;
        while (i < text.size() && inClass(text[i], classes))
            ++i;
        text = text.mid(i);
    }
    if (mode & 8) {
        qsizetype n = text.size();
        while (n > 0 && inClass(text[n - 1], classes))
            --n;
        text.truncate(n);
    }
    if ((mode & 128) && repeatCount >= 1) {
        QStringList units;
        if (!search.isEmpty())
            units << search;
        const bool all = classes == 0;
        if (all || (classes & 1)) units << QStringLiteral(" ");
        if (all || (classes & 4)) units << QStringLiteral("\t");
        if (all || (classes & 8)) units << QStringLiteral("\r");
        if (all || (classes & 32)) units << QStringLiteral("\n");
        if (all || (classes & 8) || (classes & 32)) units << QStringLiteral("\r\n");
        for (const QString &unit : units) {
            const QString run = unit.repeated(repeatCount);
            const QString shorter = unit.repeated(repeatCount - 1);
            for (;;) {
                const qsizetype at = text.indexOf(run, 0, Qt::CaseInsensitive);
                if (at < 0)
                    break;
                text = text.left(at) + shorter + text.mid(at + run.size());
            }
        }
    }
    if (mode & 1)
        text = text.toUpper();
    return text;
}

namespace {
[[noreturn]] void badIsNull()
{
    throw CtfError(kUserErrorBase + 525, QStringLiteral("modTarnwell.SQLISNULL"),
                   QStringLiteral("modTarnwell.SQLISNULL") + QLatin1Char('\r')
                       + QStringLiteral("Badly formatted ISNULL statement. Should be of the form 'ISNULL(Field, 0)'"));
}
} // namespace

QString sqlIsNull(const QString &sql, bool force, bool sqlServer)
{
    if (!force && sqlServer)
        return sql;
    static const QString token = QStringLiteral("ISNULL(");
    QString out;
    QString rest = sql;
    for (;;) {
        const qsizetype at = rest.indexOf(token, 0, Qt::CaseInsensitive);
        if (at < 0) {
            out += rest;
            return out;
        }
        out += rest.left(at);
        rest = rest.mid(at + token.size());
        int depth = 0;
        qsizetype comma = -1;
        for (qsizetype i = 0; i < rest.size(); ++i) {
            const QChar c = rest[i];
            if (c == '(')
                ++depth;
            else if (c == ')')
                --depth;
            else if (c == ',' && depth == 0) {
                comma = i;
                break;
            }
        }
        if (comma < 0)
            badIsNull();
        QString field = rest.left(comma);
        rest = rest.mid(comma + 1);
        QString def;
        int depth2 = 0;
        bool closed = false;
        qsizetype i = 0;
        for (; i < rest.size(); ++i) {
            const QChar c = rest[i];
            if (c == '(') {
                ++depth2;
                def += c;
            } else if (c == ')') {
                if (depth2 > 0) {
                    --depth2;
                    def += c;
                } else {
                    closed = true;
                    ++i;
                    break;
                }
            } else {
                def += c;
            }
        }
        if (!closed)
            badIsNull();
        rest = rest.mid(i);
        field = sqlIsNull(field, force, sqlServer);
        out += QStringLiteral("IIF(ISNULL(") + field + QStringLiteral("),") + def + QStringLiteral(", ") + field + QStringLiteral(")");
    }
}
