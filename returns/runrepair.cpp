#include "returns/runrepair.h"

#include "app/appsettings.h"
#include "common/clock.h"
#include "common/error.h"
#include "common/textfile.h"
#include "data/connectionstrings.h"
#include "platform/officeroot.h"
#include "platform/pathmapper.h"
#include "register/backups.h"
#include "register/history.h"

namespace returns {

namespace {
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

// A complete return put in its place and its log copy made.
void finishReturn(RunRecord &record, const RunInfo &left)
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
} // namespace

int putBack(Connection &c, RunRecord &record, const RunInfo &left)
{
    int putBack = 0;
    if (!left.marked.isEmpty()) {
        history::Scope change(c, QString::fromLatin1(history::kPutBack), QStringLiteral("the run started %1, %2").arg(left.describe(), left.sentRef));
        putBack = c.execute(QStringLiteral("UPDATE ChildTrustFunds SET RecordOutput = 0, PeriodEndSent = NULL "
                                           "WHERE RecordOutput <> 0 AND SentRef = ? AND ID IN (SELECT value FROM json_each(?))"),
                            {left.sentRef, jsonIds(left.marked)});
        change.commit();
    }
    if (!left.partialPath.isEmpty())
        textfile::remove(left.partialPath);
    record.clear();
    return putBack;
}

QString putRight(Connection &c, RunRecord &record, const RunInfo &left)
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
    return putBackText(left, putBack(c, record, left));
}

QString putRightAtOpening(Connection &c, const QString &registerWindowsPath, QList<Notice> &notices)
{
    const QString title = QString::fromLatin1(kCaption);
    RunRecord record(registerWindowsPath);
    RunInfo left;
    try {
        if (!record.claim(nullptr))
            return {}; // a run is in progress: it is not ours to touch
        left = record.leftover();
    } catch (const CtfError &e) {
        notices.append({recordUnreadable(e.description()), title, MsgIcon::Critical});
        return e.description();
    }
    if (!left.started.isValid())
        return {};
    try {
        notices.append({putRight(c, record, left), title, MsgIcon::Information});
    } catch (const CtfError &e) {
        const QString text = left.waitsForLogCopy()
            ? e.description()
            : QStringLiteral("The return run started %1 did not finish, and what it left could not be put right now: %2\r\n\r\n"
                             "No return can be created until this is put right; it is tried again each time this screen opens.")
                  .arg(left.describe(), e.description());
        notices.append({text, title, MsgIcon::Critical});
        return e.description();
    }
    return {};
}

void removeKilledRunsFile(const QString &registerWindowsPath)
{
    try {
        RunRecord record(registerWindowsPath);
        if (!record.claim(nullptr))
            return; // a run is going on: the file is its own
        const RunInfo left = record.leftover();
        if (left.started.isValid() && !left.complete && !left.partialPath.isEmpty())
            textfile::remove(left.partialPath);
    } catch (const CtfError &) {
        // The record cannot be opened here: the run's repair reports it.
    }
}

void sweepAtStart()
{
    appsettings::sweepLeftovers();
    // The register's path without asking for its connection string, which
    // would change the main screen's title.
    const QString reg = Connection::connectionValue(
        connectionStringFor(appsettings::fields(), QStringLiteral("CTF"), officeroot::programFolder()).connectionString, QStringLiteral("Data Source"));
    removeKilledRunsFile(reg);
    // The first opening of a day backs the register up; one that fails is
    // tried again at the next opening (that day has none yet).
    if (const MappedPath mapped = pathmapper::map(reg); mapped.ok())
        backups::daily(mapped.hostPath, ctfclock::now());
}

} // namespace returns
