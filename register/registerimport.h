#pragma once
// Moving the register out of Access in one step: the genuine Access file
// that GetConnectionString("CTF") names is converted in place into the
// register ctfadmin keeps. Every entry keeps its ID (new IDs continue after
// the highest), its kind, markings, SentRef and Ref; DOB and DOD become
// "dd/mm/yyyy" and PeriodEndSent "dd/mm/yy" text, whether the Access columns
// were Date/Time or Text (Text is kept as it stands); Type as mdbtools gives
// it (empty text arrives as Null).
//
// The new register is written beside the old one and put in its place in
// one step (rename) only when it is complete, so an interrupted conversion
// leaves the office as it was. The Access original is kept beside it, never
// changed, as "CTF (Access original YYYY-MM-DD).mdb".
#include "platform/userinterface.h"

#include <QDate>
#include <QString>

namespace registerimport {

enum class Result { Converted, AlreadyConverted, Failed };

// How it went, and what the operator is told (ui::show).
struct Outcome {
    Result result = Result::Failed;
    QList<Notice> notices;
};

// Waiting for another program's import shows its progress as it goes.
Outcome importRegister(const QDate &today);

// "K:\CTF.mdb" -> "K:\CTF (Access original 2026-12-06).mdb".
QString keptName(const QString &registerPath, const QDate &day);

} // namespace registerimport
