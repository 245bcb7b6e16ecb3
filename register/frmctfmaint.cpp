#include "register/frmctfmaint.h"

#include "platform/buttonroom.h"
#include "app/screens.h"
#include "common/clock.h"
#include "common/ctfmodules.h"
#include "common/dates.h"
#include "common/error.h"
#include "common/money.h"
#include "app/appsettings.h"
#include "platform/fieldfocus.h"
#include "platform/maskededit.h"
#include "platform/userinterface.h"
#include "register/entrycodes.h"
#include "register/entryrules.h"
#include "register/frmhistory.h"

#include <QApplication>
#include <algorithm>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <span>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

namespace {
const QString kCaption = QStringLiteral(" CTF - Entry maintenance");

QLabel *label(const char *name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    if (name)
        l->setObjectName(QString::fromLatin1(name));
    return l;
}
} // namespace


// One list of the screen's controls in their tab order and places: split up,
// the order the keyboard follows could no longer be read in one place.
frmCTFMaint::frmCTFMaint(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmCTFMaint"));
    setWindowTitle(kCaption);
    auto *top = new QVBoxLayout(this);
    lblProgNameGreen = label("lblProgNameGreen", QStringLiteral("CTF Maintenance"), this);
    QPalette green = lblProgNameGreen->palette();
    green.setColor(QPalette::WindowText, QColor(0, 192, 0));
    lblProgNameGreen->setPalette(green);
    QFont f = lblProgNameGreen->font();
    f.setPointSize(f.pointSize() + 6);
    f.setBold(true);
    lblProgNameGreen->setFont(f);
    lblCreditUnionName = label("lblCreditUnionName", QString(), this);
    lblThisYear = label("lblThisYear", QString(), this);
    lblToday = label("lblToday", QString(), this);
    for (QWidget *w : std::initializer_list<QWidget *>{lblProgNameGreen, lblCreditUnionName, lblThisYear, lblToday})
        top->addWidget(w);

    auto *keys = new QGroupBox(this);
    auto *keyRow = new QHBoxLayout(keys);
    mskURN = new MaskedEdit(QStringLiteral(">AA999999a"), keys);
    mskURN->setObjectName(QStringLiteral("mskURN"));
    mskID = new MaskedEdit(QStringLiteral("##########"), keys);
    mskID->setObjectName(QStringLiteral("mskID"));
    keyRow->addWidget(label(nullptr, QStringLiteral("URN:"), keys));
    keyRow->addWidget(mskURN);
    keyRow->addWidget(label(nullptr, QStringLiteral("ID:"), keys));
    keyRow->addWidget(mskID);
    top->addWidget(keys);

    auto *details = new QGridLayout();
    // The kind and type boxes take typing, and never add what is typed to their lists.
    const auto editableBox = [this](const char *name) {
        auto *box = new QComboBox(this);
        box->setObjectName(QString::fromLatin1(name));
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        return box;
    };
    cboEntity = editableBox("cboEntity");
    txtMemberNo = new QLineEdit(this);
    txtMemberNo->setObjectName(QStringLiteral("txtMemberNo"));
    txtMemberNo->setMaxLength(8);
    lblName = label("lblName", QString(), this);
    mskDOB = new MaskedEdit(QStringLiteral("##/##/####"), this);
    mskDOB->setObjectName(QStringLiteral("mskDOB"));
    lblAge = label("lblAge", QString(), this);
    mskAmount = new QLineEdit(this);
    mskAmount->setObjectName(QStringLiteral("mskAmount"));
    mskAmount->setMaxLength(64);
    cboType = editableBox("cboType");
    // Wide enough for the longest type, so a chosen type reads in full.
    cboType->setMinimumContentsLength(int(entrycodes::longestTypeText()));
    cboType->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    chkSent = new QCheckBox(this);
    chkSent->setObjectName(QStringLiteral("chkSent"));
    chkSent->setAutoFillBackground(true);
    // As tall empty as with its "Submitted on" caption, so that the rows
    // above keep their places when a sent entry is shown.
    chkSent->setText(QStringLiteral("Submitted on 30/11/26"));
    chkSent->setMinimumHeight(chkSent->sizeHint().height());
    chkSent->setText(QString());
    setSentBackground(palette().color(QPalette::Window));
    int row = 0;
    details->addWidget(label(nullptr, QStringLiteral("Entity:"), this), row, 0);
    details->addWidget(cboEntity, row++, 1);
    details->addWidget(label(nullptr, QStringLiteral("Member No.:"), this), row, 0);
    details->addWidget(txtMemberNo, row, 1);
    details->addWidget(lblName, row++, 2);
    details->addWidget(label(nullptr, QStringLiteral("Date of birth:"), this), row, 0);
    details->addWidget(mskDOB, row, 1);
    details->addWidget(lblAge, row++, 2);
    details->addWidget(label(nullptr, QStringLiteral("Amount:"), this), row, 0);
    details->addWidget(mskAmount, row++, 1);
    details->addWidget(label(nullptr, QStringLiteral("Type:"), this), row, 0);
    details->addWidget(cboType, row++, 1);
    details->addWidget(label(nullptr, QStringLiteral("Sent to IR?:"), this), row, 0);
    details->addWidget(chkSent, row++, 1, 1, 2);
    // The labels beside the fields take the room that is left, so the fields
    // stay where they are when a name, an age or a sent date appears.
    for (QWidget *w : std::initializer_list<QWidget *>{lblName, lblAge, chkSent})
        w->setSizePolicy(QSizePolicy::Ignored, w->sizePolicy().verticalPolicy());
    details->setColumnStretch(2, 1);
    top->addLayout(details);

    auto *buttons = new QHBoxLayout();
    auto button = [&](QPushButton *&b, const char *name, const char *caption) {
        b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(true); // Enter presses the focused button
        buttons->addWidget(b);
    };
    button(cmdSave, "cmdSave", "&Save");
    button(cmdDelete, "cmdDelete", "&Delete");
    button(CmdView, "CmdView", "&View");
    button(cmdExit, "cmdExit", "E&xit");
    top->addLayout(buttons);

    // Keyboard order: URN, the detail fields, the buttons, and ID last.
    QWidget *order[] = {mskURN, cboEntity, txtMemberNo, mskDOB, mskAmount, cboType, chkSent, cmdSave, cmdDelete, CmdView, cmdExit, mskID};
    for (int i = 0; i + 1 < int(std::size(order)); ++i)
        setTabOrder(order[i], order[i + 1]);
    for (QWidget *w : std::initializer_list<QWidget *>{mskURN, mskID, cboEntity, txtMemberNo, mskDOB, mskAmount, cboType, chkSent})
        w->installEventFilter(this);
    cboEntity->lineEdit()->installEventFilter(this);
    cboType->lineEdit()->installEventFilter(this);
    fieldfocus::selectWholeTextOnClick(this);
    fieldfocus::buttonsTakeTheFocus(this);

    // The history of the entry shown; no control of the screen changes for it.
    connect(new QShortcut(QKeySequence(QStringLiteral("Ctrl+H")), this), &QShortcut::activated, this,
            [this] { frmHistory::open(m_entries.recordOnFile() ? m_entries.entry().id.toLongLong() : 0); });
    connect(cmdSave, &QPushButton::clicked, this, &frmCTFMaint::cmdSave_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmCTFMaint::cmdDelete_Click);
    connect(CmdView, &QPushButton::clicked, this, &frmCTFMaint::CmdView_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmCTFMaint::cmdExit_Click);
    connect(mskDOB, &QLineEdit::textChanged, this, &frmCTFMaint::mskDOB_Change);
    connect(chkSent, &QCheckBox::clicked, this, &frmCTFMaint::chkSent_Click);
    buttonroom::fitCaptions(this);
    buttonroom::fitToScreen(this, 520, 420);
    Form_Load();
}

