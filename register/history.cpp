#include "register/history.h"

#include "app/appsettings.h"
#include "common/clock.h"
#include "common/error.h"
#include "common/textfile.h"
#include "data/sqlitenative.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>

#include <pwd.h>
#include <sqlite3.h>
#include <unistd.h>

namespace history {
namespace {
// This program's change in the making, with its Active value tested: a
// change is active only inside the transaction that writes it, where it is
// the newest, so it is found through the rowid and needs no index to keep
// up (an index cost each save a quarter of its time).
QString activeChange(const char *test)
{
    return QStringLiteral("(SELECT ChangeID FROM RegisterChanges WHERE ChangeID = (SELECT max(ChangeID) FROM RegisterChanges) "
                          "AND Active %1)").arg(QLatin1StringView(test));
}

// The change rows are filed under, and their times: whatever writes them.
const QString kFiledUnder = activeChange("> 0") + QStringLiteral(", datetime('now'), datetime('now', 'localtime'), ");

// The one value of a query of the history's own tables.
QVariant single(Connection &c, const QString &sql, const QVariantList &binds = {})
{
    QSqlQuery &q = c.prepared(sql);
    for (int i = 0; i < binds.size(); ++i)
        q.bindValue(i, binds[i]);
    if (!q.exec())
        throw DbError(QStringLiteral("The history of the register %1 could not be read: %2").arg(c.describe(), c.why(q.lastError().text())));
    const QVariant v = q.next() ? q.value(0) : QVariant();
    q.finish();
    return v;
}

// The change row just made.
qint64 lastRowId(Connection &c)
{
    sqlite3 *db = sqlitenative::handle(c.database());
    if (!db)
        throw DbError(QStringLiteral("The history of the register %1 could not be written: it is not a SQLite register.").arg(c.describe()));
    return sqlite3_last_insert_rowid(db);
}

QString insertInto(const QString &valueColumns)
{
    return QStringLiteral("INSERT INTO EntryHistory (ChangeID, UTC, LocalTime, EntryID, Action, %1) ").arg(valueColumns);
}
} // namespace

QString columnList(const QString &prefix) { return prefix + columns().join(QStringLiteral(", ") + prefix); }

QString anyDiffers(const QString &was, const QString &now)
{
    // A change of letter case is a change: the columns compare without case.
    QStringList differ;
    for (const QString &c : columns())
        differ << QStringLiteral("%1%3 IS NOT %2%3 COLLATE BINARY").arg(was, now, c);
    return differ.join(QStringLiteral(" OR "));
}

QString insertSelectHead(const QString &valueColumns) { return insertInto(valueColumns) + QStringLiteral("SELECT ") + kFiledUnder; }

QStringList schemaStatements()
{
    const QString oldCols = columnList(QStringLiteral("Old")), newCols = columnList(QStringLiteral("New"));
    const QString oldVals = columnList(QStringLiteral("OLD.")), newVals = columnList(QStringLiteral("NEW."));
    const QString differs = anyDiffers(QStringLiteral("OLD."), QStringLiteral("NEW."));
    const QString head = insertInto(QStringLiteral("%1")) + QStringLiteral("VALUES (") + kFiledUnder;
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS RegisterChanges (ChangeID INTEGER PRIMARY KEY, LocalTime TEXT NOT NULL, "
                       "UTC TEXT NOT NULL, UserName TEXT, Machine TEXT, Through TEXT NOT NULL, Detail TEXT, "
                       "Active INTEGER NOT NULL DEFAULT 0)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS EntryHistory (Seq INTEGER PRIMARY KEY, ChangeID INTEGER, UTC TEXT NOT NULL, "
                       "LocalTime TEXT NOT NULL, EntryID INTEGER, Action TEXT NOT NULL, %1, %2)")
            .arg(oldCols, newCols),
        QStringLiteral("CREATE INDEX IF NOT EXISTS EntryHistory_Entry ON EntryHistory (EntryID)"),
        // Made by the first builds of the history, which found the active
        // change through an index and whose triggers read it.
        QStringLiteral("DROP INDEX IF EXISTS RegisterChanges_Active"),
        QStringLiteral("DROP TRIGGER IF EXISTS ChildTrustFunds_Added"),
        QStringLiteral("DROP TRIGGER IF EXISTS ChildTrustFunds_Changed"),
        QStringLiteral("DROP TRIGGER IF EXISTS ChildTrustFunds_Deleted"),
        QStringLiteral("CREATE TRIGGER ChildTrustFunds_Added AFTER INSERT ON ChildTrustFunds BEGIN ")
            + head.arg(newCols) + QStringLiteral("NEW.ID, 'added', %1); END").arg(newVals),
        // Active 2: the program writes the rows of its own bulk change itself
        // (tested first: it spares that change's rows the comparison).
        QStringLiteral("CREATE TRIGGER ChildTrustFunds_Changed AFTER UPDATE ON ChildTrustFunds WHEN NOT EXISTS %1 AND (%2) BEGIN ")
                .arg(activeChange("= 2"), differs)
            + head.arg(oldCols + QStringLiteral(", ") + newCols) + QStringLiteral("NEW.ID, 'changed', %1, %2); END").arg(oldVals, newVals),
        QStringLiteral("CREATE TRIGGER ChildTrustFunds_Deleted AFTER DELETE ON ChildTrustFunds BEGIN ")
            + head.arg(oldCols) + QStringLiteral("OLD.ID, 'deleted', %1); END").arg(oldVals),
    };
}

