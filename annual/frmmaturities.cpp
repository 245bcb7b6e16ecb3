#include "annual/frmmaturities.h"

#include "common/dates.h"
#include "common/error.h"
#include "common/textfile.h"
#include "platform/buttonroom.h"
#include "platform/fieldfocus.h"
#include "platform/maskededit.h"
#include "platform/pathmapper.h"
#include "platform/userinterface.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>

namespace {
const QString kTitle = QStringLiteral("Maturities due");

// A cell that sorts by its value (a date by its day, a number by its
// size), not by its text.
class Cell : public QTableWidgetItem {
public:
    Cell(const QString &text, const QVariant &key) : QTableWidgetItem(text) { setData(Qt::UserRole, key); }
    bool operator<(const QTableWidgetItem &other) const override
    {
        const QVariant a = data(Qt::UserRole), b = other.data(Qt::UserRole);
        return QVariant::compare(a, b) == QPartialOrdering::Less;
    }
};

QVariant sortKey(int column, const QString &text)
{
    if (column == 0 || column == 5) // dates: by the day (none first)
        return dates::parse(text).value_or(QDate(1, 1, 1)).toJulianDay();
    if (column == 2) // member number
        return text.toLongLong();
    if (column == 6) // balance
        return text.toDouble();
    return text;
}
} // namespace

