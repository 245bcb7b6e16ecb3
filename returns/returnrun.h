#pragma once
// The record of a periodic return run, kept in a text file beside the
// register ("K:\CTF.mdb" has "K:\CTF.mdb.return-run"). It does two jobs:
//
// - One run at a time. A run holds an exclusive byte-range lock (an open
//   file description lock, which file servers keep) on the file
//   from start to end; the operating system drops it when the program ends,
//   however it ends. A run that cannot take the lock is refused before it
//   touches any file or row, whether the other run is on another screen, in
//   another program on this machine, or on another machine that shares the
//   drive (where the file server keeps the lock).
// - Putting interrupted runs right. The file names the run (when it began,
//   on which machine), the markings it gives (SentRef), where it writes its
//   new return and its log copy, the IDs of every entry whose marking it has
//   committed (written to the disk before the commit), and "complete" once
//   the return and all markings are done. An idle register has an empty
//   file. A file that is not empty when a run or the output screen takes
//   the lock is what a killed, crashed or failed run left behind, or a
//   return still waiting for its log copy.
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QString>

namespace returns {

// The caption of the output screen, which every message about a run carries.
inline constexpr const char *kCaption = " CTF - ASCII output";

// IDs as one JSON array, for one statement over many rows (json_each).
QString jsonIds(const QList<qint64> &ids);

struct RunInfo {
    QDateTime started;
    QString host;
    qint64 pid = 0;
    QString sentRef;            // the SentRef the run gives every entry it marks
    QString partialPath;        // the new return as it is being written (Windows path)
    QString returnPath;         // IRReturn.txt
    QString logPath;            // its log copy
    QList<qint64> marked;       // IDs whose marking was committed
    bool complete = false;      // the new return was complete and all markings committed
    bool abandoned = false;     // the run failed: its return is not put in place, its markings go back
    bool logCopyFailed = false; // the return is in place but its log copy could not be made

    // Not an interrupted run: a return in place that still has no log copy.
    bool waitsForLogCopy() const { return logCopyFailed && !abandoned; }

    // "06/12/2026 20:31:05 on OFFICE-PC"
    QString describe() const;
};

class RunRecord {
public:
    // registerWindowsPath: the register's Data Source ("K:\CTF.mdb").
    explicit RunRecord(const QString &registerWindowsPath);
    ~RunRecord();
    RunRecord(const RunRecord &) = delete;
    RunRecord &operator=(const RunRecord &) = delete;

    const QString &windowsPath() const { return m_path; }

    // Takes the lock. False when another run holds it; *other then says
    // which run, as far as its record tells. Throws FileError when the file
    // cannot be opened.
    bool claim(RunInfo *other);
    void release();

    // What the file holds (after claim): a run that did not finish, or
    // nothing (started invalid) when the register is idle.
    RunInfo leftover();

    // Writes the record of a new run; throws FileError.
    void begin(const RunInfo &run);
    // Adds IDs whose markings are about to be committed, on the disk when
    // this returns; throws FileError.
    void addMarked(const QList<qint64> &ids);
    void markComplete();
    // The run failed before its return was in place: whatever the record
    // said, its markings are to be put back (complete no longer holds).
    void markAbandoned();
    // The return is in place but has no log copy yet: the record stays, so
    // that no later run replaces the return before its copy is made.
    void markLogCopyFailed();
    // The run is over: the file is emptied.
    void clear();

private:
    void append(const QByteArray &bytes);
    QString m_path;
    QFile m_file;
    bool m_locked = false;
};

} // namespace returns
