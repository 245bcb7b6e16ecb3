#include "returns/frmctfoutput.h"

#include "platform/buttonroom.h"
#include "common/dates.h"
#include "platform/fieldfocus.h"
#include "platform/maskededit.h"
#include "platform/pathmapper.h"
#include "platform/userinterface.h"
#include "returns/recreate.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QStringListModel>
#include <QPushButton>

namespace {
// The findings the screen keeps and shows; all are counted.
constexpr int kFindingsShown = 100;
}

// One list of the screen's controls in their tab order and places.
frmCTFOUTPUT::frmCTFOUTPUT(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmCTFOUTPUT"));
    setWindowTitle(QString::fromLatin1(returns::kCaption));
    auto *grid = new QGridLayout(this);
    Label1 = new QLabel(QStringLiteral("Sample of records to be output"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    List1 = new QListView(this);
    m_listModel = new QStringListModel(this);
    List1->setModel(m_listModel);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List1->setUniformItemSizes(true);
    List1->setObjectName(QStringLiteral("List1"));
    Label2 = new QLabel(QStringLiteral("Period end"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    mskPEnd = new MaskedEdit(QStringLiteral("##/##/####"), this);
    mskPEnd->setObjectName(QStringLiteral("mskPEnd"));
    cmdXML = new QPushButton(QStringLiteral("&Create ASCII"), this);
    cmdXML->setObjectName(QStringLiteral("cmdXML"));
    cmdRecreate = new QPushButton(QStringLiteral("&Recreate"), this);
    cmdRecreate->setObjectName(QStringLiteral("cmdRecreate"));
    cmdExit = new QPushButton(QStringLiteral("E&xit"), this);
    cmdExit->setObjectName(QStringLiteral("cmdExit"));
    // Enter presses the button that has the focus, as on the original screens.
    for (QPushButton *b : {cmdXML, cmdRecreate, cmdExit})
        b->setAutoDefault(true);
    // Under the list: what the pre-submission checks found, and the list of
    // it on request (Alt+F). Last in the keyboard order, after Exit, so the
    // screen's own order stays as it was.
    lblFindings = new QLabel(this);
    lblFindings->setObjectName(QStringLiteral("lblFindings"));
    // Wrapped within the screen's width, on room for two lines kept from the
    // start: the screen keeps its size and places whatever the line says.
    lblFindings->setWordWrap(true);
    lblFindings->setMinimumHeight(2 * lblFindings->fontMetrics().lineSpacing() + 2);
    lblFindings->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblFindings->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    cmdFindings = new QPushButton(QStringLiteral("&Findings..."), this);
    cmdFindings->setObjectName(QStringLiteral("cmdFindings"));
    cmdFindings->setAutoDefault(true);
    cmdFindings->setToolTip(QStringLiteral("The entries the checks found something in, by ID (find them on the maintenance screen)"));
    grid->addWidget(Label1, 0, 0, 1, 3);
    grid->addWidget(List1, 1, 0, 1, 3);
    grid->addWidget(lblFindings, 2, 0, 1, 2);
    grid->addWidget(cmdFindings, 2, 2);
    grid->addWidget(Label2, 3, 0);
    grid->addWidget(mskPEnd, 3, 1);
    grid->addWidget(cmdXML, 4, 0);
    grid->addWidget(cmdRecreate, 4, 1);
    grid->addWidget(cmdExit, 4, 2);
    setTabOrder(List1, mskPEnd);
    setTabOrder(mskPEnd, cmdXML);
    setTabOrder(cmdXML, cmdRecreate);
    setTabOrder(cmdRecreate, cmdExit);
    setTabOrder(cmdExit, cmdFindings);
    mskPEnd->installEventFilter(this);
    fieldfocus::selectWholeTextOnClick(this);
    fieldfocus::buttonsTakeTheFocus(this);
    connect(cmdXML, &QPushButton::clicked, this, &frmCTFOUTPUT::cmdXML_Click);
    connect(cmdRecreate, &QPushButton::clicked, this, &frmCTFOUTPUT::cmdRecreate_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmCTFOUTPUT::cmdExit_Click);
    connect(cmdFindings, &QPushButton::clicked, this, &frmCTFOUTPUT::showFindings);
    buttonroom::fitCaptions(this);
    buttonroom::fitToScreen(this, 420, 360);
    Form_Load();
}

frmCTFOUTPUT::~frmCTFOUTPUT() { Form_Unload(); }

void frmCTFOUTPUT::Form_Load()
{
    const returns::Opening opening = m_output.load();
    ui::show(opening.notices);
    const bool opened = opening.loaded;
    m_listModel->setStringList({});
    if (!opened) {
        // The list is empty because the register could not be read, not
        // because nothing is outstanding: no nil return is offered.
        cmdXML->setEnabled(false);
        return;
    }
    m_listModel->setStringList(m_output.listItems());
    m_checks = m_output.check(kFindingsShown); // the screen holds a screenful, counts all
    const QString entries = m_checks.entries == 1 ? QStringLiteral("the entry") : QStringLiteral("the %1 entries").arg(m_checks.entries);
    lblFindings->setText(m_checks.total == 0 ? QStringLiteral("The checks found nothing in %1 to be output.").arg(entries)
                         : m_checks.entries == 1 ? QStringLiteral("The checks found something in the entry to be output.")
                                                 : QStringLiteral("The checks found something in %1 of %2 to be output.")
                                                       .arg(m_checks.entriesWithFindings())
                                                       .arg(entries));
    cmdFindings->setEnabled(m_checks.total > 0);
    mskPEnd->setMaskedText(m_output.proposal());
    m_lastAccepted = mskPEnd->text();
}

void frmCTFOUTPUT::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_output.unload();
}

bool frmCTFOUTPUT::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == mskPEnd) {
        if ((event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) && !isFieldMove(event)) {
            // not a move between fields
        } else if (event->type() == QEvent::FocusIn) {
            mskPEnd_GotFocus();
        } else if (event->type() == QEvent::FocusOut) {
            mskPEnd_LostFocus();
        } else if (isEnterKey(event)) {
            bool swallow = false;
            mskPEnd_KeyPress(13, swallow);
            return swallow;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmCTFOUTPUT::mskPEnd_GotFocus()
{
    highlightField(mskPEnd);
}

void frmCTFOUTPUT::mskPEnd_KeyPress(int keyAscii, bool &swallow)
{
    if (keyAscii != 13)
        return;
    swallow = true;
    cmdXML->setEnabled(m_output.loaded());
    cmdXML->setFocus(Qt::OtherFocusReason);
}

void frmCTFOUTPUT::mskPEnd_LostFocus()
{
    setFieldColour(mskPEnd, whiteColour());
    if (!dates::isDate(mskPEnd->text())) {
        ui::show({returns::invalidPeriodEnd()});
        mskPEnd->setMaskedText(m_lastAccepted);
    }
}

void frmCTFOUTPUT::cmdXML_Click()
{
    // However Create was pressed without the period end's rule running (the
    // focus still in the field), an invalid date meets that rule now, and
    // nothing is created.
    if (!dates::isDate(mskPEnd->text())) {
        mskPEnd_LostFocus();
        return;
    }
    cmdXML->setEnabled(false);
    cmdExit->setEnabled(false);
    cmdRecreate->setEnabled(false);
    const returns::RunOutcome run = m_output.generate(mskPEnd->text());
    cmdExit->setEnabled(true);
    ui::show(run.notices);
}

void frmCTFOUTPUT::cmdRecreate_Click()
{
    OpenFileRequest request;
    request.initialDir = QStringLiteral("C:\\Temp");
    request.defaultExt = QStringLiteral("LOG");
    request.title = QStringLiteral("QD Log files (Previously ASCII outputs)");
    request.filter = QStringLiteral("*.LOG");
    const QString chosen = ui::current().openFile(request);
    if (chosen.isEmpty())
        return;
    // A missing file leaves the buttons as they were; they change only once
    // the copy is tried.
    if (!pathmapper::fileExists(chosen)) {
        ui::show(returns::recreateReturn(chosen).notices);
        return;
    }
    cmdRecreate->setEnabled(false);
    cmdXML->setEnabled(false);
    ui::show(returns::recreateReturn(chosen).notices);
    ui::current().setBusy(false);
    cmdExit->setEnabled(true);
    cmdExit->setFocus(Qt::OtherFocusReason);
}

void frmCTFOUTPUT::cmdExit_Click() { close(); }

void frmCTFOUTPUT::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void frmCTFOUTPUT::showFindings()
{
    // A long list is cut: the command line gives all of it.
    QStringList lines;
    for (const checks::Finding &f : m_checks.findings)
        lines << f.line();
    if (m_checks.total > m_checks.findings.size())
        lines << QStringLiteral("... and %1 more (\"ctfadmin check\" lists them all).").arg(m_checks.total - m_checks.findings.size());
    lines << QString() << m_checks.summary();
    ui::current().message(lines.join(QStringLiteral("\r\n")), QStringLiteral("Checks before the return is sent"), MsgIcon::Information);
}
