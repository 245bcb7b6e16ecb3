// The main screen, the About box, the output screen and the annual return
// screen, driven offscreen with real key presses and focus changes.
#include "annual/frmctfannualreturn.h"
#include "app/appsettings.h"
#include "app/frmabout.h"
#include "app/frmmenu.h"
#include "app/screens.h"
#include "common/clock.h"
#include "common/dates.h"
#include "platform/buttonroom.h"
#include "platform/maskededit.h"
#include "platform/qtuserinterface.h"
#include "returns/frmctfoutput.h"
#include "support/office.h"
#include "support/scriptedui.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QTabWidget>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
int g_ended = 0;
void recordEnd() { ++g_ended; }

bool activate(QWidget &w)
{
    w.show();
    QApplication::setActiveWindow(&w);
    return QTest::qWaitForWindowActive(&w);
}

void focusOn(QWidget *w)
{
    w->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
}

// The operator's click into a field, near its right-hand end.
void clickInto(QWidget *w)
{
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(w->width() - 4, w->height() / 2));
    QApplication::processEvents();
}

QColor base(QWidget *w) { return w->palette().color(QPalette::Base); }
const QColor kCyan(0, 255, 255);
const QColor kWhite(255, 255, 255);
} // namespace

class tst_screens : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void menuLayoutAndKeyboardOrder();
    void menuLoadsSettingsAndFollowsTitle();
    void menuLaunchFailures();
    void screensShownOnce();
    void captionsFitTheirButtons();
    void exitEndsAtOnce();
    void aboutBox();
    void maskedField();
    void messageBoxOverItsScreen();
    void outputProposal_data();
    void outputProposal();
    void outputPeriodEndRules();
    void outputCreateAndButtons();
    void outputRecreate();
    void outputWithoutRegister();
    void annualDatesAndEnter();
    void annualLabelsProductsAndColours();
    void annualRunFromTheScreen();
};

void tst_screens::initTestCase()
{
    QtUserInterface::installKeySender();
    screens::setEndProgramHandler(recordEnd);
}

void tst_screens::menuLayoutAndKeyboardOrder()
{
    TestOffice office;
    ScriptedUiScope scope;
    frmMenu menu;
    const QList<QPushButton *> buttons = menu.fraButtons->findChildren<QPushButton *>();
    QStringList captions;
    for (QPushButton *b : buttons)
        captions << b->text();
    QCOMPARE(captions, QStringList({"CTF &maintenance", "CTF &enquiry", "CTF &output", "CTF &submission", "Edit CTF &return",
                                    "&Annual return output", "Edit A&nnual return", "E&xit CTF "}));
    QStringList order;
    QWidget *w = menu.cmdEntry;
    for (int i = 0; i < 8; ++i) {
        order << w->objectName();
        w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus || !qobject_cast<QPushButton *>(w))
            w = w->nextInFocusChain();
    }
    QCOMPARE(order, QStringList({"cmdEntry", "cmdEnquiry", "cmdOutput", "cmdSubmit", "cmdEditReturn", "cmdExit", "cmdAnnualReturn",
                                 "cmdEditAnReturn"}));
    const QList<QAction *> file = menu.menuBar()->actions().first()->menu()->actions();
    QCOMPARE(menu.menuBar()->actions().first()->text(), u"File"_s);
    QCOMPARE(file.size(), 3);
    QCOMPARE(file[0]->text(), u"About"_s);
    QVERIFY(file[1]->isSeparator());
    QCOMPARE(file[1]->text(), QString()); // a separator shows no "-"
    QCOMPARE(file[2]->text(), u"E&xit"_s);
    QCOMPARE(menu.picture->pixmap().size(), QSize(661, 512));
    QVERIFY(menu.chkSQL->isHidden() && menu.txtDatabase->isHidden() && menu.sqlPW->isHidden());
    QCOMPARE(menu.helpFile(), office.root() + u"/program\\CTFHelp.chm>main"_s);
    // F1 opens the office's help file beside the program, on any screen,
    // when it is there; else the manual that comes with the program.
    screens::showHelp();
    QVERIFY(scope.ui().launches.isEmpty());
    QVERIFY(QDir().mkpath(office.root() + u"/program/manual"_s));
    QFile manual(office.root() + u"/program/manual/index.html"_s);
    QVERIFY(manual.open(QIODevice::WriteOnly));
    manual.close();
    screens::showHelp();
    QCOMPARE(scope.ui().launches, QStringList{u"open "_s + office.root() + u"/program/manual/index.html"_s});
    scope.ui().launches.clear();
    QFile help(office.root() + u"/program/CTFHelp.chm"_s);
    QVERIFY(help.open(QIODevice::WriteOnly));
    help.close();
    screens::showHelp();
    QCOMPARE(scope.ui().launches, QStringList{u"open "_s + office.root() + u"/program\\CTFHelp.chm"_s});
}

