#pragma once
// The enquiry grid's rows: a copy of the entries held in one model (not one
// object per cell), filled from the register and sorted by a column with the
// grid's generic comparison (values that read as numbers compare as numbers,
// other values as text).
#include <QAbstractTableModel>
#include <QStringList>
#include <QVector>
#include <functional>

namespace enquiry {

inline constexpr const char *kCaption = " CTF - Entry enquiry";
QString outstandingStatement();
QString allStatement();

// Reads a statement's rows from the register one at a time, each cell as the
// grid shows it, holding none of them; throws DbError.
void forEachRow(const QString &statement, const std::function<void(const QStringList &columns)> &header,
                const std::function<void(const QVector<QString> &cells)> &row);

class EntryGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit EntryGridModel(QObject *parent = nullptr);

    // Opens the register, reads the statement's rows and closes it again;
    // throws DbError.
    void fill(const QString &statement);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Sorts the data rows by a column (0 = ID); ascending when order is 1,
    // descending when 2.
    void sortRows(int column, int order);

    const QStringList &columns() const { return m_columns; }
    // A cell's text, by display row.
    QString text(int row, int column) const { return cell(m_order[row], column).toString(); }

private:
    // A cell's text, by the row's place in the register's order.
    QStringView cell(int stored, int column) const;
    void clear();

    QStringList m_columns;
    // Every cell's text in one block, row after row: the grid holds about
    // 60 bytes a row beyond the text, where twelve texts of their own took
    // some 800. Cell c of stored row r starts at m_starts[r * (columns + 1) + c];
    // the next start ends it.
    QString m_text;
    QVector<quint32> m_starts;
    int m_rowCount = 0;
    QVector<int> m_order; // display order of the stored rows
};

} // namespace enquiry
