#pragma once
// The commands of the command line, as one table: each command's name,
// usage, options, the exit statuses it gives and what runs it. --help, the
// dispatch and the test that holds the man page to them all read it. Each
// command does what its screen does, through the same code.
#include <QList>
#include <QMap>
#include <QStringList>

namespace cli {

// The exit statuses, the same for every command.
enum Status : int { Done = 0, Refused = 1, WrongUsage = 2, Failed = 3, LogCopyFailed = 4 };

// What a command was given: its options ("--name" to its value, a flag to
// "1") and its other arguments.
struct Arguments {
    QMap<QString, QString> options;
    QStringList positional;
    bool has(const QString &option) const { return options.contains(option); }
    QString value(const QString &option, const QString &otherwise = {}) const { return options.value(option, otherwise); }
};

struct Command {
    const char *name;
    const char *synopsis;     // after "ctfadmin [--root DIR] "; one line per form
    const char *description;  // for --help, indented under the synopsis
    QStringList valued;       // options that take a value
    QStringList flags;        // options that do not
    int positional;           // how many other arguments it takes
    QList<Status> statuses;   // what it gives besides Done and WrongUsage
    bool readsSettings;       // the office's settings are loaded first
    Status (*run)(const Arguments &);
};

const QList<Command> &commands();
// The --help text.
QString usage();
// Runs the named command on its arguments; its exit status.
int run(const QString &name, const QStringList &args);
// What every command prints through: a line to standard output or to
// standard error, and a usage refusal (with the pointer to --help).
void out(const QString &s);
void err(const QString &s);
Status wrongUsage(const QString &why);
// Prints "name: value" lines of the settings, passwords hidden.
void printSettings();

}

namespace demodata {
struct Options { int members = 200; quint32 seed = 1; };
// Fills a new register and a new Tarnwell database (host paths).
void fillRegister(const QString &hostPath, const Options &o);
void fillTarnwell(const QString &hostPath, const Options &o);
}
