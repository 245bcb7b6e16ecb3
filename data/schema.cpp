#include "data/schema.h"

#include "common/besidefile.h"

#include "common/error.h"
#include "common/textfile.h"
#include "data/dbfile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <sys/stat.h>

namespace schema {
namespace {
// The two transaction tables share one layout and the index that makes each
// member's statements of the annual return index look-ups: by member, then
// date, holding every column, so that no statement reads the table itself.
// One index serves both the share-account and the product statements (a
// member's rows of the period are a few pages whatever the account), and is
// built once when a genuine file is converted.
QString transactionTable(const QString &name)
{
    return QStringLiteral("CREATE TABLE %1 (\n"
                          "  MemberNo INTEGER NOT NULL,\n"
                          "  Account INTEGER,\n"
                          "  ProductCode TEXT COLLATE NOCASE,\n"
                          "  TranDate TEXT NOT NULL,\n"
                          "  TranValue1 NUMERIC NOT NULL,\n"
                          "  Narrative TEXT COLLATE NOCASE\n"
                          ");\n"
                          "CREATE INDEX %1_Member ON %1 (MemberNo, TranDate, Account, ProductCode, TranValue1, Narrative);\n")
        .arg(name);
}
} // namespace

QString ddl(Kind kind)
{
    // The register's index of outstanding entries holds those entries alone:
    // a register of many thousands has a few hundred outstanding, so sent
    // entries (an imported register, a marked return) cost it nothing. Its
    // first column stays RecordOutput so that Min(ID) and Max(ID) of the
    // outstanding entries are found in it too.
    if (kind == Kind::Register)
        return QStringLiteral(
            "CREATE TABLE ChildTrustFunds (\n"
            "  ID INTEGER PRIMARY KEY AUTOINCREMENT,\n"
            "  Entity TEXT COLLATE NOCASE,\n"
            "  CRN TEXT COLLATE NOCASE,\n"
            "  DOB TEXT COLLATE NOCASE,\n"
            "  Amount NUMERIC,\n"
            "  DOD TEXT COLLATE NOCASE,\n"
            "  MemberNo INTEGER,\n"
            "  PeriodEndSent TEXT COLLATE NOCASE,\n"
            "  RecordOutput INTEGER NOT NULL DEFAULT 0,\n"
            "  Ref TEXT COLLATE NOCASE,\n"
            "  SentRef TEXT COLLATE NOCASE,\n"
            "  Type TEXT COLLATE NOCASE\n"
            ");\n"
            "CREATE INDEX ChildTrustFunds_Outstanding ON ChildTrustFunds (RecordOutput, Entity, CRN) WHERE RecordOutput = 0;\n"
            "CREATE INDEX ChildTrustFunds_CRN ON ChildTrustFunds (CRN);\n");
    return QStringLiteral(
        "CREATE TABLE Control (\n"
        "  cuname TEXT COLLATE NOCASE,\n"
        "  YearEndDate TEXT\n"
        ");\n"
        "CREATE TABLE Product (\n"
        "  ProductCode TEXT COLLATE NOCASE PRIMARY KEY,\n"
        "  Description TEXT COLLATE NOCASE,\n"
        "  ProductType INTEGER\n"
        ");\n"
        "CREATE TABLE MemberMain (\n"
        "  MemberNo INTEGER PRIMARY KEY,\n"
        "  Forename TEXT COLLATE NOCASE,\n"
        "  Surname TEXT COLLATE NOCASE,\n"
        "  DOB TEXT,\n"
        "  NINumber TEXT COLLATE NOCASE\n"
        ");\n"
        "CREATE TABLE MemberBals (\n"
        "  MemberNo INTEGER PRIMARY KEY,\n"
        "  S1Bal NUMERIC DEFAULT 0,\n"
        "  S2Bal NUMERIC DEFAULT 0,\n"
        "  S3Bal NUMERIC DEFAULT 0,\n"
        "  S4Bal NUMERIC DEFAULT 0\n"
        ");\n"
        "CREATE TABLE MemberBalances (\n"
        "  MemberNo INTEGER NOT NULL,\n"
        "  ProductCode TEXT COLLATE NOCASE NOT NULL,\n"
        "  Balance NUMERIC\n"
        ");\n"
        "CREATE INDEX MemberBalances_Product ON MemberBalances (ProductCode, MemberNo);\n")
        + transactionTable(QStringLiteral("MemberAllTrans")) + transactionTable(QStringLiteral("MemberTrans"));
}

const QStringList &tarnwellTables()
{
    static const QStringList tables{QStringLiteral("Control"),    QStringLiteral("Product"),        QStringLiteral("MemberMain"),
                                    QStringLiteral("MemberBals"), QStringLiteral("MemberBalances"), QStringLiteral("MemberAllTrans"),
                                    QStringLiteral("MemberTrans")};
    return tables;
}

QStringList indexesFor(const QString &table, const QStringList &columns)
{
    struct Index {
        const char *table, *name, *columns, *where = nullptr;
    };
    static const Index known[] = {
        {"ChildTrustFunds", "ChildTrustFunds_Outstanding", "RecordOutput, Entity, CRN", "RecordOutput = 0"},
        {"ChildTrustFunds", "ChildTrustFunds_CRN", "CRN"},
        {"ChildTrustFunds", "ChildTrustFunds_ID", "ID"},
        {"Product", "Product_Code", "ProductCode"},
        {"MemberMain", "MemberMain_No", "MemberNo"},
        {"MemberBals", "MemberBals_No", "MemberNo"},
        {"MemberBalances", "MemberBalances_Product", "ProductCode, MemberNo"},
        {"MemberAllTrans", "MemberAllTrans_Member", "MemberNo, TranDate, Account, ProductCode, TranValue1, Narrative"},
        {"MemberTrans", "MemberTrans_Member", "MemberNo, TranDate, Account, ProductCode, TranValue1, Narrative"},
    };
    QStringList statements;
    for (const Index &i : known) {
        if (table.compare(QLatin1String(i.table), Qt::CaseInsensitive) != 0)
            continue;
        // The columns of the index and the one its WHERE tests.
        QStringList needed = QString::fromLatin1(i.columns).split(QStringLiteral(", "));
        if (i.where)
            needed << QString::fromLatin1(i.where).section(QLatin1Char(' '), 0, 0);
        bool all = true;
        for (const QString &c : std::as_const(needed))
            all = all && columns.contains(c, Qt::CaseInsensitive);
        if (all)
            statements << QStringLiteral("CREATE INDEX \"%1\" ON \"%2\" (%3)%4")
                              .arg(QLatin1String(i.name), table, QLatin1String(i.columns),
                                   i.where ? QStringLiteral(" WHERE ") + QLatin1String(i.where) : QString());
    }
    return statements;
}

void createDatabaseFile(const QString &hostPath, Kind kind)
{
    // Made here, new, before SQLite opens it: a file or a link already at
    // the name is left as it is, never written through.
    const int fd = beside::createNew(hostPath);
    if (fd < 0 && errno == EEXIST)
        throw DbError(QStringLiteral("%1 already exists; it is left as it is.").arg(hostPath));
    if (fd < 0)
        throw DbError(QStringLiteral("Cannot create %1: %2").arg(hostPath, QString::fromLocal8Bit(std::strerror(errno))));
    ::close(fd); // nothing has it open yet: no lock of SQLite's to lose
    const QString name = QStringLiteral("ctfadmin-schema");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(hostPath);
        if (!db.open())
            throw DbError(QStringLiteral("Cannot create %1: %2").arg(hostPath, db.lastError().text()));
        QSqlQuery q(db);
        const QStringList statements = ddl(kind).split(QStringLiteral(";\n"), Qt::SkipEmptyParts);
        for (const QString &s : statements) {
            if (s.trimmed().isEmpty())
                continue;
            if (!q.exec(s)) {
                const QString why = q.lastError().text();
                db.close();
                throw DbError(QStringLiteral("Cannot create the tables of %1: %2").arg(hostPath, why));
            }
        }
        // The register starts in WAL on a local disk; on a shared drive, and
        // for Tarnwell's files (only ever read), it keeps its rollback journal.
        if (kind == Kind::Register && !dbfile::driveOf(hostPath).shared)
            q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    // Members' and children's data: no access for other users of the machine.
    ::chmod(QFile::encodeName(hostPath).constData(), textfile::kPrivateFileMode);
}

} // namespace schema
