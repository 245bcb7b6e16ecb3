// Money from text and from numbers of every kind: refused or exact, never
// wrapped, never undefined.
#include "common/error.h"
#include "common/money.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    QVariantList values{QVariant(text)};
    if (size >= 8) {
        qint64 whole;
        double real;
        std::memcpy(&whole, data, 8);
        std::memcpy(&real, data, 8);
        values << QVariant(qlonglong(whole)) << QVariant(real);
    }
    Money total;
    for (const QVariant &v : values) {
        try {
            const Money m = Money::fromVariant(v);
            m.format2();
            m.plain();
            (-m).roundedTo2();
            total += m;
        } catch (const CtfError &) {
            // refused with a message: the only way out of range
        }
        if (const auto m = Money::read(v))
            if (Money::parse(m->plain()) != m)
                __builtin_trap();
    }
    return 0;
}