frmCTFMaint::~frmCTFMaint() { Form_Unload(); }

void frmCTFMaint::reportFailure(const QString &what, const QString &description)
{
    ui::current().message(what + QStringLiteral("\r\n") + description, kCaption, MsgIcon::Critical);
}

void frmCTFMaint::Form_Load()
{
    // Opening a Tarnwell on a server that does not answer takes the login
    // time: the pointer says the program is at work meanwhile.
    ui::BusyScope busy;
    m_today = ctfclock::today();
    lblToday->setText(m_today.toString(QStringLiteral("dd/MM/yy")));
    const QString member = GetConnectionString(QStringLiteral("Tarnwell"));
    const QString ctf = GetConnectionString(QStringLiteral("CTF"));
    try {
        m_entries.openRegister(ctf);
    } catch (const CtfError &e) {
        reportFailure(QStringLiteral("The CTF register cannot be opened; entries cannot be found or saved."), e.description());
    }
    if (!m_entries.openMemberDatabase(member)) {
        lblCreditUnionName->setText(QStringLiteral("Credit Union"));
        lblThisYear->clear();
        txtMemberNo->setEnabled(false);
        txtMemberNo->setReadOnly(true);
        txtMemberNo->setMaxLength(12);
        txtMemberNo->setText(maint::EntryScreenState::noMemberDatabaseText());
        txtMemberNo->setToolTip(maint::EntryScreenState::noMemberDatabaseText());
        txtMemberNo->setFocusPolicy(Qt::NoFocus);
    } else if (const auto control = m_entries.readControl()) {
        lblCreditUnionName->setText(control->cuname);
        lblThisYear->setText(QStringLiteral("Processing for year end ") + control->yearEnd);
    }
    cmdSave->setEnabled(false);
    cmdSave->setToolTip(QStringLiteral("Save entry to file"));
    cmdDelete->setToolTip(QStringLiteral("Delete entry"));
    CmdView->setToolTip(QStringLiteral("View details"));
    cmdExit->setToolTip(QStringLiteral("Exit program"));
    cboEntity->clear();
    cboEntity->addItems(entrycodes::kinds());
    cboEntity->setCurrentIndex(-1);
    // The URN field has the focus when the screen opens, and its rule runs
    // now: the window's own activation runs no field rule.
    mskURN->setFocus(Qt::OtherFocusReason);
    mskURN_GotFocus();
}

