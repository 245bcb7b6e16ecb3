#pragma once
// Text files as the returns write them: lines in the 8-bit code page
// (Latin-1), each ending in CR LF, handed to the operating system line by
// line so that a run that stops leaves every line it reported written.
#include <QFile>
#include <QString>

class LineWriter {
public:
    // Creates or empties the file at the Windows path; throws FileError.
    explicit LineWriter(const QString &windowsPath);
    ~LineWriter();
    // Writes text + CR LF and flushes it to the operating system; throws FileError.
    void writeLine(const QString &text);
    void close();
    const QString &windowsPath() const { return m_path; }

private:
    QString m_path;
    QFile m_file;
};

namespace textfile {
// Copies a closed file over target (both Windows paths), replacing it.
// False with a reason when it fails.
bool copyReplacing(const QString &source, const QString &target, QString *error = nullptr);
}
