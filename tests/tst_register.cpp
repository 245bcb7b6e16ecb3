// The CTF entry register: the field rules, the maintenance screen driven as
// an operator drives it (keys, Enter, clicks, focus changes), and the
// enquiry grid.
#include "app/frmmenu.h"
#include "app/screens.h"
#include "common/error.h"
#include "data/connection.h"
#include "platform/maskededit.h"
#include "platform/qtuserinterface.h"
#include "register/entrycodes.h"
#include "register/entrymaintenance.h"
#include "register/entryrules.h"
#include "register/entryscreen.h"
#include "register/frmctfmaint.h"
#include "register/frmhistory.h"
#include "returns/entrygrid.h"
#include "returns/frmctfview.h"
#include "support/office.h"
#include "support/screen.h"

using entryrules::AmountKey;
using namespace Qt::StringLiterals;
using namespace screen;

namespace {
int g_ended = 0;
void recordEnd() { ++g_ended; }

const QColor kCyan(0, 255, 255);

void enter(QWidget *w) { key(w, Qt::Key_Return); } // and the Tab it turns into
void tab(QWidget *w) { key(w, Qt::Key_Tab); }

// A new entry begun from the URN field, its kind typed in the kind box.
bool newEntry(frmCTFMaint &s, const QString &kind = u"Endowment"_s, const QString &urn = u"EF111111"_s)
{
    if (!activate(s))
        return false;
    QTest::keyClicks(s.mskURN, urn);
    enter(s.mskURN); // not on file: create
    QTest::keyClicks(s.cboEntity, kind);
    return true;
}

QString row(TestOffice &o, const QString &columns, const QString &where = u"1"_s)
{
    return o.scalar(kCtf, u"SELECT %1 FROM ChildTrustFunds WHERE %2"_s.arg(columns, where)).toString();
}

// Save, Delete, View, Exit: enabled or not.
QString buttons(const frmCTFMaint &s)
{
    return u"%1%2%3%4"_s.arg(s.cmdSave->isEnabled()).arg(s.cmdDelete->isEnabled()).arg(s.CmdView->isEnabled()).arg(s.cmdExit->isEnabled());
}
const QString kKeyField = u"0011"_s;
const QString kShown = u"1100"_s;
// Where the focus is, the buttons, and Delete's caption.
QString state(const frmCTFMaint &s)
{
    return (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : u"nothing"_s) + u' ' + buttons(s) + u' ' + s.cmdDelete->text();
}

void addMember(TestOffice &o)
{
    o.exec(kTarn, u"INSERT INTO MemberMain VALUES (1001, 'Amelia', 'Smith', '2015-02-01', 'AB1')"_s);
    o.exec(kTarn, u"INSERT INTO Control VALUES ('Demo CU', '2026-09-30')"_s);
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

    void amountFilter_data()
    {
        QTest::addColumn<QString>("field"); // the Amount field's text, "|" the caret, "[...]" the selection
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("result");
        QTest::newRow("digit") << "12|" << "3" << int(AmountKey::Keep);
        QTest::newRow("third decimal") << "12.50|" << "3" << int(AmountKey::Drop);
        QTest::newRow("digit before point, two decimals") << "|12.50" << "3" << int(AmountKey::Drop);
        QTest::newRow("one decimal") << "12.5|" << "3" << int(AmountKey::Keep);
        QTest::newRow("second point") << "12.5|" << "." << int(AmountKey::Beep);
        QTest::newRow("point over selected point") << "12[.]50" << "." << int(AmountKey::Keep);
        QTest::newRow("point at start") << "|125" << "." << int(AmountKey::ZeroPoint);
        QTest::newRow("point at end") << "125|" << "." << int(AmountKey::Keep);
        QTest::newRow("minus") << "|12" << "-" << int(AmountKey::Keep);
        QTest::newRow("second minus") << "-12|" << "-" << int(AmountKey::Drop);
        QTest::newRow("comma") << "1|" << "," << int(AmountKey::Keep);
        QTest::newRow("letter") << "1|" << "x" << int(AmountKey::Beep);
        QTest::newRow("digit replacing all") << "[12.50]" << "3" << int(AmountKey::Keep);
    }

    void amountFilter()
    {
        QFETCH(QString, field);
        QFETCH(QString, key);
        QFETCH(int, result);
        const qsizetype open = field.indexOf(u'['), close = field.indexOf(u']');
        const QString text = QString(field).remove(u'|').remove(u'[').remove(u']');
        const int caret = int(open >= 0 ? close - 1 : field.indexOf(u'|'));
        const int selStart = int(open >= 0 ? open : caret), selLen = int(open >= 0 ? close - open - 1 : 0);
        QCOMPARE(int(entryrules::amountKey(text, caret, selStart, selLen, key[0])), result);
    }

    void age_data()
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

    void age()
    {
        QFETCH(QString, dob);
        QFETCH(QDate, today);
        QFETCH(QString, age);
        QCOMPARE(entryrules::ageText(dob, today), age);
    }

    // An operator's session at the keyboard: an entry created, found, emptied
    // and deleted; one created from an ID; one whose save meets a return run.
    void typicalPass()
    {
        TestOffice office;
        addMember(office);
        const FixedClock clock(QDateTime(QDate(2026, 12, 6), QTime(9, 0)));
        frmCTFMaint s;
        QVERIFY(office.ui().busyTimes == 1 && !office.ui().busyNow); // while the databases open
        QCOMPARE(s.windowTitle(), u" CTF - Entry maintenance"_s);
        QCOMPARE(s.lblCreditUnionName->text() + u'|' + s.lblThisYear->text() + u'|' + s.cmdSave->toolTip(),
                 u"Demo CU|Processing for year end 30/09/2026|Save entry to file"_s);
        QVERIFY(activate(s));
        QCOMPARE(state(s), u"mskURN 0011 &Delete"_s);
        QCOMPARE(base(s.mskURN), kCyan);

        QTest::keyClicks(s.mskURN, u"ab12x3456c"_s); // the mask takes no letter among the digits
        enter(s.mskURN);
        QCOMPARE(office.ui().seen(), QStringList{u"Information |  CTF - Entry maintenance | Record not on file - Create?"_s});
        QCOMPARE(state(s), u"cboEntity 1100 &Reject"_s);

        QTest::keyClicks(s.cboEntity, u"Voucher"_s);
        enter(s.cboEntity);
        QCOMPARE(QApplication::focusWidget(), s.txtMemberNo);
        QTest::keyClicks(s.txtMemberNo, u"10x01"_s); // numerals only
        const QList<QRect> fieldsBefore{s.txtMemberNo->geometry(), s.mskDOB->geometry(), s.mskAmount->geometry()};
        enter(s.txtMemberNo);
        // The name, the date of birth (the field being empty) and the age appear
        // without moving the fields.
        QCOMPARE(s.lblName->text() + u'|' + s.mskDOB->text() + u'|' + s.lblAge->text(), u"Amelia Smith|01/02/2015|11"_s);
        QCOMPARE(QList<QRect>({s.txtMemberNo->geometry(), s.mskDOB->geometry(), s.mskAmount->geometry()}), fieldsBefore);
        QCOMPARE(QApplication::focusWidget(), s.mskDOB);
        enter(s.mskDOB);
        QTest::keyClicks(s.mskAmount, u"250.50"_s);
        enter(s.mskAmount);
        QCOMPARE(QApplication::focusWidget(), s.cboType);
        QCOMPARE(s.cboType->count(), 0);
        s.cmdSave->click();
        QCOMPARE(row(office, u"CRN||'|'||Entity||'|'||MemberNo||'|'||DOB||'|'||Amount||'|'||Type||'|'||RecordOutput"_s),
                 u"AB123456C|Voucher|1001|01/02/2015|250.5||0"_s);
        QCOMPARE(state(s), u"mskURN 0011 &Reject"_s);
        QCOMPARE(s.mskURN->text() + u'|' + s.mskAmount->text(), u"_________|____.__-"_s);
        QCOMPARE(office.ui().messages.size(), 1); // no message confirms a save

        // Found again by URN.
        QTest::keyClicks(s.mskURN, u"AB123456C"_s);
        tab(s.mskURN);
        QCOMPARE(state(s), u"cboEntity 1100 &Delete"_s);
        QCOMPARE(s.cboEntity->currentText() + u'|' + s.mskID->clipText() + u'|' + s.mskAmount->text() + u'|' + s.lblName->text(),
                 u"Voucher|%1|250.5|Amelia Smith"_s.arg(row(office, u"ID"_s)));
        // Moving into the ID field empties the details and offers the key-field buttons.
        focusOn(s.mskID);
        QCOMPARE(buttons(s), kKeyField);
        QCOMPARE(s.cboEntity->currentText(), QString());
        // Delete it: look it up by URN again, then Delete.
        s.mskID->setMaskedText(QString());
        focusOn(s.mskURN);
        tab(s.mskURN);
        QVERIFY(s.recordOnFile());
        s.cmdDelete->click();
        QCOMPARE(row(office, u"count(*)"_s), u"0"_s);
        QCOMPARE(buttons(s), kKeyField);

        // An ID not on file, created: the URN comes first, and the new entry
        // gets an ID of its own.
        tab(s.mskURN);
        QTest::keyClicks(s.mskID, u"999"_s);
        tab(s.mskID);
        QCOMPARE(office.ui().lastText(), u"Record not on file - Create?"_s);
        QCOMPARE(state(s), u"mskURN 0011 &Reject"_s);
        QTest::keyClicks(s.mskURN, u"GH22222"_s);
        tab(s.mskURN);
        QCOMPARE(state(s), u"cboEntity 1100 &Reject"_s);
        QTest::keyClicks(s.cboEntity, u"RAA"_s);
        s.cmdSave->click();
        QCOMPARE(row(office, u"CRN||'|'||Entity||'|'||(ID <> 999)"_s), u"GH22222|RAA|1"_s);
        // Answering No keeps the ID field and creates nothing.
        office.ui().answers.enqueue(MsgResult::No);
        tab(s.mskURN);
        QTest::keyClicks(s.mskID, u"998"_s);
        tab(s.mskID);
        QCOMPARE(state(s), u"mskID 0011 &Reject"_s);
        QCOMPARE(row(office, u"count(*)"_s), u"1"_s);

        // The return run marks the entry while it is on the screen: the save is
        // refused, and what was typed stays.
        s.mskID->setMaskedText(QString());
        focusOn(s.mskURN);
        QTest::keyClicks(s.mskURN, u"GH22222"_s);
        tab(s.mskURN);
        QVERIFY(s.recordOnFile());
        office.exec(kCtf, u"UPDATE ChildTrustFunds SET RecordOutput = 1, PeriodEndSent = '06/12/26'"_s);
        s.mskAmount->setText(u"99"_s);
        s.cmdSave->click();
        QVERIFY2(office.ui().seen().last().startsWith(u"Critical |  CTF - Entry maintenance | "_s)
                     && office.ui().lastText().contains(u"changed or deleted"_s), qPrintable(office.ui().seen().last()));
        QCOMPARE(s.mskURN->trimmedText() + u'|' + s.mskAmount->text(), u"GH22222|99"_s);
        QCOMPARE(row(office, u"Amount||'|'||RecordOutput"_s), u"0|1"_s);
    }

    void findByIdAndResubmit()
    {
        TestOffice office;
        addMember(office);
        const qint64 id = office.addEntry(u"Endowment"_s, u"CD654321"_s, u"03/04/2010"_s, 12.5, u"7"_s, u"R9"_s, {}, true);
        office.exec(kCtf, u"UPDATE ChildTrustFunds SET PeriodEndSent = '30/11/26', SentRef = 'From ID 1 to 1', MemberNo = 9999"_s);
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
        clickInto(s.mskAmount);
        QCOMPARE(buttons(s), kShown);
        QCOMPARE(s.mskAmount->selectedText(), u"12.5"_s);
        QTest::keyClicks(s.mskAmount, u"250"_s);
        QCOMPARE(s.mskAmount->text(), u"250"_s);
        QTest::mouseClick(s.mskAmount, Qt::LeftButton, {}, QPoint(4, s.mskAmount->height() / 2));
        QVERIFY(!s.mskAmount->hasSelectedText());
        QCOMPARE(QStringList({s.mskURN->trimmedText(), s.lblName->text(), s.cboType->currentText(), s.chkSent->text(), s.mskDOB->text()}),
                 QStringList({"CD654321", "not known", "DLA Higher Rate (7)", "Submitted on 30/11/26", "03/04/2010"}));
        QVERIFY(s.chkSent->isChecked());
        settle();
        QCOMPARE(places(), empty);
        // The box is highlighted while it has the focus; unticking it sends the
        // entry again.
        const auto background = [&] {
            const QImage shot = s.chkSent->grab().toImage();
            return QColor(shot.pixel(shot.width() - 3, shot.height() / 2));
        };
        const QColor normal = background();
        focusOn(s.chkSent);
        QCOMPARE(background(), kCyan);
        QCOMPARE(s.chkSent->toolTip(), u"Uncheck this box if you need to submit this record"_s);
        QTest::keyClick(s.chkSent, Qt::Key_Space);
        QVERIFY(!s.chkSent->isChecked());
        QCOMPARE(s.chkSent->text(), QString());
        focusOn(s.mskAmount);
        QCOMPARE(background(), normal);
        // Ctrl+H: the shown entry's history in a window of its own (nothing
        // recorded yet), the screen unchanged.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_H, Qt::ControlModifier);
        frmHistory *h = shownWindow<frmHistory>();
        QVERIFY2(h, qPrintable(office.ui().seen().join(u'\n')));
        QCOMPARE(h->windowTitle() + u'|' + QString::number(h->grdHistory->rowCount()), u"History of entry %1|0"_s.arg(id));
        QCOMPARE(places(), empty);
        s.activateWindow();
        focusOn(s.mskAmount);
        s.cmdSave->click();
        QCOMPARE(row(office, u"RecordOutput||'|'||ifnull(PeriodEndSent,'null')||'|'||SentRef||'|'||Type||'|'||Ref||'|'||Amount"_s),
                 u"0|null|From ID 1 to 1|7|R9|250"_s);
        // Its history, after the save: the save, newest first.
        QVERIFY(h->showEntry(id));
        QCOMPARE(h->grdHistory->rowCount(), 1);
        QCOMPARE(h->grdHistory->item(0, 3)->text(), u"maintenance screen: save"_s);
        QVERIFY(h->grdHistory->item(0, 4)->text().contains(uR"(Amount "12.5" -> "250")"_s));
        h->close();
    }

    void typeListAndWarning()
    {
        TestOffice office;
        frmCTFMaint s;
        QVERIFY(newEntry(s));
        focusOn(s.cboType);
        QCOMPARE(s.cboType->count(), 9);
        // Without a type the save asks first; No goes back to the type box.
        office.ui().answers.enqueue(MsgResult::No);
        s.cmdSave->click();
        QCOMPARE(office.ui().seen().last(),
                 u"None | Saving item | This type of entity usually requires a type and none has been selected - continue save?"_s);
        QCOMPARE(office.ui().messages.last().defaultButton, MsgResult::No);
        QCOMPARE(QApplication::focusWidget(), s.cboType);
        QCOMPARE(row(office, u"count(*)"_s), u"0"_s);
        // Entering the type box again empties the choice.
        s.cboType->setCurrentIndex(6);
        focusOn(s.mskAmount);
        focusOn(s.cboType);
        QCOMPARE(s.cboType->currentIndex(), -1);
        s.cboType->setCurrentIndex(6);
        // The kind changes to Voucher: the endowment type stays chosen and is saved.
        s.cboEntity->setEditText(u"Voucher"_s);
        s.cmdSave->click();
        QCOMPARE(row(office, u"Entity||'|'||Type"_s), u"Voucher|6"_s);
    }

    void fieldKeysOnScreen()
    {
        TestOffice office;
        const FixedClock clock(QDateTime(QDate(2026, 1, 31), QTime(9, 0)));
        frmCTFMaint s;
        QVERIFY(activate(s));
        tab(s.mskURN); // an empty URN moves on to the ID field
        focusOn(s.mskAmount);
        QCOMPARE(base(s.mskAmount), kCyan);
        QTest::keyClick(s.mskAmount, Qt::Key_Period); // at the start: "0."
        QCOMPARE(s.mskAmount->text(), u"0."_s);
        QTest::keyClicks(s.mskAmount, u"505.x"_s);
        QCOMPARE(s.mskAmount->text(), u"0.50"_s);
        focusOn(s.cboType); // leaving a number as it is
        QCOMPARE(s.mskAmount->text(), u"0.50"_s);
        QCOMPARE(base(s.mskAmount), QApplication::palette().color(QPalette::Base));
        s.mskAmount->setText(u"____.__-"_s);
        focusOn(s.mskAmount);
        focusOn(s.cboType);
        QCOMPARE(s.mskAmount->text(), u"0"_s);
        // The date field shows its mask and the age follows it.
        QCOMPARE(s.mskDOB->text(), u"__/__/____"_s);
        focusOn(s.mskDOB);
        QTest::keyClicks(s.mskDOB, u"01022015"_s);
        QCOMPARE(s.mskDOB->text() + u'|' + s.lblAge->text(), u"01/02/2015|10"_s); // eleven tomorrow
        QTest::keyClick(s.mskDOB, Qt::Key_Backspace);
        QCOMPARE(s.mskDOB->text() + u'|' + s.lblAge->text(), u"01/02/201_|"_s);
    }

    void typeFromThePopup_data()
    {
        QTest::addColumn<bool>("mouse");
        QTest::addColumn<QString>("type");
        QTest::newRow("mouse") << true << "DLA Contribution (6)";
        QTest::newRow("Alt+Down, Down, Return") << false << "Additional endowment (1)";
    }

    // A type picked from the drop-down list stays chosen and is saved.
    void typeFromThePopup()
    {
        QFETCH(bool, mouse);
        QFETCH(QString, type);
        const int code = mouse ? 6 : 1;
        TestOffice office;
        frmCTFMaint s;
        QVERIFY(newEntry(s));
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
            for (QWidget *w : {static_cast<QWidget *>(s.cboEntity), static_cast<QWidget *>(s.txtMemberNo), static_cast<QWidget *>(s.mskDOB),
                               static_cast<QWidget *>(s.mskAmount)})
                tab(w);
            QCOMPARE(QApplication::focusWidget(), s.cboType);
            QTest::keyClick(s.cboType, Qt::Key_Down, Qt::AltModifier);
            QTRY_VERIFY(list->isVisible());
            QTest::keyClick(list, Qt::Key_Down);
            QTest::keyClick(list, Qt::Key_Return);
        }
        QTRY_VERIFY(!list->isVisible());
        settle();
        QCOMPARE(s.cboType->currentText(), type);
        // Another window in front and back again: the choice stays.
        QWidget other;
        QVERIFY(activate(other));
        QVERIFY(activate(s));
        QCOMPARE(QApplication::focusWidget(), s.cboType);
        QCOMPARE(s.cboType->currentText(), type);
        s.cmdSave->click();
        QCOMPARE(row(office, u"Entity||'|'||Type"_s), u"Endowment|%1"_s.arg(code));
        QCOMPARE(office.ui().messages.size(), 1); // no warning about a missing type
    }

