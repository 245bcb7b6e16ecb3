// The path mapper: a Windows path never maps outside its drive's folder.
#include "platform/officeroot.h"
#include "platform/pathmapper.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir root;
    static const bool made = [] {
        QDir().mkpath(root.path() + QStringLiteral("/drive_k/Returns"));
        QDir().mkpath(root.path() + QStringLiteral("/drive_c/temp"));
        officeroot::setPath(root.path());
        return true;
    }();
    (void)made;
    const QString path = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const MappedPath m = pathmapper::map(path);
    const QChar drive = pathmapper::driveLetter(path);
    if (m.ok() && !drive.isNull() && !m.hostPath.startsWith(root.path() + QStringLiteral("/drive_") + drive))
        __builtin_trap();
    return 0;
}
