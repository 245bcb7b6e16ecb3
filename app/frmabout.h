#pragma once
// The About box: title, version and description; it can start the system
// information tool.
#include <QDialog>

class QLabel;
class QPushButton;
class QFrame;

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget *parent = nullptr);
    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click();

    QLabel *lblTitle, *lblVersion, *lblDescription, *lblDisclaimer;
    QFrame *line1, *line2;
    QPushButton *cmdOK, *cmdSysInfo;
};

// "Version 1.0.15".
QString aboutVersionText();
