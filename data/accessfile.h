#pragma once
// Genuine Microsoft Access files (Jet 3, Jet 4, ACE), read as they stand with
// Debian's mdbtools programs run as separate processes (mdb-schema for the
// tables and columns, mdb-export for the rows), and turned into SQLite by
// one set of rules, in one place:
// - Date/Time: ISO text "YYYY-MM-DD", with " HH:MM:SS" only when the time
//   is not midnight. A date mdbtools cannot render (before 30 December 1899,
//   which it prints as "1900-01-00") is refused, never stored wrong.
// - Currency: the exact four-decimal value (12.7500 is 12.75); Double and
//   Single as numbers; Byte, Integer, Long Integer (and AutoNumber) as
//   whole numbers, the values kept; Yes/No as 1 and 0.
// - Text and Memo: Jet 3 text read in its code page (Windows-1252), Jet 4
//   and ACE Unicode text intact, line breaks kept. Null stays Null. Debian's
//   mdbtools 1.0 gives empty text as Null too, so empty text arrives as Null;
//   for the columns this system reads the two behave alike.
// - Binary: the bytes.
// A value that cannot be converted faithfully, a damaged or cut-short file
// (fewer rows read than the table's own definition lists) or a table
// mdbtools cannot read stops with a message that names the file, the
// table, the column and the row. Nothing is ever written to an Access file.
#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>


namespace accessfile {

// The bytes "Standard Jet DB" or "Standard ACE DB" at offset 4.
bool isAccessFile(const QString &hostPath);
// The same test on a file's first bytes, already read.
bool isAccessHeader(const QByteArray &head);

struct Column {
    enum class Kind { Text, Integer, Real, Money, Date, YesNo, Binary };
    QString name;
    Kind kind = Kind::Text;
};
struct Table {
    QString name;
    QList<Column> columns;
    int column(const QString &name) const; // -1 when missing (names ignore case)
};

// A genuine Access file: hostPath is where it is read, shownPath how
// messages name it (the Windows path of the configuration).
class Reader {
public:
    Reader(const QString &hostPath, const QString &shownPath);
    // The tables and their columns; throws DbError.
    const QList<Table> &tables();
    const Table *table(const QString &name);
    // Each row of a table converted by the rules; throws DbError naming
    // the file, the table, the column and the row.
    void rows(const Table &table, const std::function<void(const QVariantList &row)> &each);
    // The rows the table's own definition lists (mdb-count); -1 when unknown.
    qint64 listedRows(const Table &table);
    // Throws DbError when fewer (or more) rows were read than listed: the
    // file is damaged or cut short.
    void checkWhole(const Table &table, qint64 read, qint64 listed) const;
    // mdb-export's arguments for a table's rows in the form the rules read.
    QStringList exportArguments(const Table &table) const;
    const QString &shownPath() const { return m_shown; }

private:
    QString m_host;
    QString m_shown;
    QList<Table> m_tables;
    bool m_read = false;
};

// One value as mdb-export writes it (with the options the Reader gives it),
// converted by the rules; false when it cannot be converted faithfully.
bool convertValue(const QByteArray &text, Column::Kind kind, QVariant &value);

// The tables of an Access file into a new SQLite file at targetHostPath:
// those named in `only` (letter case aside), every table when it is empty;
// text that ignores letter case, the program's indexes for the tables it
// knows. Written beside the target under a name of the run's own and put
// in place only when complete; throws DbError, whose text names the target
// as `targetShown` (the target's path when empty).
void convert(const QString &hostPath, const QString &shownPath, const QString &targetHostPath, const QStringList &only = {},
             const QString &targetShown = {});
// How a Date/Time value goes into an append's insert.
enum class DateForm {
    Iso,              // "YYYY-MM-DD[ HH:MM:SS]", as convert() stores them
    DayFirst,         // "DD/MM/YYYY", the date alone
    DayFirstShortYear // "DD/MM/YY"
};
struct Insert {
    QString head;
    QString row;
    QList<DateForm> dates; // how each Date/Time column is bound, by column; Iso beyond the list
};
// The rows of chosen tables of the reader's file added to an existing
// SQLite file that nobody else has open (a new file of the program's own,
// which the caller puts in place only when this returns, and throws away
// when it throws): each Access table named in `inserts` (by its name in
// lower case) goes in by its insert, `head` ("INSERT INTO t (a, b) VALUES ")
// and `row` ("(?1, ifnull(?3, 0))"), whose parameters ?1, ?2, ... are that
// table's columns in order (several rows go in a statement); the other
// tables are not read. The file's indexes are kept up as the rows come and
// its journal mode is kept. The rows added; throws DbError.
qint64 append(Reader &reader, const QString &targetHostPath, const QHash<QString, Insert> &inserts);

// What tells one version of a file from another (empty when it cannot be
// read): a file rewritten in place changes its times (to the nanosecond, and
// the change time cannot be set back), one replaced by a rename its inode.
QString versionKey(const QString &hostPath);

// The read-only SQLite snapshot of an Access file, converted again only when
// the file changed (size, modification and change times to the nanosecond,
// inode); its host path.
// Throws DbError.
// `tables`: the tables a connection reads (Control and MemberMain for the
// maintenance screen's members), converted alone, so that a screen never
// waits for a table it does not use; empty for every table the program
// reads. Each set is a snapshot of its own, checked against the file's
// current version.
QString snapshot(const QString &hostPath, const QString &shownPath, const QStringList &tables = {});
// While one lives, every snapshot of the same file is the snapshot first
// taken: the connections one run opens on a file (Tarnwell's members and
// its transactions) read one version of it, even if the file changes
// between their openings.
class OneVersionPerFile {
public:
    OneVersionPerFile();
    ~OneVersionPerFile();
    OneVersionPerFile(const OneVersionPerFile &) = delete;
    OneVersionPerFile &operator=(const OneVersionPerFile &) = delete;
};
// Tests watch conversions (the shown path of each file converted).
void setConversionObserver(std::function<void(const QString &shownPath)> observer);

} // namespace accessfile