void tst_screens::menuLoadsSettingsAndFollowsTitle()
{
    TestOffice office;
    ScriptedUiScope scope;
    office.writeRegistry(QByteArray("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Orvel\\Tarnwell]\r\n\"Database\"=\"SRV1\"\r\n"
                                    "\"SQLDatabase\"=\"SRV1\"\r\n\"DataSubset\"=\"X\"\r\n"));
    appsettings::setMainTitle(u" CTF administration"_s);
    frmMenu menu;
    QCOMPARE(menu.windowTitle(), u" CTF administration"_s);
    QVERIFY(menu.chkSQL->isChecked());
    QCOMPARE(menu.txtDatabase->text(), u"SRV1"_s);
    QCOMPARE(menu.SQLSubset->text(), u"X"_s);
    QCOMPARE(appsettings::fields().chkSQL, 1);
    QCOMPARE(appsettings::fields().txtDatabase, u"SRV1"_s);
    {
        frmCTFOUTPUT output; // asks for the register's connection string
    }
    QCOMPARE(menu.windowTitle(), u" CTF administration (CTF.mdb location is K:\\)"_s);
}

void tst_screens::menuLaunchFailures()
{
    TestOffice office;
    ScriptedUiScope scope;
    frmMenu menu;
    scope.ui().launchSucceeds = false;
    menu.cmdEditReturn->click();
    menu.cmdEditAnReturn->click();
    menu.cmdSubmit->click();
    QCOMPARE(scope.ui().launches, QStringList({"notepad K:\\Returns\\IRReturn.txt", "notepad K:\\Returns\\Ctfanrtn.txt",
                                               "C:\\Program Files\\Child Trust Fund Interface\\ChildTrustFund.exe"}));
    QCOMPARE(scope.ui().launchStyles, QList<WindowStyle>({WindowStyle::Maximized, WindowStyle::Maximized, WindowStyle::Normal}));
    QCOMPARE(scope.ui().messages.size(), 3);
    QCOMPARE(scope.ui().messages[0].text, u"Unable to find the document K:\\Returns\\IRReturn.txt - please find this file manually"_s);
    QCOMPARE(scope.ui().messages[1].text, u"Unable to find the document K:\\Returns\\Ctfanrtn.txt - please find this file manually"_s);
    QCOMPARE(scope.ui().messages[2].text, u"Unable to find the submission program - please run this application manually"_s);
    for (const RecordedMessage &m : scope.ui().messages) {
        QCOMPARE(m.title, menu.windowTitle());
        QCOMPARE(m.icon, MsgIcon::Information);
    }
    scope.ui().launchSucceeds = true;
    menu.cmdEditReturn->click();
    QCOMPARE(scope.ui().messages.size(), 3);

    // F1 always answers: the manual, or what is missing.
    const QString manual = office.root() + u"/program/manual/index.html"_s;
    screens::showHelp();
    QVERIFY2(scope.ui().messages.last().text.startsWith(u"The manual is not there: "_s + manual), qPrintable(scope.ui().messages.last().text));
    QVERIFY(QDir().mkpath(QFileInfo(manual).path()));
    QFile(manual).open(QIODevice::WriteOnly);
    scope.ui().launchSucceeds = false;
    screens::showHelp();
    QVERIFY2(scope.ui().messages.last().text.contains(u"no program could be started to show it: install xdg-utils"_s),
             qPrintable(scope.ui().messages.last().text));
    scope.ui().launchSucceeds = true;
    const qsizetype before = scope.ui().messages.size();
    screens::showHelp();
    QCOMPARE(scope.ui().launches.last(), u"open "_s + manual);
    QCOMPARE(scope.ui().messages.size(), before);
}

