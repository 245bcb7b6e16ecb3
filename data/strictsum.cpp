#include "data/strictsum.h"

#include "data/sqlitenative.h"

#include <QSqlDriver>
#include <QVariant>

#include <cmath>
#include <cstring>
#include <sqlite3.h>
#include <string>

namespace strictsum {
namespace {

struct Total {
    bool any = false;
    bool real = false;      // a decimal number came in: the result is one too
    sqlite3_int64 whole = 0;
    long double sum = 0;
};

// "12", "-12.50", "+0.5": digits with at most one point, an optional sign.
bool plainNumber(const unsigned char *text, int length, long double &value)
{
    int i = 0;
    while (i < length && text[i] == ' ')
        ++i;
    int end = length;
    while (end > i && text[end - 1] == ' ')
        --end;
    int j = i;
    if (j < end && (text[j] == '+' || text[j] == '-'))
        ++j;
    int digits = 0, points = 0;
    for (int k = j; k < end; ++k) {
        if (text[k] >= '0' && text[k] <= '9')
            ++digits;
        else if (text[k] == '.' && points == 0)
            ++points;
        else
            return false;
    }
    if (digits == 0)
        return false;
    value = std::strtold(std::string(reinterpret_cast<const char *>(text) + i, size_t(end - i)).c_str(), nullptr);
    return true;
}

// SQLite's aggregate memory is aligned for 8 bytes, a long double wants 16:
// the running total is copied out of it and back, never used in place.
class Held {
public:
    explicit Held(sqlite3_context *ctx, int size) : m_bytes(sqlite3_aggregate_context(ctx, size))
    {
        if (m_bytes)
            std::memcpy(&m_total, m_bytes, sizeof m_total);
    }
    ~Held()
    {
        if (m_bytes)
            std::memcpy(m_bytes, &m_total, sizeof m_total);
    }
    Held(const Held &) = delete;
    Held &operator=(const Held &) = delete;
    Total *get() { return m_bytes ? &m_total : nullptr; }

private:
    void *m_bytes;
    Total m_total;
};

void step(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    Held held(ctx, sizeof(Total));
    Total *t = held.get();
    if (!t)
        return;
    sqlite3_value *v = argv[0];
    switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
        return;
    case SQLITE_INTEGER: {
        const sqlite3_int64 n = sqlite3_value_int64(v);
        t->any = true;
        t->sum += n;
        if (__builtin_add_overflow(t->whole, n, &t->whole))
            t->real = true;
        return;
    }
    case SQLITE_FLOAT:
        t->any = true;
        t->real = true;
        t->sum += sqlite3_value_double(v);
        return;
    case SQLITE_TEXT: {
        long double value = 0;
        const unsigned char *text = sqlite3_value_text(v);
        const int length = sqlite3_value_bytes(v);
        if (plainNumber(text, length, value)) {
            t->any = true;
            t->real = true;
            t->sum += value;
            return;
        }
        const std::string message = std::string("the value \"") + std::string(reinterpret_cast<const char *>(text), size_t(length))
            + "\" is not an amount of money";
        sqlite3_result_error(ctx, message.c_str(), -1);
        return;
    }
    default:
        sqlite3_result_error(ctx, "a value that is not an amount of money (binary data) was to be added", -1);
    }
}

void final(sqlite3_context *ctx)
{
    Held held(ctx, 0);
    const Total *t = held.get();
    if (!t || !t->any)
        sqlite3_result_null(ctx);
    else if (t->real)
        sqlite3_result_double(ctx, double(t->sum));
    else
        sqlite3_result_int64(ctx, t->whole);
}
} // namespace

bool install(QSqlDatabase &db)
{
    sqlite3 *sqlite = sqlitenative::handle(db);
    if (!sqlite)
        return false;
    return sqlite3_create_function(sqlite, "sum", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, nullptr, step, final) == SQLITE_OK;
}

} // namespace strictsum
