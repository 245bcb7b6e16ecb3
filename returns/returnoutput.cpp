#include "returns/returnoutput.h"

#include "common/clock.h"
#include "common/ctfmodules.h"
#include "common/dates.h"
#include "common/error.h"
#include "common/money.h"
#include "common/textfile.h"
#include "app/appsettings.h"
#include "platform/pathmapper.h"
#include "platform/userinterface.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
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

QString logFileName(const QDate &periodEnd, const QTime &startTime)
{
    return QStringLiteral("C:\\temp\\QD") + periodEnd.toString(QStringLiteral("ddMMyyyy")) + QLatin1Char('-')
        + startTime.toString(QStringLiteral("hhmm")) + QStringLiteral(".log");
}

QString crnField(const QVariant &crn)
{
    QString field(9, QLatin1Char(' '));
    if (!crn.isNull())
        field = crn.toString().left(9).leftJustified(9, QLatin1Char(' '));
    return field;
}

namespace {

QString text(const QVariant &v) { return v.isNull() ? QString() : v.toString(); }

// A date field: day-first text (or a date) as "yyyy/mm/dd". Text that is no
// date is written as it stands, since the file knows no other form.
QString dateField(const QVariant &v)
{
    if (const auto d = dates::fromVariant(v))
        return dates::returnForm(*d);
    return text(v);
}

QString amountField(const QVariant &v)
{
    if (v.isNull())
        return {};
    return Money::fromVariant(v).format2();
}

} // namespace

EntryColumns::EntryColumns(const Recordset &r)
    : entity(r.columnIndex(QStringLiteral("Entity"))), crn(r.columnIndex(QStringLiteral("CRN"))),
      dob(r.columnIndex(QStringLiteral("DOB"))), amount(r.columnIndex(QStringLiteral("Amount"))),
      type(r.columnIndex(QStringLiteral("Type"))), ref(r.columnIndex(QStringLiteral("Ref"))),
      dod(r.columnIndex(QStringLiteral("DOD")))
{
}

QString entryLine(const Recordset &r, const EntryColumns &c)
{
    const QString kind = text(r.value(c.entity)).toUpper();
    // One text, appended to in place: this runs for every entry of a return.
    QString line;
    line.reserve(64);
    const auto start = [&](QLatin1StringView name) {
        line += name;
        line += QLatin1Char('|');
        line += crnField(r.value(c.crn));
        line += QLatin1Char('|');
        line += dateField(r.value(c.dob));
    };
    const auto then = [&](const QString &field) {
        line += QLatin1Char('|');
        line += field;
    };
    if (kind == QLatin1StringView("VOUCHER")) {
        start(QLatin1StringView("Voucher"));
        then(amountField(r.value(c.amount)));
    } else if (kind == QLatin1StringView("RAA")) {
        start(QLatin1StringView("RAA"));
        then(amountField(r.value(c.amount)));
        then(QString());
    } else if (kind == QLatin1StringView("ENDOWMENT")) {
        start(QLatin1StringView("Endowment"));
        then(amountField(r.value(c.amount)));
        then(text(r.value(c.type)));
        then(text(r.value(c.ref)));
    } else if (kind == QLatin1StringView("CHILDDEATH")) {
        start(QLatin1StringView("ChildDeath"));
        then(dateField(r.value(c.dod)));
    } else if (kind == QLatin1StringView("TRANSFEREDIN")) {
        start(QLatin1StringView("TransferedIn"));
    } else if (kind == QLatin1StringView("EXCEPTION")) {
        start(QLatin1StringView("Exception"));
        then(text(r.value(c.type)));
        then(text(r.value(c.ref)));
    } else {
        return {};
    }
    return line;
}

ReturnOutput::ReturnOutput() = default;
ReturnOutput::~ReturnOutput() { unload(); }