void tst_screens::screensShownOnce()
{
    TestOffice office;
    ScriptedUiScope scope;
    QWidget *first = screens::showOutput();
    QVERIFY(first);
    QCOMPARE(screens::showOutput(), first);
    QWidget *annual = screens::showAnnualReturn();
    QCOMPARE(screens::showAnnualReturn(), annual);
    QWidget *about = screens::showAbout();
    QCOMPARE(screens::showAbout(), about);
    // Every window fits an office's 1024x768 screen, and on a real display
    // (run-under-x gives one of that size) lies within it.
    QWidget *maintenance = screens::showMaintenance(), *enquiry = screens::showEnquiry();
    for (QWidget *w : {first, annual, about, maintenance, enquiry}) {
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QRect frame = w->frameGeometry();
        QVERIFY2(frame.width() <= 1024 && frame.height() <= 768, qPrintable(w->windowTitle()));
        if (QGuiApplication::platformName() == u"xcb"_s)
            QVERIFY2(w->screen()->availableGeometry().contains(frame), qPrintable(w->windowTitle()));
    }
    maintenance->close();
    enquiry->close();
    first->close();
    QApplication::processEvents(); // closing deletes the screen
    QTest::qWait(0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QWidget *second = screens::showOutput();
    QVERIFY(second);
    second->close();
    annual->close();
    about->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Every caption fits its button with room on either side, on the default
// font and scaled (ctest runs this again with QT_SCALE_FACTOR 1.25 and 1.5).
void tst_screens::captionsFitTheirButtons()
{
    TestOffice office;
    ScriptedUiScope scope;
    frmMenu menu;
    QVERIFY(activate(menu));
    QList<QWidget *> windows{&menu, screens::showMaintenance(), screens::showEnquiry(), screens::showOutput(), screens::showAnnualReturn(),
                             screens::showAbout()};
    constexpr int kRoom = buttonroom::kCaptionRoom;
    for (QWidget *w : windows) {
        QVERIFY(QTest::qWaitForWindowExposed(w));
        for (QPushButton *b : w->findChildren<QPushButton *>()) {
            if (!b->isVisible())
                continue;
            const int caption = b->fontMetrics().horizontalAdvance(QString(b->text()).remove(QLatin1Char('&')));
            QVERIFY2(caption + 2 * kRoom <= b->width(),
                     qPrintable(u"%1: \"%2\" is %3 px in a button of %4"_s.arg(w->windowTitle(), b->text()).arg(caption).arg(b->width())));
        }
    }
    for (QWidget *w : windows.mid(1))
        w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void tst_screens::exitEndsAtOnce()
{
    TestOffice office;
    ScriptedUiScope scope;
    frmMenu menu;
    g_ended = 0;
    menu.cmdExit->click();
    menu.mnuExit->trigger();
    QCOMPARE(g_ended, 2);
}

void tst_screens::aboutBox()
{
    {
        frmAbout about; // on the stack: closing must not delete it
        QCOMPARE(about.windowTitle(), u"About Child trust fund administration"_s);
        QCOMPARE(about.lblVersion->text(), u"Version 1.0.15"_s);
        QCOMPARE(about.lblTitle->text(), u"Child trust fund administration"_s);
        QVERIFY(about.lblDescription->text().startsWith(u"tst_screens - "_s));
        QCOMPARE(about.cmdSysInfo->text(), u"&System Info..."_s);
        QVERIFY(activate(about));
        QTest::keyClick(&about, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(about.isHidden());
    }
    // Shown from the menu it is deleted when OK closes it.
    QPointer<QWidget> shown(screens::showAbout());
    static_cast<frmAbout *>(shown.data())->cmdOK->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(shown.isNull());
}

void tst_screens::maskedField()
{
    MaskedEdit urn(u">AA999999a"_s);
    QCOMPARE(urn.text(), u"_________"_s);
    QTest::keyClicks(&urn, u"ab12x3456c"_s);
    QCOMPARE(urn.text(), u"AB123456C"_s);
    QCOMPARE(urn.clipText(), u"AB123456C"_s);
    MaskedEdit date(u"##/##/####"_s);
    QTest::keyClicks(&date, u"3011"_s);
    QCOMPARE(date.text(), u"30/11/____"_s);
    QTest::keyClick(&date, Qt::Key_Backspace);
    QCOMPARE(date.text(), u"30/1_/____"_s);
    date.setMaskedText(u"01/02/2026"_s);
    QCOMPARE(date.text(), u"01/02/2026"_s);
    QCOMPARE(date.clipText(), u"01022026"_s);
    date.setCursorPosition(3);
    QTest::keyClick(&date, Qt::Key_Delete); // the character after the caret
    QCOMPARE(date.text(), u"01/_2/2026"_s);
    date.selectAll();
    QTest::keyClick(&date, Qt::Key_Delete);
    QCOMPARE(date.text(), u"__/__/____"_s);
}

// A message box stands over the screen that raised it and is wide enough for
// its whole title, which the window manager would otherwise cut.
void tst_screens::messageBoxOverItsScreen()
{
    QWidget screen;
    screen.resize(300, 200);
    QVERIFY(activate(screen));
    const QString title = u"Finished creating K:\\Returns\\CTFANRTN.txt"_s;
    const std::unique_ptr<QMessageBox> box =
        QtUserInterface::messageBox(u"Output complete"_s, title, MsgIcon::Information, MsgButtons::Ok, MsgResult::Ok);
    QCOMPARE(box->parentWidget(), &screen);
    QCOMPARE(box->windowTitle(), title);
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    QFont bold = box->font();
    bold.setBold(true);
    QVERIFY2(box->width() >= QFontMetrics(bold).horizontalAdvance(title) + QtUserInterface::kTitleBarRoom, qPrintable(QString::number(box->width())));
    box->close();

    // A hundred findings scroll within a box that fits the screen, its
    // button on the screen.
    QStringList lines;
    for (int i = 1; i <= 100; ++i)
        lines << u"ID %1: the date of birth is outside 1 September 2002 to 2 January 2011"_s.arg(i);
    const std::unique_ptr<QMessageBox> list = QtUserInterface::messageBox(lines.join(u"\r\n"_s), u"Checks"_s,
                                                                          MsgIcon::Information, MsgButtons::Ok, MsgResult::Ok);
    list->show();
    QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    const QRect available = list->screen()->availableGeometry();
    QVERIFY2(list->frameGeometry().height() <= available.height(), qPrintable(QString::number(list->frameGeometry().height())));
    QAbstractButton *ok = list->button(QMessageBox::Ok);
    QVERIFY(available.contains(QRect(ok->mapToGlobal(QPoint(0, 0)), ok->size())));
    QVERIFY(list->findChild<QScrollArea *>(u"messageScroll"_s));
    list->close();
}

void tst_screens::outputProposal_data()
{
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("proposed");
    QTest::newRow("1st") << QDate(2026, 12, 1) << "30/11/2026";
    QTest::newRow("14th") << QDate(2026, 12, 14) << "30/11/2026";
    QTest::newRow("15th") << QDate(2026, 12, 15) << "15/12/2026";
    QTest::newRow("16th") << QDate(2026, 12, 16) << "15/12/2026";
    QTest::newRow("1 March") << QDate(2027, 3, 1) << "28/02/2027";
    QTest::newRow("1 March, leap year") << QDate(2028, 3, 1) << "29/02/2028";
}

void tst_screens::outputProposal()
{
    QFETCH(QDate, today);
    QFETCH(QString, proposed);
    TestOffice office;
    ScriptedUiScope scope;
    const FixedClock clock(QDateTime(today, QTime(10, 30)));
    frmCTFOUTPUT screen;
    QCOMPARE(screen.mskPEnd->text(), proposed);
    QCOMPARE(screen.lastAccepted(), proposed);
}

void tst_screens::outputPeriodEndRules()
{
    TestOffice office;
    ScriptedUiScope scope;
    const FixedClock clock(QDateTime(QDate(2026, 12, 6), QTime(9, 0)));
    frmCTFOUTPUT screen;
    QCOMPARE(screen.windowTitle(), u" CTF - ASCII output"_s);
    const QString proposal = u"30/11/2026"_s;
    QCOMPARE(screen.mskPEnd->text(), proposal);
    QVERIFY(activate(screen));
    clickInto(screen.mskPEnd); // by mouse as by keyboard: the whole date selected
    QCOMPARE(base(screen.mskPEnd), kCyan);
    QCOMPARE(screen.mskPEnd->selectedText(), proposal);
    QTest::keyClicks(screen.mskPEnd, u"01122026"_s);
    focusOn(screen.cmdRecreate); // valid: stays
    QCOMPARE(base(screen.mskPEnd), kWhite);
    QCOMPARE(screen.mskPEnd->text(), u"01/12/2026"_s);
    QVERIFY(scope.ui().messages.isEmpty());
    focusOn(screen.mskPEnd);
    QTest::keyClicks(screen.mskPEnd, u"31022026"_s);
    // Another window in front and back: no field rule runs.
    QWidget other;
    QVERIFY(activate(other));
    QVERIFY(activate(screen));
    QVERIFY(scope.ui().messages.isEmpty());
    focusOn(screen.cmdRecreate);
    QCOMPARE(scope.ui().messages.size(), 1);
    QCOMPARE(scope.ui().messages[0].text, u"Invalid period end date!"_s);
    QCOMPARE(scope.ui().messages[0].title, u"Child trust fund administration"_s);
    QCOMPARE(scope.ui().messages[0].icon, MsgIcon::Exclamation);
    QCOMPARE(screen.mskPEnd->text(), proposal); // not the valid date typed before
    // Enter moves to Create without creating anything.
    focusOn(screen.mskPEnd);
    QTest::keyClick(screen.mskPEnd, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), screen.cmdXML);
    QVERIFY(!QFile::exists(office.host(u"K:\\Returns\\IRReturn.txt"_s)));
}

void tst_screens::outputCreateAndButtons()
{
    TestOffice office;
    ScriptedUiScope scope;
    office.addEntry(u"Voucher"_s, u"AB123456C"_s, u"01/02/2010"_s, 250);
    office.addEntry(u"RAA"_s, QVariant(), u"01/02/2010"_s, 250);
    frmCTFOUTPUT screen;
    QCOMPARE(screen.List1->model()->rowCount(), 2);
    QCOMPARE(screen.List1->model()->index(0, 0).data().toString(), u"RAA - "_s);
    QCOMPARE(screen.List1->model()->index(1, 0).data().toString(), u"Voucher - AB123456C"_s);
    QVERIFY(screen.cmdXML->isEnabled() && screen.cmdRecreate->isEnabled() && screen.cmdExit->isEnabled());
    // The checks' findings under the list (the RAA has no URN), shown on request, out of the keyboard order.
    QCOMPARE(screen.lblFindings->text(), u"The checks found something in 1 of the 2 entries to be output."_s);
    QCOMPARE(screen.cmdFindings->focusPolicy(), Qt::NoFocus);
    screen.cmdFindings->click();
    QVERIFY(scope.ui().messages.last().text.startsWith(u"ID 2: the URN \"\" is not what the URN field takes"_s));
    scope.ui().messages.clear();
    QVERIFY(activate(screen));
    screen.mskPEnd->setMaskedText(u"30/11/2026"_s);
    screen.cmdXML->click();
    QVERIFY(!screen.cmdXML->isEnabled() && !screen.cmdRecreate->isEnabled() && screen.cmdExit->isEnabled());
    QCOMPARE(office.readFile(u"K:\\Returns\\IRReturn.txt"_s),
             QByteArray("Header|2026/11/30\r\nRAA|         |2010/02/01|250.00|\r\nVoucher|AB123456C|2010/02/01|250.00\r\n"));
    QCOMPARE(scope.ui().messages.last().text, u"ASCII file  [K:\\Returns\\IRReturn.txt]  has been created"_s);
    // Enter in the period end offers Create again, and Enter on it runs it:
    // a second run writes the same entries.
    screen.mskPEnd->setMaskedText(u"15/12/2026"_s);
    focusOn(screen.mskPEnd);
    QTest::keyClick(screen.mskPEnd, Qt::Key_Return);
    QVERIFY(screen.cmdXML->isEnabled());
    QVERIFY(!screen.cmdRecreate->isEnabled());
    QTest::keyClick(screen.cmdXML, Qt::Key_Return);
    QCOMPARE(office.readFile(u"K:\\Returns\\IRReturn.txt"_s),
             QByteArray("Header|2026/12/15\r\nRAA|         |2010/02/01|250.00|\r\nVoucher|AB123456C|2010/02/01|250.00\r\n"));
}

void tst_screens::outputRecreate()
{
    TestOffice office;
    ScriptedUiScope scope;
    frmCTFOUTPUT screen;
    QVERIFY(activate(screen));
    scope.ui().fileToOpen.clear();
    screen.cmdRecreate->click();
    QCOMPARE(scope.ui().fileRequests.size(), 1);
    QCOMPARE(scope.ui().fileRequests[0].initialDir, u"C:\\Temp"_s);
    QCOMPARE(scope.ui().fileRequests[0].defaultExt, u"LOG"_s);
    QCOMPARE(scope.ui().fileRequests[0].title, u"QD Log files (Previously ASCII outputs)"_s);
    QCOMPARE(scope.ui().fileRequests[0].filter, u"*.LOG"_s);
    QVERIFY(screen.cmdXML->isEnabled() && screen.cmdRecreate->isEnabled()); // cancelled: unchanged
    scope.ui().fileToOpen = office.host(u"C:\\temp\\QDmissing.log"_s);
    screen.cmdRecreate->click();
    QCOMPARE(scope.ui().messages.last().text, u"Unable to re-create document from log file"_s);
    QVERIFY(screen.cmdXML->isEnabled() && screen.cmdRecreate->isEnabled());
    QFile log(office.host(u"C:\\temp\\QD30112026-0905.log"_s));
    QVERIFY(log.open(QIODevice::WriteOnly));
    log.write("Header|2026/11/30\r\nNilReturn\r\n");
    log.close();
    scope.ui().fileToOpen = log.fileName();
    screen.cmdRecreate->click();
    QCOMPARE(scope.ui().messages.last().text,
             u"ASCII file  [K:\\Returns\\IRReturn.txt]  has been re-created from the log file."_s);
    QCOMPARE(scope.ui().messages.last().title, u" CTF - ASCII output"_s);
    QVERIFY(!screen.cmdXML->isEnabled() && !screen.cmdRecreate->isEnabled() && screen.cmdExit->isEnabled());
    QCOMPARE(QApplication::focusWidget(), screen.cmdExit);
    QCOMPARE(office.readFile(u"K:\\Returns\\IRReturn.txt"_s), QByteArray("Header|2026/11/30\r\nNilReturn\r\n"));
}

void tst_screens::outputWithoutRegister()
{
    TestOffice office;
    ScriptedUiScope scope;
    QVERIFY(QFile::remove(office.host(u"K:\\CTF.mdb"_s)));
    frmCTFOUTPUT screen;
    QCOMPARE(scope.ui().messages.size(), 1);
    QVERIFY(scope.ui().messages[0].text.startsWith(u"Unable to access the database\r\n"_s));
    QCOMPARE(screen.List1->model()->rowCount(), 0);
    QCOMPARE(screen.mskPEnd->text(), u"__/__/____"_s);
    QVERIFY(!screen.cmdXML->isEnabled());
    QVERIFY(activate(screen));
    focusOn(screen.mskPEnd);
    QTest::keyClick(screen.mskPEnd, Qt::Key_Return);
    QVERIFY(!screen.cmdXML->isEnabled());
    QVERIFY(!QFile::exists(office.host(u"K:\\Returns\\IRReturn.txt"_s)));
}

void tst_screens::annualDatesAndEnter()
{
    QCOMPARE(frmCTFAnnualReturn::defaultStart(QDate(2026, 12, 4)), u"06/04/25"_s);
    QCOMPARE(frmCTFAnnualReturn::endAfter(QDate(2025, 4, 6)), u"05/04/26"_s);
    QCOMPARE(frmCTFAnnualReturn::endAfter(QDate(2025, 1, 1)), u"31/12/25"_s);
    TestOffice office;
    ScriptedUiScope scope;
    const FixedClock clock(QDateTime(QDate(2026, 12, 4), QTime(9, 0)));
    frmCTFAnnualReturn screen;
    QCOMPARE(screen.lblToday->text(), u"04/12/26"_s);
    QCOMPARE(screen.SSTab->currentIndex(), 1);
    screen.SSTab->setCurrentIndex(0);
    QVERIFY(activate(screen));
    // An end date with no start date stays empty.
    focusOn(screen.mskEndDate1);
    QCOMPARE(screen.mskEndDate1->text(), u"__/__/__"_s);
    clickInto(screen.mskStartDate1);
    const QString start = u"06/04/25"_s;
    QCOMPARE(screen.mskStartDate1->text(), start);
    QCOMPARE(screen.mskStartDate1->selectedText(), start);
    QCOMPARE(base(screen.mskStartDate1), kCyan);
    // Enter moves on to the end date, which then takes its default.
    QTest::keyClick(screen.mskStartDate1, Qt::Key_Return);
    QApplication::processEvents();
    QCOMPARE(QApplication::focusWidget(), screen.mskEndDate1);
    QCOMPARE(base(screen.mskStartDate1), kWhite);
    QCOMPARE(screen.mskStartDate1->text(), start);
    QCOMPARE(screen.mskEndDate1->text(), u"05/04/26"_s);
    // A start date already there is kept.
    screen.SSTab->setCurrentIndex(1);
    screen.mskStartDate2->setMaskedText(u"01/01/25"_s);
    focusOn(screen.mskStartDate2);
    QCOMPARE(screen.mskStartDate2->text(), u"01/01/25"_s);
    focusOn(screen.mskEndDate2);
    QCOMPARE(screen.mskEndDate2->text(), u"31/12/25"_s);
}

void tst_screens::annualLabelsProductsAndColours()
{
    TestOffice office;
    ScriptedUiScope scope;
    const QString tarn = u"K:\\Tarnwell.mdb"_s;
    office.exec(tarn, u"INSERT INTO Control VALUES ('Tarnwell Demo CU', '2026-09-30')"_s);
    office.exec(tarn, u"INSERT INTO Product VALUES ('S1', 'Ordinary shares', 1), ('JUN', 'Junior', 12), ('CTF', 'Child Trust Fund', 3)"_s);
    {
        const FixedClock clock(QDateTime(QDate(2026, 12, 6), QTime(9, 0)));
        frmCTFAnnualReturn screen;
        QCOMPARE(screen.windowTitle(), u" CTF - Annual Return Output"_s);
        QCOMPARE(screen.lblCreditUnionName->text(), u"Tarnwell Demo CU"_s);
        QCOMPARE(screen.lblThisYear->text(), u"Processing for year end 30/09/2026"_s);
        QCOMPARE(screen.lblToday->text(), u"06/12/26"_s);
        QCOMPARE(screen.lstProduct->count(), 0); // "K:\": no product list
        screen.cmdOutput2->click();
        QCOMPARE(scope.ui().messages.last().text, u"Invalid starting date entered"_s); // dates first
        screen.mskStartDate2->setMaskedText(u"06/04/25"_s);
        screen.mskEndDate2->setMaskedText(u"05/04/26"_s);
        scope.ui().messages.clear();
        screen.cmdOutput2->click();
        QCOMPARE(scope.ui().messages.last().text, u"No products selected"_s);
        QCOMPARE(scope.ui().messages.last().title, u" CTF - Annual Return Output"_s);
        // The colours of the share account buttons follow the choice.
        QCOMPARE(screen.optShareAcc[1]->palette().color(QPalette::WindowText), QColor(0, 192, 0));
        screen.optShareAcc[3]->click();
        QCOMPARE(screen.optShareAcc[3]->palette().color(QPalette::WindowText), QColor(0, 192, 0));
        QCOMPARE(screen.optShareAcc[1]->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    }
    // The office's Tarnwell folder, read at start-up as the main screen does.
    office.writeRegistry(QByteArray("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Orvel\\Tarnwell]\r\n\"Database\"=\"K:\\\\Data\\\\\"\r\n"));
    frmMenu menu;
    QDir().mkpath(office.host(u"K:\\"_s) + u"/Data"_s);
    office.exec(tarn, u"PRAGMA wal_checkpoint(TRUNCATE)"_s);
    QVERIFY(QFile::copy(office.host(tarn), office.host(u"K:\\Data\\TarnMain.mdb"_s)));
    QVERIFY(QFile::copy(office.host(tarn), office.host(u"K:\\Data\\TarnTran.mdb"_s)));
    frmCTFAnnualReturn screen;
    QCOMPARE(screen.lstProduct->count(), 3);
    QStringList selected;
    for (int i = 0; i < 3; ++i)
        selected << screen.lstProduct->item(i)->text() + (screen.lstProduct->item(i)->isSelected() ? "*" : "");
    QCOMPARE(selected, QStringList({"CTF - Child Trust Fund*", "JUN - Junior*", "S1 - Ordinary shares"}));
    QCOMPARE(screen.SSTab->currentIndex(), 1);
}

void tst_screens::annualRunFromTheScreen()
{
    TestOffice office;
    ScriptedUiScope scope;
    const QString tarn = u"K:\\Tarnwell.mdb"_s;
    office.exec(tarn, u"INSERT INTO MemberMain VALUES (1, 'A', 'B', '2015-01-01', 'AB123456C')"_s);
    office.exec(tarn, u"INSERT INTO MemberBals VALUES (1, 0, 5, 0, 0), (2, 0, 5, 0, 0)"_s); // 2: no MemberMain row
    frmCTFAnnualReturn screen;
    QVERIFY(activate(screen));
    screen.SSTab->setCurrentIndex(0);
    screen.optShareAcc[2]->click();
    screen.mskStartDate1->setMaskedText(u"06/04/25"_s);
    screen.cmdOutput1->click();
    QCOMPARE(scope.ui().messages.last().text, u"Invalid ending date entered"_s);
    QCOMPARE(QApplication::focusWidget(), screen.mskEndDate1);
    screen.mskEndDate1->setMaskedText(u"05/04/26"_s);
    screen.cmdOutput1->click();
    QCOMPARE(screen.optShareAcc[2]->text(), u"Share account 2 - Complete"_s);
    QCOMPARE(screen.optShareAcc[1]->text(), u"Share account 1"_s);
    QCOMPARE(office.readFile(u"K:\\Returns\\CTFANRTN.txt"_s),
             QByteArray("Header|2026/04/05\r\nAccount|AB123456C|2|y|0.00|0.00|0.00\r\n"));
    // After the run: who was left out, and why, on request.
    QCOMPARE(screen.lblLeftOut->text(), QStringLiteral("The return left out 1 member(s) of the selection: no MemberMain row, no NI number, "
                                                       "or over 18."));
    QCOMPARE(screen.cmdLeftOut->focusPolicy(), Qt::NoFocus);
    screen.cmdLeftOut->click();
    QCOMPARE(scope.ui().messages.last().text, u"Member 2: has no MemberMain row, so the return leaves the member out."_s);
}

QTEST_MAIN(tst_screens)
#include "tst_screens.moc"
