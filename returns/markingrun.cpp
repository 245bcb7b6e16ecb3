#include "returns/markingrun.h"

#include "common/clock.h"
#include "common/dates.h"
#include "common/error.h"
#include "common/textfile.h"
#include "register/history.h"
#include "returns/returnlines.h"

namespace returns {

MarkingRun::MarkingRun(Connection &c, Recordset &rows, qint64 readVersion, int groupSize)
    : m_connection(c), m_rows(rows), m_readVersion(readVersion), m_groupSize(groupSize)
{
}

void MarkingRun::write(RunRecord &record, const RunInfo &run, const QString &header, bool nil)
{
    m_marked = 0;
    try {
        LineWriter file(run.partialPath, LineWriter::Mode::Buffered);
        file.writeLine(header);
        if (nil)
            file.writeLine(QStringLiteral("NilReturn"));
        else
            markRows(record, run, file);
        file.sync();
        file.close();
        record.markComplete();
        textfile::replace(run.partialPath, run.returnPath);
    } catch (const CtfError &) {
        m_connection.rollback();
        throw;
    }
}

// The groups' commit and the loop over rows share the group's state (what
// is marked, whether it is whole); kept together so that state has one owner.
void MarkingRun::markRows(RunRecord &record, const RunInfo &run, LineWriter &file)
{
    // The entries that were outstanding before this run: the ones to put
    // back should it not finish (a second run on the same opening marks
    // entries that an earlier return already holds).
    QList<qint64> group;
    bool wholeGroup = false; // nobody else changed the register since it was read
    QString markedOn;        // PeriodEndSent: the day the group is marked
    QList<qint64> groupRows; // the group's rowids, for its one UPDATE
    int inGroup = 0;
    // Every group's marks are one change of the register's history.
    history::Change change(m_connection, QString::fromLatin1(history::kReturn), m_historyDetail);
    const auto commitGroup = [&] {
        if (!m_connection.inTransaction())
            return;
        if (wholeGroup) {
            const QString rows = jsonIds(groupRows);
            change.marking(rows, markedOn, run.sentRef);
            const int written = m_connection.execute(QStringLiteral("UPDATE ChildTrustFunds SET RecordOutput = 1, PeriodEndSent = ?, "
                                                                    "SentRef = ? WHERE rowid IN (SELECT value FROM json_each(?))"),
                                                     {markedOn, run.sentRef, rows});
            groupRows.clear();
            if (written != inGroup)
                throw DbError(QStringLiteral("The register changed while the return was being created (%1 of %2 entries "
                                             "could be marked).").arg(written).arg(inGroup));
        }
        file.sync();
        record.addMarked(group);
        change.end();
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
            // The group holds the write lock from here; when nothing changed
            // the register since the screen read it, every row is as read.
            m_connection.beginTransaction();
            wholeGroup = m_readVersion >= 0 && m_connection.changeCounter() == m_readVersion;
            markedOn = dates::dayFirstShort(ctfclock::today());
            change.begin();
        }
        const bool wasOutstanding = m_rows.value(recordOutput).toLongLong() == 0;
        const qint64 entryId = m_rows.value(id).toLongLong();
        if (wholeGroup) {
            // Every row is as read: no comparison of its values is needed,
            // and the group is marked in one statement.
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

} // namespace returns
