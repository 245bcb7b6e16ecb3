#pragma once
// Builds the offices the benchmarks run on: a temporary office root with a
// register and a Tarnwell database filled in one transaction each.
#include "platform/userinterface.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>
#include <utility>

class BenchOffice {
public:
    BenchOffice();
    ~BenchOffice();
    QString host(const QString &windowsPath) const;
    QString root() const { return m_dir.path(); }
    // Register entries, outstanding or already output.
    void addEntries(int count, bool output);
    // Tarnwell I and II holders, each with transactions split over the two tables.
    void addHolders(int holders, int transactionsEach);

private:
    QTemporaryDir m_dir;
};

// Answers every question Yes and shows nothing, so messages do not disturb the figures.
class Quiet : public UserInterface {
public:
    MsgResult showMessage(const QString &, const QString &, MsgIcon, MsgButtons, MsgResult) override { return MsgResult::Yes; }
    QString openFile(const OpenFileRequest &) override { return {}; }
    bool startProgram(const QString &, WindowStyle) override { return false; }
};

// Runs a program with its output thrown away, under /usr/bin/time: seconds
// taken, and its peak memory in megabytes (0 when time is not installed).
std::pair<double, double> timed(const QString &program, const QStringList &args);
// The sqlite3 program the benchmarks compare with; empty when not installed.
QString sqlite3Program();

inline double seconds(const QElapsedTimer &t) { return double(t.nsecsElapsed()) / 1e9; }
inline void report(const char *what, double s) { std::printf("%-58s %9.3f s\n", what, s); std::fflush(stdout); }
