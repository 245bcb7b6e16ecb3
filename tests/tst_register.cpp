// The CTF entry register: the field rules, the maintenance screen driven as
// an operator drives it (keys, Enter, focus changes), and the enquiry grid.
#include "app/appsettings.h"
#include "app/frmmenu.h"
#include "app/screens.h"
#include "common/error.h"
#include "data/connection.h"
#include "register/entrymaintenance.h"
#include "platform/maskededit.h"
#include "platform/qtuserinterface.h"
#include "register/entrycodes.h"
#include "register/entryrules.h"
#include "register/entryscreen.h"
#include "register/frmctfmaint.h"
#include "returns/entrygrid.h"
#include "returns/frmctfview.h"
#include "support/office.h"
#include "support/scriptedui.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QProcess>
#include <QTest>
#include <QTimer>

using entryrules::AmountKey;

namespace {
int g_ended = 0;
void recordEnd() { ++g_ended; }

const QString kCtf = QStringLiteral("K:\\CTF.mdb");
const QString kTarn = QStringLiteral("K:\\Tarnwell.mdb");

bool activate(QWidget &w)
{
    w.show();
    QApplication::setActiveWindow(&w);
    return QTest::qWaitForWindowActive(&w);
}

// Lets the event loop run until what the last key set going is done (the
// Tab that Enter turns into, the focus move after a question).
void settle()
{
    for (int turn = 0; turn < 3; ++turn)
        QApplication::processEvents();
}

// Enter, and the Tab it turns into.
void enter(QWidget *w)
{
    QTest::keyClick(w, Qt::Key_Return);
    settle();
}

void tab(QWidget *w)
{
    QTest::keyClick(w, Qt::Key_Tab);
    settle();
}

// A new Endowment begun from the URN field, the focus in the kind box.
bool newEndowment(frmCTFMaint &s)
{
    if (!activate(s))
        return false;
    QTest::keyClicks(s.mskURN, QStringLiteral("EF111111"));
    enter(s.mskURN); // not on file: create
    QTest::keyClicks(s.cboEntity, QStringLiteral("Endowment"));
    return true;
}

QString row(TestOffice &o, const QString &columns, const QString &where = QStringLiteral("1"))
{
    return o.scalar(kCtf, QStringLiteral("SELECT %1 FROM ChildTrustFunds WHERE %2").arg(columns, where)).toString();
}

struct Buttons {
    bool save, del, view, exit;
    bool operator==(const Buttons &) const = default;
};
Buttons buttons(const frmCTFMaint &s)
{
    return {s.cmdSave->isEnabled(), s.cmdDelete->isEnabled(), s.CmdView->isEnabled(), s.cmdExit->isEnabled()};
}
const Buttons kKeyField{false, false, true, true};
const Buttons kShown{true, true, false, false};

char *toString(const Buttons &b)
{
    return qstrdup(QStringLiteral("save %1 delete %2 view %3 exit %4").arg(b.save).arg(b.del).arg(b.view).arg(b.exit).toLatin1());
}

void addMember(TestOffice &o)
{
    o.exec(kTarn, QStringLiteral("INSERT INTO MemberMain VALUES (1001, 'Amelia', 'Smith', '2015-02-01', 'AB1')"));
    o.exec(kTarn, QStringLiteral("INSERT INTO Control VALUES ('Demo CU', '2026-09-30')"));
}
} // namespace

class tst_register : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QtUserInterface::installKeySender();
        screens::setEndProgramHandler(recordEnd);
    }
    void amountFilter_data();
    void amountFilter();
    void amountNumber_data();
    void amountNumber();
    void age_data();
    void age();
    void numeralsOnly();
    void kindsAndTypes();
    void typicalPass();
    void findByIdAndResubmit();
    void typeListAndWarning();
    void newEntryFromId();
    void saveConflictKeepsEntry();
    void memberDatabaseUnavailable();
    void fieldKeysOnScreen();
    void typeFromThePopup_data();
    void typeFromThePopup();
    void sentBoxHighlight();
    void windowChangesRunNoFieldRule();
    void workflowStatements();
    void workflowSaveRules();
    void gridSortAlternation();
    void gridScreen();
    void severalScreensAndTheCommandLine();
    void screenStateWithoutWidgets_data();
    void screenStateWithoutWidgets();
    void lookUpAnsweredNoOnTheRealBox_data();
    void lookUpAnsweredNoOnTheRealBox();
};

void tst_register::amountFilter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("caret");
    QTest::addColumn<int>("selStart");
    QTest::addColumn<int>("selLen");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("result");
    QTest::newRow("digit") << "12" << 2 << 2 << 0 << "3" << int(AmountKey::Keep);
    QTest::newRow("third decimal") << "12.50" << 5 << 5 << 0 << "3" << int(AmountKey::Drop);
    QTest::newRow("digit before point, two decimals") << "12.50" << 0 << 0 << 0 << "3" << int(AmountKey::Drop);
    QTest::newRow("one decimal") << "12.5" << 4 << 4 << 0 << "3" << int(AmountKey::Keep);
    QTest::newRow("second point") << "12.5" << 4 << 4 << 0 << "." << int(AmountKey::Beep);
    QTest::newRow("point over selected point") << "12.50" << 3 << 2 << 1 << "." << int(AmountKey::Keep);
    QTest::newRow("point at start") << "125" << 0 << 0 << 0 << "." << int(AmountKey::ZeroPoint);
    QTest::newRow("point at end") << "125" << 3 << 3 << 0 << "." << int(AmountKey::Keep);
    QTest::newRow("minus") << "12" << 0 << 0 << 0 << "-" << int(AmountKey::Keep);
    QTest::newRow("second minus") << "-12" << 3 << 3 << 0 << "-" << int(AmountKey::Drop);
    QTest::newRow("comma") << "1" << 1 << 1 << 0 << "," << int(AmountKey::Keep);
    QTest::newRow("letter") << "1" << 1 << 1 << 0 << "x" << int(AmountKey::Beep);
    QTest::newRow("digit replacing all") << "12.50" << 5 << 0 << 5 << "3" << int(AmountKey::Keep);
}