    // Another window coming to the front, the main screen's Exit and closing the
    // screen are no moves between fields: nothing is looked up or asked.
    void windowChangesRunNoFieldRule()
    {
        TestOffice office;
        frmMenu menu;
        menu.show();
        auto *s = static_cast<frmCTFMaint *>(screens::showMaintenance());
        QPointer<QWidget> alive(s);
        QVERIFY(QTest::qWaitForWindowActive(s));
        QTest::keyClicks(s->mskURN, u"AB123456C"_s);
        QStringList sent;
        Connection::setStatementObserver([&](const Connection &, const QString &sql) { sent << sql; });
        const auto bringForward = [](QWidget *w) {
            w->activateWindow();
            return QTest::qWaitForWindowActive(w);
        };
        QVERIFY(bringForward(&menu));
        QVERIFY(bringForward(s));
        QCOMPARE(buttons(*s), kKeyField);
        QCOMPARE(s->mskURN->text(), u"AB123456C"_s);
        QVERIFY(bringForward(&menu));
        g_ended = 0;
        QTest::mouseClick(menu.cmdExit, Qt::LeftButton);
        menu.mnuExit->trigger();
        QCOMPARE(g_ended, 2);
        QVERIFY(bringForward(s));
        s->close();
        settle();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Connection::setStatementObserver({});
        QVERIFY(alive.isNull());
        QCOMPARE(sent, QStringList());
        QCOMPARE(office.ui().messages.size(), 0);
    }