void frmCTFMaint::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_entries.close();
}

void frmCTFMaint::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void frmCTFMaint::HighlightTextBox(QLineEdit *box) { highlightField(box); }

void frmCTFMaint::RestoreBackColor(QWidget *field) { setFieldColour(field, windowColour()); }

void frmCTFMaint::showButtons()
{
    const maint::ButtonStates &b = m_state.buttons();
    cmdExit->setEnabled(b.exit);
    cmdSave->setEnabled(b.save);
    cmdDelete->setEnabled(b.del);
    cmdDelete->setText(b.deleteCaption);
    CmdView->setEnabled(b.view);
}

void frmCTFMaint::keyFieldButtons()
{
    m_state.keyFieldFocused();
    showButtons();
}

void frmCTFMaint::ClearEntry()
{
    txtMemberNo->clear();
    if (!m_entries.memberDbOpen())
        txtMemberNo->setText(maint::EntryScreenState::noMemberDatabaseText());
    lblName->clear();
    chkSent->setChecked(false);
    cboEntity->setCurrentIndex(-1);
    cboEntity->setEditText(QString());
    mskDOB->setMaskedText(QString());
    mskAmount->setText(QStringLiteral("____.__-"));
    cboType->setCurrentIndex(-1);
    cboType->setEditText(QString());
    chkSent->setText(QString());
    m_entries.forgetEntry();
    m_state.cleared();
}

