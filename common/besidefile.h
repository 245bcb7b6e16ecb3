#pragma once
// Files written beside their place and renamed over it only when whole.
//
// - Each run writes under a name of its own ("<name>.ctfadmin-new-<run>"),
//   created new (O_CREAT|O_EXCL|O_NOFOLLOW): an existing name is never
//   opened for writing, so two runs at once (two desks, the screen and the
//   command line) never write into one file, and a link planted at a name
//   is never followed to a file elsewhere.
// - While a run has such a file in a folder it holds a shared lock on the
//   folder's ".ctfadmin-lock" (an open file description lock, which file
//   servers keep). A program that can take that lock whole knows that every
//   such file there was left by a run that was killed, and removes it: they
//   hold members' data.
// - A job that must run once at a time in a folder (the annual return)
//   takes a lock of its own in the same file.
#include <QString>
#include <QStringList>

namespace beside {

// What marks a run's own file written beside its place; the sweep removes
// only names that carry it.
inline constexpr const char *kTag = ".ctfadmin-new-";

// A name of this run's own beside `path` (a Windows or a host path):
// path + tag + process and a random part.
QString ownName(const QString &path, const char *tag = kTag);

// Creates the file at the host path, private (textfile::kPrivateFileMode),
// when nothing is there, not even a link; the descriptor, or -1 with errno.
int createNew(const QString &hostPath);

// A file this program made in a folder shared through its group (the office's
// desks as users of one group) takes the folder's group, as a setgid folder
// would give it: otherwise it would carry its maker's own group, and the
// other users could not open it. Nothing happens where it cannot be done.
void takeFolderGroup(int fd, const QString &hostFolder);

enum class Job { AnnualReturn = 1, ImportRegister = 2, Registry = 3 };

class FolderHold {
public:
    // Removes what killed runs left in the host folder when no run holds it,
    // then holds it for this run's own file. A folder where no lock file can
    // be made (read-only, a planted link) is held by nobody: writing there
    // fails on its own, or two runs each keep to their own names.
    explicit FolderHold(const QString &hostFolder);
    ~FolderHold();
    FolderHold(const FolderHold &) = delete;
    FolderHold &operator=(const FolderHold &) = delete;

    // Takes `job` for this run; false while another program (here or on
    // another desk) has it.
    bool claim(Job job);
    // Takes the job, or a key (a number of the caller's choosing: one piece
    // of work done once however many programs ask for it), for this run,
    // waiting while another program has it, with `waitingText` shown as
    // progress meanwhile (ui::current(), its Cancel ends the wait: then false).
    bool claimWaiting(Job job, const QString &waitingText);
    bool claimWaiting(quint32 key, const QString &waitingText);

private:
    bool takeWaiting(long long byte, const QString &waitingText);
    int m_fd = -1;
};

// A database file in use: every connection of this program that writes it
// holds a shared lock (in its folder's ".ctfadmin-lock", on a byte of the
// file's own) for as long as it is open, on every desk. Held Alone, it tells
// that no such connection is open anywhere, and keeps new ones waiting.
class FileUse {
public:
    enum class Kind { Shared, Alone };
    FileUse(const QString &hostPath, Kind kind);
    ~FileUse();
    FileUse(const FileUse &) = delete;
    FileUse &operator=(const FileUse &) = delete;
    // Whether the lock is held; Alone: false while the file is in use.
    bool held() const { return m_held; }

private:
    int m_fd = -1;
    long long m_byte = 0;
    bool m_held = false;
};

// Removes what killed runs left in the host folder, if no run is writing
// there now; the names removed.
QStringList sweep(const QString &hostFolder);

} // namespace beside
