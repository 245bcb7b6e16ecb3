#include "returns/recreate.h"

#include "common/ctfmodules.h"
#include "common/textfile.h"
#include "platform/pathmapper.h"
#include "returns/returnrun.h"

namespace returns {

RecreateOutcome recreateReturn(const QString &logPath)
{
    const QString title = QString::fromLatin1(kCaption);
    const auto ended = [&](RecreateResult result, const QString &text) { return RecreateOutcome{result, {{text, title, MsgIcon::Information}}}; };
    if (logPath.isEmpty())
        return {};
    if (!pathmapper::fileExists(logPath))
        return ended(RecreateResult::Missing, QStringLiteral("Unable to re-create document from log file"));
    const QString folder = GetReturnsPath();
    // Windows compares file names without regard to case: "irreturn.txt" is
    // the return file, and is made under the name the submission program
    // and the main screen look for.
    if (!textfile::copyReplacing(logPath, folder + QStringLiteral("IRReturn.txt")))
        return ended(RecreateResult::CopyFailed, QStringLiteral("Unable to re-create document from log file"));
    return ended(RecreateResult::Done, QStringLiteral("ASCII file  [") + folder + QStringLiteral("IRReturn.txt]  has been re-created from the log file."));
}

} // namespace returns
