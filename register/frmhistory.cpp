#include "register/frmhistory.h"

#include "common/error.h"
#include "platform/buttonroom.h"
#include "platform/userinterface.h"
#include "register/history.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QTableWidget>
#include <QVBoxLayout>

frmHistory::frmHistory(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(this);
    grdHistory = new QTableWidget(0, 5, this);
    grdHistory->setObjectName(QStringLiteral("grdHistory"));
    grdHistory->setHorizontalHeaderLabels({tr("When"), tr("UTC"), tr("Who"), tr("Through"), tr("What")});
    grdHistory->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdHistory->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdHistory->horizontalHeader()->setStretchLastSection(true);
    grdHistory->verticalHeader()->hide();
    layout->addWidget(grdHistory);
    buttonroom::fitToScreen(this, 900, 360);
}

bool frmHistory::showEntry(qint64 id)
{
    setWindowTitle(tr("History of entry %1").arg(id));
    try {
        history::Filter f;
        f.id = id;
        const QList<history::Row> rows = history::readRegister(f);
        grdHistory->setRowCount(int(rows.size()));
        for (int r = 0; r < rows.size(); ++r) {
            const history::Row &h = rows[r];
            const QStringList cells = {h.localTime, h.utc, history::who(h), history::through(h), history::what(h)};
            for (int col = 0; col < cells.size(); ++col)
                grdHistory->setItem(r, col, new QTableWidgetItem(cells[col]));
        }
        grdHistory->resizeColumnsToContents();
        return true;
    } catch (const CtfError &e) {
        ui::current().message(e.description(), windowTitle(), MsgIcon::Critical);
        return false;
    }
}

void frmHistory::open(qint64 id)
{
    if (id <= 0) {
        ui::current().message(tr("Look an entry up first: the history shown is the entry's on the screen."), tr("History"),
                              MsgIcon::Information);
        return;
    }
    auto *window = new frmHistory;
    if (!window->showEntry(id)) {
        delete window;
        return;
    }
    window->show();
    window->activateWindow();
    window->grdHistory->setFocus();
}

void frmHistory::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        close();
    else
        QWidget::keyPressEvent(event);
}