void tst_register::amountFilter()
{
    QFETCH(QString, text);
    QFETCH(int, caret);
    QFETCH(int, selStart);
    QFETCH(int, selLen);
    QFETCH(QString, key);
    QFETCH(int, result);
    QCOMPARE(int(entryrules::amountKey(text, caret, selStart, selLen, key[0])), result);
}

void tst_register::amountNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("number");
    QTest::newRow("plain") << "12.50" << true;
    QTest::newRow("grouped") << " 1,234.50 " << true;
    QTest::newRow("leading minus") << "-3" << true;
    QTest::newRow("trailing minus") << "12.50-" << true;
    QTest::newRow("empty form") << "____.__-" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("two points") << "1.2.3" << false;
    QTest::newRow("letters") << "12a" << false;
}

void tst_register::amountNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, number);
    QCOMPARE(entryrules::isAmountNumber(text), number);
}

void tst_register::age_data()
{
    QTest::addColumn<QString>("dob");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("age");
    QTest::newRow("29 Feb, 28 Feb common year") << "29/02/2008" << QDate(2027, 2, 28) << "18";
    QTest::newRow("29 Feb, 1 Mar common year") << "29/02/2008" << QDate(2027, 3, 1) << "19";
    QTest::newRow("29 Feb, 29 Feb leap year") << "29/02/2008" << QDate(2028, 2, 29) << "20";
    QTest::newRow("29 Feb, 28 Feb leap year") << "29/02/2008" << QDate(2028, 2, 28) << "19";
    QTest::newRow("single digit") << "06/12/2019" << QDate(2026, 12, 6) << "07";
    QTest::newRow("day before birthday") << "07/12/2019" << QDate(2026, 12, 6) << "06";
    QTest::newRow("born after today") << "01/01/2028" << QDate(2026, 12, 6) << "-02";
    QTest::newRow("not a date") << "31/02/2020" << QDate(2026, 12, 6) << "";
    QTest::newRow("incomplete") << "01/02/20__" << QDate(2026, 12, 6) << "";
}

void tst_register::age()
{
    QFETCH(QString, dob);
    QFETCH(QDate, today);
    QFETCH(QString, age);
    QCOMPARE(entryrules::ageText(dob, today), age);
}

void tst_register::numeralsOnly()
{
    QCOMPARE(entryrules::NumeralsOnly('7'), int('7'));
    QCOMPARE(entryrules::NumeralsOnly(8), 8);
    QCOMPARE(entryrules::NumeralsOnly('a'), 0);
    QCOMPARE(entryrules::NumeralsOnly('.'), 0);
}

void tst_register::kindsAndTypes()
{
    QCOMPARE(entrycodes::kinds(), QStringList({"Voucher", "RAA", "Exception", "Endowment", "TransferedIn", "ChildDeath"}));
    QCOMPARE(entrycodes::endowmentTypes().size(), 9);
    QCOMPARE(entrycodes::endowmentTypes()[6].text, QStringLiteral("DLA Contribution (6)"));
    QCOMPARE(entrycodes::exceptionTypes()[0].code, 1);
    QCOMPARE(entrycodes::exceptionTypes()[2].text, QStringLiteral("Other exception"));
    QVERIFY(entrycodes::typesFor(QStringLiteral("endowment")).isEmpty()); // exact kind names only
}

void tst_register::typicalPass()
{
    TestOffice office;
    ScriptedUiScope scope;
    addMember(office);
    frmCTFMaint s;
    QCOMPARE(s.windowTitle(), QStringLiteral(" CTF - Entry maintenance"));
    QCOMPARE(s.lblCreditUnionName->text(), QStringLiteral("Demo CU"));
    QCOMPARE(s.lblThisYear->text(), QStringLiteral("Processing for year end 30/09/2026"));
    QCOMPARE(s.cmdSave->toolTip(), QStringLiteral("Save entry to file"));
    QVERIFY(activate(s));
    QCOMPARE(QApplication::focusWidget(), s.mskURN);
    QCOMPARE(buttons(s), kKeyField);
    QCOMPARE(s.mskURN->palette().color(QPalette::Base), frmCTFMaint::highlightColour());

    QTest::keyClicks(s.mskURN, QStringLiteral("ab123456c"));
    enter(s.mskURN);
    QCOMPARE(scope.ui().messages.size(), 1);
    QCOMPARE(scope.ui().messages[0].text, QStringLiteral("Record not on file - Create?"));
    QCOMPARE(scope.ui().messages[0].title, QStringLiteral(" CTF - Entry maintenance"));
    QCOMPARE(scope.ui().messages[0].icon, MsgIcon::Information);
    QCOMPARE(QApplication::focusWidget(), s.cboEntity);
    QCOMPARE(s.cmdDelete->text(), QStringLiteral("&Reject"));
    QCOMPARE(buttons(s), kShown);

    QTest::keyClicks(s.cboEntity, QStringLiteral("Voucher"));
    enter(s.cboEntity);
    QCOMPARE(QApplication::focusWidget(), s.txtMemberNo);
    QTest::keyClicks(s.txtMemberNo, QStringLiteral("10x01"));
    QCOMPARE(s.txtMemberNo->text(), QStringLiteral("1001"));
    const QList<QRect> fieldsBefore{s.txtMemberNo->geometry(), s.mskDOB->geometry(), s.mskAmount->geometry()};
    enter(s.txtMemberNo);
    QCOMPARE(s.lblName->text(), QStringLiteral("Amelia Smith"));
    // The name and the age appear beside the fields without moving them.
    QCOMPARE(QList<QRect>({s.txtMemberNo->geometry(), s.mskDOB->geometry(), s.mskAmount->geometry()}), fieldsBefore);
    QCOMPARE(s.mskDOB->text(), QStringLiteral("01/02/2015")); // from the member, the field being empty
    QVERIFY(!s.lblAge->text().isEmpty());
    QCOMPARE(QApplication::focusWidget(), s.mskDOB);
    enter(s.mskDOB);
    QCOMPARE(QApplication::focusWidget(), s.mskAmount);
    QTest::keyClicks(s.mskAmount, QStringLiteral("250.50"));
    enter(s.mskAmount);
    QCOMPARE(QApplication::focusWidget(), s.cboType);
    QCOMPARE(s.cboType->count(), 0);
    s.cmdSave->click();
    QCOMPARE(row(office, QStringLiteral("CRN||'|'||Entity||'|'||MemberNo||'|'||DOB||'|'||Amount||'|'||Type||'|'||RecordOutput")),
             QStringLiteral("AB123456C|Voucher|1001|01/02/2015|250.5||0"));
    QCOMPARE(QApplication::focusWidget(), s.mskURN);
    QCOMPARE(buttons(s), kKeyField);
    QCOMPARE(s.mskURN->text(), QStringLiteral("_________"));
    QCOMPARE(s.mskAmount->text(), QStringLiteral("____.__-"));
    QCOMPARE(scope.ui().messages.size(), 1); // no message confirms a save

    // Found again by URN.
    QTest::keyClicks(s.mskURN, QStringLiteral("AB123456C"));
    tab(s.mskURN);
    QCOMPARE(buttons(s), kShown);
    QCOMPARE(s.cmdDelete->text(), QStringLiteral("&Delete"));
    QVERIFY(s.recordOnFile());
    QCOMPARE(s.cboEntity->currentText(), QStringLiteral("Voucher"));
    QCOMPARE(s.mskID->clipText(), row(office, QStringLiteral("ID")));
    QCOMPARE(s.mskAmount->text(), QStringLiteral("250.5"));
    QCOMPARE(s.lblName->text(), QStringLiteral("Amelia Smith"));
    // Moving into the ID field empties the details and offers the key-field buttons.
    s.mskID->setFocus();
    QApplication::processEvents();
    QCOMPARE(buttons(s), kKeyField);
    QCOMPARE(s.cboEntity->currentText(), QString());
    // Delete it: look it up by URN again, then Delete.
    s.mskID->setMaskedText(QString());
    s.mskURN->setFocus();
    QApplication::processEvents();
    tab(s.mskURN);
    QVERIFY(s.recordOnFile());
    s.cmdDelete->click();
    QCOMPARE(row(office, QStringLiteral("count(*)")), QStringLiteral("0"));
    QCOMPARE(buttons(s), kKeyField);
}

