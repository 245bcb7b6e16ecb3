#include "common/clock.h"

namespace ctfclock {
namespace {
QDateTime &fixed()
{
    static QDateTime at;
    return at;
}
}

QDateTime now() { return fixed().isValid() ? fixed() : QDateTime::currentDateTime(); }
void fix(const QDateTime &at) { fixed() = at; }
}
