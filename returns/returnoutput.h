#pragma once
// The output screen's working state and the periodic return it writes,
// without widgets: the screen and the command line both drive it.
//
// The return never tells the Revenue something false, and no entry is lost:
// - No return is written, and nothing marked, when the outstanding entries
//   (or their lowest and highest ID) could not be read when the screen
//   opened: a nil return is written only for a register that was read and
//   holds nothing outstanding.
// - One run at a time per register, and interrupted runs put right: see
//   RunRecord (returnrun.h).
// - The new return is written beside IRReturn.txt, as IRReturn.txt.incomplete,
//   and put in its place only when it is complete; until then the previous
//   IRReturn.txt stays as it was.
// - The lines are written before the markings that cover them: the
//   markings are committed in groups, each only after its lines (and the IDs
//   it marks, in the run record) are on the disk, so not even a power cut
//   leaves an entry marked without its line.
// - A run that stops on a failure puts back what it marked at once
//   (RecordOutput no, PeriodEndSent Null), so nothing needs unmarking by
//   hand; one that is killed is put right the next time the output screen
//   opens or a return is created.
// - No run replaces a return whose lines are in no other file: a return
//   whose log copy failed keeps its run record until the copy is made (each
//   opening and run tries again, and no new run starts before), and a run in
//   the same minute as an earlier one with the same period end, which would
//   replace that one's log copy, is refused unless that was a nil return.
#include "common/clock.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "returns/checks.h"
#include "returns/returnrun.h"

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
// Where the fields of a return line are in a result, found once per run.
struct EntryColumns {
    explicit EntryColumns(const Recordset &r);
    int entity, crn, dob, amount, type, ref, dod;
};
// The return line of the current row, or a null text when its kind is none of the six.
QString entryLine(const Recordset &row, const EntryColumns &columns);

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
    // Why the outstanding entries could not be read at opening; empty when
    // they were.
    const QString &readError() const { return m_readError; }

    const QStringList &listItems() const { return m_list; }
    // The pre-submission checks of the rows read at opening, keeping the
    // first `keep` findings and counting all.
    checks::Result check(int keep = std::numeric_limits<int>::max());
    qint32 lowestId() const { return m_lowest; }
    qint32 highestId() const { return m_highest; }
    const QString &proposal() const { return m_proposal; }

    // The generation with the period end typed day first. Messages go to the
    // user interface. markedThisRun() counts the entries it marked.
    RunResult generate(const QString &periodEndText, const QDateTime &start = ctfclock::now());
    int markedThisRun() const { return m_marked; }
    // The last run's return is in place but its log copy could not be made.
    bool logCopyFailed() const { return m_logCopyFailed; }
    QString returnFilePath() const;

    // Copies a chosen log over the return file (hostOrWindowsPath empty: cancelled).
    static RecreateResult recreate(const QString &logPath);

    // How many markings are committed together, each group after its lines
    // are on the disk.
    static constexpr int kGroupSize = 50000;
    void setGroupSize(int rows) { m_groupSize = rows; }

private:
    // Puts right what an earlier run left (see RunRecord): an interrupted
    // run's markings put back, or its complete return put in place, or a
    // missing log copy made; the message that says what was done. Throws
    // CtfError, and then the record stays.
    QString putRight(RunRecord &record, const RunInfo &left);
    // A run's markings put back and its incomplete file removed; the number
    // of entries put back.
    int putBack(RunRecord &record, const RunInfo &left);
    // A complete return put in its place and its log copy made.
    void finishReturn(RunRecord &record, const RunInfo &left);
    // At opening: a run that did not finish is put right, with a message.
    void putRightAtOpening();
    QString registerPath() const;
    Connection m_connection;
    Recordset m_rows;
    QStringList m_list;
    qint32 m_lowest = 0;
    qint32 m_highest = 0;
    QString m_proposal;
    int m_marked = 0;
    bool m_logCopyFailed = false;
    bool m_loaded = false;
    QString m_readError;
    int m_groupSize = kGroupSize;
    qint64 m_readVersion = -1;   // the register's change counter when the rows were read
};

} // namespace returns
