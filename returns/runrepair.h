#pragma once
// Putting right what a run of the periodic return left behind (see
// RunRecord): an interrupted run's markings put back and its incomplete file
// removed, a return that was complete put in its place, a missing log copy
// made. The output screen's opening and every new run come here first, so
// nothing a killed run did is ever left half done.
#include "data/connection.h"
#include "platform/userinterface.h"
#include "returns/returnrun.h"

#include <QString>

namespace returns {

// The entries `left` marked put back (only those that still carry its
// SentRef), its incomplete file removed and the record emptied; the number
// of entries put back. Throws CtfError.
int putBack(Connection &c, RunRecord &record, const RunInfo &left);

// What `left` needs, done; the message that says what was done. Throws
// CtfError, and then the record stays.
QString putRight(Connection &c, RunRecord &record, const RunInfo &left);

// At the output screen's opening: a run that did not finish is put right,
// and a notice says what was done or what stands in the way. Returns why
// no return may be created from this opening, empty when one may.
QString putRightAtOpening(Connection &c, const QString &registerWindowsPath, QList<Notice> &notices);

// At the start of every command and of the main screen: the incomplete
// return of a run that was killed holds members' data, so it is removed as
// soon as its record is found unowned (its markings are put back as before,
// when the output screen next opens or a return is next created; a run
// killed once its return was complete keeps the file, which that puts in
// place). Nothing is reported; a record that cannot be read is left alone.
void removeKilledRunsFile(const QString &registerWindowsPath);

// What every command and the main screen do at start, once the settings are
// read: what killed runs left in the office's folders is removed
// (appsettings::sweepLeftovers), and a killed periodic run's incomplete
// return beside the register's run record.
void sweepAtStart();

} // namespace returns
