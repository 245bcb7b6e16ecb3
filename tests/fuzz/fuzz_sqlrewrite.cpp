// The SQL rewriting in both modes, and ReplaceToken with every mode bit: it
// ends, and SQLISNULL only ever raises its documented error.
#include "common/error.h"
#include "data/sqldialect.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data) + 2, qsizetype(size - 2));
    // Each ISNULL(a, b) becomes IIF(ISNULL(a), b, a): the field is copied
    // twice at every level, so deep nesting grows exponentially by the
    // rewriting's own design (39 levels: gigabytes). No statement the system
    // sends nests ISNULL at all; a few levels cover every path.
    if (text.count(QStringLiteral("ISNULL"), Qt::CaseInsensitive) > 6)
        return 0;
    translateSql(text, false, true);
    convertSqlDates(text, true);
    try {
        translateSql(text, data[0] & 1, false);
    } catch (const CtfError &e) {
        if (e.number() != 0x8004020Du)
            __builtin_trap();
    }
    // ReplaceToken with every mode bit and the searches the system makes.
    // (A replacement whose end forms the search text with what follows would
    // loop by the algorithm itself; the system's replacements never do.)
    static const char *const searches[][2] = {{"TRUE", "1"}, {"FALSE", "0"}, {"ISNULL(", "IIF("}, {" ", ""}};
    const auto &pair = searches[data[1] & 3];
    ReplaceToken(text, data[0], QLatin1String(pair[0]), QLatin1String(pair[1]), data[1] & 0x2d, (data[1] >> 6) + 1);
    return 0;
}
