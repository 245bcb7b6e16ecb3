#pragma once
// The enquiry screen: the entries not yet output, or all of them, in a
// read-only grid sorted by a header click.
#include <QWidget>

class QPushButton;
class QTableView;
namespace enquiry { class EntryGridModel; }

class frmCTFView : public QWidget {
    Q_OBJECT
public:
    explicit frmCTFView(QWidget *parent = nullptr);

    void Form_Load();
    void Command1_Click();
    void cmdClose_Click();
    // A click on the grid: row -1 is the header row.
    void MSHFlexGrid1_Click(int row, int gridColumn);
    void DoColumnSort();
    void Form_Resize();

    QTableView *MSHFlexGrid1;
    QPushButton *Command1, *cmdClose;
    enquiry::EntryGridModel *model() const { return m_model; }
    qint16 sortColumn() const { return m_sortColumn; }
    qint16 sortOrder() const { return m_sortOrder; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void fill(const QString &statement);
    enquiry::EntryGridModel *m_model;
    qint16 m_sortColumn = 0;
    qint16 m_sortOrder = 0;
};
