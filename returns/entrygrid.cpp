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
// A value's default text form: yes/no as True/False, money without fixed
// decimals. A number beyond what Money holds is shown as it is stored, so the
// grid still lists the entry that needs putting right.
QString cellText(bool yesNo, const QVariant &v)
{
    if (v.isNull())
        return {};
    if (yesNo)
        return v.toLongLong() != 0 ? QStringLiteral("True") : QStringLiteral("False");
    if (v.typeId() == QMetaType::Double)
        if (const auto m = Money::read(v))
            return m->plain();
    return v.toString();
}

// The number a cell reads as, or NaN for text.
double numberOf(QStringView s)
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
    c.readInOnePass();
    Recordset rs;
    rs.open(statement, c);
    QStringList columns;
    for (int i = 0; i < rs.fieldCount(); ++i)
        columns << rs.fieldName(i);
    header(columns);
    const int n = int(columns.size());
    QVector<bool> yesNo(n);
    for (int i = 0; i < n; ++i)
        yesNo[i] = columns[i].compare(QStringLiteral("RecordOutput"), Qt::CaseInsensitive) == 0;
    QVector<QString> cells(n);
    for (; !rs.eof(); rs.moveNext()) {
        for (int i = 0; i < n; ++i)
            cells[i] = cellText(yesNo[i], rs.value(i));
        row(cells);
    }
    rs.close();
    c.close();
}

void EntryGridModel::clear()
{
    m_columns.clear();
    m_text = QString();
    m_starts = QVector<quint32>();
    m_order = QVector<int>();
    m_rowCount = 0;
}

void EntryGridModel::fill(const QString &statement)
{
    // The old rows go before the new ones are read, so the two are never
    // held together.
    beginResetModel();
    clear();
    try {
        forEachRow(statement, [&](const QStringList &names) { m_columns = names; },
                   [&](const QVector<QString> &cells) {
                       for (const QString &c : cells) {
                           m_starts << quint32(m_text.size());
                           m_text += c;
                       }
                       m_starts << quint32(m_text.size());
                       ++m_rowCount;
                   });
    } catch (...) {
        // Nothing half read is shown.
        clear();
        endResetModel();
        throw;
    }
    m_text.squeeze();
    m_starts.squeeze();
    m_order.resize(m_rowCount);
    for (int i = 0; i < m_rowCount; ++i)
        m_order[i] = i;
    endResetModel();
}

QStringView EntryGridModel::cell(int stored, int column) const
{
    const qsizetype at = qsizetype(stored) * (m_columns.size() + 1) + column;
    return QStringView(m_text).mid(m_starts[at], m_starts[at + 1] - m_starts[at]);
}

int EntryGridModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_rowCount; }
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
    if (column < 0 || column >= m_columns.size() || m_rowCount == 0)
        return;
    // Each cell's number, or its text folded to one letter case, is worked
    // out once, not per comparison.
    const int n = m_rowCount;
    QVector<double> numbers(n);
    QVector<QString> folded(n);
    for (int i = 0; i < n; ++i) {
        const QStringView text = cell(i, column);
        numbers[i] = numberOf(text);
        if (std::isnan(numbers[i]))
            folded[i] = text.toString().toCaseFolded();
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
