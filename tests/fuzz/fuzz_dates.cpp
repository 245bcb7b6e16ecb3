// The one date parser: whatever it reads is a valid date that it reads back
// from its own day-first form.
#include "common/dates.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const auto d = dates::parse(text)) {
        if (!d->isValid() || dates::parse(dates::dayFirst(*d)) != d)
            __builtin_trap();
        dates::accessLiteral(*d);
        dates::returnForm(*d);
    }
    dates::fromVariant(QVariant(text));
    dates::shownDayFirst(QVariant(text));
    return 0;
}