    // The workflow without widgets: the statements exactly as sent, and what the
    // look-ups find.
    void workflowStatements()
    {
        TestOffice office;
        addMember(office);
        const qint64 id = office.addEntry(u"Endowment"_s, u"AB123456C"_s, u"03/04/2010"_s, 12.5, u"7"_s, {}, {}, true);
        office.exec(kCtf, u"UPDATE ChildTrustFunds SET MemberNo = 1001, PeriodEndSent = '30/11/26'"_s);
        maint::EntryMaintenance m;
        QStringList sent;
        Connection::setStatementObserver([&](const Connection &c, const QString &sql) {
            sent << (&c == &m.registerConnection() ? u"ctf: "_s : u"member: "_s) + sql;
        });
        m.openRegister(GetConnectionString(u"CTF"_s));
        QVERIFY(m.openMemberDatabase(GetConnectionString(u"Tarnwell"_s)));
        const auto control = m.readControl();
        QVERIFY(control);
        QCOMPARE(control->cuname + u'|' + control->yearEnd, u"Demo CU|30/09/2026"_s);
        QVERIFY(m.findByUrn(u"AB123456C"_s));
        const maint::Entry e = m.entry();
        QCOMPARE(QStringList({e.id, e.memberNo, e.dob.value_or(QDate()).toString(Qt::ISODate), e.amount, QString::number(e.typeCode.value_or(-1)), e.periodEndSent}),
                 QStringList({QString::number(id), "1001", "2010-04-03", "12.5", "7", "30/11/26"}));
        QVERIFY(e.sent);
        QCOMPARE(m.memberName(1001), std::optional<QString>(u"Amelia Smith"_s));
        QVERIFY(!m.findById(double(id + 1)));
        QVERIFY(!m.recordOnFile());
        const auto member = m.lookUpMember(1001);
        QVERIFY(member);
        QCOMPARE(member->dob, QDate(2015, 2, 1));
        QVERIFY(!m.lookUpMember(2));
        Connection::setStatementObserver({});
        QCOMPARE(sent, QStringList({u"member: Select * FROM Control ;"_s, u"ctf: Select * FROM ChildTrustFunds WHERE CRN = 'AB123456C' ;"_s,
                                    u"member: Select Forename, Surname FROM MemberMain WHERE MemberNo = 1001 ;"_s,
                                    u"ctf: Select * FROM ChildTrustFunds WHERE ID = %1 ;"_s.arg(id + 1),
                                    u"member: Select * FROM MemberMain WHERE MemberNo = 1001 ;"_s,
                                    u"member: Select * FROM MemberMain WHERE MemberNo = 2 ;"_s}));
    }

