// The registry file parser on raw bytes (UTF-16LE with BOM or UTF-8): what
// it reads, it writes back and reads again the same.
#include "platform/registrystore.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const RegistryStore store = RegistryStore::parse(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    const QByteArray written = store.serialise();
    const auto value = store.value(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Orvel\\Tarnwell"), QStringLiteral("Database"));
    const auto again = RegistryStore::parse(written).value(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Orvel\\Tarnwell"),
                                                           QStringLiteral("Database"));
    if (value.has_value() != again.has_value() || (value && (value->text != again->text || value->dword != again->dword)))
        __builtin_trap();
    return 0;
}
