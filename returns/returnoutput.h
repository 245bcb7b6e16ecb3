#pragma once
// The output screen's working state and the periodic return it writes,
// without widgets: the screen and the command line both drive it. It opens
// the register, reads what is outstanding, and runs a return only when that
// is safe; the parts of a run have their own homes:
// - the lines of the file: returnlines.h;
// - one run at a time, and what a run leaves: the run record, returnrun.h;
// - writing the return and marking its entries in groups: markingrun.h;
// - putting right what an interrupted run left: runrepair.h;
// - re-creating the return from a log copy: recreate.h.
//
// The return never tells the Revenue something false, and no entry is lost:
// - No return is written, and nothing marked, when the outstanding entries
//   (or their lowest and highest ID) could not be read when the screen
//   opened: a nil return is written only for a register that was read and
//   holds nothing outstanding.
// - The new return is written beside IRReturn.txt, under a name of the
//   run's own (IRReturn.txt.incomplete-...), and put in its place only when
//   it is complete; until then the previous IRReturn.txt stays as it was.
// - The entries, their lowest and highest ID and the register's change
//   counter are read as one state of the register; a run marks the rows it
//   wrote only if nothing was committed since, or else each one only if it
//   still holds what was written, and otherwise marks nothing.
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
#include "checks/checks.h"
#include "platform/userinterface.h"
#include "returns/returnrun.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace returns {

// The period end the screen proposes on a given day.
QDate proposePeriodEnd(const QDate &today);

enum class RunResult { Done, Failed };

// The refusal of a period end that is no date: by the screen's field, the
// command line and the generation itself.
Notice invalidPeriodEnd();

// What a run did, and what it tells the operator: the screen and the command
// line show its notices in order (ui::show), once the run has let go of the
// register, so no message box waits while a run holds it.
struct RunOutcome {
    RunResult result = RunResult::Failed;
    QList<Notice> notices;
    int marked = 0;             // the entries this run marked
    bool logCopyFailed = false; // the return is in place without its log copy
    bool backupFailed = false;  // the run went on without its backup of the register
};

// What the output screen's opening found, and what it tells the operator
// (a register that could not be opened, a run that did not finish put right).
struct Opening {
    bool loaded = false; // the register was opened
    QList<Notice> notices;
    explicit operator bool() const { return loaded; }
};

class ReturnOutput {
public:
    ReturnOutput();
    ~ReturnOutput();

    // Opening: connection, lowest and highest outstanding ID, output rows,
    // list and proposal; a failing step is skipped. Not loaded when the
    // connection could not be opened.
    Opening load(const QDate &today = ctfclock::today());
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

    // The generation with the period end typed day first.
    RunOutcome generate(const QString &periodEndText, const QDateTime &start = ctfclock::now());
    QString returnFilePath() const;

    // How many markings are committed together, each group after its lines
    // are on the disk.
    static constexpr int kGroupSize = 50000;
    void setGroupSize(int rows) { m_groupSize = rows; }

private:
    QString registerPath() const;
    // Whether a run may start: the register read at opening, the run record
    // taken (what an earlier run left put right), no log copy of the same
    // minute to replace. What it has to say goes into `notices`.
    bool mayStart(RunRecord &record, const QString &logPath, const QDateTime &start, QList<Notice> &notices);
    // A run that failed before its return was in place: its markings put
    // back; what was done, in words.
    QString abandon(RunRecord &record, const RunInfo &run, int marked);
    // The log copy of the return in place, or the record kept until it exists.
    void makeLogCopy(RunRecord &record, const RunInfo &run, RunOutcome &outcome);
    Connection m_connection;
    Recordset m_rows;
    QStringList m_list;
    qint32 m_lowest = 0;
    qint32 m_highest = 0;
    QString m_proposal;
    bool m_loaded = false;
    QString m_readError;
    int m_groupSize = kGroupSize;
    qint64 m_readVersion = -1;   // the register's change counter when the rows were read
};

} // namespace returns
