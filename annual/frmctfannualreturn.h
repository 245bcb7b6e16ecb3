#pragma once
// The annual return screen: the credit union's name and year end, one tab
// for a share account (Tarnwell I) and one for products (Tarnwell II), each
// with its dates. The work is done by AnnualReturn; the handlers only move
// the controls.
#include "annual/annualreturn.h"

#include <QWidget>
#include <array>

class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;
class MaskedEdit;

class frmCTFAnnualReturn : public QWidget {
    Q_OBJECT
public:
    explicit frmCTFAnnualReturn(QWidget *parent = nullptr);
    ~frmCTFAnnualReturn() override;

    void Form_Load();
    void cmdOutput1_Click();
    void cmdOutput2_Click();
    void cmdExit1_Click();
    void cmdExit2_Click();
    void optShareAcc_Click(int index);
    void StartDate_GotFocus(MaskedEdit *field);
    void EndDate_GotFocus(MaskedEdit *field, MaskedEdit *startField);
    void Date_LostFocus(MaskedEdit *field);
    // Enter in a date field, the product list or a share account button.
    void Control_KeyPress(int keyAscii, bool &swallow);

    QLabel *lblProgNameGreen, *lblCreditUnionName, *lblThisYear, *lblToday;
    QTabWidget *SSTab;
    QGroupBox *Frame1, *Frame2, *Frame3, *Frame4;
    QLabel *Label1, *Label2, *Label3, *Label4;
    MaskedEdit *mskStartDate1, *mskEndDate1, *mskStartDate2, *mskEndDate2;
    std::array<QRadioButton *, 5> optShareAcc{}; // indexes 1 to 4
    QListWidget *lstProduct;
    QPushButton *cmdOutput1, *cmdExit1, *cmdOutput2, *cmdExit2;
    // After a run: how many members were left out and why, and the list of
    // them on request (out of the keyboard order).
    QLabel *lblLeftOut;
    QPushButton *cmdLeftOut;
    void showLeftOut();
    const QStringList &leftOut() const { return m_leftOut; }

    // The default dates on a given day (for the fields' focus rules).
    static QString defaultStart(const QDate &today);
    static QString endAfter(const QDate &start);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void focusRefused(MaskedEdit *start, MaskedEdit *end);
    int selectedShareAccount() const;
    annual::AnnualReturn m_run;
    QStringList m_leftOut;
    // Around a run: the members it leaves out are gathered and told after it.
    void run(const std::function<annual::RunOutcome()> &command);
};
