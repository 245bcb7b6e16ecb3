#include "returns/recreate.h"

#include "common/ctfmodules.h"
#include "common/textfile.h"
#include "platform/pathmapper.h"
#include "platform/userinterface.h"
#include "returns/returnrun.h"

namespace returns {

RecreateResult recreateReturn(const QString &logPath)
{
    const QString title = QString::fromLatin1(kCaption);
    if (logPath.isEmpty())
        return RecreateResult::Cancelled;
    if (!pathmapper::fileExists(logPath)) {
        ui::current().message(QStringLiteral("Unable to re-create document from log file"), title, MsgIcon::Information);
        return RecreateResult::Missing;
    }
    const QString folder = GetReturnsPath();
    // Windows compares file names without regard to case: "irreturn.txt" is
    // the return file, and is made under the name the submission program
    // and the main screen look for.
    if (!textfile::copyReplacing(logPath, folder + QStringLiteral("IRReturn.txt"))) {
        ui::current().message(QStringLiteral("Unable to re-create document from log file"), title, MsgIcon::Information);
        return RecreateResult::CopyFailed;
    }
    ui::current().message(QStringLiteral("ASCII file  [") + folder + QStringLiteral("IRReturn.txt]  has been re-created from the log file."),
                          title, MsgIcon::Information);
    return RecreateResult::Done;
}

} // namespace returns