void frmCTFMaint::ShowEntry()
{
    const maint::Entry e = m_entries.entry();
    if (const int kind = maint::EntryScreenState::kindIndex(entrycodes::kinds(), e.entity); kind >= 0)
        cboEntity->setCurrentIndex(kind);
    if (mskID->clipText().isEmpty())
        mskID->setMaskedText(e.id);
    if (mskURN->clipText().isEmpty())
        mskURN->setMaskedText(e.crn);
    if (m_entries.memberDbOpen()) {
        txtMemberNo->setText(e.memberNo);
        try {
            lblName->setText(maint::EntryScreenState::nameOfEntryMember(m_entries.memberName(LeadingNumber(e.memberNo))));
        } catch (const CtfError &err) {
            reportFailure(QStringLiteral("The member could not be looked up."), err.description());
        }
    }
    if (e.dob)
        mskDOB->setMaskedText(dates::dayFirst(*e.dob));
    mskAmount->setText(e.amount);
    if (e.typeCode) {
        fillTypeList();
        cboType->setCurrentIndex(cboType->findData(*e.typeCode));
        if (cboType->currentIndex() < 0)
            cboType->setEditText(QString());
    }
    chkSent->setChecked(e.sent);
    chkSent->setText(e.sent ? QStringLiteral("Submitted on ") + e.periodEndSent : QString());
}

void frmCTFMaint::fillTypeList()
{
    cboType->clear();
    for (const entrycodes::TypeCode &t : entrycodes::typesFor(cboEntity->currentText()))
        cboType->addItem(t.text, t.code);
    cboType->setCurrentIndex(-1);
    cboType->setEditText(QString());
}

void frmCTFMaint::mskURN_GotFocus()
{
    keyFieldButtons();
    if (mskID->clipText().isEmpty())
        ClearEntry();
    highlightField(mskURN);
}

void frmCTFMaint::mskID_GotFocus()
{
    keyFieldButtons();
    ClearEntry();
    highlightField(mskID);
}

void frmCTFMaint::focusKeyField(MaskedEdit *field)
{
    const auto rule = [this, field] {
        if (field == mskURN)
            mskURN_GotFocus();
        else
            mskID_GotFocus();
    };
    if (field->hasFocus()) {
        rule();
        return;
    }
    fieldfocus::moveTo(this, field);
}

void frmCTFMaint::focusUrn() { focusKeyField(mskURN); }

void frmCTFMaint::lookUp(const std::function<bool()> &find, bool fromUrn)
{
    m_state.lookUpStarted();
    showButtons();
    bool found = false;
    try {
        found = find();
    } catch (const CtfError &e) {
        m_state.lookUpFailed();
        showButtons();
        reportFailure(QStringLiteral("The entry could not be looked up."), e.description());
        return;
    }
    if (found) {
        ShowEntry();
        m_state.found();
        showButtons();
        return;
    }
    const bool create = ui::current().message(QStringLiteral("Record not on file - Create?"), kCaption, MsgIcon::Information,
                                              MsgButtons::YesNo) == MsgResult::Yes;
    if (create) {
        m_state.createAnswered(fromUrn);
    } else {
        m_entries.forgetEntry();
        m_state.noAnswered();
    }
    showButtons();
    // The question came while the focus was moving on, and its box took the
    // focus: the answer's focus move waits until that move is over and the
    // box is gone, or the move would end where it was going.
    QTimer::singleShot(0, this, [this, create, fromUrn] {
        using Focus = maint::EntryScreenState::FocusAfterAnswer;
        switch (maint::EntryScreenState::focusAfterAnswer(create, fromUrn)) {
        case Focus::KindBox: fieldfocus::moveTo(this, cboEntity); break;
        case Focus::Urn: focusKeyField(mskURN); break;
        case Focus::Id: focusKeyField(mskID); break;
        }
    });
}

