#include "app/appsettings.h"

#include "app/registry.h"
#include "common/besidefile.h"
#include "common/ctfmodules.h"
#include "data/connectionstrings.h"
#include "data/sqldialect.h"
#include "platform/officeroot.h"
#include "platform/pathmapper.h"

#include <QFileInfo>

#include <QVariant>

namespace appsettings {
namespace {
QString &title()
{
    static QString t = QStringLiteral(" CTF administration");
    return t;
}
std::function<void(const QString &)> &listener()
{
    static std::function<void(const QString &)> l;
    return l;
}

QString asText(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return {};
    return v.toString();
}

// A registry value read through its own reader; any failure reads as empty.
QVariant readValue(const QString &name)
{
    try {
        Registry r;
        r.SetLocation(kHkeyLocalMachine, QString::fromLatin1(kTarnwellKey), name);
        return r.Value();
    } catch (...) {
        return {};
    }
}
} // namespace

int number(const char *name, int fallback)
{
    const QVariant v = readValue(QString::fromLatin1(name));
    bool ok = false;
    const int n = v.toInt(&ok);
    return ok && n > 0 ? n : fallback;
}

SettingFields &fields()
{
    static SettingFields f;
    return f;
}

QString mainTitle() { return title(); }

void setMainTitle(const QString &t)
{
    title() = t;
    if (listener())
        listener()(t);
}

void onMainTitleChanged(std::function<void(const QString &)> l) { listener() = std::move(l); }

void loadFromRegistry(SettingFields &f)
{
    const QVariant database = readValue(QStringLiteral("Database"));
    const QVariant admin = readValue(QStringLiteral("Admin"));
    const QVariant sqlDatabase = readValue(QStringLiteral("SQLDatabase"));
    const QVariant adminPw = readValue(QStringLiteral("AdminPW"));
    const QVariant adminUser = readValue(QStringLiteral("AdminUserName"));
    const QVariant subset = readValue(QStringLiteral("DataSubset"));

    f.txtDatabase = asText(database);
    if (f.txtDatabase.isEmpty()) {
        f.txtDatabase = QStringLiteral("K:\\");
        return;
    }
    // The values compare as read: a number only equals a number, texts exactly.
    const bool sameType = database.typeId() == sqlDatabase.typeId();
    f.chkSQL = (sqlDatabase.isValid() && sameType && asText(sqlDatabase) == asText(database)) ? 1 : 0;
    // Text that reads as the number 1 counts as 1; other text is not a number.
    bool isNumber = false;
    const double adminNumber = asText(admin).trimmed().toDouble(&isNumber);
    f.chkAdmin = (admin.isValid() && isNumber && adminNumber == 1.0) ? 1 : 0;
    f.sqlPW = asText(adminPw);
    f.sqlUserName = asText(adminUser);
    f.SQLSubset = asText(subset);
    if (f.chkSQL == 0)
        f.SQLSubset.clear();
}

void sweepLeftovers()
{
    for (const QString &folder : {GetReturnsPath(), QStringLiteral("C:\\temp\\"), fields().txtDatabase}) {
        const MappedPath mapped = pathmapper::map(folder);
        if (mapped.ok() && QFileInfo(mapped.hostPath).isDir())
            beside::sweep(mapped.hostPath);
    }
    beside::sweep(officeroot::path() + QStringLiteral("/cache/access"));
}

} // namespace appsettings

QString GetConnectionString(const QString &name)
{
    const ConnectionChoice c = connectionStringFor(appsettings::fields(), name, officeroot::programFolder());
    if (!c.mainTitle.isEmpty())
        appsettings::setMainTitle(c.mainTitle);
    return c.connectionString;
}

QString TranslateSQL(const QString &sql, bool force) { return translateSql(sql, force, appsettings::fields().chkSQL != 0); }
QString ConvertSQLDates(const QString &sql) { return convertSqlDates(sql, appsettings::fields().chkSQL != 0); }
QString SQLISNULL(const QString &sql, bool force) { return sqlIsNull(sql, force, appsettings::fields().chkSQL == 1); }
