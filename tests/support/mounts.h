#pragma once
// The drives faults are injected on: a full one (a tmpfs of 16 KiB, filled),
// a folder remounted read-only onto itself, and a folder of a "file server"
// seen through FUSE that forwards byte-range locks, as a file server keeps
// them. Mounting needs root (and FUSE, bindfs); the mount goes with the
// object. Header only: the benchmarks use it too.
#include <QtCore>

#include <unistd.h>

class Mount {
public:
    Mount() = default;
    Mount(const Mount &) = delete;
    Mount &operator=(const Mount &) = delete;
    ~Mount() { unmount(); }

    static bool allowed() { return ::geteuid() == 0; }
    static bool fuseAllowed()
    {
        return allowed() && QFile::exists(QStringLiteral("/dev/fuse")) && !QStandardPaths::findExecutable(QStringLiteral("bindfs")).isEmpty();
    }

    // `first` is written into the drive before it is filled.
    bool full(const QString &folder, const QByteArray &first = {}, const QString &firstName = {})
    {
        if (!run(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"), QStringLiteral("size=16k"),
                                           QStringLiteral("tmpfs"), folder}, folder))
            return false;
        QFile f(folder + QLatin1Char('/') + firstName);
        if (!firstName.isEmpty() && (!f.open(QIODevice::WriteOnly) || f.write(first) != first.size() || !f.flush()))
            return false;
        QFile filler(folder + QStringLiteral("/filler"));
        if (filler.open(QIODevice::WriteOnly))
            while (filler.write(QByteArray(4096, 'x')) > 0 && filler.flush()) {
            }
        return true;
    }

    bool readOnly(const QString &folder)
    {
        return run(QStringLiteral("mount"), {QStringLiteral("--bind"), folder, folder}, folder)
            && QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("remount,bind,ro"), folder}) == 0;
    }

    bool share(const QString &server, const QString &at)
    {
        QDir().mkpath(at);
        return fuseAllowed()
            && run(QStringLiteral("bindfs"), {QStringLiteral("-o"), QStringLiteral("direct_io"), QStringLiteral("--multithreaded"),
                                              QStringLiteral("--enable-lock-forwarding"), server, at}, at);
    }

    void unmount()
    {
        if (!m_at.isEmpty())
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_at});
        m_at.clear();
    }

private:
    bool run(const QString &program, const QStringList &args, const QString &at)
    {
        if (!allowed() || QProcess::execute(program, args) != 0)
            return false;
        m_at = at;
        return true;
    }
    QString m_at;
};

// Skips the test, saying why, where the suite cannot mount (not root); a
// mount that fails where it can is a failure.
#define MOUNT_OR_SKIP(made)                                                                                                    \
    do {                                                                                                                       \
        if (!Mount::allowed())                                                                                                 \
            QSKIP("mounting a drive needs root: this fault is not injected here");                                             \
        QVERIFY(made);                                                                                                         \
    } while (false)
