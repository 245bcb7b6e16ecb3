#include "returns/frmctfview.h"

#include "platform/buttonroom.h"
#include "platform/maskededit.h"
#include "common/error.h"
#include "platform/userinterface.h"
#include "register/frmhistory.h"
#include "returns/entrygrid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QShortcut>
#include <algorithm>
#include <QPushButton>
#include <QResizeEvent>
#include <QTableView>

frmCTFView::frmCTFView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmCTFView"));
    setWindowTitle(QString::fromLatin1(enquiry::kCaption));
    m_model = new enquiry::EntryGridModel(this);
    MSHFlexGrid1 = new QTableView(this);
    MSHFlexGrid1->setObjectName(QStringLiteral("MSHFlexGrid1"));
    MSHFlexGrid1->setModel(m_model);
    MSHFlexGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MSHFlexGrid1->horizontalHeader()->setSectionsClickable(true);
    // The arrow in the header shows the column sorted and the way.
    MSHFlexGrid1->horizontalHeader()->setSortIndicatorShown(false);
    MSHFlexGrid1->installEventFilter(this);
    // Ctrl+H: the history of the current row's entry (its ID is the first column).
    connect(new QShortcut(QKeySequence(QStringLiteral("Ctrl+H")), this), &QShortcut::activated, this, [this] {
        const QModelIndex at = MSHFlexGrid1->currentIndex();
        frmHistory::open(at.isValid() ? m_model->text(at.row(), 0).toLongLong() : 0);
    });
    // Column widths look at the first rows only, so See all stays quick.
    MSHFlexGrid1->verticalHeader()->setResizeContentsPrecision(200);
    // The fixed column at the left.
    MSHFlexGrid1->verticalHeader()->setFixedWidth(85);
    MSHFlexGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    MSHFlexGrid1->verticalHeader()->setDefaultSectionSize(20);
    Command1 = new QPushButton(QStringLiteral("See &all"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    Command1->setAutoDefault(true); // Enter presses the focused button
    cmdClose->setAutoDefault(true);
    Command1->resize(100, 28);
    cmdClose->resize(100, 28);
    Command1->move(4, 300);
    connect(Command1, &QPushButton::clicked, this, &frmCTFView::Command1_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmCTFView::cmdClose_Click);
    connect(MSHFlexGrid1->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int section) { MSHFlexGrid1_Click(-1, section + 1); });
    connect(MSHFlexGrid1, &QTableView::clicked, this,
            [this](const QModelIndex &i) { MSHFlexGrid1_Click(i.row(), i.column() + 1); });
    buttonroom::fitCaptions(this);
    buttonroom::fitToScreen(this, 900, 500);
    Form_Load();
}

void frmCTFView::fill(const QString &statement)
{
    // Filling has no handling of its own: the operator is told what failed.
    try {
        MSHFlexGrid1->setUpdatesEnabled(false);
        m_model->fill(statement);
        MSHFlexGrid1->setColumnWidth(0, 70);
        QFont bold = MSHFlexGrid1->horizontalHeader()->font();
        bold.setBold(true);
        MSHFlexGrid1->horizontalHeader()->setFont(bold);
        // The grid's default width, widened where a column's title or the
        // values of its first rows would be cut ("From ID 1 to 12345").
        QHeaderView *header = MSHFlexGrid1->horizontalHeader();
        for (int c = 1; c < m_model->columnCount(); ++c) {
            MSHFlexGrid1->resizeColumnToContents(c);
            MSHFlexGrid1->setColumnWidth(c, std::max(header->defaultSectionSize(), MSHFlexGrid1->columnWidth(c)));
        }
        MSHFlexGrid1->setUpdatesEnabled(true);
    } catch (const CtfError &e) {
        MSHFlexGrid1->setUpdatesEnabled(true);
        ui::current().message(e.description(), windowTitle(), MsgIcon::Critical);
    }
}

void frmCTFView::Form_Load() { fill(enquiry::outstandingStatement()); }
void frmCTFView::Command1_Click() { fill(enquiry::allStatement()); }
void frmCTFView::cmdClose_Click() { close(); }

void frmCTFView::MSHFlexGrid1_Click(int row, int gridColumn)
{
    if (row >= 0)
        return; // only the header row sorts
    const qint16 old = m_sortColumn;
    m_sortColumn = qint16(gridColumn);
    if (m_sortColumn == old) {
        m_sortOrder = qint16(m_sortOrder + 1);
        if (m_sortOrder == 3)
            m_sortOrder = 1;
    } else {
        m_sortOrder = 1;
    }
    DoColumnSort();
}

void frmCTFView::DoColumnSort()
{
    MSHFlexGrid1->setUpdatesEnabled(false);
    m_model->sortRows(m_sortColumn - 1, m_sortOrder);
    QHeaderView *header = MSHFlexGrid1->horizontalHeader();
    header->setSortIndicator(m_sortColumn - 1, m_sortOrder == 2 ? Qt::DescendingOrder : Qt::AscendingOrder);
    header->setSortIndicatorShown(true);
    MSHFlexGrid1->setUpdatesEnabled(true);
}

bool frmCTFView::eventFilter(QObject *watched, QEvent *event)
{
    // From the keyboard: Enter in the grid sorts by the column of the
    // current cell, as a click on its header does.
    if (watched == MSHFlexGrid1 && isEnterKey(event) && MSHFlexGrid1->currentIndex().isValid()) {
        MSHFlexGrid1_Click(-1, MSHFlexGrid1->currentIndex().column() + 1);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmCTFView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) { // as Close
        cmdClose_Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmCTFView::Form_Resize()
{
    const int w = width(), h = height();
    // The buttons follow the corner even off the screen's edge; the grid,
    // which would get no room, then keeps its place.
    cmdClose->move(w - (cmdClose->width() + 4), h - (cmdClose->height() + 4));
    Command1->move(Command1->x(), cmdClose->y());
    const int gridWidth = w - 8, gridHeight = cmdClose->y() - 8;
    if (gridWidth > 0 && gridHeight > 0)
        MSHFlexGrid1->setGeometry(4, 4, gridWidth, gridHeight);
}

void frmCTFView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}
