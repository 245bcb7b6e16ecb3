#include "data/accesssql.h"

#include "common/dates.h"

#include <QRegularExpression>

namespace accesssql {
namespace {

bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == '_'; }

// The end (exclusive) of the quoted text that starts at i.
qsizetype skipQuoted(const QString &s, qsizetype i)
{
    const QChar q = s[i];
    for (qsizetype j = i + 1; j < s.size(); ++j) {
        if (s[j] == q) {
            if (j + 1 < s.size() && s[j + 1] == q) {
                ++j; // doubled quote inside the text
                continue;
            }
            return j + 1;
        }
    }
    return s.size();
}

bool isBlank(QChar c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// "#m/d/yy#" literal at i (also "#m/d/yyyy h:mm[:ss]#", blanks allowed inside
// the "#"s): the SQLite text and the length consumed. Read character by
// character, since every per-member statement carries one or two.
bool dateLiteral(const QString &s, qsizetype i, QString &out, qsizetype &length)
{
    qsizetype j = i + 1;
    const auto blanks = [&] {
        const qsizetype from = j;
        while (j < s.size() && isBlank(s[j]))
            ++j;
        return j > from;
    };
    const auto at = [&](char c) {
        if (j < s.size() && s[j] == QLatin1Char(c)) {
            ++j;
            return true;
        }
        return false;
    };
    blanks();
    const int month = dates::readDigits(s, j, 1, 2);
    if (month < 0 || !at('/'))
        return false;
    const int day = dates::readDigits(s, j, 1, 2);
    if (day < 0 || !at('/'))
        return false;
    const qsizetype yearAt = j;
    int year = dates::readDigits(s, j, 2, 4);
    if (year < 0 || j - yearAt == 3)
        return false;
    if (j - yearAt == 2)
        year = dates::expandYear(year);
    QString text = dates::zeroPadded(year, 4) + QLatin1Char('-') + dates::zeroPadded(month, 2) + QLatin1Char('-') + dates::zeroPadded(day, 2);
    // An optional time: taken only when it is complete.
    const qsizetype beforeTime = j;
    int h = -1, mi = -1, se = 0;
    if (blanks() && (h = dates::readDigits(s, j, 1, 2)) >= 0 && at(':') && (mi = dates::readDigits(s, j, 2, 2)) >= 0) {
        const qsizetype beforeSeconds = j;
        if (!at(':') || (se = dates::readDigits(s, j, 2, 2)) < 0) {
            j = beforeSeconds;
            se = 0;
        }
        if (h || mi || se)
            text += QLatin1Char(' ') + dates::zeroPadded(h, 2) + QLatin1Char(':') + dates::zeroPadded(mi, 2) + QLatin1Char(':')
                + dates::zeroPadded(se, 2);
    } else {
        j = beforeTime;
    }
    blanks();
    if (!at('#'))
        return false;
    out = QLatin1Char('\'') + text + QLatin1Char('\'');
    length = j - i;
    return true;
}

// For "ISNULL(" at i: the index of its closing parenthesis and whether a
// comma stands at its top level; -1 when it is not closed.
qsizetype closingParen(const QString &s, qsizetype open, bool &hasComma)
{
    int depth = 0;
    hasComma = false;
    for (qsizetype j = open; j < s.size(); ++j) {
        const QChar c = s[j];
        if (c == '\'' || c == '"') {
            j = skipQuoted(s, j) - 1;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0)
                return j;
        } else if (c == ',' && depth == 1) {
            hasComma = true;
        }
    }
    return -1;
}

QString rewrite(const QString &sql);

// Adds COLLATE NOCASE to each term of a statement's last top-level ORDER BY
// (numbers sort as before: a collation only orders text).
QString orderByIgnoringCase(const QString &sql)
{
    static const QRegularExpression orderBy(QStringLiteral("\\bORDER\\s+BY\\b"), QRegularExpression::CaseInsensitiveOption);
    qsizetype start = -1;
    int depth = 0;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (c == '\'' || c == '"') {
            i = skipQuoted(sql, i) - 1;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (depth == 0 && (c == 'o' || c == 'O')) {
            const auto m = orderBy.match(sql, i, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
            if (m.hasMatch() && (i == 0 || !isWordChar(sql[i - 1]))) {
                start = i + m.capturedLength();
                i = start - 1;
            }
        }
    }
    if (start < 0)
        return sql;
    QString out = sql.left(start);
    QString term;
    auto flush = [&](const QString &end) {
        static const QRegularExpression direction(QStringLiteral("^(.*?)(\\s+(?:ASC|DESC))?(\\s*)$"),
                                                  QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
        if (term.contains(QStringLiteral("COLLATE"), Qt::CaseInsensitive) || term.trimmed().isEmpty()) {
            out += term + end;
        } else {
            const auto m = direction.match(term);
            out += m.captured(1) + QStringLiteral(" COLLATE NOCASE") + m.captured(2) + m.captured(3) + end;
        }
        term.clear();
    };
    depth = 0;
    for (qsizetype i = start; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (c == '\'' || c == '"') {
            const qsizetype end = skipQuoted(sql, i);
            term += QStringView(sql).mid(i, end - i);
            i = end - 1;
            continue;
        }
        if (c == '(')
            ++depth;
        if (c == ')')
            --depth;
        if (depth == 0 && c == ',') {
            flush(QStringLiteral(","));
            continue;
        }
        if (depth == 0 && c == ';') {
            flush(sql.mid(i));
            return out;
        }
        term += c;
    }
    flush(QString());
    return out;
}

// One pass over the statement's characters: literals, names and the rest
// each have their case, and the state is shared between them.
QString rewrite(const QString &sql)
{
    QString out;
    out.reserve(sql.size() + 16);
    static const QRegularExpression deleteStar(QStringLiteral("^\\s*DELETE\\s+\\*\\s*FROM\\b"), QRegularExpression::CaseInsensitiveOption);
    qsizetype i = 0;
    if (const auto m = deleteStar.match(sql); m.hasMatch()) {
        out += QStringLiteral("DELETE FROM");
        i = m.capturedLength(0);
    }
    while (i < sql.size()) {
        const QChar c = sql[i];
        if (c == '\'' || c == '"') {
            const qsizetype end = skipQuoted(sql, i);
            out += QStringView(sql).mid(i, end - i);
            i = end;
            continue;
        }
        if (c == '#') {
            QString lit;
            qsizetype len = 0;
            if (dateLiteral(sql, i, lit, len)) {
                out += lit;
                i += len;
                continue;
            }
        }
        if (c.isLetter() && (i == 0 || !isWordChar(sql[i - 1]))) {
            qsizetype end = i;
            while (end < sql.size() && isWordChar(sql[end]))
                ++end;
            const QString word = sql.mid(i, end - i);
            if (word.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0) {
                out += '1';
                i = end;
                continue;
            }
            if (word.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0) {
                out += '0';
                i = end;
                continue;
            }
            if (word.compare(QStringLiteral("ISNULL"), Qt::CaseInsensitive) == 0) {
                qsizetype open = end;
                while (open < sql.size() && sql[open] == ' ')
                    ++open;
                if (open < sql.size() && sql[open] == '(') {
                    bool hasComma = false;
                    const qsizetype close = closingParen(sql, open, hasComma);
                    if (close > 0) {
                        const QString inner = rewrite(sql.mid(open + 1, close - open - 1));
                        out += hasComma ? QStringLiteral("IFNULL(") + inner + ')' : QStringLiteral("((") + inner + QStringLiteral(") IS NULL)");
                        i = close + 1;
                        continue;
                    }
                }
            }
            out += word;
            i = end;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

} // namespace

// One pass over the statement's characters, as rewrite() above.
Shape shape(const QString &sql)
{
    Shape sh;
    sh.text.reserve(sql.size());
    // The last character that is not a blank: a number right after a
    // comparison operator is a value.
    QChar previous;
    for (qsizetype i = 0; i < sql.size();) {
        const QChar c = sql[i];
        if (c == '\'') {
            const qsizetype end = skipQuoted(sql, i);
            if (end > sql.size() || sql[end - 1] != '\'' || end - i < 2) {
                sh.text += QStringView(sql).mid(i); // not closed: left as it is
                break;
            }
            sh.values << QVariant(sql.mid(i + 1, end - i - 2).replace(QStringLiteral("''"), QStringLiteral("'")));
            sh.text += '?';
            previous = '?';
            i = end;
            continue;
        }
        if (c == '"') {
            const qsizetype end = skipQuoted(sql, i);
            sh.text += QStringView(sql).mid(i, end - i);
            previous = '"';
            i = end;
            continue;
        }
        if (c == '#') {
            QString lit;
            qsizetype len = 0;
            if (dateLiteral(sql, i, lit, len)) {
                sh.values << QVariant(lit.mid(1, lit.size() - 2));
                sh.text += '?';
                previous = '?';
                i += len;
                continue;
            }
        }
        if (c.isDigit() && (previous == '=' || previous == '<' || previous == '>') && (i == 0 || !isWordChar(sql[i - 1]))) {
            qsizetype end = i;
            while (end < sql.size() && sql[end].isDigit())
                ++end;
            bool real = false;
            if (end + 1 < sql.size() && sql[end] == '.' && sql[end + 1].isDigit()) {
                real = true;
                ++end;
                while (end < sql.size() && sql[end].isDigit())
                    ++end;
            }
            if (end == sql.size() || !isWordChar(sql[end])) {
                const QString number = sql.mid(i, end - i);
                bool ok = false;
                const qlonglong whole = real ? 0 : number.toLongLong(&ok);
                sh.values << (real || !ok ? QVariant(number.toDouble()) : QVariant(whole));
                sh.text += '?';
                previous = '?';
                i = end;
                continue;
            }
        }
        sh.text += c;
        if (!c.isSpace())
            previous = c;
        ++i;
    }
    return sh;
}

QString toSqlite(const QString &sql)
{
    return orderByIgnoringCase(rewrite(sql));
}

} // namespace accesssql
