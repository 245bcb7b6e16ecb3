#pragma once
// IRReturn.txt re-created from a log copy the operator chose, for a return
// lost or spoilt after it was made. The register is not touched: the
// entries of that return were marked when it was first created.
#include <QString>

namespace returns {

enum class RecreateResult { Done, Cancelled, Missing, CopyFailed };

// Copies a chosen log over the return file (logPath empty: cancelled); the
// message says how it went.
RecreateResult recreateReturn(const QString &logPath);

} // namespace returns
