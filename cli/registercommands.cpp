#include "cli/registercommands.h"

#include "app/appsettings.h"
#include "common/clock.h"
#include "common/dates.h"
#include "common/error.h"
#include "data/connection.h"
#include "platform/pathmapper.h"
#include "register/backups.h"
#include "register/history.h"
#include "register/registerimport.h"

#include <QFileInfo>
#include <cstdio>

namespace cli {
namespace {
QString registerSource() { return Connection::connectionValue(GetConnectionString(QStringLiteral("CTF")), QStringLiteral("Data Source")); }

} // namespace

Status importRegister(const Arguments &)
{
    switch (ui::shown(registerimport::importRegister(ctfclock::today()))) {
    case registerimport::Result::Converted:
    case registerimport::Result::AlreadyConverted: return Done;
    case registerimport::Result::Failed: return Failed;
    }
    return Failed;
}

Status registerHistory(const Arguments &o)
{
    history::Filter f;
    if (o.has(QStringLiteral("--id")) && o.has(QStringLiteral("--urn")))
        return wrongUsage(QStringLiteral("history takes --id or --urn, not both"));
    if (o.has(QStringLiteral("--id"))) {
        bool ok = false;
        f.id = o.value(QStringLiteral("--id")).toLongLong(&ok);
        if (!ok)
            return wrongUsage(QStringLiteral("--id takes an entry's ID, a whole number"));
    }
    f.urn = o.value(QStringLiteral("--urn"));
    if (o.has(QStringLiteral("--since"))) {
        f.since = dates::parse(o.value(QStringLiteral("--since")));
        if (!f.since)
            return wrongUsage(QStringLiteral("--since takes a date, DD/MM/YYYY"));
    }
    try {
        const QList<history::Row> rows = history::readRegister(f);
        if (o.has(QStringLiteral("--csv")))
            std::fputs(history::csv(rows).toUtf8().constData(), stdout);
        else if (rows.isEmpty())
            out(QStringLiteral("No change is recorded."));
        else
            std::fputs(history::text(rows).toUtf8().constData(), stdout);
        return Done;
    } catch (const CtfError &e) {
        err(e.description());
        return Failed;
    }
}

Status listBackups(const Arguments &)
{
    const MappedPath reg = pathmapper::map(registerSource());
    const QList<backups::Info> all = reg.ok() ? backups::list(reg.hostPath) : QList<backups::Info>();
    if (all.isEmpty())
        out(QStringLiteral("No backup is kept in %1.").arg(reg.ok() ? pathmapper::shown(backups::folderOf(reg.hostPath)) : reg.error));
    for (const backups::Info &b : all)
        out(b.problem.isEmpty() ? QStringLiteral("%1  %2  %3 entries, %4 outstanding  %5")
                                      .arg(b.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), b.reason)
                                      .arg(b.entries)
                                      .arg(b.outstanding)
                                      .arg(pathmapper::shown(b.path))
                                : QStringLiteral("%1  %2  cannot be restored: %3  %4")
                                      .arg(b.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), b.reason, b.problem, pathmapper::shown(b.path)));
    return Done;
}

Status restoreBackup(const Arguments &o)
{
    const QString file = o.positional[0];
    const MappedPath mapped = pathmapper::map(file);
    const QString host = mapped.ok() ? mapped.hostPath : file;
    if (!QFileInfo(host).isFile()) {
        err(QStringLiteral("Could not find file '%1'.").arg(file));
        return Refused;
    }
    QString say;
    const backups::Restored r = backups::restore(registerSource(), QFileInfo(host).absoluteFilePath(), ctfclock::now(), &say);
    (r == backups::Restored::Done ? out : err)(say);
    return r == backups::Restored::Done ? Done : r == backups::Restored::Refused ? Refused : Failed;
}

} // namespace cli
