#pragma once
// One run of the periodic return: the new return written beside
// IRReturn.txt, the entries read at the screen's opening marked as output,
// and the return put in its place last.
//
// The lines are written before the markings that cover them: the markings
// are committed in groups, each only after its lines (and the IDs it marks,
// in the run record) are on the disk, so not even a power cut leaves an
// entry marked without its line.
#include "data/connection.h"
#include "data/recordset.h"
#include "returns/returnrun.h"

class LineWriter;

namespace returns {

class MarkingRun {
public:
    // rows: the outstanding entries as read at opening; readVersion: the
    // register's change counter then (-1: not known).
    MarkingRun(Connection &c, Recordset &rows, qint64 readVersion, int groupSize);

    // Writes `header` and a line per entry (or "NilReturn" when `nil`), marks
    // the entries and puts the return in place; `record` has been begun with
    // `run`. Throws CtfError: the open group is then rolled back, and the
    // groups committed before stay marked (the record names them).
    void write(RunRecord &record, const RunInfo &run, const QString &header, bool nil);
    // What the register's history says of the run (period end, SentRef, log copy).
    void setHistoryDetail(const QString &detail) { m_historyDetail = detail; }
    // The entries whose markings were committed.
    int marked() const { return m_marked; }

private:
    void markRows(RunRecord &record, const RunInfo &run, LineWriter &file);
    Connection &m_connection;
    Recordset &m_rows;
    qint64 m_readVersion;
    int m_groupSize;
    int m_marked = 0;
    QString m_historyDetail;
};

} // namespace returns