void tst_register::findByIdAndResubmit()
{
    TestOffice office;
    ScriptedUiScope scope;
    addMember(office);
    const qint64 id = office.addEntry(QStringLiteral("Endowment"), QStringLiteral("CD654321"), QStringLiteral("03/04/2010"), 12.5,
                                      QStringLiteral("7"), QStringLiteral("R9"), {}, true);
    office.exec(kCtf, QStringLiteral("UPDATE ChildTrustFunds SET PeriodEndSent = '30/11/26', SentRef = 'From ID 1 to 1', MemberNo = 9999"));
    frmCTFMaint s;
    QVERIFY(activate(s));
    // Nothing on the screen moves when an entry (sent, with its date) is shown.
    const auto places = [&s] {
        QList<QRect> at;
        for (QWidget *w : s.findChildren<QWidget *>())
            if (w->isVisible() && (qobject_cast<QLabel *>(w) || qobject_cast<QLineEdit *>(w) || qobject_cast<QAbstractButton *>(w)))
                at << QRect(w->mapTo(&s, QPoint(0, 0)), w->size());
        return at;
    };
    const QList<QRect> empty = places();
    tab(s.mskURN); // empty URN: on to the ID field
    QCOMPARE(QApplication::focusWidget(), s.mskID);
    QTest::keyClicks(s.mskID, QString::number(id));
    // Tab from the ID field would wrap round to the URN field, whose focus
    // rule takes Save away again; the operator clicks into the entry instead.
    // The click selects the whole amount, so what is typed replaces it; a
    // second click in the same field places the caret.
    QTest::mouseClick(s.mskAmount, Qt::LeftButton, {}, QPoint(s.mskAmount->width() - 4, s.mskAmount->height() / 2));
    QCOMPARE(buttons(s), kShown);
    QCOMPARE(s.mskAmount->selectedText(), QStringLiteral("12.5"));
    QTest::keyClicks(s.mskAmount, QStringLiteral("250"));
    QCOMPARE(s.mskAmount->text(), QStringLiteral("250"));
    QTest::mouseClick(s.mskAmount, Qt::LeftButton, {}, QPoint(4, s.mskAmount->height() / 2));
    QVERIFY(!s.mskAmount->hasSelectedText());
    QCOMPARE(s.mskURN->trimmedText(), QStringLiteral("CD654321"));
    QCOMPARE(s.lblName->text(), QStringLiteral("not known"));
    QCOMPARE(s.cboType->currentText(), QStringLiteral("DLA Higher Rate (7)"));
    QVERIFY(s.chkSent->isChecked());
    QCOMPARE(s.chkSent->text(), QStringLiteral("Submitted on 30/11/26"));
    QCOMPARE(s.mskDOB->text(), QStringLiteral("03/04/2010"));
    QApplication::processEvents();
    QCOMPARE(places(), empty);
    s.chkSent->setFocus();
    QApplication::processEvents();
    QCOMPARE(s.chkSent->toolTip(), QStringLiteral("Uncheck this box if you need to submit this record"));
    QTest::keyClick(s.chkSent, Qt::Key_Space);
    QVERIFY(!s.chkSent->isChecked());
    QCOMPARE(s.chkSent->text(), QString());
    s.cmdSave->click();
    QCOMPARE(row(office, QStringLiteral("RecordOutput||'|'||ifnull(PeriodEndSent,'null')||'|'||SentRef||'|'||Type||'|'||Ref||'|'||Amount")),
             QStringLiteral("0|null|From ID 1 to 1|7|R9|250"));
}