    void workflowSaveRules()
    {
        TestOffice office;
        const qint64 id = office.addEntry(u"Voucher"_s, u"JK333333B"_s, u"01/01/2010"_s, 10, {}, {}, {}, true);
        office.exec(kCtf, u"UPDATE ChildTrustFunds SET MemberNo = 1234, PeriodEndSent = '30/11/26', SentRef = 'From ID 1 to 1'"_s);
        const QString columns = u"CRN||'|'||Entity||'|'||MemberNo||'|'||DOB||'|'||Amount||'|'||quote(Type)||'|'||RecordOutput||'|'||"
                                "ifnull(PeriodEndSent,'null')||'|'||ifnull(SentRef,'null')"_s;
        QVERIFY(QFile::remove(office.host(kTarn))); // no member database
        {
            // The screen then works without member numbers and names, and says nothing.
            frmCTFMaint s;
            QCOMPARE(s.lblCreditUnionName->text() + u'|' + s.txtMemberNo->text() + u'|' + s.txtMemberNo->toolTip(), u"Credit Union|Not in use|Not in use"_s);
            QVERIFY(!s.txtMemberNo->isEnabled());
            QVERIFY(office.ui().messages.isEmpty());
        }
        maint::EntryMaintenance m;
        m.openRegister(GetConnectionString(u"CTF"_s));
        QVERIFY(!m.openMemberDatabase(GetConnectionString(u"Tarnwell"_s)));
        QVERIFY(!m.readControl());
        // An existing entry keeps its member number; unticking "sent" puts it back
        // into the next return; the amount reads as its leading number.
        QVERIFY(m.findById(double(id)));
        m.save({u"JK333333B"_s, u"RAA"_s, u"Not in use"_s, u"02/02/2010"_s, u"1,234.50"_s, std::nullopt, false});
        QCOMPARE(row(office, columns), u"JK333333B|RAA|1234|02/02/2010|1|''|0|null|From ID 1 to 1"_s);
        // A new entry gets 0 and the code of its type.
        QVERIFY(!m.findByUrn(u"LM444444"_s));
        m.save({u"LM444444"_s, u"Endowment"_s, u"Not in use"_s, u"__/__/____"_s, u"12.50-"_s, 6, false});
        QCOMPARE(row(office, columns, u"CRN = 'LM444444'"_s), u"LM444444|Endowment|0|__/__/____|12.5|'6'|0|null|null"_s);
        // A delete after the fields were emptied removes nothing.
        QVERIFY(m.findByUrn(u"LM444444"_s));
        m.forgetEntry();
        m.deleteEntry();
        QCOMPARE(row(office, u"count(*)"_s), u"2"_s);
        // A row changed since it was read is not overwritten.
        QVERIFY(m.findByUrn(u"LM444444"_s));
        office.exec(kCtf, u"UPDATE ChildTrustFunds SET Amount = 99 WHERE CRN = 'LM444444'"_s);
        QVERIFY_THROWS_EXCEPTION(DbError, m.save({u"LM444444"_s, u"Endowment"_s, QString(), QString(), u"1"_s, 6, true}));
        QVERIFY_THROWS_EXCEPTION(DbError, m.deleteEntry());
        QCOMPARE(row(office, u"Amount"_s, u"CRN = 'LM444444'"_s), u"99"_s);
        // An amount beyond what money holds is shown as stored, to be put right.
        office.exec(kCtf, u"UPDATE ChildTrustFunds SET Amount = 1e300 WHERE CRN = 'LM444444'"_s);
        QVERIFY(m.findByUrn(u"LM444444"_s));
        QCOMPARE(m.entry().amount, u"1e+300"_s);
        m.save({u"LM444444"_s, u"Endowment"_s, QString(), QString(), m.entry().amount, 1, false}); // saved untouched: kept, not 1
        QCOMPARE(row(office, u"Amount || '|' || Type"_s, u"CRN = 'LM444444'"_s), u"1.0e+300|1"_s);
    }

