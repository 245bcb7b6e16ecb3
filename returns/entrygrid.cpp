#include "returns/entrygrid.h"

#include "common/error.h"
#include "common/money.h"
#include "data/connection.h"
#include "app/appsettings.h"
#include "data/recordset.h"
#include "register/entrycodes.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace enquiry {

QString outstandingStatement()
{
    return QStringLiteral("select ") + QLatin1String(entrycodes::kAllColumns)
        + QStringLiteral(" from ChildTrustFunds WHERE RecordOutput = 0 Order by Entity, CRN");
}

QString allStatement()
{
    return QStringLiteral("select ") + QLatin1String(entrycodes::kAllColumns) + QStringLiteral(" from ChildTrustFunds Order by SentRef, Entity");
}

namespace {
// A value's default text form: yes/no as True/False, money without fixed decimals.
QString cellText(const QString &column, const QVariant &v)
{
    if (v.isNull())
        return {};
    if (column.compare(QStringLiteral("RecordOutput"), Qt::CaseInsensitive) == 0)
        return v.toLongLong() != 0 ? QStringLiteral("True") : QStringLiteral("False");
    if (v.typeId() == QMetaType::Double)
        return Money::fromDouble(v.toDouble()).plain();
    return v.toString();
}

// The number a cell reads as, or NaN for text.
double numberOf(const QString &s)
{
    if (s.isEmpty())
        return std::numeric_limits<double>::quiet_NaN();
    bool ok = false;
    const double d = s.trimmed().toDouble(&ok);
    return ok ? d : std::numeric_limits<double>::quiet_NaN();
}
} // namespace

EntryGridModel::EntryGridModel(QObject *parent) : QAbstractTableModel(parent) {}

void forEachRow(const QString &statement, const std::function<void(const QStringList &)> &header,
                const std::function<void(const QVector<QString> &)> &row)
{
    Connection c;
    c.setConnectionString(GetConnectionString(QStringLiteral("CTF")));
    c.open();
    Recordset rs;
    rs.open(statement, c);
    QStringList columns;
    for (int i = 0; i < rs.fieldCount(); ++i)
        columns << rs.fieldName(i);
    header(columns);
    const int n = int(columns.size());
    QVector<QString> cells(n);
    for (; !rs.eof(); rs.moveNext()) {
        for (int i = 0; i < n; ++i)
            cells[i] = cellText(columns[i], rs.value(i));
        row(cells);
    }
    rs.close();
    c.close();
}

void EntryGridModel::fill(const QString &statement)
{
    QStringList columns;
    QVector<Row> rows;
    forEachRow(statement, [&](const QStringList &names) { columns = names; },
               [&](const QVector<QString> &cells) { rows.append(Row{cells}); });
    // The old rows go before the new ones are shown.
    beginResetModel();
    m_columns = columns;
    m_rows = std::move(rows);
    m_order.resize(m_rows.size());
    for (int i = 0; i < m_order.size(); ++i)
        m_order[i] = i;
    endResetModel();
}

int EntryGridModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_rows.size()); }
int EntryGridModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_columns.size()); }

QVariant EntryGridModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    return text(index.row(), index.column());
}

QVariant EntryGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        return role == Qt::DisplayRole ? QVariant(m_columns.value(section)) : QVariant();
    }
    return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
}

void EntryGridModel::sortRows(int column, int order)
{
    if (column < 0 || column >= m_columns.size() || m_rows.isEmpty())
        return;
    // Each cell's number, or its text folded to one letter case, is worked
    // out once, not per comparison.
    const int n = int(m_rows.size());
    QVector<double> numbers(n);
    QVector<QString> folded(n);
    for (int i = 0; i < n; ++i) {
        const QString &cell = m_rows[i].cells[column];
        numbers[i] = numberOf(cell);
        if (std::isnan(numbers[i]))
            folded[i] = cell.toCaseFolded();
    }
    auto less = [&](int a, int b) {
        // Numbers come before text, so the order stays consistent when a
        // column mixes the two.
        const double x = numbers[a], y = numbers[b];
        const bool xn = !std::isnan(x), yn = !std::isnan(y);
        if (xn != yn)
            return xn;
        if (xn)
            return x < y;
        return folded[a] < folded[b];
    };
    emit layoutAboutToBeChanged();
    if (order == 2)
        std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) { return less(b, a); });
    else
        std::stable_sort(m_order.begin(), m_order.end(), less);
    emit layoutChanged();
}

} // namespace enquiry