void tst_register::typeListAndWarning()
{
    TestOffice office;
    ScriptedUiScope scope;
    frmCTFMaint s;
    QVERIFY(newEndowment(s));
    s.cboType->setFocus();
    QApplication::processEvents();
    QCOMPARE(s.cboType->count(), 9);
    // Without a type the save asks first; No goes back to the type box.
    scope.ui().answers.enqueue(MsgResult::No);
    s.cmdSave->click();
    const RecordedMessage &m = scope.ui().messages.last();
    QCOMPARE(m.text, QStringLiteral("This type of entity usually requires a type and none has been selected - continue save?"));
    QCOMPARE(m.title, QStringLiteral("Saving item"));
    QCOMPARE(m.defaultButton, MsgResult::No);
    QCOMPARE(QApplication::focusWidget(), s.cboType);
    QCOMPARE(row(office, QStringLiteral("count(*)")), QStringLiteral("0"));
    // Entering the type box again empties the choice.
    s.cboType->setCurrentIndex(6);
    s.mskAmount->setFocus();
    QApplication::processEvents();
    s.cboType->setFocus();
    QApplication::processEvents();
    QCOMPARE(s.cboType->currentIndex(), -1);
    s.cboType->setCurrentIndex(6);
    // The kind changes to Voucher: the endowment type stays chosen and is saved.
    s.cboEntity->setEditText(QStringLiteral("Voucher"));
    s.cmdSave->click();
    QCOMPARE(row(office, QStringLiteral("Entity||'|'||Type")), QStringLiteral("Voucher|6"));
}

void tst_register::newEntryFromId()
{
    TestOffice office;
    ScriptedUiScope scope;
    frmCTFMaint s;
    QVERIFY(activate(s));
    tab(s.mskURN);
    QTest::keyClicks(s.mskID, QStringLiteral("999"));
    tab(s.mskID);
    QCOMPARE(scope.ui().messages.last().text, QStringLiteral("Record not on file - Create?"));
    QCOMPARE(QApplication::focusWidget(), s.mskURN);
    QCOMPARE(buttons(s), kKeyField);
    QTest::keyClicks(s.mskURN, QStringLiteral("GH22222"));
    tab(s.mskURN);
    QCOMPARE(buttons(s), kShown);
    QCOMPARE(s.cmdDelete->text(), QStringLiteral("&Reject"));
    QTest::keyClicks(s.cboEntity, QStringLiteral("RAA"));
    s.cmdSave->click();
    QCOMPARE(row(office, QStringLiteral("CRN||'|'||Entity||'|'||(ID <> 999)")), QStringLiteral("GH22222|RAA|1"));
    // Answering No keeps the ID field and creates nothing.
    scope.ui().answers.enqueue(MsgResult::No);
    tab(s.mskURN);
    QTest::keyClicks(s.mskID, QStringLiteral("998"));
    tab(s.mskID);
    QCOMPARE(QApplication::focusWidget(), s.mskID);
    QCOMPARE(buttons(s), kKeyField);
    QCOMPARE(row(office, QStringLiteral("count(*)")), QStringLiteral("1"));
}

void tst_register::saveConflictKeepsEntry()
{
    TestOffice office;
    ScriptedUiScope scope;
    office.addEntry(QStringLiteral("Voucher"), QStringLiteral("JK333333B"), QStringLiteral("01/01/2010"), 10);
    frmCTFMaint s;
    QVERIFY(activate(s));
    QTest::keyClicks(s.mskURN, QStringLiteral("JK333333B"));
    tab(s.mskURN);
    QVERIFY(s.recordOnFile());
    // The return run marks the entry while it is on screen.
    office.exec(kCtf, QStringLiteral("UPDATE ChildTrustFunds SET RecordOutput = 1, PeriodEndSent = '06/12/26'"));
    s.mskAmount->setText(QStringLiteral("99"));
    s.cmdSave->click();
    const RecordedMessage &m = scope.ui().messages.last();
    QVERIFY2(m.text.contains(QStringLiteral("changed or deleted")), qPrintable(m.text));
    QCOMPARE(m.title, QStringLiteral(" CTF - Entry maintenance"));
    QCOMPARE(s.mskURN->text(), QStringLiteral("JK333333B"));
    QCOMPARE(s.mskAmount->text(), QStringLiteral("99"));
    QCOMPARE(row(office, QStringLiteral("Amount||'|'||RecordOutput")), QStringLiteral("10|1"));
}

// Without the member database the screen works without member numbers and
// names (what a save then keeps is the workflow's, tested without widgets).
void tst_register::memberDatabaseUnavailable()
{
    TestOffice office;
    ScriptedUiScope scope;
    QVERIFY(QFile::remove(office.host(kTarn)));
    frmCTFMaint s;
    QVERIFY(!s.memberDbOpen());
    QCOMPARE(s.lblCreditUnionName->text(), QStringLiteral("Credit Union"));
    QCOMPARE(s.txtMemberNo->text(), QStringLiteral("Not in use"));
    QVERIFY(!s.txtMemberNo->isEnabled());
    QCOMPARE(s.txtMemberNo->toolTip(), QStringLiteral("Not in use"));
    QVERIFY(scope.ui().messages.isEmpty());
}

void tst_register::fieldKeysOnScreen()
{
    TestOffice office;
    ScriptedUiScope scope;
    const FixedClock clock(QDateTime(QDate(2026, 1, 31), QTime(9, 0)));
    frmCTFMaint s;
    QVERIFY(activate(s));
    tab(s.mskURN); // an empty URN moves on to the ID field
    s.mskAmount->setFocus();
    QApplication::processEvents();
    QCOMPARE(s.mskAmount->palette().color(QPalette::Base), frmCTFMaint::highlightColour());
    QTest::keyClick(s.mskAmount, Qt::Key_Period); // at the start: "0."
    QCOMPARE(s.mskAmount->text(), QStringLiteral("0."));
    QTest::keyClicks(s.mskAmount, QStringLiteral("505.x"));
    QCOMPARE(s.mskAmount->text(), QStringLiteral("0.50"));
    s.cboType->setFocus(); // leaving a number as it is
    QApplication::processEvents();
    QCOMPARE(s.mskAmount->text(), QStringLiteral("0.50"));
    QCOMPARE(s.mskAmount->palette().color(QPalette::Base), frmCTFMaint::normalColour());
    s.mskAmount->setText(QStringLiteral("____.__-"));
    s.mskAmount->setFocus();
    QApplication::processEvents();
    s.cboType->setFocus();
    QApplication::processEvents();
    QCOMPARE(s.mskAmount->text(), QStringLiteral("0"));
    // The date field shows its mask and the age follows it.
    QCOMPARE(s.mskDOB->text(), QStringLiteral("__/__/____"));
    s.mskDOB->setFocus();
    QApplication::processEvents();
    QTest::keyClicks(s.mskDOB, QStringLiteral("01022015"));
    QCOMPARE(s.mskDOB->text(), QStringLiteral("01/02/2015"));
    QCOMPARE(s.lblAge->text(), QStringLiteral("10")); // eleven tomorrow
    QTest::keyClick(s.mskDOB, Qt::Key_Backspace);
    QCOMPARE(s.lblAge->text(), QString());
}

