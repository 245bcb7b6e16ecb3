// The fuzz targets' entry points over their seed inputs (the regression
// inputs of faults found before among them), as an ordinary test: an input
// that crashes, traps or hangs fails ctest, not only the fuzz job. Each
// target is compiled with its entry point renamed (see tests/CMakeLists.txt).
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdio>
#include <cstring>

#define TARGETS(X) X(sqlrewrite) X(accesssql) X(registry) X(pathmapper) X(dates) X(money)
#define DECLARE(name) extern "C" int fuzz_##name(const uint8_t *data, size_t size);
TARGETS(DECLARE)

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: fuzz_seeds TARGET SEED_FOLDER\n");
        return 2;
    }
    int (*target)(const uint8_t *, size_t) = nullptr;
#define PICK(name)                              \
    if (std::strcmp(argv[1], #name) == 0)       \
        target = fuzz_##name;
    TARGETS(PICK)
    const QDir folder(QString::fromLocal8Bit(argv[2]));
    const QStringList seeds = folder.entryList(QDir::Files, QDir::Name);
    if (!target || seeds.isEmpty()) {
        std::fprintf(stderr, "fuzz_seeds: no target %s or no seeds in %s\n", argv[1], argv[2]);
        return 2;
    }
    for (const QString &seed : seeds) {
        QFile f(folder.filePath(seed));
        if (!f.open(QIODevice::ReadOnly))
            return 1;
        const QByteArray bytes = f.readAll();
        target(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    }
    std::printf("%s: %lld seeds run\n", argv[1], static_cast<long long>(seeds.size()));
    return 0;
}