// One list of the window's controls in their tab order and places.
frmMaturities::frmMaturities(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmMaturities"));
    setWindowTitle(kTitle);
    auto *top = new QGridLayout(this);
    auto *fromLabel = new QLabel(QStringLiteral("&From"), this);
    mskFrom = new MaskedEdit(QStringLiteral("##/##/####"), this);
    mskFrom->setObjectName(QStringLiteral("mskFrom"));
    fromLabel->setBuddy(mskFrom);
    auto *toLabel = new QLabel(QStringLiteral("&To"), this);
    mskTo = new MaskedEdit(QStringLiteral("##/##/####"), this);
    mskTo->setObjectName(QStringLiteral("mskTo"));
    toLabel->setBuddy(mskTo);
    optShareAccount = new QRadioButton(QStringLiteral("Share &account"), this);
    optShareAccount->setObjectName(QStringLiteral("optShareAccount"));
    optShareAccount->setChecked(true);
    spnShareAccount = new QSpinBox(this);
    spnShareAccount->setObjectName(QStringLiteral("spnShareAccount"));
    spnShareAccount->setRange(1, 4);
    optProducts = new QRadioButton(QStringLiteral("&Products"), this);
    optProducts->setObjectName(QStringLiteral("optProducts"));
    txtProducts = new QLineEdit(QStringLiteral("CTF"), this);
    txtProducts->setObjectName(QStringLiteral("txtProducts"));
    txtProducts->setToolTip(QStringLiteral("Product codes, separated by commas"));
    cmdShow = new QPushButton(QStringLiteral("&Show"), this);
    cmdShow->setObjectName(QStringLiteral("cmdShow"));
    grdDue = new QTableWidget(this);
    grdDue->setObjectName(QStringLiteral("grdDue"));
    grdDue->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdDue->setSortingEnabled(true);
    grdDue->horizontalHeader()->setSortIndicatorShown(true);
    grdDue->installEventFilter(this);
    lblShown = new QLabel(this);
    lblShown->setObjectName(QStringLiteral("lblShown"));
    cmdSave = new QPushButton(QStringLiteral("Save as &CSV..."), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdSave->setEnabled(false);
    cmdClose = new QPushButton(QStringLiteral("C&lose"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    for (QPushButton *b : {cmdShow, cmdSave, cmdClose})
        b->setAutoDefault(true);
    top->addWidget(fromLabel, 0, 0);
    top->addWidget(mskFrom, 0, 1);
    top->addWidget(toLabel, 0, 2);
    top->addWidget(mskTo, 0, 3);
    top->addWidget(optShareAccount, 1, 0);
    top->addWidget(spnShareAccount, 1, 1);
    top->addWidget(optProducts, 1, 2);
    top->addWidget(txtProducts, 1, 3);
    top->addWidget(cmdShow, 1, 4);
    top->addWidget(grdDue, 2, 0, 1, 5);
    auto *bottom = new QHBoxLayout();
    bottom->addWidget(lblShown, 1);
    bottom->addWidget(cmdSave);
    bottom->addWidget(cmdClose);
    top->addLayout(bottom, 3, 0, 1, 5);
    top->setColumnStretch(3, 1);
    setTabOrder(mskFrom, mskTo);
    setTabOrder(mskTo, optShareAccount);
    setTabOrder(optShareAccount, spnShareAccount);
    setTabOrder(spnShareAccount, optProducts);
    setTabOrder(optProducts, txtProducts);
    setTabOrder(txtProducts, cmdShow);
    setTabOrder(cmdShow, grdDue);
    setTabOrder(grdDue, cmdSave);
    setTabOrder(cmdSave, cmdClose);
    fieldfocus::selectWholeTextOnClick(this);
    fieldfocus::buttonsTakeTheFocus(this);
    connect(cmdShow, &QPushButton::clicked, this, &frmMaturities::cmdShow_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmMaturities::cmdSave_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    buttonroom::fitCaptions(this);
    buttonroom::fitToScreen(this, 820, 460);
    mskFrom->setFocus();
}

QList<annual::ProductItem> frmMaturities::productItems()
{
    const QStringList known = m_run.productCodes();
    QList<annual::ProductItem> items;
    for (const QString &raw : txtProducts->text().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString code = raw.trimmed();
        if (code.isEmpty())
            continue;
        if (!known.contains(code, Qt::CaseInsensitive)) {
            ui::current().message(QStringLiteral("There is no product %1 in Tarnwell's Product table.").arg(code), kTitle, MsgIcon::Critical);
            return {};
        }
        items.append({code, true});
    }
    return items;
}

void frmMaturities::cmdShow_Click()
{
    const auto from = dates::parse(mskFrom->text()), to = dates::parse(mskTo->text());
    QList<maturities::Due> due;
    try {
        ui::BusyScope busy; // opening a Tarnwell on a server takes up to its login time
        if (!m_opened) {
            m_run.open();
            m_opened = true;
        }
        const int share = optShareAccount->isChecked() ? spnShareAccount->value() : 0;
        const QList<annual::ProductItem> items = share ? QList<annual::ProductItem>() : productItems();
        if (!share && items.isEmpty() && !txtProducts->text().trimmed().isEmpty())
            return; // the unknown product has been named
        if (ui::shown(maturities::report(m_run, share, items, from.value_or(QDate()), to.value_or(QDate()), due)) != annual::Outcome::Done)
            return;
    } catch (const CtfError &e) {
        ui::current().message(e.description(), kTitle, MsgIcon::Critical);
        return;
    }
    m_rows = maturities::rows(due, *from);
    grdDue->setSortingEnabled(false);
    grdDue->clear();
    grdDue->setColumnCount(int(m_rows[0].size()));
    grdDue->setHorizontalHeaderLabels(m_rows[0]);
    grdDue->setRowCount(int(m_rows.size()) - 1);
    for (int r = 1; r < m_rows.size(); ++r)
        for (int c = 0; c < m_rows[r].size(); ++c)
            grdDue->setItem(r - 1, c, new Cell(m_rows[r][c], sortKey(c, m_rows[r][c])));
    grdDue->setSortingEnabled(true);
    grdDue->sortItems(0, Qt::AscendingOrder);
    grdDue->resizeColumnsToContents();
    lblShown->setText(due.isEmpty() ? maturities::kNothingDue + QLatin1Char('.')
                                    : QStringLiteral("%1 from %2 to %3.")
                                          .arg(due.size() == 1 ? QStringLiteral("1 event") : QStringLiteral("%1 events").arg(due.size()),
                                               dates::dayFirst(*from), dates::dayFirst(*to)));
    cmdSave->setEnabled(!due.isEmpty());
}

void frmMaturities::cmdSave_Click()
{
    OpenFileRequest request{QStringLiteral("C:\\Temp\\Maturities due.csv"), QStringLiteral("csv"), QStringLiteral("CSV files"),
                            QStringLiteral("*.csv")};
    const QString path = ui::current().saveFile(request);
    if (path.isEmpty())
        return;
    // The list as shown, in the order the grid shows it.
    QList<QStringList> shown{m_rows[0]};
    for (int r = 0; r < grdDue->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < grdDue->columnCount(); ++c)
            row << grdDue->item(r, c)->text();
        shown << row;
    }
    // Written whole and private (members' names, NI numbers and balances).
    QString why;
    if (!textfile::writeReplacing(path, maturities::csv(shown), &why))
        ui::current().message(QStringLiteral("%1 could not be written: %2").arg(pathmapper::shown(path), why), kTitle, MsgIcon::Critical);
}

bool frmMaturities::eventFilter(QObject *watched, QEvent *event)
{
    // From the keyboard: Enter on a cell sorts by its column, again the other way.
    if (watched == grdDue && isEnterKey(event) && grdDue->currentIndex().isValid()) {
        const int column = grdDue->currentIndex().column();
        QHeaderView *header = grdDue->horizontalHeader();
        const Qt::SortOrder order = header->sortIndicatorSection() == column && header->sortIndicatorOrder() == Qt::AscendingOrder
            ? Qt::DescendingOrder
            : Qt::AscendingOrder;
        grdDue->sortItems(column, order);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmMaturities::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