void tst_register::typeFromThePopup_data()
{
    QTest::addColumn<bool>("mouse");
    QTest::addColumn<int>("code");
    QTest::newRow("mouse") << true << 6;
    QTest::newRow("Alt+Down, Down, Return") << false << 1;
}

// A type picked from the drop-down list stays chosen and is saved.
void tst_register::typeFromThePopup()
{
    QFETCH(bool, mouse);
    QFETCH(int, code);
    TestOffice office;
    ScriptedUiScope scope;
    frmCTFMaint s;
    QVERIFY(newEndowment(s));
    QAbstractItemView *list = s.cboType->view();
    if (mouse) {
        // A click on the arrow gives the box the focus and opens the list.
        QTest::mouseClick(s.cboType, Qt::LeftButton, {}, QPoint(s.cboType->width() - 6, s.cboType->height() / 2));
        QTRY_VERIFY(list->isVisible());
        QCOMPARE(s.cboType->count(), 9);
        // The list takes a release within a double-click time of its opening
        // for the end of the click that opened it.
        QTest::qWait(QApplication::doubleClickInterval() + 200);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(code, 0)).center());
    } else {
        tab(s.cboEntity);
        tab(s.txtMemberNo);
        tab(s.mskDOB);
        tab(s.mskAmount);
        QCOMPARE(QApplication::focusWidget(), s.cboType);
        QTest::keyClick(s.cboType, Qt::Key_Down, Qt::AltModifier);
        QTRY_VERIFY(list->isVisible());
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Return);
    }
    QTRY_VERIFY(!list->isVisible());
    QApplication::processEvents();
    QCOMPARE(s.cboType->currentData().toInt(), code);
    // Another window in front and back again: the choice stays.
    QWidget other;
    QVERIFY(activate(other));
    QVERIFY(activate(s));
    QCOMPARE(QApplication::focusWidget(), s.cboType);
    QCOMPARE(s.cboType->currentData().toInt(), code);
    s.cmdSave->click();
    QCOMPARE(row(office, QStringLiteral("Entity||'|'||Type")), QStringLiteral("Endowment|%1").arg(code));
    QCOMPARE(scope.ui().messages.size(), 1); // no warning about a missing type
}

void tst_register::sentBoxHighlight()
{
    TestOffice office;
    ScriptedUiScope scope;
    frmCTFMaint s;
    QVERIFY(activate(s));
    const auto background = [&] {
        const QImage shot = s.chkSent->grab().toImage();
        return QColor(shot.pixel(shot.width() - 3, shot.height() / 2));
    };
    QTest::keyClicks(s.mskURN, QStringLiteral("EF111111"));
    enter(s.mskURN); // not on file: create
    const QColor normal = background();
    s.chkSent->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    QCOMPARE(background(), frmCTFMaint::highlightColour());
    tab(s.chkSent);
    QCOMPARE(background(), normal);
}

// Another window coming to the front, the main screen's Exit and closing the
// screen are no moves between fields: nothing is looked up or asked.
void tst_register::windowChangesRunNoFieldRule()
{
    TestOffice office;
    ScriptedUiScope scope;
    frmMenu menu;
    menu.show();
    auto *s = static_cast<frmCTFMaint *>(screens::showMaintenance());
    QPointer<QWidget> alive(s);
    QVERIFY(QTest::qWaitForWindowActive(s));
    QTest::keyClicks(s->mskURN, QStringLiteral("AB123456C"));
    QStringList sent;
    Connection::setStatementObserver([&](const Connection &, const QString &sql) { sent << sql; });
    const auto bringForward = [](QWidget *w) {
        w->activateWindow();
        return QTest::qWaitForWindowActive(w);
    };
    QVERIFY(bringForward(&menu));
    QVERIFY(bringForward(s));
    QCOMPARE(buttons(*s), kKeyField);
    QCOMPARE(s->mskURN->text(), QStringLiteral("AB123456C"));
    QVERIFY(bringForward(&menu));
    g_ended = 0;
    QTest::mouseClick(menu.cmdExit, Qt::LeftButton);
    QCOMPARE(g_ended, 1);
    QVERIFY(bringForward(s));
    s->close();
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Connection::setStatementObserver({});
    QVERIFY(alive.isNull());
    QCOMPARE(sent, QStringList());
    QCOMPARE(scope.ui().messages.size(), 0);
}

