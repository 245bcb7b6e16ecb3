#pragma once
// The lines of IRReturn.txt: the header, one line per entry of the six
// kinds, and the names of its log copies. Nothing here touches the register
// or marks anything.
#include "data/recordset.h"

#include <QDate>
#include <QString>
#include <QTime>

namespace returns {

// "C:\temp\QD" + ddMMyyyy + "-" + hhmm + ".log".
QString logFileName(const QDate &periodEnd, const QTime &startTime);
// "Header|yyyy/mm/dd", or the period end as typed when it is no date.
QString headerLine(const QString &periodEndText);
// The 9-character URN field.
QString crnField(const QVariant &crn);
// Where the fields of a return line are in a result, found once per run.
struct EntryColumns {
    explicit EntryColumns(const Recordset &r);
    int entity, crn, dob, amount, type, ref, dod;
};
// The return line of the current row, or a null text when its kind is none of the six.
QString entryLine(const Recordset &row, const EntryColumns &columns);
// Whether a return file holds entry lines (anything past the header but
// "NilReturn"). A file that cannot be read is taken to hold some.
bool holdsEntries(const QString &windowsPath);

} // namespace returns
