#include "register/registerimport.h"

#include "app/appsettings.h"
#include "common/error.h"
#include "common/textfile.h"
#include "data/accessfile.h"
#include "data/connection.h"
#include "data/schema.h"
#include "platform/pathmapper.h"
#include "platform/userinterface.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <unistd.h>

namespace registerimport {
namespace {
const QString kTitle = QStringLiteral("Child trust fund administration");

// The day-first text the register keeps, as SQL over the snapshot's column:
// an Access Date/Time column arrives as "YYYY-MM-DD[ HH:MM:SS]"; a Text
// column is kept as it stands.
QString dayFirst(const QString &column, accessfile::Column::Kind kind, bool shortYear)
{
    if (kind != accessfile::Column::Kind::Date)
        return column;
    return QStringLiteral("substr(%1, 9, 2) || '/' || substr(%1, 6, 2) || '/' || substr(%1, %2)").arg(column).arg(shortYear ? QStringLiteral("3, 2") : QStringLiteral("1, 4"));
}

// Writes the entries into a new register file; their count and highest ID.
// The Access file is read by the one conversion (all of its exports at
// once) into a snapshot beside the new file, whose rows one statement then
// copies in, their dates turned day-first.
QPair<int, qint64> writeRegister(const accessfile::Table &t, const QString &accessFile, const QString &shown, const QString &newFile)
{
    const QString snapshot = newFile + QStringLiteral(".access");
    accessfile::convert(accessFile, shown, snapshot, false);
    schema::createDatabaseFile(newFile, schema::Kind::Register);
    static const char *columns[] = {"ID", "Entity", "CRN", "DOB", "Amount", "DOD", "MemberNo", "PeriodEndSent", "RecordOutput", "Ref", "SentRef", "Type"};
    QStringList names, values;
    for (const char *c : columns) {
        const int i = t.column(QLatin1String(c));
        if (i < 0)
            continue;
        const QString name = QLatin1String(c);
        const QString source = QStringLiteral("\"%1\"").arg(t.columns[i].name);
        names << name;
        if (name == QStringLiteral("DOB") || name == QStringLiteral("DOD"))
            values << dayFirst(source, t.columns[i].kind, false);
        else if (name == QStringLiteral("PeriodEndSent"))
            values << dayFirst(source, t.columns[i].kind, true);
        else if (name == QStringLiteral("RecordOutput"))
            values << QStringLiteral("ifnull(%1, 0)").arg(source);
        else
            values << source;
    }
    if (!names.contains(QStringLiteral("ID"))) {
        QFile::remove(snapshot);
        throw DbError(QStringLiteral("The table ChildTrustFunds has no ID column."));
    }
    int count = 0;
    qint64 highest = 0;
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("ctfadmin-import"));
        db.setDatabaseName(newFile);
        try {
            if (!db.open())
                throw DbError(QStringLiteral("Cannot open %1: %2").arg(newFile, db.lastError().text()));
            QSqlQuery q(db);
            QSqlQuery mode(QStringLiteral("PRAGMA journal_mode"), db);
            const QString journal = mode.next() ? mode.value(0).toString() : QStringLiteral("delete");
            mode.finish();
            const auto exec = [&](const QString &sql) {
                if (!q.exec(sql))
                    throw DbError(QStringLiteral("Cannot write %1: %2").arg(newFile, q.lastError().text()));
            };
            exec(QStringLiteral("ATTACH DATABASE '%1' AS access").arg(QString(snapshot).replace(QLatin1Char('\''), QStringLiteral("''"))));
            // The new file is not in place yet and is thrown away on any
            // failure: it is filled without a journal, its indexes built
            // once the rows are in, and then given the register's journal.
            exec(QStringLiteral("PRAGMA journal_mode=OFF"));
            QStringList indexNames, indexes;
            exec(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'index' AND tbl_name = 'ChildTrustFunds' AND sql IS NOT NULL"));
            while (q.next()) {
                indexNames << q.value(0).toString();
                indexes << q.value(1).toString();
            }
            for (const QString &name : indexNames)
                exec(QStringLiteral("DROP INDEX \"%1\"").arg(name));
            db.transaction();
            exec(QStringLiteral("INSERT INTO ChildTrustFunds (%1) SELECT %2 FROM access.\"%3\" ORDER BY rowid")
                     .arg(names.join(QLatin1Char(',')), values.join(QLatin1Char(',')), t.name));
            for (const QString &index : indexes)
                exec(index);
            exec(QStringLiteral("SELECT count(*), ifnull(max(ID), 0) FROM ChildTrustFunds"));
            q.next();
            count = q.value(0).toInt();
            highest = q.value(1).toLongLong();
            q.finish();
            if (!db.commit())
                throw DbError(QStringLiteral("Cannot write %1: %2").arg(newFile, db.lastError().text()));
            exec(QStringLiteral("DETACH DATABASE access"));
            exec(QStringLiteral("PRAGMA journal_mode=%1").arg(journal));
            exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        } catch (const CtfError &e) {
            failure = e.description();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("ctfadmin-import"));
    QFile::remove(snapshot);
    if (!failure.isNull())
        throw DbError(failure);
    QFile written(newFile);
    if (!written.open(QIODevice::ReadWrite) || !textfile::syncToDisk(written))
        throw DbError(QStringLiteral("Cannot write %1 to the disk.").arg(newFile));
    return {count, highest};
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

Result importRegister(const QDate &today)
{
    const QString ds = Connection::connectionValue(GetConnectionString(QStringLiteral("CTF")), QStringLiteral("Data Source"));
    const MappedPath mapped = pathmapper::map(ds);
    const auto fail = [&](const QString &why) {
        ui::current().message(QStringLiteral("The register %1 was not converted: %2\r\n\r\nNothing was changed.").arg(ds, why), kTitle,
                              MsgIcon::Critical);
        return Result::Failed;
    };
    if (!mapped.ok() || !QFileInfo(mapped.hostPath).isFile())
        return fail(QStringLiteral("Could not find file '%1'.").arg(ds));
    if (!accessfile::isAccessFile(mapped.hostPath)) {
        ui::current().message(QStringLiteral("The register %1 is not a Microsoft Access database: it has been converted already, "
                                             "or was made by ctfadmin. Nothing was changed.")
                                  .arg(ds),
                              kTitle, MsgIcon::Information);
        return Result::AlreadyConverted;
    }
    const QString newWindowsPath = ds + QStringLiteral(".importing");
    const QString newFile = mapped.hostPath + QStringLiteral(".importing");
    QFile::remove(newFile);
    try {
        accessfile::Reader reader(mapped.hostPath, ds);
        const accessfile::Table *t = reader.table(QStringLiteral("ChildTrustFunds"));
        if (!t)
            throw DbError(QStringLiteral("the Access database '%1' holds no table ChildTrustFunds.").arg(ds));
        const auto [count, highest] = writeRegister(*t, mapped.hostPath, ds, newFile);
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
        if (::link(QFile::encodeName(mapped.hostPath).constData(), QFile::encodeName(keptHost.hostPath).constData()) != 0
            && !QFile::copy(mapped.hostPath, keptHost.hostPath))
            throw DbError(QStringLiteral("the Access original could not be kept as %1.").arg(kept));
        textfile::syncFolder(QFileInfo(keptHost.hostPath).absolutePath());
        textfile::replace(newWindowsPath, ds);
        ui::current().message(QStringLiteral("The register %1 was converted: %2 entries, the highest ID %3 (new entries continue after it). "
                                             "The Access original is kept, unchanged, as %4.")
                                  .arg(ds)
                                  .arg(count)
                                  .arg(highest)
                                  .arg(kept),
                              kTitle, MsgIcon::Information);
        return Result::Converted;
    } catch (const CtfError &e) {
        QFile::remove(newFile);
        QFile::remove(newFile + QStringLiteral("-wal"));
        QFile::remove(newFile + QStringLiteral("-shm"));
        return fail(e.description());
    }
}

} // namespace registerimport
