// The one date parser: whatever it reads is a valid date that it reads back
// from its own day-first form, and it accepts exactly what the written rule
// (held here as regular expressions) accepts.
#include "common/dates.h"

#include <QRegularExpression>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    static const QRegularExpression rule(QStringLiteral(
        "^(?:\\d{1,2}[/.-]\\d{1,2}[/.-](?:\\d{2}|\\d{4})|\\d{4}-\\d{2}-\\d{2}(?:[ T]\\d{2}:\\d{2}(?::\\d{2}(?:\\.\\d+)?)?)?)$"));
    const auto parsed = dates::parse(text);
    if (parsed && !rule.match(text.trimmed()).hasMatch())
        __builtin_trap();
    if (const auto d = parsed) {
        if (!d->isValid() || dates::parse(dates::dayFirst(*d)) != d)
            __builtin_trap();
        dates::accessLiteral(*d);
        dates::returnForm(*d);
    }
    dates::fromVariant(QVariant(text));
    dates::shownDayFirst(QVariant(text));
    return 0;
}