    void gridSortAlternation()
    {
        TestOffice office;
        for (int i = 0; i < 12; ++i)
            office.addEntry(i % 2 ? u"Voucher"_s : u"RAA"_s, u"AB%1"_s.arg(11 - i, 6, 10, QChar('0')), u"01/01/2010"_s, i * 10.5, {}, {}, {}, i >= 10);
        enquiry::EntryGridModel grid;
        grid.fill(enquiry::outstandingStatement());
        QCOMPARE(grid.rowCount(), 10);
        QCOMPARE(grid.columns(), QStringList({"ID", "Entity", "CRN", "DOB", "Amount", "DOD", "MemberNo", "PeriodEndSent", "RecordOutput",
                                              "Ref", "SentRef", "Type"}));
        QCOMPARE(grid.text(0, 1) + u'|' + grid.text(0, 8), u"RAA|False"_s);
        grid.sortRows(0, 1); // ID as numbers: 2 before 10
        QCOMPARE(grid.text(0, 0) + u'|' + grid.text(9, 0), u"1|10"_s);

        frmCTFView view;
        QCOMPARE(view.windowTitle(), u" CTF - Entry enquiry"_s);
        // The sort after each click on a title: column, order, first cell of the column.
        const auto click = [&](int column, int cell) {
            view.MSHFlexGrid1_Click(-1, column);
            return u"%1 %2 %3"_s.arg(view.sortColumn()).arg(view.sortOrder()).arg(view.model()->text(0, cell));
        };
        QCOMPARE(click(5, 4), u"5 1 0"_s); // Amount
        QCOMPARE(click(5, 4), u"5 2 94.5"_s);
        QCOMPARE(click(5, 4), u"5 1 0"_s);
        QCOMPARE(click(3, 2), u"3 1 AB000002"_s); // CRN: another column starts ascending
        view.MSHFlexGrid1_Click(2, 5); // a data cell never sorts
        QCOMPARE(view.sortColumn(), qint16(3));
        view.Command1_Click(); // See all keeps the sort state
        QCOMPARE(view.model()->rowCount(), 12);
        QCOMPARE(click(3, 2), u"3 2 AB000011"_s);
    }

