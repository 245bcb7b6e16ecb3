#include "returns/returnoutput.h"

#include "app/appsettings.h"
#include "common/besidefile.h"
#include "common/ctfmodules.h"
#include "common/dates.h"
#include "common/error.h"
#include "common/textfile.h"
#include "platform/pathmapper.h"
#include "platform/userinterface.h"
#include "register/backups.h"
#include "returns/markingrun.h"
#include "returns/returnlines.h"
#include "returns/runrepair.h"

#include <QCoreApplication>
#include <QSysInfo>

#include <functional>

namespace returns {

QDate proposePeriodEnd(const QDate &today)
{
    const int d = today.day();
    if (d <= 14)
        return today.addDays(-d);
    if (d == 15)
        return today;
    return today.addDays(-(d - 15));
}

ReturnOutput::ReturnOutput() = default;
ReturnOutput::~ReturnOutput() { unload(); }

Opening ReturnOutput::load(const QDate &today)
{
    Opening opening;
    m_list.clear();
    m_proposal.clear();
    m_readError.clear();
    try {
        m_connection.setConnectionString(GetConnectionString(QStringLiteral("CTF")));
        m_connection.open();
    } catch (const CtfError &e) {
        opening.notices.append({QStringLiteral("Unable to access the database") + QStringLiteral("\r\n") + e.description(),
                                QString::fromLatin1(appsettings::kProgramTitle), MsgIcon::None});
        return opening;
    }
    m_loaded = opening.loaded = true;
    m_lowest = 0;
    m_highest = 0;
    m_readError = putRightAtOpening(m_connection, registerPath(), opening.notices);
    // Each step on its own: one that fails is skipped and the next runs. A
    // failure is remembered, so that no return is made from what was not read.
    const auto step = [this](const std::function<void()> &run) {
        try {
            run();
        } catch (const CtfError &e) {
            if (m_readError.isEmpty())
                m_readError = e.description();
        }
    };
    // The IDs, the rows and the change counter from one state of the
    // register: a commit of another desk's lands before all of them or
    // after all of them, and one after is seen when the run marks.
    m_readVersion = -1;
    const Connection::ReadSnapshot oneState(m_connection);
    step([this] {
        m_rows.open(QStringLiteral("SELECT Min(ID) FROM ChildTrustFunds WHERE RecordOutput = False ;"), m_connection,
                    CursorType::Static, LockType::Optimistic);
        if (!m_rows.eof() && !m_rows.value(0).isNull())
            m_lowest = m_rows.value(0).toInt();
    });
    step([this] {
        if (m_rows.isOpen())
            m_rows.close();
        m_rows.open(QStringLiteral("SELECT Max(ID) FROM ChildTrustFunds WHERE RecordOutput = False ;"), m_connection,
                    CursorType::Static, LockType::Optimistic);
        if (!m_rows.eof() && !m_rows.value(0).isNull())
            m_highest = m_rows.value(0).toInt();
    });
    step([this, &oneState] {
        if (m_rows.isOpen())
            m_rows.close();
        m_rows.open(QStringLiteral("SELECT * FROM ChildTrustFunds WHERE RecordOutput = False ORDER BY Entity, CRN;"),
                    m_connection, CursorType::Static, LockType::Optimistic);
        if (oneState.active())
            m_readVersion = m_connection.changeCounter();
        m_list.reserve(m_rows.recordCount());
        for (m_rows.moveFirst(); !m_rows.eof(); m_rows.moveNext())
            m_list << m_rows.value(QStringLiteral("Entity")).toString() + QStringLiteral(" - ") + m_rows.value(QStringLiteral("CRN")).toString();
    });
    m_proposal = proposePeriodEnd(today).toString(QStringLiteral("dd/MM/yyyy"));
    return opening;
}

void ReturnOutput::unload()
{
    m_loaded = false;
    if (m_rows.isOpen())
        m_rows.close();
    if (m_connection.isOpen())
        m_connection.close();
}

checks::Result ReturnOutput::check(int keep)
{
    if (!m_rows.isOpen() || !m_readError.isEmpty())
        return {};
    return checks::checkRows(m_rows, keep);
}

QString ReturnOutput::returnFilePath() const { return GetReturnsPath() + QStringLiteral("IRReturn.txt"); }
QString ReturnOutput::registerPath() const { return Connection::connectionValue(m_connection.connectionString(), QStringLiteral("Data Source")); }

Notice invalidPeriodEnd()
{
    return {QStringLiteral("Invalid period end date!"), QString::fromLatin1(appsettings::kProgramTitle), MsgIcon::Exclamation};
}

RunOutcome ReturnOutput::generate(const QString &periodEndText, const QDateTime &start)
{
    RunOutcome outcome;
    // The screen's field and the command line refuse such a date before; a
    // return whose header is no date is never written, whoever asks.
    if (!dates::isDate(periodEndText)) {
        outcome.notices.append(invalidPeriodEnd());
        return outcome;
    }
    const QString title = QString::fromLatin1(kCaption);
    RunRecord record(registerPath());
    const QString logPath = logFileName(dates::parse(periodEndText).value_or(QDate()), start.time());
    if (!mayStart(record, logPath, start, outcome.notices))
        return outcome;

    ui::BusyScope busy;
    // The register as it was before the run; without it the run goes on,
    // and says so at its end.
    const backups::Taken backup = backups::take(pathmapper::map(registerPath()).hostPath, QString::fromLatin1(backups::kBeforeReturn), start);
    outcome.backupFailed = !backup.ok();
    RunInfo run;
    run.started = start;
    run.host = QSysInfo::machineHostName();
    run.pid = QCoreApplication::applicationPid();
    run.sentRef = QStringLiteral("From ID %1 to %2").arg(m_lowest).arg(m_highest);
    run.returnPath = returnFilePath();
    run.partialPath = beside::ownName(run.returnPath, ".incomplete-"); // named in the run record, which puts it right
    run.logPath = logPath;
    MarkingRun marking(m_connection, m_rows, m_readVersion, m_groupSize);
    marking.setHistoryDetail(QStringLiteral("period end %1, %2, log copy %3").arg(periodEndText, run.sentRef, logPath));
    try {
        record.begin(run);
        marking.write(record, run, headerLine(periodEndText), m_list.isEmpty());
        outcome.marked = marking.marked();
    } catch (const CtfError &e) {
        outcome.notices.append({QStringLiteral("The return was not created: %1\r\n\r\n%2 is as it was before this run. %3 "
                                               "Close this screen and open it again before you create the return.")
                                    .arg(e.description(), run.returnPath, abandon(record, run, marking.marked())),
                                title, MsgIcon::Critical});
        return outcome;
    }
    makeLogCopy(record, run, outcome);
    record.release();
    outcome.result = RunResult::Done;
    outcome.notices.append({QStringLiteral("ASCII file  [") + run.returnPath + QStringLiteral("]  has been created"), title, MsgIcon::Information});
    if (outcome.backupFailed)
        outcome.notices.append({QStringLiteral("No backup of the register was taken before this return: %1. The return was created as "
                                               "usual; make room or put the fault right so that the next run has one.")
                                    .arg(backup.why),
                                title, MsgIcon::Exclamation});
    return outcome;
}

bool ReturnOutput::mayStart(RunRecord &record, const QString &logPath, const QDateTime &start, QList<Notice> &notices)
{
    const QString title = QString::fromLatin1(kCaption);
    const auto refuse = [&](const QString &text, MsgIcon icon) {
        notices.append({text, title, icon});
        return false;
    };
    if (!m_loaded)
        return refuse(QStringLiteral("The CTF register could not be opened, so no return was created."), MsgIcon::Critical);
    if (!m_readError.isEmpty())
        return refuse(QStringLiteral("The entries waiting to be sent could not be read when this screen opened, so no return "
                                     "was created and nothing was marked:\r\n%1\r\n\r\nPut the fault right, then close this "
                                     "screen and open it again.")
                          .arg(m_readError),
                      MsgIcon::Critical);
    try {
        RunInfo other;
        if (!record.claim(&other))
            return refuse(QStringLiteral("A return is already being created (since %1). No return was created and nothing "
                                         "was marked; try again when that one has finished.")
                              .arg(other.started.isValid() ? other.describe() : QStringLiteral("a moment ago")),
                          MsgIcon::Exclamation);
        const RunInfo left = record.leftover();
        if (left.started.isValid()) {
            const QString done = putRight(m_connection, record, left);
            // A run died since this screen opened: this screen's list no
            // longer says what is outstanding.
            if (!left.waitsForLogCopy())
                return refuse(done + QStringLiteral("\r\n\r\nClose this screen and open it again to create the return."), MsgIcon::Exclamation);
            notices.append({done, title, MsgIcon::Information});
        }
        // The log copy of a return made earlier in the same minute (same
        // period end) would be replaced, and with IRReturn.txt both copies
        // of its lines: a return that held entries is kept whole.
        if (pathmapper::fileExists(logPath) && holdsEntries(logPath)) {
            const QTime minute(start.time().hour(), start.time().minute());
            return refuse(QStringLiteral("A return for this period end was created at %1, and a return created in the same "
                                         "minute would replace its log copy %2. No return was created and nothing was "
                                         "marked; create the return again after %1.")
                              .arg(minute.toString(QStringLiteral("HH:mm")), logPath),
                          MsgIcon::Exclamation);
        }
    } catch (const CtfError &e) {
        return refuse(QStringLiteral("No return was created and nothing was marked: %1").arg(e.description()), MsgIcon::Critical);
    }
    return true;
}

QString ReturnOutput::abandon(RunRecord &record, const RunInfo &run, int marked)
{
    // The new return is not in place (the rename is the last step), so
    // whatever this run marked goes back, even after "complete".
    try {
        record.markAbandoned();
        RunInfo mine = record.leftover();
        mine.partialPath = run.partialPath;
        const int putBack = returns::putBack(m_connection, record, mine);
        return putBack == 0 ? QStringLiteral("No entry was marked as output.")
                            : QStringLiteral("The %1 entries this run had marked as output were put back, so they go into "
                                             "the next return; nothing needs unmarking by hand.").arg(putBack);
    } catch (const CtfError &again) {
        return QStringLiteral("The %1 entries this run had marked as output could not be put back now (%2): they stay "
                              "marked until the output screen next opens or a return is next created, which puts them "
                              "back. Nothing needs unmarking by hand.")
            .arg(marked)
            .arg(again.description());
    }
}

void ReturnOutput::makeLogCopy(RunRecord &record, const RunInfo &run, RunOutcome &outcome)
{
    QString why;
    outcome.logCopyFailed = !textfile::copyReplacing(run.returnPath, run.logPath, &why);
    if (outcome.logCopyFailed) {
        outcome.notices.append({QStringLiteral("Unable to make a copy of the document [") + run.returnPath
                                    + QStringLiteral("] - please do this manually"),
                                QString::fromLatin1(kCaption), MsgIcon::Information});
        // The record stays until the copy is made: no run replaces this
        // return while it is the only copy of its lines.
        try {
            record.markLogCopyFailed();
        } catch (const CtfError &) {
            // The record still says "complete": the next opening makes the copy.
        }
        return;
    }
    try {
        record.clear();
    } catch (const CtfError &) {
        // The record still says "complete": the next opening only empties it.
    }
}

} // namespace returns
