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
    const QString &text(int row, int column) const { return m_rows[m_order[row]].cells[column]; }

private:
    struct Row {
        QVector<QString> cells;
    };
    QStringList m_columns;
    QVector<Row> m_rows;
    QVector<int> m_order; // display order of m_rows
};

} // namespace enquiry