    void gridScreen()
    {
        TestOffice office;
        office.addEntry(u"Voucher"_s, u"AB000001"_s, u"01/01/2010"_s, 1);
        office.addEntry(u"TransferedIn"_s, u"AB000002"_s, u"01/01/2010"_s, 1, {}, {}, {}, true);
        office.exec(kCtf, u"UPDATE ChildTrustFunds SET PeriodEndSent = '30/11/2026', SentRef = 'From ID 1000000 to 1999999' WHERE RecordOutput = 1"_s);
        frmCTFView view;
        view.resize(600, 400);
        QVERIFY(activate(view));
        QTRY_COMPARE(view.size(), QSize(600, 400)); // as the window manager gives it
        QCOMPARE(view.MSHFlexGrid1->columnWidth(0), 70);
        QCOMPARE(view.MSHFlexGrid1->verticalHeader()->width(), 85);
        QVERIFY(view.MSHFlexGrid1->horizontalHeader()->font().bold());
        QCOMPARE(view.cmdClose->geometry().bottomRight() + QPoint(1, 1), QPoint(600 - 4, 400 - 4));
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
        // From the keyboard: Enter on a cell sorts by its column, as a click
        // on its header, the arrow in the header showing the way; Escape closes.
        view.resize(600, 400);
        view.MSHFlexGrid1->setFocus();
        view.MSHFlexGrid1->setCurrentIndex(view.model()->index(0, 2)); // CRN
        QStringList sorted;
        for (int i = 0; i < 2; ++i) {
            QTest::keyClick(view.MSHFlexGrid1, Qt::Key_Return);
            const QHeaderView *header = view.MSHFlexGrid1->horizontalHeader();
            sorted << u"%1 %2 %3 %4"_s.arg(view.sortColumn()).arg(view.sortOrder()).arg(header->sortIndicatorSection()).arg(
                          header->isSortIndicatorShown() ? int(header->sortIndicatorOrder()) : -1) + u' ' + view.model()->text(0, 2);
        }
        QCOMPARE(sorted, QStringList({"3 1 2 0 AB000001", "3 2 2 1 AB000002"}));
        // Ctrl+H: the history of the current row's entry.
        QTest::keyClick(view.MSHFlexGrid1, Qt::Key_H, Qt::ControlModifier);
        QWidget *history = shownWindow<frmHistory>();
        QVERIFY(history);
        QCOMPARE(history->windowTitle(), u"History of entry 2"_s);
        history->close();
        view.activateWindow();
        // A register that cannot be opened is reported, and the screen goes on.
        QVERIFY(QFile::remove(office.host(kCtf)));
        view.Command1_Click();
        QVERIFY(office.ui().lastText().contains(u"Could not find file 'K:\\CTF.mdb'."_s));
        QTest::keyClick(view.MSHFlexGrid1, Qt::Key_Escape);
        QVERIFY(!view.isVisible());
    }