// The workflow without widgets: the statements exactly as sent, and what the
// look-ups find.
void tst_register::workflowStatements()
{
    TestOffice office;
    addMember(office);
    const qint64 id = office.addEntry(QStringLiteral("Endowment"), QStringLiteral("AB123456C"), QStringLiteral("03/04/2010"), 12.5,
                                      QStringLiteral("7"), {}, {}, true);
    office.exec(kCtf, QStringLiteral("UPDATE ChildTrustFunds SET MemberNo = 1001, PeriodEndSent = '30/11/26'"));
    maint::EntryMaintenance m;
    QStringList sent;
    Connection::setStatementObserver([&](const Connection &c, const QString &sql) {
        sent << (&c == &m.registerConnection() ? QStringLiteral("ctf: ") : QStringLiteral("member: ")) + sql;
    });
    m.openRegister(GetConnectionString(QStringLiteral("CTF")));
    QVERIFY(m.openMemberDatabase(GetConnectionString(QStringLiteral("Tarnwell"))));
    const auto control = m.readControl();
    QVERIFY(control);
    QCOMPARE(control->cuname, QStringLiteral("Demo CU"));
    QCOMPARE(control->yearEnd, QStringLiteral("30/09/2026"));
    QVERIFY(m.findByUrn(QStringLiteral("AB123456C")));
    const maint::Entry e = m.entry();
    QCOMPARE(e.id, QString::number(id));
    QCOMPARE(e.memberNo, QStringLiteral("1001"));
    QCOMPARE(e.dob, QDate(2010, 4, 3));
    QCOMPARE(e.amount, QStringLiteral("12.5"));
    QCOMPARE(e.typeCode, std::optional<int>(7));
    QVERIFY(e.sent);
    QCOMPARE(e.periodEndSent, QStringLiteral("30/11/26"));
    QCOMPARE(m.memberName(1001), std::optional<QString>(QStringLiteral("Amelia Smith")));
    QVERIFY(!m.findById(double(id + 1)));
    QVERIFY(!m.recordOnFile());
    const auto member = m.lookUpMember(1001);
    QVERIFY(member);
    QCOMPARE(member->dob, QDate(2015, 2, 1));
    QVERIFY(!m.lookUpMember(2));
    Connection::setStatementObserver({});
    QCOMPARE(sent, QStringList({
        QStringLiteral("member: Select * FROM Control ;"),
        QStringLiteral("ctf: Select * FROM ChildTrustFunds WHERE CRN = 'AB123456C' ;"),
        QStringLiteral("member: Select Forename, Surname FROM MemberMain WHERE MemberNo = 1001 ;"),
        QStringLiteral("ctf: Select * FROM ChildTrustFunds WHERE ID = %1 ;").arg(id + 1),
        QStringLiteral("member: Select * FROM MemberMain WHERE MemberNo = 1001 ;"),
        QStringLiteral("member: Select * FROM MemberMain WHERE MemberNo = 2 ;")}));
}

void tst_register::workflowSaveRules()
{
    TestOffice office;
    const qint64 id = office.addEntry(QStringLiteral("Voucher"), QStringLiteral("JK333333B"), QStringLiteral("01/01/2010"), 10, {}, {}, {}, true);
    office.exec(kCtf, QStringLiteral("UPDATE ChildTrustFunds SET MemberNo = 1234, PeriodEndSent = '30/11/26', SentRef = 'From ID 1 to 1'"));
    const QString columns = QStringLiteral("CRN||'|'||Entity||'|'||MemberNo||'|'||DOB||'|'||Amount||'|'||quote(Type)||'|'||RecordOutput||'|'||"
                                           "ifnull(PeriodEndSent,'null')||'|'||ifnull(SentRef,'null')");
    QVERIFY(QFile::remove(office.host(kTarn))); // no member database
    maint::EntryMaintenance m;
    m.openRegister(GetConnectionString(QStringLiteral("CTF")));
    QVERIFY(!m.openMemberDatabase(GetConnectionString(QStringLiteral("Tarnwell"))));
    QVERIFY(!m.readControl());
    // An existing entry keeps its member number; unticking "sent" puts it back
    // into the next return; the amount reads as its leading number.
    QVERIFY(m.findById(double(id)));
    m.save({QStringLiteral("JK333333B"), QStringLiteral("RAA"), QStringLiteral("Not in use"), QStringLiteral("02/02/2010"),
            QStringLiteral("1,234.50"), std::nullopt, false});
    QCOMPARE(row(office, columns), QStringLiteral("JK333333B|RAA|1234|02/02/2010|1|''|0|null|From ID 1 to 1"));
    // A new entry gets 0 and the code of its type.
    QVERIFY(!m.findByUrn(QStringLiteral("LM444444")));
    m.save({QStringLiteral("LM444444"), QStringLiteral("Endowment"), QStringLiteral("Not in use"), QStringLiteral("__/__/____"),
            QStringLiteral("12.50-"), 6, false});
    QCOMPARE(row(office, columns, QStringLiteral("CRN = 'LM444444'")), QStringLiteral("LM444444|Endowment|0|__/__/____|12.5|'6'|0|null|null"));
    // A delete after the fields were emptied removes nothing.
    QVERIFY(m.findByUrn(QStringLiteral("LM444444")));
    m.forgetEntry();
    m.deleteEntry();
    QCOMPARE(row(office, QStringLiteral("count(*)")), QStringLiteral("2"));
    // A row changed since it was read is not overwritten.
    QVERIFY(m.findByUrn(QStringLiteral("LM444444")));
    office.exec(kCtf, QStringLiteral("UPDATE ChildTrustFunds SET Amount = 99 WHERE CRN = 'LM444444'"));
    QVERIFY_THROWS_EXCEPTION(DbError, m.save({QStringLiteral("LM444444"), QStringLiteral("Endowment"), QString(), QString(),
                                              QStringLiteral("1"), 6, true}));
    QVERIFY_THROWS_EXCEPTION(DbError, m.deleteEntry());
    QCOMPARE(row(office, QStringLiteral("Amount"), QStringLiteral("CRN = 'LM444444'")), QStringLiteral("99"));
}

void tst_register::gridSortAlternation()
{
    TestOffice office;
    for (int i = 0; i < 12; ++i)
        office.addEntry(i % 2 ? QStringLiteral("Voucher") : QStringLiteral("RAA"), QStringLiteral("AB%1").arg(11 - i, 6, 10, QChar('0')),
                        QStringLiteral("01/01/2010"), i * 10.5, {}, {}, {}, i >= 10);
    enquiry::EntryGridModel grid;
    grid.fill(enquiry::outstandingStatement());
    QCOMPARE(grid.rowCount(), 10);
    QCOMPARE(grid.columns(), QStringList({"ID", "Entity", "CRN", "DOB", "Amount", "DOD", "MemberNo", "PeriodEndSent", "RecordOutput",
                                          "Ref", "SentRef", "Type"}));
    QCOMPARE(grid.text(0, 1), QStringLiteral("RAA"));
    QCOMPARE(grid.text(0, 8), QStringLiteral("False"));
    grid.sortRows(0, 1); // ID as numbers: 2 before 10
    QCOMPARE(grid.text(0, 0), QStringLiteral("1"));
    QCOMPARE(grid.text(9, 0), QStringLiteral("10"));
    grid.sortRows(4, 2);
    QCOMPARE(grid.text(0, 4), QStringLiteral("94.5"));
    QCOMPARE(grid.text(9, 4), QStringLiteral("0"));

    frmCTFView view;
    QCOMPARE(view.windowTitle(), QStringLiteral(" CTF - Entry enquiry"));
    QCOMPARE(view.model()->rowCount(), 10);
    view.MSHFlexGrid1_Click(-1, 5); // Amount
    QCOMPARE(view.sortOrder(), qint16(1));
    QCOMPARE(view.model()->text(0, 4), QStringLiteral("0"));
    view.MSHFlexGrid1_Click(-1, 5);
    QCOMPARE(view.sortOrder(), qint16(2));
    QCOMPARE(view.model()->text(0, 4), QStringLiteral("94.5"));
    view.MSHFlexGrid1_Click(-1, 5);
    QCOMPARE(view.sortOrder(), qint16(1));
    view.MSHFlexGrid1_Click(-1, 3); // CRN: another column starts ascending
    QCOMPARE(view.sortColumn(), qint16(3));
    QCOMPARE(view.sortOrder(), qint16(1));
    QCOMPARE(view.model()->text(0, 2), QStringLiteral("AB000002"));
    view.MSHFlexGrid1_Click(2, 5); // a data cell never sorts
    QCOMPARE(view.sortColumn(), qint16(3));
    view.Command1_Click(); // See all keeps the sort state
    QCOMPARE(view.model()->rowCount(), 12);
    QCOMPARE(view.sortColumn(), qint16(3));
    view.MSHFlexGrid1_Click(-1, 3);
    QCOMPARE(view.sortOrder(), qint16(2));
    QCOMPARE(view.model()->text(0, 2), QStringLiteral("AB000011"));
}

