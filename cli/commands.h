#pragma once
// The commands of the command line; each does what its screen does, through
// the same code, and returns the exit status: 0 done, 1 input refused,
// 2 wrong usage, 3 a database or file failure.
#include <QStringList>

namespace cli {
int setup(const QStringList &args);
int settings(const QStringList &args);
int periodicReturn(const QStringList &args);
int recreate(const QStringList &args);
int annualReturn(const QStringList &args);
int enquiry(const QStringList &args);
int importRegister(const QStringList &args);
int convert(const QStringList &args);
int check(const QStringList &args);
// Prints "name: value" lines of the settings, passwords hidden.
void printSettings();
QString usage();
}

namespace demodata {
struct Options { int members = 200; quint32 seed = 1; };
// Fills a new register and a new Tarnwell database (host paths).
void fillRegister(const QString &hostPath, const Options &o);
void fillTarnwell(const QString &hostPath, const Options &o);
}