    // The maintenance screen stays open while the enquiry opens (before the
    // screen was ever active) and closes and the command line runs beside it:
    // its URN field still takes typing, its connection keeps its locks, so what
    // it saves reaches the next return, and closing it brings no sent entry back.
    void severalScreensAndTheCommandLine()
    {
        TestOffice office;
        addMember(office);
        for (const char *urn : {"AB000001", "AB000002", "AB000003"})
            office.addEntry(u"Voucher"_s, QString::fromLatin1(urn), u"01/02/2008"_s, 250);
        office.close(kCtf);
        auto *s = qobject_cast<frmCTFMaint *>(screens::showMaintenance());
        QVERIFY(s);
        QWidget *enquiry = screens::showEnquiry();
        QVERIFY(enquiry && activate(*enquiry));
        enquiry->close();
        settle();
        QCOMPARE(office.ctfadmin(u"enquiry"_s).status, 0);
        for (const QFileInfo &fd : QDir(u"/proc/self/fd"_s).entryInfoList(QDir::System | QDir::Files)) {
            const QString target = fd.symLinkTarget();
            QVERIFY2(!target.startsWith(office.root()) || !target.endsWith(u" (deleted)"_s), qPrintable(target));
        }

        QVERIFY(newEntry(*s, u"Voucher"_s, u"AB123456C"_s));
        enter(s->cboEntity);
        QTest::keyClicks(s->txtMemberNo, u"1001"_s);
        // Save by its access key from the member number: the member's rule runs first.
        QTest::keyClick(s->txtMemberNo, Qt::Key_S, Qt::AltModifier);
        QTRY_COMPARE(row(office, u"DOB || '|' || MemberNo"_s, u"CRN = 'AB123456C'"_s), u"01/02/2015|1001"_s);
        QCOMPARE(office.ui().messages.size(), 1); // the look-up's question alone

        QCOMPARE(office.ctfadmin(u"return --period-end 30/11/2026"_s).status, 0);
        const QByteArray sent = office.readFile(kReturn);
        for (const char *urn : {"AB000001 ", "AB000002 ", "AB000003 ", "AB123456C"})
            QVERIFY2(sent.contains(QByteArray("Voucher|") + urn), urn);
        s->close();
        settle();
        QCOMPARE(row(office, u"count(*)"_s, u"RecordOutput = 0"_s), u"0"_s);
        QCOMPARE(row(office, u"count(*)"_s), u"4"_s);
    }

    // The screen's state where the screen tests do not take it (a failed
    // look-up, a new entry's fields emptied), no widget involved: what is
    // shown (0 nothing, 3 new from the ID), then Save, Delete, View, Exit.
    void screenStateWithoutWidgets()
    {
        const auto after = [](const QString &steps) {
            maint::EntryScreenState state;
            const QMap<QString, std::function<void()>> step{
                {u"key"_s, [&] { state.keyFieldFocused(); }}, {u"look"_s, [&] { state.lookUpStarted(); }},
                {u"yes-id"_s, [&] { state.createAnswered(false); }}, {u"failed"_s, [&] { state.lookUpFailed(); }},
                {u"cleared"_s, [&] { state.cleared(); }}, {u"urn-left"_s, [&] { state.urnLeftWithIdFilled(); }}};
            for (const QString &name : steps.split(u' '))
                step[name]();
            const maint::ButtonStates &b = state.buttons();
            return u"%1 %2%3%4%5 %6"_s.arg(int(state.shown())).arg(b.save).arg(b.del).arg(b.view).arg(b.exit).arg(b.deleteCaption);
        };
        QCOMPARE(QStringList({after(u"key look failed"_s), after(u"key look yes-id key urn-left"_s), after(u"key look yes-id cleared key urn-left"_s)}),
                 QStringList({"0 0011 &Delete", "3 1100 &Reject", "0 0011 &Reject"}));
    }

    // The kind typed or stored is matched by its first three characters, letter
    // case counting; "Not in use" is never saved as a member number.
    void kindByItsFirstThreeLetters()
    {
        const QStringList kinds = entrycodes::kinds();
        QCOMPARE(kinds, QStringList({"Voucher", "RAA", "Exception", "Endowment", "TransferedIn", "ChildDeath"}));
        QCOMPARE(maint::EntryScreenState::kindIndex(kinds, u"Endowments"_s), 3);
        QCOMPARE(maint::EntryScreenState::kindIndex(kinds, u"TransferredIn"_s), 4);
        QCOMPARE(maint::EntryScreenState::kindIndex(kinds, u"endowment"_s), -1);
        QCOMPARE(maint::EntryScreenState::kindIndex(kinds, QString()), -1);
        QVERIFY(entrycodes::typesFor(u"endowment"_s).isEmpty()); // exact kind names only
        QCOMPARE(maint::EntryScreenState::memberNumberToSave(u"Not in use"_s, false), QString());
        // The type question: the kind exactly Endowment or Exception, no type chosen.
        QString asks;
        for (const char *kind : {"Endowment", "Exception", "endowment", "Voucher"})
            for (const bool chosen : {false, true})
                asks += maint::EntryScreenState::asksForType(QString::fromLatin1(kind), chosen) ? u'1' : u'0';
        QCOMPARE(asks, u"10100000"_s);
    }

