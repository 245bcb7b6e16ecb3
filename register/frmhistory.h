#pragma once
// The history of one entry, newest first, in a window of its own: opened by
// Ctrl+H from the maintenance screen (the entry shown) and the enquiry (the
// entry of the current row). Read only; Escape closes it.
#include <QWidget>

class QTableWidget;

class frmHistory : public QWidget {
    Q_OBJECT
public:
    explicit frmHistory(QWidget *parent = nullptr);
    // Reads the entry's history from the register; false (the message shown)
    // when it cannot be read.
    bool showEntry(qint64 id);
    QTableWidget *grdHistory;

    // Opens a window for the entry, or says why not.
    static void open(qint64 id);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