namespace {
QString stamp(const QDateTime &t) { return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); }

QString shown(const QVariant &v) { return v.isNull() ? QStringLiteral("(none)") : QLatin1Char('"') + v.toString() + QLatin1Char('"'); }
} // namespace

const QStringList &columns()
{
    static const QStringList names = {QStringLiteral("Entity"), QStringLiteral("CRN"),  QStringLiteral("DOB"),
                                      QStringLiteral("Amount"), QStringLiteral("DOD"),  QStringLiteral("MemberNo"),
                                      QStringLiteral("PeriodEndSent"), QStringLiteral("RecordOutput"), QStringLiteral("Ref"),
                                      QStringLiteral("SentRef"), QStringLiteral("Type")};
    return names;
}

void ensure(Connection &c)
{
    // The last statement made: when it is there (and the index of the
    // first builds is not), all are.
    if (single(c, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'trigger' AND name = 'ChildTrustFunds_Deleted' AND NOT "
                                 "EXISTS (SELECT 1 FROM sqlite_master WHERE name = 'RegisterChanges_Active')"))
            .isValid())
        return;
    for (const QString &sql : schemaStatements())
        c.execute(sql);
}

QString userName()
{
    // Looked up once: the user database is read from disk on every call.
    static const QString name = [] {
        if (const passwd *pw = ::getpwuid(::getuid()))
            return QString::fromLocal8Bit(pw->pw_name);
        return QString::number(::getuid());
    }();
    return name;
}

QString machineName() { return QSysInfo::machineHostName(); }

Change::Change(Connection &c, QString through, QString detail) : m_c(c), m_through(std::move(through)), m_detail(std::move(detail)) {}

void Change::begin()
{
    if (m_id >= 0) {
        // A later group: when another desk changed the register since the
        // last one, this change moves up to be the newest again, and the
        // rows filed under it move with it.
        if (single(m_c, QStringLiteral("SELECT max(ChangeID) FROM RegisterChanges")).toLongLong() != m_id) {
            m_c.execute(QStringLiteral("INSERT INTO RegisterChanges (LocalTime, UTC, UserName, Machine, Through, Detail, Active) "
                                       "SELECT LocalTime, UTC, UserName, Machine, Through, Detail, 1 FROM RegisterChanges WHERE ChangeID = ?"),
                        {m_id});
            const qint64 moved = lastRowId(m_c);
            m_c.execute(QStringLiteral("UPDATE EntryHistory SET ChangeID = ? WHERE Seq > ? AND ChangeID = ?"), {moved, m_seqBefore, m_id});
            m_c.execute(QStringLiteral("DELETE FROM RegisterChanges WHERE ChangeID = ?"), {m_id});
            m_id = moved;
        } else {
            m_c.execute(QStringLiteral("UPDATE RegisterChanges SET Active = 1 WHERE ChangeID = ?"), {m_id});
        }
        return;
    }
    ensure(m_c);
    m_seqBefore = single(m_c, QStringLiteral("SELECT coalesce(max(Seq), 0) FROM EntryHistory")).toLongLong();
    const QDateTime now = ctfclock::now();
    m_c.execute(QStringLiteral("INSERT INTO RegisterChanges (LocalTime, UTC, UserName, Machine, Through, Detail, Active) "
                               "VALUES (?, ?, ?, ?, ?, ?, 1)"),
                {stamp(now), stamp(now.toUTC()), userName(), machineName(), m_through, m_detail});
    m_id = lastRowId(m_c);
}

