// Start-up to the main screen against a bare Qt window shown the same way:
// each program is started again and again until its first window is on the
// display (CTFADMIN_QUIT_WHEN_SHOWN), and the medians are compared. Runs on
// the display in DISPLAY (xcb), else offscreen.
#include "benchdata.h"

#include <QCoreApplication>
#include <QProcess>

#include <algorithm>

namespace {

double medianStart(const QString &program, const QStringList &args, const QProcessEnvironment &env, int runs, QString *size = nullptr)
{
    QList<double> times;
    for (int i = 0; i < runs; ++i) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer t;
        t.start();
        p.start(program, args);
        if (!p.waitForFinished(30000) || p.exitCode() != 0) {
            std::printf("%s did not show its window and end\n", qPrintable(program));
            p.kill();
            p.waitForFinished();
            return -1;
        }
        times << seconds(t);
        if (size)
            *size = QString::fromLatin1(p.readAllStandardOutput().trimmed());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 15;
    BenchOffice office; // the demo-sized office: a register and Tarnwell files
    office.addEntries(2000, false);
    office.addHolders(200, 20);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CTFADMIN_QUIT_WHEN_SHOWN"), QStringLiteral("1"));
    env.insert(QStringLiteral("CTFADMIN_ROOT"), office.root());
    if (env.value(QStringLiteral("DISPLAY")).isEmpty() && env.value(QStringLiteral("QT_QPA_PLATFORM")).isEmpty())
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    std::printf("platform: %s, median of %d starts\n",
                qPrintable(env.value(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb (") + env.value(QStringLiteral("DISPLAY")) + ')')),
                runs);
    QString size;
    const double program = medianStart(QStringLiteral(CTFADMIN_EXE), {}, env, runs, &size);
    const double bare = medianStart(QStringLiteral(BARE_WINDOW_EXE), {size}, env, runs);
    std::printf("window size %s\n", qPrintable(size));
    report("bare Qt window shown", bare);
    report("ctfadmin main screen shown", program);
    std::printf("  ratio: %.2f\n", program / bare);
    return 0;
}
