#pragma once
// Maturities due: the window beside the annual return that lists, for a
// period and a selection (a share account, or products), the holders who
// reach 17, 18 or a year past maturity in it (annual/maturities.h), in a
// grid sorted by a click on a column's title or, from the keyboard, by
// Enter on a cell of the column; Save as CSV writes the list. Reached from
// the main screen's File menu; Escape closes it.
#include "annual/annualreturn.h"
#include "annual/maturities.h"

#include <QWidget>

class MaskedEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTableWidget;

class frmMaturities : public QWidget {
    Q_OBJECT
public:
    explicit frmMaturities(QWidget *parent = nullptr);

    void cmdShow_Click();
    void cmdSave_Click();

    MaskedEdit *mskFrom, *mskTo;
    QRadioButton *optShareAccount, *optProducts;
    QSpinBox *spnShareAccount;
    QLineEdit *txtProducts;
    QTableWidget *grdDue;
    QLabel *lblShown;
    QPushButton *cmdShow, *cmdSave, *cmdClose;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // The products typed, as the annual return's list; empty (the message
    // shown) when one is not in Tarnwell's Product table.
    QList<annual::ProductItem> productItems();
    annual::AnnualReturn m_run;
    bool m_opened = false;
    QList<QStringList> m_rows;
};
