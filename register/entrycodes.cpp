#include "register/entrycodes.h"

#include <algorithm>

namespace entrycodes {

const QStringList &kinds()
{
    static const QStringList k{QStringLiteral("Voucher"), QStringLiteral("RAA"), QStringLiteral("Exception"),
                               QStringLiteral("Endowment"), QStringLiteral("TransferedIn"), QStringLiteral("ChildDeath")};
    return k;
}

const QList<TypeCode> &endowmentTypes()
{
    static const QList<TypeCode> t{
        {0, QStringLiteral("Manual endowment (0)")},   {1, QStringLiteral("Additional endowment (1)")},
        {2, QStringLiteral("Universal Age 7 (2)")},    {3, QStringLiteral("Special endowment (3)")},
        {4, QStringLiteral("Additional Age 7 (4)")},   {5, QStringLiteral("Special Age 7 (5)")},
        {6, QStringLiteral("DLA Contribution (6)")},   {7, QStringLiteral("DLA Higher Rate (7)")},
        {8, QStringLiteral("DLA Topup (8)")}};
    return t;
}

const QList<TypeCode> &exceptionTypes()
{
    static const QList<TypeCode> t{{1, QStringLiteral("No CTF for this URN")},
                                   {2, QStringLiteral("Hold CTF wrong DOB")},
                                   {3, QStringLiteral("Other exception")}};
    return t;
}

qsizetype longestTypeText()
{
    qsizetype longest = 0;
    for (const auto *types : {&endowmentTypes(), &exceptionTypes()})
        for (const TypeCode &t : *types)
            longest = std::max(longest, t.text.size());
    return longest;
}

const QList<TypeCode> &typesFor(const QString &kind)
{
    static const QList<TypeCode> none;
    if (kind == QStringLiteral("Endowment"))
        return endowmentTypes();
    if (kind == QStringLiteral("Exception"))
        return exceptionTypes();
    return none;
}

} // namespace entrycodes