void tst_register::gridScreen()
{
    TestOffice office;
    ScriptedUiScope scope;
    office.addEntry(QStringLiteral("Voucher"), QStringLiteral("AB000001"), QStringLiteral("01/01/2010"), 1);
    office.addEntry(QStringLiteral("TransferedIn"), QStringLiteral("AB000002"), QStringLiteral("01/01/2010"), 1, {}, {}, {}, true);
    office.exec(kCtf, QStringLiteral("UPDATE ChildTrustFunds SET PeriodEndSent = '30/11/2026', SentRef = 'From ID 1000000 to 1999999' "
                                     "WHERE RecordOutput = 1"));
    frmCTFView view;
    view.resize(600, 400);
    QVERIFY(activate(view));
    QTRY_COMPARE(view.size(), QSize(600, 400)); // as the window manager gives it
    QCOMPARE(view.MSHFlexGrid1->columnWidth(0), 70);
    QCOMPARE(view.MSHFlexGrid1->verticalHeader()->width(), 85);
    QVERIFY(view.MSHFlexGrid1->horizontalHeader()->font().bold());
    QCOMPARE(view.cmdClose->geometry().right() + 1, 600 - 4);
    QCOMPARE(view.cmdClose->geometry().bottom() + 1, 400 - 4);
    QCOMPARE(view.Command1->y(), view.cmdClose->y());
    QCOMPARE(view.MSHFlexGrid1->geometry(), QRect(4, 4, 592, view.cmdClose->y() - 8));
    // Too small for the grid: the buttons still move, the grid keeps its place.
    const QRect before = view.MSHFlexGrid1->geometry();
    view.resize(60, 20);
    QTRY_COMPARE(view.cmdClose->geometry().right() + 1, view.width() - 4);
    QCOMPARE(view.MSHFlexGrid1->geometry(), before);
    // See all: no title and no value is cut.
    view.Command1_Click();
    QCOMPARE(view.model()->rowCount(), 2);
    const QFontMetrics cells(view.MSHFlexGrid1->font()), titles(view.MSHFlexGrid1->horizontalHeader()->font());
    for (int c = 1; c < view.model()->columnCount(); ++c) {
        int needed = titles.horizontalAdvance(view.model()->headerData(c, Qt::Horizontal).toString());
        for (int r = 0; r < view.model()->rowCount(); ++r)
            needed = std::max(needed, cells.horizontalAdvance(view.model()->text(r, c)));
        QVERIFY2(view.MSHFlexGrid1->columnWidth(c) > needed, qPrintable(view.model()->headerData(c, Qt::Horizontal).toString()));
    }
    // A register that cannot be opened is reported, and the screen goes on.
    QVERIFY(QFile::remove(office.host(kCtf)));
    view.Command1_Click();
    QVERIFY(scope.ui().messages.last().text.contains(QStringLiteral("Could not find file 'K:\\CTF.mdb'.")));
}

// The maintenance screen stays open while the enquiry opens and closes and
// the command line runs beside it: its connection keeps its locks, so what
// it saves reaches the next return, and closing it brings no sent entry back.
void tst_register::severalScreensAndTheCommandLine()
{
    TestOffice office;
    ScriptedUiScope scope;
    addMember(office);
    for (const char *urn : {"AB000001", "AB000002", "AB000003"})
        office.addEntry(QStringLiteral("Voucher"), QString::fromLatin1(urn), QStringLiteral("01/02/2008"), 250);
    office.close(kCtf);
    const auto ctfadmin = [&](const QStringList &args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(CTFADMIN_EXE), QStringList{QStringLiteral("--root"), office.root()} + args);
        return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    };
    auto *s = qobject_cast<frmCTFMaint *>(screens::showMaintenance());
    QVERIFY(s && activate(*s));
    QWidget *enquiry = screens::showEnquiry();
    QVERIFY(enquiry && activate(*enquiry));
    enquiry->close();
    QApplication::processEvents();
    QCOMPARE(ctfadmin({QStringLiteral("enquiry")}), 0);
    for (const QFileInfo &fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files)) {
        const QString target = fd.symLinkTarget();
        QVERIFY2(!target.startsWith(office.root()) || !target.endsWith(QStringLiteral(" (deleted)")), qPrintable(target));
    }

    QVERIFY(activate(*s));
    QTest::keyClicks(s->mskURN, QStringLiteral("AB123456C"));
    enter(s->mskURN); // not on file: create
    QTest::keyClicks(s->cboEntity, QStringLiteral("Voucher"));
    enter(s->cboEntity);
    QTest::keyClicks(s->txtMemberNo, QStringLiteral("1001"));
    enter(s->txtMemberNo);
    enter(s->mskDOB);
    QTest::keyClicks(s->mskAmount, QStringLiteral("100"));
    enter(s->mskAmount);
    s->cmdSave->click();
    QCOMPARE(scope.ui().messages.size(), 1); // the look-up's question alone

    QCOMPARE(ctfadmin({QStringLiteral("return"), QStringLiteral("--period-end"), QStringLiteral("30/11/2026")}), 0);
    const QByteArray sent = office.readFile(QStringLiteral("K:\\Returns\\IRReturn.txt"));
    for (const char *urn : {"AB000001 ", "AB000002 ", "AB000003 ", "AB123456C"})
        QVERIFY2(sent.contains(QByteArray("Voucher|") + urn), urn);
    s->close();
    QApplication::processEvents();
    QCOMPARE(row(office, QStringLiteral("count(*)"), QStringLiteral("RecordOutput = 0")), QStringLiteral("0"));
    QCOMPARE(row(office, QStringLiteral("count(*)")), QStringLiteral("4"));
}