void frmCTFMaint::mskURN_LostFocus()
{
    RestoreBackColor(mskURN);
    if (mskURN->clipText().isEmpty()) {
        mskID->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (!mskID->clipText().isEmpty()) {
        if (m_state.urnLeftWithIdFilled())
            showButtons();
        return;
    }
    lookUp([this] { return m_entries.findByUrn(mskURN->trimmedText()); }, true);
}

void frmCTFMaint::mskID_LostFocus()
{
    RestoreBackColor(mskID);
    if (mskID->clipText().isEmpty() || !mskURN->clipText().isEmpty())
        return;
    lookUp([this] { return m_entries.findById(LeadingNumber(mskID->clipText())); }, false);
}

void frmCTFMaint::cmdSave_Click()
{
    if (!m_entries.entryOpen())
        return;
    const QString kind = cboEntity->currentText();
    if (maint::EntryScreenState::asksForType(kind, cboType->currentIndex() >= 0)) {
        if (ui::current().message(QStringLiteral("This type of entity usually requires a type and none has been selected - continue save?"),
                                  QStringLiteral("Saving item"), MsgIcon::None, MsgButtons::YesNo, MsgResult::No)
            == MsgResult::No) {
            // The type box's rule refills its list as the focus arrives.
            fieldfocus::moveTo(this, cboType);
            return;
        }
    }
    maint::EntryInput in;
    in.crn = mskURN->trimmedText();
    in.entity = kind;
    in.memberNo = maint::EntryScreenState::memberNumberToSave(txtMemberNo->text(), m_entries.memberDbOpen());
    in.dob = mskDOB->text();
    in.amount = mskAmount->text();
    if (cboType->currentIndex() >= 0)
        in.typeCode = cboType->currentData().toInt();
    in.sent = chkSent->isChecked();
    try {
        m_entries.save(in);
    } catch (const CtfError &e) {
        reportFailure(QStringLiteral("The entry was not saved; it is still on the screen."), e.description());
        return;
    }
    readyForNextEntry();
}

void frmCTFMaint::cmdDelete_Click()
{
    try {
        m_entries.deleteEntry();
    } catch (const CtfError &e) {
        reportFailure(QStringLiteral("The entry was not deleted; it is still on the screen."), e.description());
        return;
    }
    readyForNextEntry();
}

void frmCTFMaint::readyForNextEntry()
{
    ClearEntry();
    mskURN->setMaskedText(QString());
    mskID->setMaskedText(QString());
    focusUrn();
}

void frmCTFMaint::CmdView_Click() { screens::showEnquiry(); }
void frmCTFMaint::cmdExit_Click() { close(); }

void frmCTFMaint::txtMemberNo_LostFocus()
{
    RestoreBackColor(txtMemberNo);
    const double number = LeadingNumber(txtMemberNo->text());
    if (!m_entries.memberDbOpen() || number == 0)
        return;
    try {
        const auto member = m_entries.lookUpMember(number);
        lblName->setText(maint::EntryScreenState::nameOfTypedMember(member ? std::optional<QString>(member->name) : std::nullopt));
        if (member && member->dob && mskDOB->clipText().isEmpty())
            mskDOB->setMaskedText(dates::dayFirst(*member->dob));
    } catch (const CtfError &e) {
        reportFailure(QStringLiteral("The member could not be looked up."), e.description());
    }
}

void frmCTFMaint::mskDOB_Change()
{
    lblAge->clear();
    lblAge->setText(entryrules::ageText(mskDOB->text(), m_today));
}

void frmCTFMaint::mskAmount_LostFocus()
{
    RestoreBackColor(mskAmount);
    if (!entryrules::isAmountNumber(mskAmount->text()))
        mskAmount->setText(QStringLiteral("0"));
}

void frmCTFMaint::cboType_GotFocus() { fillTypeList(); }

void frmCTFMaint::chkSent_Click()
{
    if (!chkSent->isChecked())
        chkSent->setText(QString());
}

void frmCTFMaint::chkSent_GotFocus()
{
    if (chkSent->isChecked())
        chkSent->setToolTip(QStringLiteral("Uncheck this box if you need to submit this record"));
    setSentBackground(focusColour());
}

void frmCTFMaint::chkSent_LostFocus() { setSentBackground(palette().color(QPalette::Window)); }

// A check box fills its background with its own role's colour (the button
// colour), not the window colour.
void frmCTFMaint::setSentBackground(const QColor &colour)
{
    QPalette p = chkSent->palette();
    p.setColor(chkSent->backgroundRole(), colour);
    chkSent->setPalette(p);
}

bool frmCTFMaint::amountKeyPress(QKeyEvent *key)
{
    const QString t = key->text();
    QChar c;
    if (key->key() == Qt::Key_Backspace)
        c = QChar(8);
    else if (!t.isEmpty() && t[0].isPrint())
        c = t[0];
    else
        return false; // not a typed character
    const int selStart = mskAmount->hasSelectedText() ? mskAmount->selectionStart() : mskAmount->cursorPosition();
    const int selLen = mskAmount->hasSelectedText() ? int(mskAmount->selectedText().size()) : 0;
    switch (entryrules::amountKey(mskAmount->text(), mskAmount->cursorPosition(), selStart, selLen, c)) {
    case entryrules::AmountKey::Keep:
        return false;
    case entryrules::AmountKey::Drop:
        return true;
    case entryrules::AmountKey::Beep:
        QApplication::beep();
        return true;
    case entryrules::AmountKey::ZeroPoint:
        mskAmount->setText(QStringLiteral("0."));
        mskAmount->setCursorPosition(2);
        return true;
    }
    return false;
}

bool frmCTFMaint::eventFilter(QObject *watched, QEvent *event)
{
    QObject *w = watched;
    if (w == cboEntity->lineEdit())
        w = cboEntity;
    else if (w == cboType->lineEdit())
        w = cboType;
    if (isEnterKey(event)) {
        // Enter as Tab: the key is dropped and a Tab sent.
        ShellSendKeys(QStringLiteral("{tab}"));
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (w == txtMemberNo) {
            const QString t = key->text();
            const int code = key->key() == Qt::Key_Backspace ? 8 : (t.isEmpty() ? -1 : t[0].unicode());
            if (code >= 0 && (code == 8 || QChar(code).isPrint()) && entryrules::NumeralsOnly(code) == 0)
                return true;
        } else if (w == mskAmount) {
            if (amountKeyPress(key))
                return true;
        }
        return false;
    }
    const bool focusEvent = event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut;
    if (!focusEvent || watched != w || m_unloaded || !isFieldMove(event))
        return QWidget::eventFilter(watched, event);
    // Each field's rules on the focus arriving and leaving, as the original
    // screen's GotFocus and LostFocus handlers.
    using Rule = std::pair<QObject *, std::function<void()>>;
    const Rule gotFocus[] = {
        {mskURN, [this] { mskURN_GotFocus(); }},          {mskID, [this] { mskID_GotFocus(); }},
        {txtMemberNo, [this] { HighlightTextBox(txtMemberNo); }}, {mskDOB, [this] { HighlightTextBox(mskDOB); }},
        {mskAmount, [this] { HighlightTextBox(mskAmount); }}, {cboType, [this] { cboType_GotFocus(); }},
        {chkSent, [this] { chkSent_GotFocus(); }}};
    const Rule lostFocus[] = {
        {mskURN, [this] { mskURN_LostFocus(); }},         {mskID, [this] { mskID_LostFocus(); }},
        {txtMemberNo, [this] { txtMemberNo_LostFocus(); }}, {mskDOB, [this] { RestoreBackColor(mskDOB); }},
        {mskAmount, [this] { mskAmount_LostFocus(); }},   {chkSent, [this] { chkSent_LostFocus(); }}};
    const bool in = event->type() == QEvent::FocusIn;
    for (const auto &[field, rule] : in ? std::span<const Rule>(gotFocus) : std::span<const Rule>(lostFocus))
        if (field == w)
            rule();
    return QWidget::eventFilter(watched, event);
}
