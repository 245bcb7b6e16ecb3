#include "register/registerimport.h"

#include "app/appsettings.h"
#include "common/besidefile.h"
#include "common/error.h"
#include "common/textfile.h"
#include "data/accessfile.h"
#include "data/connection.h"
#include "data/connectionstrings.h"
#include "data/dbfile.h"
#include "data/schema.h"
#include "platform/pathmapper.h"
#include "register/history.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <unistd.h>

namespace registerimport {
namespace {
const QString kTitle = QStringLiteral("Child trust fund administration");

// Writes the entries into a new register file (its host and Windows paths),
// its history starting with them all added from the Access register `from`;
// their count and highest ID.
// The rows go from mdb-export straight into the new file's table, its
// indexes kept up as they come: this side of the pipe then keeps pace with
// mdb-export, and the register is complete when the Access file has been
// read (building the indexes after the rows leaves their whole sort to wait
// for at the end).
QPair<int, qint64> writeRegister(accessfile::Reader &reader, const accessfile::Table &t, const QString &newFile, const QString &newWindowsPath,
                                 const QString &from)
{
    // DOB, DOD and PeriodEndSent day-first when Access keeps them as
    // Date/Time; a Text column is kept as it stands.
    static const char *columns[] = {"ID", "Entity", "CRN", "DOB", "Amount", "DOD", "MemberNo", "PeriodEndSent", "RecordOutput", "Ref", "SentRef", "Type"};
    QStringList names, values;
    QList<accessfile::DateForm> dates(t.columns.size(), accessfile::DateForm::Iso);
    for (const char *c : columns) {
        const int i = t.column(QLatin1String(c));
        if (i < 0)
            continue;
        const QString name = QLatin1String(c);
        names << name;
        values << (name == QStringLiteral("RecordOutput") ? QStringLiteral("ifnull(?%1, 0)") : QStringLiteral("?%1")).arg(i + 1);
        if (name == QStringLiteral("DOB") || name == QStringLiteral("DOD"))
            dates[i] = accessfile::DateForm::DayFirst;
        else if (name == QStringLiteral("PeriodEndSent"))
            dates[i] = accessfile::DateForm::DayFirstShortYear;
    }
    if (!names.contains(QStringLiteral("ID")))
        throw DbError(QStringLiteral("The table ChildTrustFunds has no ID column."));
    schema::createDatabaseFile(newFile, schema::Kind::Register);
    const qint64 count = accessfile::append(reader, newFile,
                                            {{t.name.toLower(), {QStringLiteral("INSERT INTO ChildTrustFunds (%1) VALUES ").arg(names.join(QLatin1Char(','))),
                                                                  QLatin1Char('(') + values.join(QLatin1Char(',')) + QLatin1Char(')'), dates}}});
    qint64 highest = 0;
    {
        // The register's history starts with its import: every entry added.
        Connection c;
        c.setConnectionString(jetConnectionString(newWindowsPath));
        c.open();
        history::Scope change(c, QString::fromLatin1(history::kImport), QStringLiteral("from the Access register %1").arg(from));
        c.execute(history::insertSelectHead(history::columnList(QStringLiteral("New")))
                  + QStringLiteral("ID, 'added', %1 FROM ChildTrustFunds").arg(history::columnList(QString())));
        change.commit();
        QSqlQuery q(c.database());
        if (!q.exec(QStringLiteral("SELECT ifnull(max(ID), 0) FROM ChildTrustFunds")) || !q.next())
            throw DbError(QStringLiteral("Cannot read %1: %2").arg(newFile, q.lastError().text()));
        highest = q.value(0).toLongLong();
        q = QSqlQuery();
        c.close();
    }
    QFile written(newFile);
    if (!written.open(QIODevice::ReadWrite) || !textfile::syncToDisk(written))
        throw DbError(QStringLiteral("Cannot write %1 to the disk.").arg(newFile));
    return {int(count), highest};
}
} // namespace

QString keptName(const QString &registerPath, const QDate &day)
{
    const qsizetype slash = registerPath.lastIndexOf(QLatin1Char('\\'));
    const QString folder = registerPath.left(slash + 1);
    const QString file = registerPath.mid(slash + 1);
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? file.left(dot) : file;
    const QString ext = dot > 0 ? file.mid(dot) : QString();
    return folder + base + QStringLiteral(" (Access original %1)").arg(day.toString(Qt::ISODate)) + ext;
}

// The import's steps in order, each with its own refusal; the order is the
// promise (nothing is replaced until the new register is whole and checked).
Outcome importRegister(const QDate &today)
{
    const QString ds = Connection::connectionValue(GetConnectionString(QStringLiteral("CTF")), QStringLiteral("Data Source"));
    const MappedPath mapped = pathmapper::map(ds);
    const auto fail = [&](const QString &why) {
        return Outcome{Result::Failed, {{QStringLiteral("The register %1 was not converted: %2\r\n\r\nNothing was changed.").arg(ds, why), kTitle,
                                         MsgIcon::Critical}}};
    };
    if (!mapped.ok() || !QFileInfo(mapped.hostPath).isFile())
        return fail(QStringLiteral("Could not find file '%1'.").arg(ds));
    if (!accessfile::isAccessFile(mapped.hostPath))
        return {Result::AlreadyConverted,
                {{QStringLiteral("The register %1 is not a Microsoft Access database: it has been converted already, "
                                 "or was made by ctfadmin. Nothing was changed.")
                      .arg(ds),
                  kTitle, MsgIcon::Information}}};
    // One import of a register at a time; the new register is written under
    // a name of this run's own, and put in place only if the Access register
    // is still the file that was read (another desk's import, or Access,
    // may have replaced or changed it meanwhile).
    const QString folder = QFileInfo(mapped.hostPath).absolutePath();
    beside::FolderHold hold(folder);
    if (!hold.claimWaiting(beside::Job::ImportRegister, QStringLiteral("Waiting while another program converts %1").arg(ds)))
        return fail(QStringLiteral("it was cancelled while another program was converting it."));
    if (!accessfile::isAccessFile(mapped.hostPath))
        return fail(QStringLiteral("another program converted it meanwhile."));
    const QString read = accessfile::versionKey(mapped.hostPath);
    const QString newWindowsPath = beside::ownName(ds);
    const QString newFile = pathmapper::map(newWindowsPath).hostPath;
    try {
        accessfile::Reader reader(mapped.hostPath, ds);
        const accessfile::Table *t = reader.table(QStringLiteral("ChildTrustFunds"));
        if (!t)
            throw DbError(QStringLiteral("the Access database '%1' holds no table ChildTrustFunds.").arg(ds));
        const auto [count, highest] = writeRegister(reader, *t, newFile, newWindowsPath, ds);
        // The original keeps its bytes under its new name (a second name for
        // the same file, or a copy where the drive knows no such thing);
        // only then does the new register take its place.
        QString kept = keptName(ds, today);
        MappedPath keptHost = pathmapper::map(kept);
        for (int n = 2; keptHost.ok() && QFileInfo::exists(keptHost.hostPath); ++n) {
            kept = keptName(ds, today).replace(QStringLiteral(").mdb"), QStringLiteral(") %1.mdb").arg(n));
            keptHost = pathmapper::map(kept);
        }
        if (!keptHost.ok())
            throw DbError(keptHost.error);
        if (accessfile::versionKey(mapped.hostPath) != read)
            throw DbError(QStringLiteral("it was changed while it was being read; convert it again."));
        if (::link(QFile::encodeName(mapped.hostPath).constData(), QFile::encodeName(keptHost.hostPath).constData()) != 0
            && !QFile::copy(mapped.hostPath, keptHost.hostPath))
            throw DbError(QStringLiteral("the Access original could not be kept as %1.").arg(kept));
        textfile::syncFolder(QFileInfo(keptHost.hostPath).absolutePath());
        textfile::replace(newWindowsPath, ds);
        return {Result::Converted,
                {{QStringLiteral("The register %1 was converted: %2 entries, the highest ID %3 (new entries continue after it). "
                                 "The Access original is kept, unchanged, as %4.")
                      .arg(ds)
                      .arg(count)
                      .arg(highest)
                      .arg(kept),
                  kTitle, MsgIcon::Information}}};
    } catch (const CtfError &e) {
        dbfile::removeWithSideFiles(newFile);
        return fail(e.description());
    }
}

} // namespace registerimport
