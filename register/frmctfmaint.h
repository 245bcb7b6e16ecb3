#pragma once
// The maintenance screen: finds an entry by URN or ID, shows it, and saves,
// deletes or creates it, with the field rules of each entry field.
//
// Choices made so that the operator loses nothing:
// - A new entry begun from the ID field ("Record not on file - Create?"
//   answered Yes there) is completed by moving on from the URN field, which
//   then offers Save and Reject as a new entry begun from the URN does; the
//   ID typed is never stored, the database assigns one.
// - When the member database is not available, saving an existing entry
//   keeps the member number it had (a new entry gets 0).
// - A URN typed without its optional last character is looked up and saved
//   without a prompt character in its place ("AB123456"), so the return
//   carries it as the 8 characters typed.
// - A save or delete that fails (the row changed since it was read, a value
//   the column refuses, a database that went away) shows a message naming
//   what failed and keeps the entry on screen.
#include "data/connection.h"
#include "data/recordset.h"

#include <QDate>
#include <QWidget>

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

    bool memberDbOpen() const { return m_memberDbOpen; }
    bool recordOnFile() const { return m_recordOnFile; }

    static QColor highlightColour();
    static QColor normalColour();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void keyFieldButtons();
    void lookedUpButtons();
    void lookUp(const QString &statement, bool fromUrn);
    void focusUrn();
    void fillTypeList();
    // Forename and Surname of the member look-up's row.
    QString memberName() const;
    // After a save, delete or reject: both keys empty, the URN field ready.
    void readyForNextEntry();
    void reportFailure(const QString &what, const QString &description);
    bool amountKeyPress(QKeyEvent *key);
    void HighlightTextBox(QLineEdit *box);
    void RestoreBackColor(QWidget *field);

    Connection cnMember;
    Connection cnCTF;
    Recordset rsEntry;
    Recordset rsMember;
    Recordset rsControl;
    bool m_memberDbOpen = false;
    bool m_recordOnFile = false;
    bool m_newFromId = false;
    bool m_unloaded = false;
    QDate m_today;
};