void Change::end() { m_c.execute(QStringLiteral("UPDATE RegisterChanges SET Active = 0 WHERE ChangeID = ?"), {m_id}); }

void Change::marking(const QString &jsonRowids, const QVariant &periodEndSent, const QString &sentRef)
{
    // One statement for the group instead of a trigger run per row: the
    // triggers stand aside while the change is Active 2.
    m_c.execute(QStringLiteral("UPDATE RegisterChanges SET Active = 2 WHERE ChangeID = ?"), {m_id});
    QStringList now;
    for (const QString &c : columns())
        now << (c == QStringLiteral("RecordOutput") ? QStringLiteral("1")
                : c == QStringLiteral("PeriodEndSent") ? QStringLiteral("?")
                : c == QStringLiteral("SentRef") ? QStringLiteral("?")
                                                 : c);
    m_c.execute(insertSelectHead(columnList(QStringLiteral("Old")) + QStringLiteral(", ") + columnList(QStringLiteral("New")))
                    + QStringLiteral("ID, 'changed', %1, %2 FROM ChildTrustFunds WHERE rowid IN (SELECT value FROM json_each(?)) AND "
                                     "(RecordOutput IS NOT 1 OR PeriodEndSent IS NOT ? COLLATE BINARY OR SentRef IS NOT ? COLLATE BINARY)")
                          .arg(columnList(QString()), now.join(QStringLiteral(", "))),
                {periodEndSent, sentRef, jsonRowids, periodEndSent, sentRef});
}

Scope::Scope(Connection &c, const QString &through, const QString &detail) : m_c(c), m_change(c, through, detail)
{
    m_c.beginTransaction();
    m_open = true;
    try {
        m_change.begin();
    } catch (...) {
        m_c.rollback();
        m_open = false;
        throw;
    }
}

Scope::~Scope()
{
    if (m_open)
        m_c.rollback();
}

void Scope::commit()
{
    m_change.end();
    m_c.commit();
    m_open = false;
}

bool kept(Connection &c, const QString &schema)
{
    QSqlQuery q(c.database());
    return q.exec(QStringLiteral("SELECT 1 FROM %1.sqlite_master WHERE type = 'table' AND name = 'EntryHistory'").arg(schema)) && q.next();
}

