#pragma once
// The maintenance screen: finds an entry by URN or ID, shows it, and saves,
// deletes or creates it, with the field rules of each entry field.
//
// The data work (connections, look-ups, save, delete, member look-up) is
// maint::EntryMaintenance; the screen keeps the focus rules, the button
// states and the mapping between its fields and an entry.
//
// Choices made so that the operator loses nothing:
// - A new entry begun from the ID field ("Record not on file - Create?"
//   answered Yes there) is completed by moving on from the URN field, which
//   then offers Save and Reject as a new entry begun from the URN does; the
//   ID typed is never stored, the database assigns one.
// - A URN typed without its optional last character is looked up and saved
//   without a prompt character in its place ("AB123456"), so the return
//   carries it as the 8 characters typed.
// - A save or delete that fails shows a message naming what failed and
//   keeps the entry on screen.
// - The focus rules follow the operator moving between fields: the window
//   being deactivated or closed, and the type list popping up and closing,
//   run none of them (no look-up, no refill of the type list).
#include "register/entrymaintenance.h"
#include "register/entryscreen.h"

#include <QDate>
#include <QWidget>
#include <functional>

class MaskedEdit;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class frmCTFMaint : public QWidget {
    Q_OBJECT
public:
    explicit frmCTFMaint(QWidget *parent = nullptr);
    ~frmCTFMaint() override;

    void Form_Load();
    void Form_Unload();
    void ShowEntry();
    void ClearEntry();
    void mskURN_GotFocus();
    void mskURN_LostFocus();
    void mskID_GotFocus();
    void mskID_LostFocus();
    void cmdSave_Click();
    void cmdDelete_Click();
    void CmdView_Click();
    void cmdExit_Click();
    void txtMemberNo_LostFocus();
    void mskDOB_Change();
    void mskAmount_LostFocus();
    void cboType_GotFocus();
    void chkSent_Click();
    void chkSent_GotFocus();
    void chkSent_LostFocus();

    QLabel *lblProgNameGreen, *lblCreditUnionName, *lblThisYear, *lblToday, *lblName, *lblAge;
    MaskedEdit *mskURN, *mskID, *mskDOB;
    QLineEdit *mskAmount, *txtMemberNo;
    QComboBox *cboEntity, *cboType;
    QCheckBox *chkSent;
    QPushButton *cmdSave, *cmdDelete, *CmdView, *cmdExit;

    bool memberDbOpen() const { return m_entries.memberDbOpen(); }
    bool recordOnFile() const { return m_entries.recordOnFile(); }
    maint::EntryMaintenance &entries() { return m_entries; }


protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void keyFieldButtons();
    // Sets the four buttons and the Delete caption from the screen's state.
    void showButtons();
    // Runs a look-up (by URN or by ID) and what follows it on the screen.
    void lookUp(const std::function<bool()> &find, bool fromUrn);
    void focusUrn();
    // Moves the focus into a key field and runs its focus rule, once.
    void focusKeyField(MaskedEdit *field);
    void fillTypeList();
    // After a save, delete or reject: both keys empty, the URN field ready.
    void readyForNextEntry();
    void reportFailure(const QString &what, const QString &description);
    bool amountKeyPress(QKeyEvent *key);
    void HighlightTextBox(QLineEdit *box);
    void RestoreBackColor(QWidget *field);
    void setSentBackground(const QColor &colour);

    maint::EntryMaintenance m_entries;
    maint::EntryScreenState m_state;
    bool m_unloaded = false;
    QDate m_today;
};
