#pragma once
// The output screen's working state and the periodic return it writes,
// without widgets: the screen and the command line both drive it.
//
// Nothing is lost when a run breaks: each line reaches the operating system
// before its row is marked and saved, so a run that stops at any point
// leaves no entry marked whose line is missing from IRReturn.txt. A failure
// before the log copy stops the run with a message that says what failed and
// how many entries this run marked as output, so the operator can resubmit
// them.
#include "common/clock.h"
#include "data/connection.h"
#include "data/recordset.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace returns {

inline constexpr const char *kCaption = " CTF - ASCII output";

// The period end the screen proposes on a given day.
QDate proposePeriodEnd(const QDate &today);
// "C:\temp\QD" + ddMMyyyy + "-" + hhmm + ".log".
QString logFileName(const QDate &periodEnd, const QTime &startTime);
// The 9-character URN field.
QString crnField(const QVariant &crn);
// The return line of one entry, or a null text when its kind is none of the six.
QString entryLine(const Recordset &row);

enum class RunResult { Done, Failed };
enum class RecreateResult { Done, Cancelled, Missing, CopyFailed };

class ReturnOutput {
public:
    ReturnOutput();
    ~ReturnOutput();

    // Opening: connection, lowest and highest outstanding ID, output rows,
    // list and proposal; a failing step is skipped. False when the connection
    // could not be opened (the message has been shown).
    bool load(const QDate &today = ctfclock::today());
    void unload();
    // Whether the register was opened, so the list says what is outstanding.
    bool loaded() const { return m_loaded; }

    const QStringList &listItems() const { return m_list; }
    qint32 lowestId() const { return m_lowest; }
    qint32 highestId() const { return m_highest; }
    const QString &proposal() const { return m_proposal; }

    // The generation with the period end typed day first. Messages go to the
    // user interface. markedThisRun() counts the entries it marked.
    RunResult generate(const QString &periodEndText, const QDateTime &start = ctfclock::now());
    int markedThisRun() const { return m_marked; }
    QString returnFilePath() const;

    // Copies a chosen log over the return file (hostOrWindowsPath empty: cancelled).
    static RecreateResult recreate(const QString &logPath);

private:
    Connection m_connection;
    Recordset m_rows;
    QStringList m_list;
    qint32 m_lowest = 0;
    qint32 m_highest = 0;
    QString m_proposal;
    int m_marked = 0;
    bool m_loaded = false;
};

} // namespace returns
