#include "data/connectionstrings.h"


#include <QDir>

namespace {

const QString kJet = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=");
const QString kJetTail = QStringLiteral("Persist Security Info=False");

// "CTF.MDB" in the program folder, whatever the letter case of the file name.
bool programFolderHoldsRegister(const QString &folder)
{
    const QStringList files = QDir(folder).entryList(QDir::Files);
    for (const QString &f : files)
        if (f.compare(QStringLiteral("CTF.MDB"), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString loginPart(const SettingFields &s)
{
    if (s.chkAdmin == 0)
        return QStringLiteral("Trusted_Connection=Yes;");
    const QString user = s.sqlUserName.isEmpty() ? QStringLiteral("sa") : s.sqlUserName;
    return QStringLiteral("User Id =") + user + QStringLiteral(";") + QStringLiteral("Password=") + s.sqlPW;
}

QString sqlServer(const SettingFields &s, const QString &catalog)
{
    return QStringLiteral("provider=SQLOLEDB.1;") + QStringLiteral("Persist Security Info=False;")
        + QStringLiteral("Initial Catalog=") + catalog + QStringLiteral(";Data Source=") + s.txtDatabase
        + QStringLiteral(";") + loginPart(s);
}

} // namespace

ConnectionChoice connectionStringFor(const SettingFields &s, const QString &name, const QString &programFolder)
{
    QString n = name;
    if (n == QStringLiteral("CTF")) {
        if (programFolderHoldsRegister(programFolder))
            return {kJet + programFolder + QStringLiteral("\\") + n + QStringLiteral(".mdb;") + kJetTail,
                    QStringLiteral(" CTF administration (CTF.mdb location is ") + programFolder + QStringLiteral(")")};
        return {kJet + QStringLiteral("K:\\") + n + QStringLiteral(".mdb;") + kJetTail,
                QStringLiteral(" CTF administration (CTF.mdb location is K:\\)")};
    }
    if (n == QStringLiteral("TarnMain") || n == QStringLiteral("Tarnwell")) {
        if (!s.SQLSubset.isEmpty())
            n += s.SQLSubset;
        if (s.chkSQL == 1) {
            n.replace(QStringLiteral("Tarnwell"), QStringLiteral("TarnMain"));
            return {sqlServer(s, n), {}};
        }
        if (s.txtDatabase != QStringLiteral("K:\\"))
            n.replace(QStringLiteral("Tarnwell"), QStringLiteral("TarnMain"));
        return {kJet + s.txtDatabase + n + QStringLiteral(".mdb;") + kJetTail, {}};
    }
    if (n == QStringLiteral("TarnTran")) {
        if (!s.SQLSubset.isEmpty())
            n += s.SQLSubset;
        if (s.chkSQL == 1)
            return {sqlServer(s, n), {}};
        if (s.txtDatabase == QStringLiteral("K:\\"))
            n = QStringLiteral("Tarnwell");
        return {kJet + s.txtDatabase + n + QStringLiteral(".mdb;") + kJetTail, {}};
    }
    return {};
}

QString jetConnectionString(const QString &windowsPath) { return kJet + windowsPath + QLatin1Char(';') + kJetTail; }
