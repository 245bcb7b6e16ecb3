#pragma once
// The CTF entry: its six kinds in list order and the type codes of
// Endowment and Exception entries, for the screens and the return alike.
#include <QList>
#include <QString>
#include <QStringList>

namespace entrycodes {

struct TypeCode {
    int code;
    QString text;
};

// "Voucher", "RAA", "Exception", "Endowment", "TransferedIn", "ChildDeath".
const QStringList &kinds();
const QList<TypeCode> &endowmentTypes();
const QList<TypeCode> &exceptionTypes();
// The type list of a kind (empty for the kinds without types).
const QList<TypeCode> &typesFor(const QString &kind);
// The characters of the longest type's text, of any kind.
qsizetype longestTypeText();

// The columns in the order the program names them when it selects them all.
inline constexpr const char *kAllColumns = "ID, Entity,CRN,DOB,Amount,DOD,MemberNo,PeriodEndSent,RecordOutput,Ref,SentRef,Type";

} // namespace entrycodes
