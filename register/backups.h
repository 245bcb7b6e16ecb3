#pragma once
// Backups of the register, in the folder "backups" beside it.
//
// A backup is a consistent copy made through SQLite's online backup while
// other desks may be writing (never a copy of the file's bytes), written
// under a name of its own run and put in place whole, private to the office's
// group, named "<register> <yyyy-MM-dd HHmmss> <reason>.backup". One is taken
// before every periodic return run, before a restore, and at the first
// opening of a day (one that fails is tried again at the next opening, as
// that day then has none). The Access original kept by import-register is
// that import's backup.
//
// Kept: the newest BackupsKept (30) and the first of each month for
// BackupMonthsKept (24) months, both settings under the program's registry
// key; older ones are removed after each backup.
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

namespace backups {

inline constexpr const char *kBeforeReturn = "before return";
inline constexpr const char *kBeforeRestore = "before restore";
inline constexpr const char *kDaily = "daily";

QString folderOf(const QString &registerHostPath);

struct Taken {
    QString path;   // host path of the backup, when taken
    QString why;    // empty when it was taken
    bool ok() const { return why.isEmpty(); }
};
// Takes a backup of the register at the host path, then removes the ones
// no longer kept.
Taken take(const QString &registerHostPath, const QString &reason, const QDateTime &now);
// The daily one, when the register is a SQLite file and today has none yet.
Taken daily(const QString &registerHostPath, const QDateTime &now);

struct Info {
    QString path;
    QDateTime when;
    QString reason;
    qint64 entries = -1, outstanding = -1;
    QString problem;   // why it cannot be restored; empty when it can
};
// The backups of the register, newest first, each checked.
QList<Info> list(const QString &registerHostPath);
// The newest backup that can be restored; empty when there is none.
QString newestGood(const QString &registerHostPath);
// Why the file cannot be restored (integrity check, the register's table); empty when it can.
QString problemOf(const QString &hostPath);

// Which of the backups (named by their times, newest first) are kept.
QList<bool> kept(const QList<QDateTime> &newestFirst, int last, int months, const QDate &today);

enum class Restored { Done, Refused, Failed };
// Replaces the register whole with the backup, after checking it, refusing
// while any program has the register open, and taking a backup of the
// register as it is first. The restored register carries the history of
// the one it replaces and, as one change, every entry the restore changed.
// `say` gets what was done or why not.
Restored restore(const QString &registerWindowsPath, const QString &backupHostPath, const QDateTime &now, QString *say);

} // namespace backups
