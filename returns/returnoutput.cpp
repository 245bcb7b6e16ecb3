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

#include <QFileInfo>

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

QString entryLine(const Recordset &r)
{
    const QString kind = text(r.value(QStringLiteral("Entity"))).toUpper();
    const QString crn9 = crnField(r.value(QStringLiteral("CRN")));
    const QString dob = dateField(r.value(QStringLiteral("DOB")));
    const QChar bar = QLatin1Char('|');
    if (kind == QStringLiteral("VOUCHER"))
        return QStringLiteral("Voucher|") + crn9 + bar + dob + bar + amountField(r.value(QStringLiteral("Amount")));
    if (kind == QStringLiteral("RAA"))
        return QStringLiteral("RAA|") + crn9 + bar + dob + bar + amountField(r.value(QStringLiteral("Amount"))) + bar;
    if (kind == QStringLiteral("ENDOWMENT"))
        return QStringLiteral("Endowment|") + crn9 + bar + dob + bar + amountField(r.value(QStringLiteral("Amount"))) + bar
            + text(r.value(QStringLiteral("Type"))) + bar + text(r.value(QStringLiteral("Ref")));
    if (kind == QStringLiteral("CHILDDEATH"))
        return QStringLiteral("ChildDeath|") + crn9 + bar + dob + bar + dateField(r.value(QStringLiteral("DOD")));
    if (kind == QStringLiteral("TRANSFEREDIN"))
        return QStringLiteral("TransferedIn|") + crn9 + bar + dob;
    if (kind == QStringLiteral("EXCEPTION"))
        return QStringLiteral("Exception|") + crn9 + bar + dob + bar + text(r.value(QStringLiteral("Type"))) + bar
            + text(r.value(QStringLiteral("Ref")));
    return {};
}

ReturnOutput::ReturnOutput() = default;
ReturnOutput::~ReturnOutput() { unload(); }

bool ReturnOutput::load(const QDate &today)
{
    m_list.clear();
    m_proposal.clear();
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
    // Each step on its own: one that fails is skipped and the next runs.
    try {
        m_rows.open(QStringLiteral("SELECT Min(ID) FROM ChildTrustFunds WHERE RecordOutput = False ;"), m_connection,
                    CursorType::Static, LockType::Optimistic);
        if (!m_rows.eof() && !m_rows.value(0).isNull())
            m_lowest = m_rows.value(0).toInt();
    } catch (const CtfError &) {
    }
    try {
        if (m_rows.isOpen())
            m_rows.close();
        m_rows.open(QStringLiteral("SELECT Max(ID) FROM ChildTrustFunds WHERE RecordOutput = False ;"), m_connection,
                    CursorType::Static, LockType::Optimistic);
        if (!m_rows.eof() && !m_rows.value(0).isNull())
            m_highest = m_rows.value(0).toInt();
    } catch (const CtfError &) {
    }
    try {
        if (m_rows.isOpen())
            m_rows.close();
        m_rows.open(QStringLiteral("SELECT * FROM ChildTrustFunds WHERE RecordOutput = False ORDER BY Entity, CRN;"),
                    m_connection, CursorType::Static, LockType::Optimistic);
        for (m_rows.moveFirst(); !m_rows.eof(); m_rows.moveNext())
            m_list << text(m_rows.value(QStringLiteral("Entity"))) + QStringLiteral(" - ") + text(m_rows.value(QStringLiteral("CRN")));
    } catch (const CtfError &) {
    }
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

QString ReturnOutput::returnFilePath() const { return GetReturnsPath() + QStringLiteral("IRReturn.txt"); }

RunResult ReturnOutput::generate(const QString &periodEndText, const QDateTime &start)
{
    const QString title = QString::fromLatin1(kCaption);
    m_marked = 0;
    if (!m_loaded) {
        ui::current().message(QStringLiteral("The CTF register could not be opened, so no return was created."), title, MsgIcon::Critical);
        return RunResult::Failed;
    }
    ui::BusyScope busy;
    const std::optional<QDate> periodEnd = dates::parse(periodEndText);
    const QDate pe = periodEnd.value_or(QDate());
    const QString logName = logFileName(pe, start.time());
    const QString path = returnFilePath();
    const QString header = QStringLiteral("Header|") + (periodEnd ? dates::returnForm(pe) : periodEndText);
    try {
        LineWriter file(path);
        if (m_list.size() < 1) {
            file.writeLine(header);
            file.writeLine(QStringLiteral("NilReturn"));
        } else {
            file.writeLine(header);
            const QString sentRef = QStringLiteral("From ID %1 to %2").arg(m_lowest).arg(m_highest);
            for (m_rows.moveFirst(); !m_rows.eof(); m_rows.moveNext()) {
                const QString line = entryLine(m_rows);
                if (!line.isNull())
                    file.writeLine(line);
                m_rows.setValue(QStringLiteral("RecordOutput"), 1);
                m_rows.setValue(QStringLiteral("PeriodEndSent"), dates::dayFirstShort(ctfclock::today()));
                m_rows.setValue(QStringLiteral("SentRef"), sentRef);
                m_rows.update();
                ++m_marked;
            }
        }
        file.close();
    } catch (const CtfError &e) {
        busy.release();
        ui::current().message(
            QStringLiteral("The return %1 was not completed: %2\r\n\r\n%3 entries were marked as output in this run. "
                           "Mark them for resubmission on the maintenance screen before you send a return again.")
                .arg(path, e.description())
                .arg(m_marked),
            title, MsgIcon::Critical);
        return RunResult::Failed;
    }
    QString why;
    if (!textfile::copyReplacing(path, logName, &why))
        ui::current().message(QStringLiteral("Unable to make a copy of the document [") + path + QStringLiteral("] - please do this manually"),
                              title, MsgIcon::Information);
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
