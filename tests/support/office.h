#pragma once
// A throw-away office root for a test: drives C: and K:, the returns folder,
// the submission program's settings file, an empty register and empty
// Tarnwell tables, a scripted operator, and helpers to fill and read them.
#include "app/appsettings.h"
#include "common/clock.h"
#include "data/connection.h"
#include "support/scriptedui.h"

// The Qt modules every test uses, whole: a test names what it tests, not
// the Qt classes it needs on the way.
#include <QtCore>
#include <QtSql>
#include <QtTest>

// The office's files as the program names them.
inline const QString kCtf = QStringLiteral("K:\\CTF.mdb");
inline const QString kTarn = QStringLiteral("K:\\Tarnwell.mdb");
inline const QString kReturn = QStringLiteral("K:\\Returns\\IRReturn.txt");
inline const QString kAnnual = QStringLiteral("K:\\Returns\\CTFANRTN.txt");

// Fixes the program's clock for the life of the object, even when the test
// fails on the way.
class FixedClock {
public:
    explicit FixedClock(const QDateTime &at) { ctfclock::fix(at); }
    ~FixedClock() { ctfclock::fix(QDateTime()); }
};

// What a run of the program's command line gave.
struct CliRun {
    int status = -1; // -1: it did not end normally within the time
    QString out;
    QString err;
};

// The program's connection to "CTF" or "Tarnwell", opened as the program opens it.
std::unique_ptr<Connection> opened(const QString &name);

class TestOffice {
public:
    // returnsPath is the text of the settings file's ReturnsPath line.
    explicit TestOffice(const QString &returnsPath = QStringLiteral("K:\\Returns\\"));
    ~TestOffice();

    QString root() const { return m_dir.path(); }
    // The operator of this office: every message recorded, questions answered.
    ScriptedUi &ui() { return m_ui.ui(); }
    // A Windows path's place on this machine (a host path as it stands).
    QString host(const QString &path) const;
    // Runs SQL on K:\CTF.mdb, K:\Tarnwell.mdb or any SQLite file directly (no
    // rewriting), on a connection of the test's own.
    void exec(const QString &windowsDb, const QString &sql, const QVariantList &binds = {});
    QList<QVariantList> rows(const QString &windowsDb, const QString &sql);
    QVariant scalar(const QString &windowsDb, const QString &sql);
    // Closes the test's own connection to the database (before damaging the
    // file); Tarnwell's is then no longer checked for changes.
    void close(const QString &windowsDb);
    // A whole file at a Windows path (or a host path); null when it cannot be read.
    QByteArray readFile(const QString &path) const;
    // Writes a whole file at a Windows path (or a host path), making its folder.
    void writeFile(const QString &path, const QByteArray &bytes) const;
    void writeRegistry(const QByteArray &bytes);
    // The program's command line on this office, without a display, as a
    // scheduled job runs it; `args` split as a shell splits them.
    CliRun ctfadmin(const QStringList &args) const;
    // The program's path, for a run started some other way.
    static QString executable();
    // The same, started and left running.
    void startCtfadmin(QProcess &p, const QStringList &args) const;
    CliRun ctfadmin(const QString &args) const { return ctfadmin(QProcess::splitCommand(args)); }

    // Adds one register entry; returns its ID.
    qint64 addEntry(const QString &entity, const QVariant &crn, const QVariant &dob, const QVariant &amount,
                    const QVariant &type = {}, const QVariant &ref = {}, const QVariant &dod = {}, bool output = false);

private:
    QSqlDatabase open(const QString &windowsDb);
    QTemporaryDir m_dir;
    ScriptedUiScope m_ui;
    SettingFields m_savedFields;
    // What K:\Tarnwell.mdb held after the test's last write to it; checked
    // when the office goes.
    QByteArray m_tarnwellHash;
    static inline const QString kTarnwellFile = QStringLiteral("K:\\Tarnwell.mdb");
};
