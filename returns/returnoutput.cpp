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
} // namespace

int ReturnOutput::putRight(RunRecord &record, const RunInfo &left)
{
    if (left.complete) {
        // Killed after its return was complete: put the return in its place.
        if (pathmapper::fileExists(left.partialPath))
            textfile::replace(left.partialPath, left.returnPath);
        if (!left.logPath.isEmpty() && !pathmapper::fileExists(left.logPath))
            textfile::copyReplacing(left.returnPath, left.logPath);
        record.clear();
        return 0;
    }
    int putBack = 0;
    if (!left.marked.isEmpty()) {
        // Only entries that still carry this run's marking go back.
        putBack = m_connection.execute(QStringLiteral("UPDATE ChildTrustFunds SET RecordOutput = 0, PeriodEndSent = NULL "
                                                      "WHERE RecordOutput <> 0 AND SentRef = ? AND ID IN (SELECT value FROM json_each(?))"),
                                       {left.sentRef, jsonArray(left.marked)});
    }
    textfile::remove(left.partialPath);
    record.clear();
    return putBack;
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
        if (!left.started.isValid())
            return;
        const int putBack = putRight(record, left);
        ui::current().message(left.complete ? QStringLiteral("The return run started %1 was interrupted after its return was complete; "
                                                             "the return has been put in its place as %2.")
                                                  .arg(left.describe(), left.returnPath)
                                            : putBackText(left, putBack),
                              title, MsgIcon::Information);
    } catch (const CtfError &e) {
        ui::current().message(QStringLiteral("The return run started %1 did not finish, and what it marked could not be put back "
                                             "now: %2\r\n\r\nNo return can be created until this is put right; it is tried again "
                                             "each time this screen opens.")
                                  .arg(left.describe(), e.description()),
                              title, MsgIcon::Critical);
        if (m_readError.isEmpty())
            m_readError = e.description();
    }
}

RunResult ReturnOutput::generate(const QString &periodEndText, const QDateTime &start)
{
    const QString title = QString::fromLatin1(kCaption);
    m_marked = 0;
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
            // A run died since this screen opened: its entries are put back,
            // and this screen's list no longer says what is outstanding.
            const int putBack = putRight(record, left);
            ui::current().message(putBackText(left, putBack) + QStringLiteral("\r\n\r\nClose this screen and open it again to create the return."),
                                  title, MsgIcon::Exclamation);
            return RunResult::Failed;
        }
    } catch (const CtfError &e) {
        ui::current().message(QStringLiteral("No return was created and nothing was marked: %1").arg(e.description()), title, MsgIcon::Critical);
        return RunResult::Failed;
    }

    ui::BusyScope busy;
    const std::optional<QDate> periodEnd = dates::parse(periodEndText);
    const QDate pe = periodEnd.value_or(QDate());
    RunInfo run;
    run.started = start;
    run.host = QSysInfo::machineHostName();
    run.pid = QCoreApplication::applicationPid();
    run.sentRef = QStringLiteral("From ID %1 to %2").arg(m_lowest).arg(m_highest);
    run.returnPath = returnFilePath();
    run.partialPath = run.returnPath + QStringLiteral(".incomplete");
    run.logPath = logFileName(pe, start.time());
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
        QString afterwards;
        try {
            const int putBack = putRight(record, record.leftover());
            afterwards = QStringLiteral("The %1 entries this run had marked were put back, so nothing needs unmarking by hand.").arg(putBack);
        } catch (const CtfError &again) {
            afterwards = QStringLiteral("The entries this run had marked could not be put back now (%1); they will be put back the "
                                        "next time the output screen opens or a return is created. Nothing needs unmarking by hand.")
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
    if (!textfile::copyReplacing(path, run.logPath, &why))
        ui::current().message(QStringLiteral("Unable to make a copy of the document [") + path + QStringLiteral("] - please do this manually"),
                              title, MsgIcon::Information);
    try {
        record.clear();
    } catch (const CtfError &) {
        // The record still says "complete": the next opening only empties it.
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
