#pragma once
// The output screen: lists the entries not yet output, proposes a period
// end, writes IRReturn.txt and re-creates it from a log copy. The work is
// done by ReturnOutput; the handlers only move the controls.
//
// When the register cannot be opened the list is empty for that reason
// alone, so "&Create ASCII" stays unavailable rather than offering a nil
// return that would tell the Inland Revenue nothing is outstanding.
#include "returns/returnoutput.h"

#include <QWidget>

class QLabel;
class QListView;
class QStringListModel;
class QPushButton;
class MaskedEdit;

class frmCTFOUTPUT : public QWidget {
    Q_OBJECT
public:
    explicit frmCTFOUTPUT(QWidget *parent = nullptr);
    ~frmCTFOUTPUT() override;

    void Form_Load();
    void Form_Unload();
    void mskPEnd_GotFocus();
    void mskPEnd_KeyPress(int keyAscii, bool &swallow);
    void mskPEnd_LostFocus();
    void cmdXML_Click();
    void cmdRecreate_Click();
    void cmdExit_Click();

    QLabel *Label1, *Label2;
    // The list shows the component's own texts (shared, not copied), so
    // 100,000 outstanding entries are held once.
    QListView *List1;
    MaskedEdit *mskPEnd;
    QPushButton *cmdXML, *cmdRecreate, *cmdExit;
    QLabel *lblFindings;
    QPushButton *cmdFindings;
    // The pre-submission checks' findings, one line each; nothing blocks
    // "&Create ASCII": the operator decides.
    void showFindings();
    const checks::Result &findings() const { return m_checks; }

    const QString &lastAccepted() const { return m_lastAccepted; }
    returns::ReturnOutput &output() { return m_output; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QStringListModel *m_listModel = nullptr;
    checks::Result m_checks;
    returns::ReturnOutput m_output;
    QString m_lastAccepted;
    bool m_unloaded = false;
};
