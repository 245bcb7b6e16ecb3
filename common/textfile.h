#pragma once
// Text files as the returns write them: lines in the 8-bit code page
// (Latin-1), each ending in CR LF.
//
// Two ways of writing: line by line straight to the operating system (a run
// that stops leaves every line it reported written), or gathered in memory
// and handed over by sync(), which also puts them on the disk (fdatasync),
// so that a power cut cannot lose a line that something else relies on.
#include <QFile>
#include <QString>
#include <functional>

class LineWriter {
public:
    enum class Mode { Unbuffered, Buffered };
    // Creates the file at the Windows path, private, where nothing is (not
    // even a link): a file written beside its place has a name of its run's
    // own (beside::ownName); throws FileError.
    explicit LineWriter(const QString &windowsPath, Mode mode = Mode::Unbuffered);
    ~LineWriter();
    LineWriter(const LineWriter &) = delete;
    LineWriter &operator=(const LineWriter &) = delete;
    // Writes text + CR LF; throws FileError.
    void writeLine(const QString &text);
    // Everything written so far is on the disk when this returns; throws FileError.
    void sync();
    void close();
    const QString &windowsPath() const { return m_path; }

private:
    void writeOut(const char *data, qint64 size);
    QString m_path;
    QFile m_file;
    Mode m_mode;
    QByteArray m_pending;
};

namespace textfile {
// Files that hold members' or children's data (returns, log copies) are
// readable and writable by their owner and the owner's group only: an
// office whose desks share the drive gives them access through the group.
inline constexpr unsigned kPrivateFileMode = 0660;
// Writes bytes as the whole new content of target (a Windows path): written
// beside it, put on the disk, then renamed over it, so a failure (full disk,
// a write refused) leaves target as it was. False with a reason on failure.
bool writeReplacing(const QString &target, const QByteArray &bytes, QString *error = nullptr);
// Copies a closed file over target (both Windows paths) as writeReplacing
// does. False with a reason when it fails.
bool copyReplacing(const QString &source, const QString &target, QString *error = nullptr);
// Puts a complete file in the place of target in the same folder in one
// step (rename), and puts the change of the folder on the disk; throws FileError.
void replace(const QString &source, const QString &target);
// Text in the office's 8-bit code page, Windows-1252 (a UK office's Windows
// writes its files in it): Latin-1 but for 0x80-0x9F, which hold the euro
// sign, the curly quotes and the dashes. A character it lacks becomes "?",
// as Windows writes it (without its "best fit" of a few letters).
QByteArray codePage(const QString &text);
// The characters of text that the code page lacks, each once, in order.
QString notInCodePage(const QString &text);
// One CSV field (UTF-8): quoted where a comma, a quote or a line break would
// split it, its quotes doubled.
QByteArray csvField(const QString &value);
// Removes a file; a file that is not there is no failure. False with a reason.
bool remove(const QString &windowsPath, QString *error = nullptr);
// Hands an open file's data to the disk (fdatasync); false on failure.
bool syncToDisk(QFile &file);
// Puts a folder's entries (a file renamed or linked into it) on the disk.
void syncFolder(const QString &hostFolder);

// Tests watch every sync to the disk (the file's Windows path) in order
// with the statements sent to the databases.
using SyncObserver = std::function<void(const QString &windowsPath)>;
void setSyncObserver(SyncObserver observer);
void notifySync(const QString &windowsPath);
} // namespace textfile
