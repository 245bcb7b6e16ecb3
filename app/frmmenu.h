#pragma once
// The main screen: eight buttons, the picture, the File menu and the six
// hidden setting fields that start-up fills from the registry.
#include <QMainWindow>
#include <QPixmap>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QAction;

class frmMenu : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMenu(QWidget *parent = nullptr);

    void Form_Load();
    void cmdEntry_Click();
    void cmdEnquiry_Click();
    void cmdOutput_Click();
    void cmdSubmit_Click();
    void cmdEditReturn_Click();
    void cmdAnnualReturn_Click();
    void cmdEditAnReturn_Click();
    void cmdExit_Click();
    void mnuAbout_Click();
    void mnuExit_Click();

    // The program's help file ("<program folder>\CTFHelp.chm>main").
    const QString &helpFile() const { return m_helpFile; }

    QFrame *fraButtons;
    QPushButton *cmdEntry, *cmdEnquiry, *cmdOutput, *cmdSubmit, *cmdEditReturn, *cmdAnnualReturn, *cmdEditAnReturn, *cmdExit;
    QLabel *picture;
    QAction *mnuAbout, *mnuMaturities, *mnuDash, *mnuExit;
    QCheckBox *chkSQL, *chkAdmin;
    QLineEdit *txtDatabase, *sqlPW, *sqlUserName, *SQLSubset;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void editReturnFile(const QString &fileName);
    QString m_helpFile;
    QPixmap m_picture; // drawn once, at its full size
};
