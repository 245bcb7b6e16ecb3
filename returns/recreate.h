#pragma once
// IRReturn.txt re-created from a log copy the operator chose, for a return
// lost or spoilt after it was made. The register is not touched: the
// entries of that return were marked when it was first created.
#include "platform/userinterface.h"

#include <QString>

namespace returns {

enum class RecreateResult { Done, Cancelled, Missing, CopyFailed };

// How it went, and what the operator is told (ui::show).
struct RecreateOutcome {
    RecreateResult result = RecreateResult::Cancelled;
    QList<Notice> notices;
};

// Copies a chosen log over the return file (logPath empty: cancelled).
RecreateOutcome recreateReturn(const QString &logPath);

} // namespace returns