QList<Row> read(Connection &c, const Filter &f)
{
    QList<Row> rows;
    if (!kept(c))
        return rows;
    QSqlQuery q(c.database());
    QStringList where;
    QVariantList binds;
    if (f.id) {
        where << QStringLiteral("h.EntryID = ?");
        binds << *f.id;
    }
    if (!f.urn.isEmpty()) {
        where << QStringLiteral("h.EntryID IN (SELECT EntryID FROM EntryHistory WHERE OldCRN = ? OR NewCRN = ? "
                                "UNION SELECT ID FROM ChildTrustFunds WHERE CRN = ?)");
        binds << f.urn << f.urn << f.urn;
    }
    if (f.since) {
        where << QStringLiteral("coalesce(c.LocalTime, h.LocalTime) >= ?");
        binds << f.since->toString(Qt::ISODate);
    }
    const QString sql = QStringLiteral("SELECT h.Seq, coalesce(c.LocalTime, h.LocalTime), coalesce(c.UTC, h.UTC), c.UserName, c.Machine, "
                                       "coalesce(c.Through, ?), c.Detail, h.EntryID, h.Action, %1, %2 FROM EntryHistory h "
                                       "LEFT JOIN RegisterChanges c ON c.ChangeID = h.ChangeID %3 ORDER BY h.Seq DESC")
                            .arg(columnList(QStringLiteral("h.Old")), columnList(QStringLiteral("h.New")),
                                 where.isEmpty() ? QString() : QStringLiteral("WHERE ") + where.join(QStringLiteral(" AND ")));
    q.prepare(sql);
    q.addBindValue(QString::fromLatin1(kOtherProgram));
    for (const QVariant &b : binds)
        q.addBindValue(b);
    if (!q.exec())
        throw DbError(QStringLiteral("The history of the register %1 could not be read: %2").arg(c.describe(), q.lastError().text()));
    const int n = int(columns().size());
    while (q.next()) {
        Row r{q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString(), q.value(4).toString(),
              q.value(5).toString(),   q.value(6).toString(), q.value(7).toLongLong(), q.value(8).toString(), {}, {}};
        for (int i = 0; i < n; ++i) {
            if (r.action != QStringLiteral("added"))
                r.before << q.value(9 + i);
            if (r.action != QStringLiteral("deleted"))
                r.after << q.value(9 + n + i);
        }
        rows << r;
    }
    return rows;
}

QList<Row> readRegister(const Filter &f)
{
    Connection c;
    c.setConnectionString(GetConnectionString(QStringLiteral("CTF")));
    c.setReadOnly(true);
    c.open();
    return read(c, f);
}

QString who(const Row &r) { return r.user.isEmpty() ? QStringLiteral("(user not known)") : r.user + QLatin1Char('@') + r.machine; }

QString through(const Row &r) { return r.through + (r.detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(r.detail)); }

QString what(const Row &r)
{
    QStringList parts;
    for (int i = 0; i < columns().size(); ++i) {
        if (r.action == QStringLiteral("changed")) {
            if (r.before[i].isNull() != r.after[i].isNull() || r.before[i].toString() != r.after[i].toString())
                parts << QStringLiteral("%1 %2 -> %3").arg(columns()[i], shown(r.before[i]), shown(r.after[i]));
        } else if (const QVariant &v = r.action == QStringLiteral("added") ? r.after[i] : r.before[i]; !v.isNull()) {
            parts << QStringLiteral("%1 %2").arg(columns()[i], shown(v));
        }
    }
    return QStringLiteral("entry %1 %2").arg(r.entryId).arg(r.action) + (parts.isEmpty() ? QString() : QStringLiteral(": ") + parts.join(QStringLiteral(", ")));
}

QString text(const QList<Row> &rows)
{
    QString out;
    for (const Row &r : rows)
        out += QStringLiteral("%1 (UTC %2)  %3  %4\n  %5\n").arg(r.localTime, r.utc, who(r), through(r), what(r));
    return out;
}

QString csv(const QList<Row> &rows)
{
    QStringList head = {QStringLiteral("Seq"),     QStringLiteral("LocalTime"), QStringLiteral("UTC"),
                        QStringLiteral("User"),    QStringLiteral("Machine"),   QStringLiteral("Through"),
                        QStringLiteral("Detail"),  QStringLiteral("EntryID"),   QStringLiteral("Action")};
    for (const QString &c : columns())
        head << QStringLiteral("Before ") + c;
    for (const QString &c : columns())
        head << QStringLiteral("After ") + c;
    QByteArray out = head.join(QLatin1Char(',')).toUtf8() + "\n";
    for (const Row &r : rows) {
        QList<QByteArray> f = {QByteArray::number(r.seq), textfile::csvField(r.localTime), textfile::csvField(r.utc),
                               textfile::csvField(r.user), textfile::csvField(r.machine), textfile::csvField(r.through),
                               textfile::csvField(r.detail), QByteArray::number(r.entryId), textfile::csvField(r.action)};
        for (const QVariantList *side : {&r.before, &r.after})
            for (int i = 0; i < columns().size(); ++i)
                f << (side->isEmpty() ? QByteArray() : textfile::csvField(side->at(i).toString()));
        out += f.join(',') + "\n";
    }
    return QString::fromUtf8(out);
}

} // namespace history