    void lookUpAnsweredNoOnTheRealBox_data()
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
    void lookUpAnsweredNoOnTheRealBox()
    {
        QFETCH(bool, byUrn);
        QFETCH(int, key);
        TestOffice office;
        frmCTFMaint s;
        QVERIFY(activate(s));
        RealBoxAnswer answer({QKeyCombination(key == Qt::Key_N ? Qt::AltModifier : Qt::NoModifier, Qt::Key(key))});
        MaskedEdit *field = byUrn ? s.mskURN : s.mskID;
        if (!byUrn)
            tab(s.mskURN);
        QTest::keyClicks(field, byUrn ? u"AB123456C"_s : u"77"_s);
        enter(field);
        QTRY_COMPARE(answer.answered(), 1);
        QVERIFY(RealBoxAnswer::screenBack(s));
        QTRY_COMPARE(QApplication::focusWidget(), field);
        QCOMPARE(buttons(s), kKeyField);
        QCOMPARE(field->selectedText(), field->text());
        QCOMPARE(base(field), kCyan);
        QCOMPARE(row(office, u"count(*)"_s), u"0"_s);
    }

    // A save without the type its kind usually needs, answered No on the
    // real box: the type box has the focus and its rule has filled its list.
    void typeAnsweredNoOnTheRealBox()
    {
        TestOffice office;
        frmCTFMaint s;
        QVERIFY(activate(s));
        RealBoxAnswer answer({QKeyCombination(Qt::AltModifier, Qt::Key_Y), QKeyCombination(Qt::Key_Escape)});
        QTest::keyClicks(s.mskURN, u"AB123456C"_s);
        enter(s.mskURN);
        QTRY_COMPARE(answer.answered(), 1); // Create? Yes
        QVERIFY(RealBoxAnswer::screenBack(s));
        QTRY_COMPARE(QApplication::focusWidget(), s.cboEntity);
        QTest::keyClicks(s.cboEntity, u"Endowment"_s);
        s.cmdSave->click();
        QTRY_COMPARE(answer.answered(), 2);
        QVERIFY(RealBoxAnswer::screenBack(s));
        QTRY_COMPARE(QApplication::focusWidget(), s.cboType);
        QCOMPARE(s.cboType->count(), 9);
        QCOMPARE(row(office, u"count(*)"_s), u"0"_s);
    }

    // A click into a key field that has the focus with nothing typed in it,
    // or all of it selected (after every save), wherever it lands: typing
    // fills the mask from its start. With something typed and not selected,
    // the click places the caret.
    void clickIntoAKeyFieldThatHasTheFocus()
    {
        TestOffice office;
        frmCTFMaint s;
        QVERIFY(activate(s));
        QCOMPARE(QApplication::focusWidget(), s.mskURN);
        for (const int x : {s.mskURN->width() / 2, 3}) {
            s.mskURN->setMaskedText(QString());
            s.mskURN->setCursorPosition(0);
            QTest::mouseClick(s.mskURN, Qt::LeftButton, {}, QPoint(x, s.mskURN->height() / 2));
            QTest::keyClicks(s.mskURN, u"EY945991D"_s);
            QCOMPARE(s.mskURN->text(), u"EY945991D"_s);
            s.mskURN->selectAll(); // as after a save
            QTest::mouseClick(s.mskURN, Qt::LeftButton, {}, QPoint(x, s.mskURN->height() / 2));
            QTest::keyClicks(s.mskURN, u"AB"_s);
            QCOMPARE(s.mskURN->text(), u"AB_______"_s);
        }
        QTest::mouseClick(s.mskURN, Qt::LeftButton, {}, QPoint(s.mskURN->width() - 3, s.mskURN->height() / 2));
        QVERIFY(!s.mskURN->hasSelectedText());
        // An entry found by ID from the keyboard, then changed as the manual
        // says: the look-up leaves the cursor in the URN field, where Save is
        // off; Shift+Tab, Backspace (the ID emptied), Tab and Enter look the
        // entry up by the URN it shows, and Save is on in its fields.
        const qint64 id = office.addEntry(u"Voucher"_s, u"CD654321"_s, u"03/04/2010"_s, 12.5);
        s.mskURN->setMaskedText(QString());
        tab(s.mskURN);
        QTest::keyClicks(s.mskID, QString::number(id));
        enter(s.mskID);
        QCOMPARE(s.mskURN->trimmedText() + u' ' + state(s), u"CD654321 mskURN 0011 &Delete"_s);
        for (const Qt::Key k : {Qt::Key_Backtab, Qt::Key_Backspace, Qt::Key_Tab, Qt::Key_Return})
            key(QApplication::focusWidget(), k);
        QCOMPARE(s.cboEntity->currentText() + u' ' + state(s), u"Voucher cboEntity 1100 &Delete"_s);
    }
};

QTEST_MAIN(tst_register)
#include "tst_register.moc"