void tst_register::lookUpAnsweredNoOnTheRealBox_data()
{
    QTest::addColumn<bool>("byUrn");
    QTest::addColumn<int>("key"); // answers the question
    QTest::newRow("URN, Escape") << true << int(Qt::Key_Escape);
    QTest::newRow("URN, Alt+N") << true << int(Qt::Key_N);
    QTest::newRow("ID, Escape") << false << int(Qt::Key_Escape);
}

// The question on its real box, answered No from the keyboard: the key-field
// state (Save and Delete off, View and Exit on) and the key field's own
// focus rule, its text selected.
void tst_register::lookUpAnsweredNoOnTheRealBox()
{
    QFETCH(bool, byUrn);
    QFETCH(int, key);
    TestOffice office;
    std::unique_ptr<UserInterface> previous = ui::install(std::make_unique<QtUserInterface>());
    frmCTFMaint s;
    QVERIFY(activate(s));
    bool answered = false;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (QWidget *box = QApplication::activeModalWidget()) {
            QTest::keyClick(box, Qt::Key(key), key == Qt::Key_N ? Qt::AltModifier : Qt::NoModifier);
            answered = true;
        }
    });
    answer.start(20);
    MaskedEdit *field = byUrn ? s.mskURN : s.mskID;
    if (!byUrn)
        tab(s.mskURN);
    QTest::keyClicks(field, byUrn ? QStringLiteral("AB123456C") : QStringLiteral("77"));
    enter(field);
    QTRY_VERIFY(answered);
    QTRY_VERIFY(!QApplication::activeModalWidget());
    if (!s.isActiveWindow()) // the window manager's part, offscreen
        QApplication::setActiveWindow(&s);
    QTRY_COMPARE(QApplication::focusWidget(), field);
    QCOMPARE(buttons(s), kKeyField);
    QCOMPARE(field->selectedText(), field->text());
    QCOMPARE(field->palette().color(QPalette::Base), frmCTFMaint::highlightColour());
    QCOMPARE(row(office, QStringLiteral("count(*)")), QStringLiteral("0"));
    ui::install(std::move(previous));
}

void tst_register::screenStateWithoutWidgets_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<int>("shown");
    QTest::addColumn<QString>("buttons"); // save delete view exit, Delete's caption
    using S = maint::Shown;
    QTest::newRow("key field") << "key" << int(S::Nothing) << "0 0 1 1 &Delete";
    QTest::newRow("found") << "key look found" << int(S::Found) << "1 1 0 0 &Delete";
    QTest::newRow("new from the URN") << "key look yes-urn" << int(S::NewFromUrn) << "1 1 0 0 &Reject";
    QTest::newRow("answered No") << "key look no" << int(S::Nothing) << "0 0 1 1 &Delete";
    QTest::newRow("look-up failed") << "key look failed" << int(S::Nothing) << "0 0 1 1 &Delete";
    QTest::newRow("new from the ID, URN left") << "key look yes-id key urn-left" << int(S::NewFromId) << "1 1 0 0 &Reject";
    QTest::newRow("found, URN left with an ID") << "key look found key urn-left" << int(S::Found) << "0 0 1 1 &Delete";
    QTest::newRow("new, then emptied") << "key look yes-id cleared key urn-left" << int(S::Nothing) << "0 0 1 1 &Reject";
}

// The screen's state as the focus rules and look-ups move it, no widget involved.
void tst_register::screenStateWithoutWidgets()
{
    QFETCH(QString, steps);
    QFETCH(int, shown);
    QFETCH(QString, buttons);
    maint::EntryScreenState state;
    for (const QString &step : steps.split(QLatin1Char(' '))) {
        if (step == QStringLiteral("key"))
            state.keyFieldFocused();
        else if (step == QStringLiteral("look"))
            state.lookUpStarted();
        else if (step == QStringLiteral("found"))
            state.found();
        else if (step.startsWith(QStringLiteral("yes-")))
            state.createAnswered(step == QStringLiteral("yes-urn"));
        else if (step == QStringLiteral("no"))
            state.noAnswered();
        else if (step == QStringLiteral("failed"))
            state.lookUpFailed();
        else if (step == QStringLiteral("cleared"))
            state.cleared();
        else if (step == QStringLiteral("urn-left"))
            state.urnLeftWithIdFilled();
    }
    const maint::ButtonStates &b = state.buttons();
    QCOMPARE(int(state.shown()), shown);
    QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5").arg(b.save).arg(b.del).arg(b.view).arg(b.exit).arg(b.deleteCaption), buttons);
    // The kind by its first three characters, letter case counting.
    const QStringList kinds = entrycodes::kinds();
    QCOMPARE(maint::EntryScreenState::kindIndex(kinds, QStringLiteral("Endowments")), 3);
    QCOMPARE(maint::EntryScreenState::kindIndex(kinds, QStringLiteral("TransferredIn")), 4);
    QCOMPARE(maint::EntryScreenState::kindIndex(kinds, QStringLiteral("endowment")), -1);
    QCOMPARE(maint::EntryScreenState::kindIndex(kinds, QString()), -1);
    QCOMPARE(maint::EntryScreenState::memberNumberToSave(maint::EntryScreenState::noMemberDatabaseText(), false), QString());
}

QTEST_MAIN(tst_register)
#include "tst_register.moc"
