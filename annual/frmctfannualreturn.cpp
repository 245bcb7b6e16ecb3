#include "annual/frmctfannualreturn.h"

#include "platform/buttonroom.h"
#include "checks/checks.h"

#include "common/clock.h"
#include "common/ctfmodules.h"
#include "common/dates.h"
#include "common/error.h"
#include "platform/fieldfocus.h"
#include "platform/maskededit.h"
#include "platform/userinterface.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
const QColor kGreen(0, 192, 0);
const QColor kBlack(0, 0, 0);

void setTextColour(QWidget *w, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    p.setColor(QPalette::ButtonText, c);
    w->setPalette(p);
}

MaskedEdit *dateField(const char *name, QWidget *parent)
{
    auto *f = new MaskedEdit(QStringLiteral("99/99/99"), parent);
    f->setObjectName(QString::fromLatin1(name));
    return f;
}

QLabel *label(const char *name, const char *text, QWidget *parent)
{
    auto *l = new QLabel(QString::fromLatin1(text), parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

QPushButton *button(const char *name, const char *text, QWidget *parent)
{
    auto *b = new QPushButton(QString::fromLatin1(text), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(true); // Enter presses the focused button
    return b;
}
} // namespace

QString frmCTFAnnualReturn::defaultStart(const QDate &today)
{
    // "06/04/" + this year's two digits, one year taken off.
    const auto thisYear = dates::parse(QStringLiteral("06/04/") + today.toString(QStringLiteral("yy")));
    return dates::dayFirstShort(thisYear->addYears(-1));
}

QString frmCTFAnnualReturn::endAfter(const QDate &start) { return dates::dayFirstShort(start.addYears(1).addDays(-1)); }

// One list of the screen's controls in their tab order and places: split up,
// the order the keyboard follows could no longer be read in one place.
frmCTFAnnualReturn::frmCTFAnnualReturn(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmCTFAnnualReturn"));
    setWindowTitle(QString::fromLatin1(annual::kCaption));
    auto *top = new QVBoxLayout(this);
    lblProgNameGreen = label("lblProgNameGreen", "CTF Annual Return Output", this);
    setTextColour(lblProgNameGreen, kGreen);
    QFont f = lblProgNameGreen->font();
    f.setPointSize(f.pointSize() + 6);
    f.setBold(true);
    lblProgNameGreen->setFont(f);
    lblCreditUnionName = label("lblCreditUnionName", " Sample Credit Union Ltd", this);
    lblThisYear = label("lblThisYear", "Year-end 30 September 2003", this);
    lblToday = label("lblToday", "today", this);
    top->addWidget(lblProgNameGreen);
    top->addWidget(lblCreditUnionName);
    top->addWidget(lblThisYear);
    top->addWidget(lblToday);

    SSTab = new QTabWidget(this);
    SSTab->setObjectName(QStringLiteral("SSTab"));
    top->addWidget(SSTab);
    auto *leftOutRow = new QHBoxLayout();
    lblLeftOut = new QLabel(this);
    lblLeftOut->setObjectName(QStringLiteral("lblLeftOut"));
    lblLeftOut->setWordWrap(true);
    // Room for two lines from the start: the screen does not move when the
    // line after a run grows to two.
    lblLeftOut->setMinimumHeight(2 * lblLeftOut->fontMetrics().lineSpacing() + 2);
    lblLeftOut->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Alt+L, and last in the keyboard order of either tab, after Exit.
    cmdLeftOut = new QPushButton(QStringLiteral("&Left out..."), this);
    cmdLeftOut->setObjectName(QStringLiteral("cmdLeftOut"));
    cmdLeftOut->setAutoDefault(true);
    cmdLeftOut->setEnabled(false);
    leftOutRow->addWidget(lblLeftOut, 1);
    leftOutRow->addWidget(cmdLeftOut);
    top->addLayout(leftOutRow);

    // Each tab: its two dates, its choice of account, and its two buttons.
    auto buildTab = [&](const char *frameName, const char *startLabel, const char *startName, const char *endLabel,
                        const char *endName, QGroupBox *&frame, QLabel *&labelStart, MaskedEdit *&start, QLabel *&labelEnd,
                        MaskedEdit *&end, const char *choiceName, QGroupBox *&choice, const char *outputName, QPushButton *&output,
                        const char *exitName, QPushButton *&exit) {
        auto *tab = new QWidget(SSTab);
        auto *grid = new QGridLayout(tab);
        frame = new QGroupBox(tab);
        frame->setObjectName(QString::fromLatin1(frameName));
        auto *dates = new QGridLayout(frame);
        labelStart = label(startLabel, "Start of year", frame);
        start = dateField(startName, frame);
        labelEnd = label(endLabel, "End of year", frame);
        end = dateField(endName, frame);
        dates->addWidget(labelStart, 0, 0);
        dates->addWidget(start, 0, 1);
        dates->addWidget(labelEnd, 1, 0);
        dates->addWidget(end, 1, 1);
        choice = new QGroupBox(QStringLiteral("Select account used for CTF"), tab);
        choice->setObjectName(QString::fromLatin1(choiceName));
        output = button(outputName, "&Output", tab);
        exit = button(exitName, "E&xit", tab);
        grid->addWidget(frame, 0, 0, 1, 2);
        grid->addWidget(choice, 1, 0, 1, 2);
        grid->addWidget(output, 2, 0);
        grid->addWidget(exit, 2, 1);
        return tab;
    };

    QWidget *tab1 = buildTab("Frame1", "Label1", "mskStartDate1", "Label2", "mskEndDate1", Frame1, Label1, mskStartDate1, Label2,
                             mskEndDate1, "Frame2", Frame2, "cmdOutput1", cmdOutput1, "cmdExit1", cmdExit1);
    auto *f2 = new QVBoxLayout(Frame2);
    auto *group = new QButtonGroup(this);
    for (int i = 1; i <= 4; ++i) {
        optShareAcc[i] = new QRadioButton(QStringLiteral("Share account %1").arg(i), Frame2);
        optShareAcc[i]->setObjectName(QStringLiteral("optShareAcc%1").arg(i));
        group->addButton(optShareAcc[i], i);
        f2->addWidget(optShareAcc[i]);
        optShareAcc[i]->installEventFilter(this);
        connect(optShareAcc[i], &QRadioButton::clicked, this, [this, i] { optShareAcc_Click(i); });
    }
    optShareAcc[1]->setChecked(true);
    optShareAcc_Click(1);
    SSTab->addTab(tab1, QStringLiteral("Tarnwell I user output"));

    QWidget *tab2 = buildTab("Frame3", "Label3", "mskStartDate2", "Label4", "mskEndDate2", Frame3, Label3, mskStartDate2, Label4,
                             mskEndDate2, "Frame4", Frame4, "cmdOutput2", cmdOutput2, "cmdExit2", cmdExit2);
    auto *f4 = new QVBoxLayout(Frame4);
    lstProduct = new QListWidget(Frame4);
    lstProduct->setObjectName(QStringLiteral("lstProduct"));
    lstProduct->setSelectionMode(QAbstractItemView::MultiSelection);
    lstProduct->installEventFilter(this);
    f4->addWidget(lstProduct);
    SSTab->addTab(tab2, QStringLiteral("Tarnwell II user output"));

    for (MaskedEdit *m : {mskStartDate1, mskEndDate1, mskStartDate2, mskEndDate2})
        m->installEventFilter(this);
    fieldfocus::selectWholeTextOnClick(this);
    fieldfocus::buttonsTakeTheFocus(this);
    setTabOrder(mskStartDate1, mskEndDate1);
    // The share accounts between the dates and Output: Enter (as Tab) from
    // the end date reaches the choice, the arrows change it, Enter goes on.
    setTabOrder(mskEndDate1, optShareAcc[1]);
    for (int i = 1; i < 4; ++i)
        setTabOrder(optShareAcc[i], optShareAcc[i + 1]);
    setTabOrder(optShareAcc[4], cmdOutput1);
    setTabOrder(cmdOutput1, cmdExit1);
    setTabOrder(cmdExit1, cmdLeftOut);
    setTabOrder(mskStartDate2, mskEndDate2);
    setTabOrder(mskEndDate2, lstProduct);
    setTabOrder(lstProduct, cmdOutput2);
    setTabOrder(cmdOutput2, cmdExit2);

    connect(cmdOutput1, &QPushButton::clicked, this, &frmCTFAnnualReturn::cmdOutput1_Click);
    connect(cmdOutput2, &QPushButton::clicked, this, &frmCTFAnnualReturn::cmdOutput2_Click);
    connect(cmdExit1, &QPushButton::clicked, this, &frmCTFAnnualReturn::cmdExit1_Click);
    connect(cmdExit2, &QPushButton::clicked, this, &frmCTFAnnualReturn::cmdExit2_Click);
    // The share accounts' captions follow the runs: the one being written
    // says so, and every one that says so reads Complete once a run is.
    m_run.onOutputing = [this](int n) { optShareAcc[n]->setText(QStringLiteral("Share account %1 - outputing").arg(n)); };
    m_run.onOutputComplete = [this] {
        for (int i = 1; i <= 4; ++i)
            if (optShareAcc[i]->text() == QStringLiteral("Share account %1 - outputing").arg(i))
                optShareAcc[i]->setText(QStringLiteral("Share account %1 - Complete").arg(i));
    };
    m_run.onMember = [this](const annual::MemberFigures &figures) {
        if (figures.leftOut != annual::LeftOut::No)
            m_leftOut << QStringLiteral("Member ") + figures.member + QStringLiteral(": ") + checks::leftOutText(figures);
    };
    connect(cmdLeftOut, &QPushButton::clicked, this, &frmCTFAnnualReturn::showLeftOut);
    buttonroom::fitCaptions(this);
    buttonroom::fitToScreen(this, 480, 460);
    Form_Load();
}

frmCTFAnnualReturn::~frmCTFAnnualReturn() { m_run.close(); }

void frmCTFAnnualReturn::Form_Load()
{
    lblToday->setText(ctfclock::today().toString(QStringLiteral("dd/MM/yy")));
    // The screen itself has no handling for these failures: the operator is
    // told what failed and the screen stays open. A server that does not
    // answer takes the login time: the pointer says the program is at work.
    ui::BusyScope busy;
    try {
        m_run.open();
        const annual::AnnualReturn::ControlInfo control = m_run.readControl();
        if (control.found) {
            lblCreditUnionName->setText(control.cuname);
            lblThisYear->setText(QStringLiteral("Processing for year end ") + dates::shownDayFirst(control.yearEnd));
        }
        // Empty when txtDatabase is "K:\\": there are no products to list then.
        lstProduct->clear();
        for (const annual::ProductItem &item : m_run.loadProducts()) {
            auto *it = new QListWidgetItem(item.text, lstProduct);
            it->setSelected(item.selected);
        }
    } catch (const CtfError &e) {
        busy.release();
        ui::current().message(e.description(), windowTitle(), MsgIcon::Critical);
    }
    SSTab->setCurrentIndex(1);
}

bool frmCTFAnnualReturn::eventFilter(QObject *watched, QEvent *event)
{
    auto *field = qobject_cast<MaskedEdit *>(watched);
    if (field && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) && !isFieldMove(event))
        return QWidget::eventFilter(watched, event);
    if (field && event->type() == QEvent::FocusIn) {
        if (field == mskStartDate1 || field == mskStartDate2)
            StartDate_GotFocus(field);
        else
            EndDate_GotFocus(field, field == mskEndDate1 ? mskStartDate1 : mskStartDate2);
    } else if (field && event->type() == QEvent::FocusOut) {
        Date_LostFocus(field);
    } else if (isEnterKey(event)) {
        bool swallow = false;
        Control_KeyPress(13, swallow);
        if (swallow)
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmCTFAnnualReturn::StartDate_GotFocus(MaskedEdit *field)
{
    if (!dates::isDate(field->text()))
        field->setMaskedText(defaultStart(ctfclock::today()));
    highlightField(field);
}

void frmCTFAnnualReturn::EndDate_GotFocus(MaskedEdit *field, MaskedEdit *startField)
{
    if (!dates::isDate(field->text())) {
        if (const auto start = dates::parse(startField->text()))
            field->setMaskedText(endAfter(*start));
    }
    highlightField(field);
}

void frmCTFAnnualReturn::Date_LostFocus(MaskedEdit *field) { setFieldColour(field, whiteColour()); }

void frmCTFAnnualReturn::Control_KeyPress(int keyAscii, bool &swallow)
{
    if (keyAscii != 13)
        return;
    swallow = true;
    ShellSendKeys(QStringLiteral("{tab}"));
}

void frmCTFAnnualReturn::optShareAcc_Click(int)
{
    for (int i = 1; i <= 4; ++i)
        setTextColour(optShareAcc[i], kBlack);
    for (int i = 1; i <= 4; ++i)
        if (optShareAcc[i]->isChecked())
            setTextColour(optShareAcc[i], kGreen);
}

int frmCTFAnnualReturn::selectedShareAccount() const
{
    for (int i = 1; i <= 4; ++i)
        if (optShareAcc[i]->isChecked())
            return i;
    return 1;
}

void frmCTFAnnualReturn::focusRefused(MaskedEdit *start, MaskedEdit *end)
{
    // After the message: the field's own rule (filled, cyan) runs, and the
    // field left gives up its colour, whenever the window gets the focus back.
    const annual::Field refused = annual::invalidDateField(start->text(), end->text());
    if (refused == annual::Field::StartDate)
        fieldfocus::moveTo(this, start);
    else if (refused == annual::Field::EndDate)
        fieldfocus::moveTo(this, end);
}

void frmCTFAnnualReturn::run(const std::function<annual::RunOutcome()> &command)
{
    m_leftOut.clear();
    const annual::RunOutcome outcome = command();
    ui::show(outcome.notices);
    if (outcome.result != annual::Outcome::Done)
        return;
    lblLeftOut->setText(m_leftOut.isEmpty() ? QStringLiteral("The return left out no member of the selection.")
                                            : QStringLiteral("The return left out %1 of the selection: no MemberMain row, no NI "
                                                             "number, or over 18.")
                                                  .arg(checks::counted(m_leftOut.size(), QStringLiteral("member"), QStringLiteral("members"))));
    cmdLeftOut->setEnabled(!m_leftOut.isEmpty());
}

void frmCTFAnnualReturn::showLeftOut()
{
    constexpr int kShown = 100; // "ctfadmin check --annual" lists them all
    QStringList lines = m_leftOut.mid(0, kShown);
    if (m_leftOut.size() > kShown)
        lines << QStringLiteral("... and %1 more (\"ctfadmin check --annual\" lists them all).").arg(m_leftOut.size() - kShown);
    ui::current().message(lines.join(QStringLiteral("\r\n")), QStringLiteral("Members left out of the annual return"), MsgIcon::Information);
}

void frmCTFAnnualReturn::cmdOutput1_Click()
{
    run([this] {
        const annual::RunOutcome outcome = m_run.runShareAccount(selectedShareAccount(), mskStartDate1->text(), mskEndDate1->text());
        if (outcome.result == annual::Outcome::Refused)
            focusRefused(mskStartDate1, mskEndDate1);
        return outcome;
    });
}

void frmCTFAnnualReturn::cmdOutput2_Click()
{
    QList<annual::ProductItem> items;
    for (int i = 0; i < lstProduct->count(); ++i)
        items.append({lstProduct->item(i)->text(), lstProduct->item(i)->isSelected()});
    run([&] {
        const annual::RunOutcome outcome = m_run.runProducts(items, mskStartDate2->text(), mskEndDate2->text());
        if (outcome.result == annual::Outcome::Refused)
            focusRefused(mskStartDate2, mskEndDate2);
        return outcome;
    });
}

void frmCTFAnnualReturn::cmdExit1_Click() { close(); }
void frmCTFAnnualReturn::cmdExit2_Click() { close(); }