bool ReturnOutput::load(const QDate &today)
{
    m_list.clear();
    m_proposal.clear();
    m_readError.clear();
    try {
        m_connection.setConnectionString(GetConnectionString(QStringLiteral("CTF")));
        m_connection.open();
    } catch (const CtfError &e) {
        ui::current().message(QStringLiteral("Unable to access the database") + QStringLiteral("\r\n") + e.description(),
                              QString::fromLatin1(appsettings::kProgramTitle), MsgIcon::None);
        return false;
    }
    m_loaded = true;
    m_lowest = 0;
    m_highest = 0;
    putRightAtOpening();
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
    step([this] {
        if (m_rows.isOpen())
            m_rows.close();
        m_rows.open(QStringLiteral("SELECT * FROM ChildTrustFunds WHERE RecordOutput = False ORDER BY Entity, CRN;"),
                    m_connection, CursorType::Static, LockType::Optimistic);
        m_readVersion = m_connection.changeCounter();
        m_list.reserve(m_rows.recordCount());
        for (m_rows.moveFirst(); !m_rows.eof(); m_rows.moveNext())
            m_list << text(m_rows.value(QStringLiteral("Entity"))) + QStringLiteral(" - ") + text(m_rows.value(QStringLiteral("CRN")));
    });
    m_proposal = proposePeriodEnd(today).toString(QStringLiteral("dd/MM/yyyy"));
    return true;
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

namespace {
// Numbers as a JSON array, for one statement over many rows (json_each).
QString jsonArray(const QList<qint64> &numbers)
{
    QByteArray json = "[";
    for (qint64 n : numbers)
        json += QByteArray::number(n) + ',';
    if (json.size() > 1)
        json.chop(1);
    return QString::fromLatin1(json + ']');
}

QString putBackText(const RunInfo &left, int putBack)
{
    return QStringLiteral("The return run started %1 did not finish. The %2 entries it had marked as output were put back, "
                          "so they go into the next return; its incomplete file was removed. Nothing needs unmarking by hand.")
        .arg(left.describe())
        .arg(putBack);
}

QString recordUnreadable(const QString &why)
{
    return QStringLiteral("The record of return runs cannot be used: %1\r\n\r\nNo return can be created until it can; check "
                          "that the drive of the register is connected and this user may write there.")
        .arg(why);
}

// Whether a return file holds entry lines (anything past the header but
// "NilReturn"). A file that cannot be read is taken to hold some.
bool holdsEntries(const QString &windowsPath)
{
    QFile f(pathmapper::toHost(windowsPath));
    if (!f.open(QIODevice::ReadOnly))
        return true;
    const QList<QByteArray> lines = f.read(4096).split('\n');
    return lines.size() > 1 && !lines[1].trimmed().isEmpty() && lines[1].trimmed() != "NilReturn";
}
} // namespace

int ReturnOutput::putBack(RunRecord &record, const RunInfo &left)
{
    int putBack = 0;
    if (!left.marked.isEmpty()) {
        // Only entries that still carry this run's marking go back.
        putBack = m_connection.execute(QStringLiteral("UPDATE ChildTrustFunds SET RecordOutput = 0, PeriodEndSent = NULL "
                                                      "WHERE RecordOutput <> 0 AND SentRef = ? AND ID IN (SELECT value FROM json_each(?))"),
                                       {left.sentRef, jsonArray(left.marked)});
    }
    if (!left.partialPath.isEmpty())
        textfile::remove(left.partialPath);
    record.clear();
    return putBack;
}

void ReturnOutput::finishReturn(RunRecord &record, const RunInfo &left)
{
    if (pathmapper::fileExists(left.partialPath))
        textfile::replace(left.partialPath, left.returnPath);
    if (!left.logPath.isEmpty() && !pathmapper::fileExists(left.logPath)) {
        if (!pathmapper::fileExists(left.returnPath))
            throw FileError(QStringLiteral("The return created %1 has no log copy, and %2 is no longer there to copy. If it was "
                                           "sent, keep the submission program's copy; then empty %3 to go on.")
                                .arg(left.describe(), left.returnPath, record.windowsPath()));
        QString why;
        if (!textfile::copyReplacing(left.returnPath, left.logPath, &why))
            throw FileError(QStringLiteral("The return created %1 (%2) has no log copy yet: %3 could not be written (%4). No new "
                                           "return can be created until it has one, so that the return is never replaced while it is "
                                           "the only copy of its lines. Make room there, or copy the file there under that name by "
                                           "hand; it is tried again each time the output screen opens or a return is created.")
                                .arg(left.describe(), left.returnPath, left.logPath, why));
    }
    record.clear();
}

QString ReturnOutput::putRight(RunRecord &record, const RunInfo &left)
{
    if (left.waitsForLogCopy() && !pathmapper::fileExists(left.partialPath)) {
        // Not an interrupted run: a return that still waits for its log copy.
        finishReturn(record, left);
        return QStringLiteral("The log copy %1 of the return created %2 has now been made.").arg(left.logPath, left.describe());
    }
    if (left.complete) {
        // Killed after its return was complete: put the return in its place.
        finishReturn(record, left);
        return QStringLiteral("The return run started %1 was interrupted after its return was complete; "
                              "the return has been put in its place as %2.")
            .arg(left.describe(), left.returnPath);
    }
    return putBackText(left, putBack(record, left));
}

void ReturnOutput::putRightAtOpening()
{
    const QString title = QString::fromLatin1(kCaption);
    RunRecord record(registerPath());
    RunInfo left;
    try {
        if (!record.claim(nullptr))
            return; // a run is in progress: it is not ours to touch
        left = record.leftover();
    } catch (const CtfError &e) {
        ui::current().message(recordUnreadable(e.description()), title, MsgIcon::Critical);
        if (m_readError.isEmpty())
            m_readError = e.description();
        return;
    }
    if (!left.started.isValid())
        return;
    try {
        ui::current().message(putRight(record, left), title, MsgIcon::Information);
    } catch (const CtfError &e) {
        const QString text = left.waitsForLogCopy()
            ? e.description()
            : QStringLiteral("The return run started %1 did not finish, and what it left could not be put right now: %2\r\n\r\n"
                             "No return can be created until this is put right; it is tried again each time this screen opens.")
                  .arg(left.describe(), e.description());
        ui::current().message(text, title, MsgIcon::Critical);
        if (m_readError.isEmpty())
            m_readError = e.description();
    }
}

RunResult ReturnOutput::generate(const QString &periodEndText, const QDateTime &start)
{
    const QString title = QString::fromLatin1(kCaption);
    m_marked = 0;
    m_logCopyFailed = false;
    if (!m_loaded) {
        ui::current().message(QStringLiteral("The CTF register could not be opened, so no return was created."), title, MsgIcon::Critical);
        return RunResult::Failed;
    }
    if (!m_readError.isEmpty()) {
        ui::current().message(QStringLiteral("The entries waiting to be sent could not be read when this screen opened, so no return "
                                             "was created and nothing was marked:\r\n%1\r\n\r\nPut the fault right, then close this "
                                             "screen and open it again.")
                                  .arg(m_readError),
                              title, MsgIcon::Critical);
        return RunResult::Failed;
    }
    RunRecord record(registerPath());
    const std::optional<QDate> periodEnd = dates::parse(periodEndText);
    const QDate pe = periodEnd.value_or(QDate());
    const QString logPath = logFileName(pe, start.time());
    try {
        RunInfo other;
        if (!record.claim(&other)) {
            ui::current().message(QStringLiteral("A return is already being created (since %1). No return was created and nothing "
                                                 "was marked; try again when that one has finished.")
                                      .arg(other.started.isValid() ? other.describe() : QStringLiteral("a moment ago")),
                                  title, MsgIcon::Exclamation);
            return RunResult::Failed;
        }
        const RunInfo left = record.leftover();
        if (left.started.isValid()) {
            const QString done = putRight(record, left);
            if (!left.waitsForLogCopy()) {
                // A run died since this screen opened: this screen's list no
                // longer says what is outstanding.
                ui::current().message(done + QStringLiteral("\r\n\r\nClose this screen and open it again to create the return."),
                                      title, MsgIcon::Exclamation);
                return RunResult::Failed;
            }
            ui::current().message(done, title, MsgIcon::Information);
        }
        // The log copy of a return made earlier in the same minute (same
        // period end) would be replaced, and with IRReturn.txt both copies
        // of its lines: a return that held entries is kept whole.
        if (pathmapper::fileExists(logPath) && holdsEntries(logPath)) {
            const QTime minute(start.time().hour(), start.time().minute());
            ui::current().message(QStringLiteral("A return for this period end was created at %1, and a return created in the same "
                                                 "minute would replace its log copy %2. No return was created and nothing was "
                                                 "marked; create the return again after %1.")
                                      .arg(minute.toString(QStringLiteral("HH:mm")), logPath),
                                  title, MsgIcon::Exclamation);
            return RunResult::Failed;
        }
    } catch (const CtfError &e) {
        ui::current().message(QStringLiteral("No return was created and nothing was marked: %1").arg(e.description()), title, MsgIcon::Critical);
        return RunResult::Failed;
    }

    ui::BusyScope busy;
    RunInfo run;
    run.started = start;
    run.host = QSysInfo::machineHostName();
    run.pid = QCoreApplication::applicationPid();
    run.sentRef = QStringLiteral("From ID %1 to %2").arg(m_lowest).arg(m_highest);
    run.returnPath = returnFilePath();
    run.partialPath = run.returnPath + QStringLiteral(".incomplete");
    run.logPath = logPath;
    const QString &path = run.returnPath;
    const QString header = QStringLiteral("Header|") + (periodEnd ? dates::returnForm(pe) : periodEndText);
    try {
        record.begin(run);
        LineWriter file(run.partialPath, LineWriter::Mode::Buffered);
        file.writeLine(header);
        if (m_list.size() < 1) {
            file.writeLine(QStringLiteral("NilReturn"));
        } else {
            // The entries that were outstanding before this run: the ones to
            // put back should it not finish (a second run on the same
            // opening marks entries that an earlier return already holds).
            QList<qint64> group;
            bool wholeGroup = false; // nobody else changed the register since it was read
            QString markedOn;        // PeriodEndSent: the day the group is marked
            QList<qint64> groupRows; // the group's rowids, for its one UPDATE
            int inGroup = 0;
            const auto commitGroup = [&] {
                if (!m_connection.inTransaction())
                    return;
                if (wholeGroup) {
                    const int written = m_connection.execute(
                        QStringLiteral("UPDATE ChildTrustFunds SET RecordOutput = 1, PeriodEndSent = ?, SentRef = ? "
                                       "WHERE rowid IN (SELECT value FROM json_each(?))"),
                        {markedOn, run.sentRef, jsonArray(groupRows)});
                    groupRows.clear();
                    if (written != inGroup)
                        throw DbError(QStringLiteral("The register changed while the return was being created (%1 of %2 entries "
                                                     "could be marked).").arg(written).arg(inGroup));
                }
                file.sync();
                record.addMarked(group);
                m_connection.commit();
                m_marked += inGroup;
                group.clear();
                inGroup = 0;
            };
            const EntryColumns columns(m_rows);
            const int recordOutput = m_rows.columnIndex(QStringLiteral("RecordOutput"));
            const int periodEndSent = m_rows.columnIndex(QStringLiteral("PeriodEndSent"));
            const int sentRef = m_rows.columnIndex(QStringLiteral("SentRef"));
            const int id = m_rows.columnIndex(QStringLiteral("ID"));
            for (m_rows.moveFirst(); !m_rows.eof(); m_rows.moveNext()) {
                const QString line = entryLine(m_rows, columns);
                if (!line.isNull())
                    file.writeLine(line);
                if (!m_connection.inTransaction()) {
                    // The group holds the write lock from here; when nothing
                    // changed the register since the screen read it, every
                    // row is as read and the group is marked in one statement.
                    m_connection.beginTransaction();
                    wholeGroup = m_readVersion >= 0 && m_connection.changeCounter() == m_readVersion;
                    markedOn = dates::dayFirstShort(ctfclock::today());
                }
                const bool wasOutstanding = m_rows.value(recordOutput).toLongLong() == 0;
                const qint64 entryId = m_rows.value(id).toLongLong();
                if (wholeGroup) {
                    // Every row is as read: no comparison of its values is
                    // needed, and the group is marked in one statement.
                    groupRows << m_rows.rowId();
                    m_rows.acceptValues({{recordOutput, 1}, {periodEndSent, markedOn}, {sentRef, run.sentRef}});
                } else {
                    m_rows.setValue(QStringLiteral("RecordOutput"), 1);
                    m_rows.setValue(QStringLiteral("PeriodEndSent"), markedOn);
                    m_rows.setValue(QStringLiteral("SentRef"), run.sentRef);
                    m_rows.update();
                }
                if (wasOutstanding)
                    group << entryId;
                if (++inGroup >= m_groupSize)
                    commitGroup();
            }
            commitGroup();
        }
        file.sync();
        file.close();
        record.markComplete();
        textfile::replace(run.partialPath, path);
    } catch (const CtfError &e) {
        m_connection.rollback();
        busy.release();
        // The new return is not in place (the rename is the last step), so
        // whatever this run marked goes back, even after "complete".
        QString afterwards;
        const int committed = m_marked;
        try {
            record.markAbandoned();
            RunInfo mine = record.leftover();
            mine.partialPath = run.partialPath;
            const int putBack = this->putBack(record, mine);
            afterwards = putBack == 0 ? QStringLiteral("No entry was marked as output.")
                                      : QStringLiteral("The %1 entries this run had marked as output were put back, so they go into "
                                                       "the next return; nothing needs unmarking by hand.").arg(putBack);
        } catch (const CtfError &again) {
            afterwards = QStringLiteral("The %1 entries this run had marked as output could not be put back now (%2): they stay "
                                        "marked until the output screen next opens or a return is next created, which puts them "
                                        "back. Nothing needs unmarking by hand.")
                             .arg(committed)
                             .arg(again.description());
        }
        m_marked = 0;
        ui::current().message(QStringLiteral("The return was not created: %1\r\n\r\n%2 is as it was before this run. %3 "
                                             "Close this screen and open it again before you create the return.")
                                  .arg(e.description(), path, afterwards),
                              title, MsgIcon::Critical);
        return RunResult::Failed;
    }
    QString why;
    m_logCopyFailed = !textfile::copyReplacing(path, run.logPath, &why);
    if (m_logCopyFailed) {
        ui::current().message(QStringLiteral("Unable to make a copy of the document [") + path + QStringLiteral("] - please do this manually"),
                              title, MsgIcon::Information);
        // The record stays until the copy is made: no run replaces this
        // return while it is the only copy of its lines.
        try {
            record.markLogCopyFailed();
        } catch (const CtfError &) {
            // The record still says "complete": the next opening makes the copy.
        }
    } else {
        try {
            record.clear();
        } catch (const CtfError &) {
            // The record still says "complete": the next opening only empties it.
        }
    }
    record.release();
    busy.release();
    ui::current().message(QStringLiteral("ASCII file  [") + path + QStringLiteral("]  has been created"), title, MsgIcon::Information);
    return RunResult::Done;
}

RecreateResult ReturnOutput::recreate(const QString &logPath)
{
    const QString title = QString::fromLatin1(kCaption);
    if (logPath.isEmpty())
        return RecreateResult::Cancelled;
    if (!pathmapper::fileExists(logPath)) {
        ui::current().message(QStringLiteral("Unable to re-create document from log file"), title, MsgIcon::Information);
        return RecreateResult::Missing;
    }
    const QString folder = GetReturnsPath();
    if (!textfile::copyReplacing(logPath, folder + QStringLiteral("irreturn.txt"))) {
        ui::current().message(QStringLiteral("Unable to re-create document from log file"), title, MsgIcon::Information);
        return RecreateResult::CopyFailed;
    }
    ui::current().message(QStringLiteral("ASCII file  [") + folder + QStringLiteral("IRReturn.txt]  has been re-created from the log file."),
                          title, MsgIcon::Information);
    return RecreateResult::Done;
}

} // namespace returns
