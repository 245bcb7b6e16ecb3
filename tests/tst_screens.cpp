// The main screen, the About box, the output screen and the annual return
// screen, driven with real key presses, clicks and focus changes.
#include "annual/frmctfannualreturn.h"
#include "annual/frmmaturities.h"
#include "app/appsettings.h"
#include "app/frmabout.h"
#include "app/frmmenu.h"
#include "app/screens.h"
#include "platform/buttonroom.h"
#include "platform/maskededit.h"
#include "platform/qtuserinterface.h"
#include "returns/frmctfoutput.h"
#include "support/office.h"
#include "support/screen.h"

using namespace Qt::StringLiterals;
using namespace screen;

namespace {
const QColor kCyan(0, 255, 255);
const QColor kWhite(255, 255, 255);

// Enabled or not: Create, Re-create, Exit.
QString outputButtons(const frmCTFOUTPUT &s)
{
    return u"%1%2%3"_s.arg(s.cmdXML->isEnabled()).arg(s.cmdRecreate->isEnabled()).arg(s.cmdExit->isEnabled());
}
} // namespace

class tst_screens : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QtUserInterface::installKeySender(); }

    void menuLayoutAndKeyboardOrder()
    {
        TestOffice office;
        frmMenu menu;
        QStringList captions;
        for (QPushButton *b : menu.fraButtons->findChildren<QPushButton *>())
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
        // File: About, a separator that shows no "-", Exit.
        QStringList file{menu.menuBar()->actions().first()->text()};
        for (const QAction *a : menu.menuBar()->actions().first()->menu()->actions())
            file << (a->isSeparator() ? u"separator "_s : QString()) + a->text();
        QCOMPARE(file, QStringList({"File", "About", "&Maturities due...", "separator ", "E&xit"}));
        QVERIFY(activate(menu));
        QTest::keyClick(&menu, Qt::Key_F10); // "File" has no access key
        QTRY_VERIFY(menu.menuBar()->actions().first()->menu()->isVisible());
        QTest::keyClick(menu.menuBar()->actions().first()->menu(), Qt::Key_Escape);
        QCOMPARE(menu.helpFile(), office.root() + u"/program\\CTFHelp.chm>main"_s);
    }

    void menuLoadsSettingsAndFollowsTitle()
    {
        TestOffice office;
        office.writeRegistry(QByteArray("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Orvel\\Tarnwell]\r\n\"Database\"=\"SRV1\"\r\n"
                                        "\"SQLDatabase\"=\"SRV1\"\r\n\"DataSubset\"=\"X\"\r\n"));
        appsettings::setMainTitle(u" CTF administration"_s);
        frmMenu menu;
        QCOMPARE(menu.windowTitle(), u" CTF administration"_s);
        QVERIFY(menu.chkSQL->isChecked());
        QCOMPARE(menu.txtDatabase->text() + u'|' + menu.SQLSubset->text(), u"SRV1|X"_s);
        {
            frmCTFOUTPUT output; // asks for the register's connection string
        }
        QCOMPARE(menu.windowTitle(), u" CTF administration (CTF.mdb location is K:\\)"_s);
    }

    // The editor, the submission program and the help: what is started, and
    // what the operator is told when it cannot be.
    void menuLaunchesAndHelp()
    {
        TestOffice office;
        frmMenu menu;
        office.ui().launchSucceeds = false;
        menu.cmdEditReturn->click();
        menu.cmdEditAnReturn->click();
        menu.cmdSubmit->click();
        QCOMPARE(office.ui().launches, QStringList({"notepad K:\\Returns\\IRReturn.txt", "notepad K:\\Returns\\Ctfanrtn.txt",
                                                   "C:\\Program Files\\Child Trust Fund Interface\\ChildTrustFund.exe"}));
        QCOMPARE(office.ui().launchStyles, QList<WindowStyle>({WindowStyle::Maximized, WindowStyle::Maximized, WindowStyle::Normal}));
        const QString info = u"Information | "_s + menu.windowTitle() + u" | "_s;
        QCOMPARE(office.ui().seen(), QStringList({info + u"Unable to find the document K:\\Returns\\IRReturn.txt - please find this file manually"_s,
                                                 info + u"Unable to find the document K:\\Returns\\Ctfanrtn.txt - please find this file manually"_s,
                                                 info + u"Unable to find the submission program - please run this application manually"_s}));
        office.ui().launchSucceeds = true;
        menu.cmdEditReturn->click();
        QCOMPARE(office.ui().messages.size(), 3);

        // F1 always answers: the office's help file beside the program when it is
        // there, else the manual that comes with the program, else what is missing.
        const QString manual = office.root() + u"/program/manual/index.html"_s;
        office.ui().launches.clear();
        screens::showHelp();
        QVERIFY2(office.ui().lastText().startsWith(u"The manual is not there: "_s + manual), qPrintable(office.ui().lastText()));
        office.writeFile(manual, {});
        office.ui().launchSucceeds = false;
        screens::showHelp();
        QVERIFY2(office.ui().lastText().contains(u"no program could be started to show it: install xdg-utils"_s), qPrintable(office.ui().lastText()));
        office.ui().launchSucceeds = true;
        screens::showHelp();
        office.writeFile(office.root() + u"/program/CTFHelp.chm"_s, {});
        screens::showHelp();
        QCOMPARE(office.ui().launches, QStringList({u"open "_s + manual, u"open "_s + manual, u"open "_s + office.root() + u"/program\\CTFHelp.chm"_s}));
        QCOMPARE(office.ui().messages.size(), 5);
    }

    // Every window is shown once however often it is asked for, fits an
    // office's 1024x768 screen (and on a real display, run-under-x's of that
    // size, lies within it), and every caption fits its button with room on
    // either side, on the default font and scaled (ctest runs this again with
    // QT_SCALE_FACTOR 1.25 and 1.5).
    void captionsFitTheirButtons()
    {
        TestOffice office;
        frmMenu menu;
        QVERIFY(activate(menu));
        QList<QWidget *> windows{&menu, screens::showMaintenance(), screens::showEnquiry(), screens::showOutput(), screens::showAnnualReturn(),
                                 screens::showAbout(), screens::showMaturities()};
        QCOMPARE(QList<QWidget *>({screens::showMaintenance(), screens::showEnquiry(), screens::showOutput(), screens::showAnnualReturn(),
                                   screens::showAbout(), screens::showMaturities()}),
                 windows.mid(1));
        constexpr int kRoom = buttonroom::kCaptionRoom;
        for (QWidget *w : windows) {
            QVERIFY(QTest::qWaitForWindowExposed(w));
            // In the screen's own pixels, its scaling applied.
            const QRect frame = w->frameGeometry();
            const qreal scale = w->devicePixelRatioF();
            QVERIFY2(frame.width() * scale <= 1024 && frame.height() * scale <= 768,
                     qPrintable(u"%1: %2x%3 at %4"_s.arg(w->windowTitle()).arg(frame.width()).arg(frame.height()).arg(scale)));
            if (w == &menu) { // the picture whole where there is room (1024x768 unscaled), in proportion where not
                const QSize room = menu.picture->size(), whole(661, 512);
                const bool fits = room.width() >= whole.width() && room.height() >= whole.height();
                QCOMPARE(menu.picture->pixmap().size(), fits ? whole : whole.scaled(room, Qt::KeepAspectRatio));
                QVERIFY(fits || scale > 1 || w->screen()->availableGeometry().width() < 1000);
            }
            if (QGuiApplication::platformName() == u"xcb"_s)
                QVERIFY2(w->screen()->availableGeometry().contains(frame), qPrintable(w->windowTitle()));
            for (QPushButton *b : w->findChildren<QPushButton *>()) {
                if (!b->isVisible())
                    continue;
                const int caption = b->fontMetrics().horizontalAdvance(QString(b->text()).remove(u'&'));
                QVERIFY2(caption + 2 * kRoom <= b->width(),
                         qPrintable(u"%1: \"%2\" is %3 px in a button of %4"_s.arg(w->windowTitle(), b->text()).arg(caption).arg(b->width())));
            }
        }
        const QPointer<QWidget> closed(windows[3]);
        for (QWidget *w : windows.mid(1))
            w->close();
        QTest::qWait(0); // closing deletes the screen: the next one asked for is new
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(closed.isNull());
        QPointer<QWidget> output(screens::showOutput());
        QVERIFY(output);
        output->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Escape hides the About box; shown from the menu, OK deletes it.
    void aboutBox()
    {
        {
            frmAbout about; // on the stack: closing must not delete it
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

    // The editing keys the screens' tests do not press: Delete at the caret
    // and over a selection; the clip text drops the literals; an empty field
    // takes typing wherever its caret was left.
    void maskedFieldKeys()
    {
        MaskedEdit date(u"##/##/####"_s);
        date.setMaskedText(u"01/02/2026"_s);
        QCOMPARE(date.clipText(), u"01022026"_s);
        date.setCursorPosition(3);
        QTest::keyClick(&date, Qt::Key_Delete);
        QCOMPARE(date.text(), u"01/_2/2026"_s);
        date.selectAll();
        QTest::keyClick(&date, Qt::Key_Delete);
        QCOMPARE(date.text(), u"__/__/____"_s);
        date.setCursorPosition(10); // empty, the caret at its end: typing starts at the start
        QTest::keyClicks(&date, u"0102"_s);
        QCOMPARE(date.text(), u"01/02/____"_s);
    }

    // A message box stands over the screen that raised it and is wide enough for
    // its whole title, which the window manager would otherwise cut; a long
    // message scrolls in a box that fits the screen, its button on the screen.
    void messageBoxOverItsScreen()
    {
        QWidget parent;
        auto *field = new QLineEdit(&parent);
        parent.resize(300, 200);
        QVERIFY(activate(parent));
        focusOn(field);
        // While no window is active (a box has just closed), over the screen last active.
        QApplication::setActiveWindow(nullptr);
        QCOMPARE(QtUserInterface::messageBox({}, {}, MsgIcon::Information, MsgButtons::Ok, MsgResult::Ok)->parentWidget(), &parent);
        QVERIFY(activate(parent));
        const QString title = u"Finished creating K:\\Returns\\CTFANRTN.txt"_s;
        const auto box = QtUserInterface::messageBox(u"Output complete"_s, title, MsgIcon::Information, MsgButtons::Ok, MsgResult::Ok);
        QCOMPARE(box->parentWidget(), &parent);
        QCOMPARE(box->windowTitle(), title);
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        QFont bold = box->font();
        bold.setBold(true);
        QVERIFY2(box->width() >= QFontMetrics(bold).horizontalAdvance(title) + QtUserInterface::kTitleBarRoom, qPrintable(QString::number(box->width())));
        box->close();

        QStringList lines;
        for (int i = 1; i <= 100; ++i)
            lines << u"ID %1: the date of birth is outside 1 September 2002 to 2 January 2011"_s.arg(i);
        const auto list = QtUserInterface::messageBox(lines.join(u"\r\n"_s), u"Checks"_s, MsgIcon::Information, MsgButtons::Ok, MsgResult::Ok);
        list->show();
        QVERIFY(QTest::qWaitForWindowExposed(list.get()));
        const QRect available = list->screen()->availableGeometry();
        QVERIFY2(list->frameGeometry().height() <= available.height(), qPrintable(QString::number(list->frameGeometry().height())));
        QAbstractButton *ok = list->button(QMessageBox::Ok);
        QVERIFY(available.contains(QRect(ok->mapToGlobal(QPoint(0, 0)), ok->size())));
        QVERIFY(list->findChild<QScrollArea *>(u"messageScroll"_s));
        list->close();
    }

    // The period end's rules, the list with the checks' findings, and Create
    // by mouse and by keyboard.
    void outputScreen()
    {
        TestOffice office;
        office.addEntry(u"Voucher"_s, u"AB123456C"_s, u"01/02/2010"_s, 250);
        office.addEntry(u"RAA"_s, QVariant(), u"01/02/2010"_s, 250);
        const FixedClock clock(QDateTime(QDate(2026, 12, 6), QTime(9, 0)));
        frmCTFOUTPUT screen;
        QCOMPARE(screen.windowTitle(), u" CTF - ASCII output"_s);
        QCOMPARE(screen.List1->model()->rowCount(), 2);
        QCOMPARE(screen.List1->model()->index(0, 0).data().toString() + u'|' + screen.List1->model()->index(1, 0).data().toString(),
                 u"RAA - |Voucher - AB123456C"_s);
        QCOMPARE(outputButtons(screen), u"111"_s);
        // The checks' findings under the list (the RAA has no URN), shown on
        // request (Alt+F), last in the keyboard order.
        QCOMPARE(screen.lblFindings->text(), u"The checks found something in 1 of the 2 entries to be output."_s);
        QVERIFY(activate(screen));
        focusOn(screen.List1);
        QStringList order{u"List1"_s};
        for (int i = 0; i < 5 && QApplication::focusWidget(); ++i) {
            key(QApplication::focusWidget(), Qt::Key_Tab);
            order << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : u"nothing"_s);
        }
        QCOMPARE(order, QStringList({"List1", "mskPEnd", "cmdXML", "cmdRecreate", "cmdExit", "cmdFindings"}));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::AltModifier);
        QTRY_COMPARE(office.ui().messages.size(), 1); // the button's press is shown first
        QVERIFY(office.ui().lastText().startsWith(u"ID 2: the URN \"\" is not what the URN field takes"_s));
        office.ui().messages.clear();
        const QString proposal = u"30/11/2026"_s;
        QCOMPARE(screen.mskPEnd->text(), proposal);
        clickInto(screen.mskPEnd); // by mouse as by keyboard: the whole date selected
        QCOMPARE(base(screen.mskPEnd), kCyan);
        QCOMPARE(screen.mskPEnd->selectedText(), proposal);
        QTest::keyClicks(screen.mskPEnd, u"01122026"_s);
        focusOn(screen.cmdRecreate); // valid: stays
        QCOMPARE(base(screen.mskPEnd), kWhite);
        QCOMPARE(screen.mskPEnd->text(), u"01/12/2026"_s);
        QVERIFY(office.ui().messages.isEmpty());
        focusOn(screen.mskPEnd);
        QTest::keyClicks(screen.mskPEnd, u"31022026"_s);
        // Another window in front and back: no field rule runs.
        QWidget other;
        QVERIFY(activate(other));
        QVERIFY(activate(screen));
        QVERIFY(office.ui().messages.isEmpty());
        focusOn(screen.cmdRecreate);
        QCOMPARE(office.ui().seen(), QStringList{u"Exclamation | Child trust fund administration | Invalid period end date!"_s});
        QCOMPARE(screen.mskPEnd->text(), proposal); // not the valid date typed before
        // Create by its access key, the focus still in the field: the same rule, and nothing created.
        focusOn(screen.mskPEnd);
        QTest::keyClicks(screen.mskPEnd, u"31022026"_s);
        QTest::keyClick(screen.mskPEnd, Qt::Key_C, Qt::AltModifier);
        QTRY_COMPARE(office.ui().messages.size(), 2);
        QVERIFY(office.ui().lastText() == u"Invalid period end date!"_s && !QFile::exists(office.host(kReturn)) && screen.cmdXML->isEnabled());
        // Enter moves to Create without creating anything.
        focusOn(screen.mskPEnd);
        key(screen.mskPEnd, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), screen.cmdXML);
        QVERIFY(!QFile::exists(office.host(kReturn)));
        screen.cmdXML->click();
        QCOMPARE(outputButtons(screen), u"001"_s);
        const QByteArray lines("RAA|         |2010/02/01|250.00|\r\nVoucher|AB123456C|2010/02/01|250.00\r\n");
        QCOMPARE(office.readFile(kReturn), "Header|2026/11/30\r\n" + lines);
        QCOMPARE(office.ui().lastText(), u"ASCII file  [K:\\Returns\\IRReturn.txt]  has been created"_s);
        // Enter in the period end offers Create again, and Enter on it runs it:
        // a second run writes the same entries (one saved since the screen
        // opened waits for its next opening).
        office.addEntry(u"Voucher"_s, u"ZZ000001"_s, u"01/02/2010"_s, 5);
        screen.mskPEnd->setMaskedText(u"15/12/2026"_s);
        focusOn(screen.mskPEnd);
        QTest::keyClick(screen.mskPEnd, Qt::Key_Return);
        QCOMPARE(outputButtons(screen), u"101"_s);
        QTest::keyClick(screen.cmdXML, Qt::Key_Return);
        QCOMPARE(office.readFile(kReturn), "Header|2026/12/15\r\n" + lines);
    }

    // Re-creation copies the chosen log over the return and leaves the register.
    void outputRecreate()
    {
        TestOffice office;
        office.addEntry(u"Voucher"_s, u"AB000001"_s, u"05/05/2013"_s, 5);
        office.writeFile(kReturn, "changed by hand\r\n");
        frmCTFOUTPUT screen;
        QVERIFY(activate(screen));
        office.ui().fileToOpen.clear();
        screen.cmdRecreate->click();
        QCOMPARE(office.ui().fileRequests.size(), 1);
        const OpenFileRequest &asked = office.ui().fileRequests[0];
        QCOMPARE(QStringList({asked.initialDir, asked.defaultExt, asked.title, asked.filter}),
                 QStringList({"C:\\Temp", "LOG", "QD Log files (Previously ASCII outputs)", "*.LOG"}));
        QCOMPARE(outputButtons(screen), u"111"_s); // cancelled: unchanged
        office.ui().fileToOpen = office.host(u"C:\\temp\\QDmissing.log"_s);
        screen.cmdRecreate->click();
        QCOMPARE(office.ui().lastText(), u"Unable to re-create document from log file"_s);
        QCOMPARE(outputButtons(screen), u"111"_s);
        QCOMPARE(office.readFile(kReturn), QByteArray("changed by hand\r\n"));
        office.ui().fileToOpen = office.host(u"C:\\temp\\QD30112026-0905.log"_s);
        office.writeFile(office.ui().fileToOpen, "Header|2026/11/30\r\nNilReturn\r\n");
        QVERIFY(QFile::remove(office.host(kReturn))); // made under the name the submission program reads
        screen.cmdRecreate->click();
        QCOMPARE(office.ui().seen().last(),
                 u"Information |  CTF - ASCII output | ASCII file  [K:\\Returns\\IRReturn.txt]  has been re-created from the log file."_s);
        QCOMPARE(outputButtons(screen), u"001"_s);
        QCOMPARE(QApplication::focusWidget(), screen.cmdExit);
        QCOMPARE(QDir(office.host(u"K:\\Returns"_s)).entryList(QDir::Files), QStringList{u"IRReturn.txt"_s});
        QCOMPARE(office.readFile(kReturn), QByteArray("Header|2026/11/30\r\nNilReturn\r\n"));
        QCOMPARE(office.scalar(kCtf, u"SELECT RecordOutput || ifnull(PeriodEndSent, '') FROM ChildTrustFunds"_s).toString(), u"0"_s);
    }

    // The log file dialog names the folder as the operator knows it and
    // lists its logs, newest first; the keyboard chooses one. The save
    // dialog takes a name typed as the office names places.
    void logFileDialog()
    {
        TestOffice office;
        office.writeFile(u"C:\\temp\\QD31102026-0900.log"_s, "older");
        QFile older(office.host(u"C:\\temp\\QD31102026-0900.log"_s));
        QVERIFY(older.open(QIODevice::ReadWrite) && older.setFileTime(QDateTime::currentDateTime().addDays(-30), QFileDevice::FileModificationTime));
        older.close();
        office.writeFile(u"C:\\temp\\QD30112026-0905.log"_s, "newer");
        office.writeFile(u"C:\\temp\\notes.txt"_s, "not a log");
        QtUserInterface qt;
        QStringList seen;
        QTimer::singleShot(100, [&] {
            QWidget *dialog = QApplication::activeModalWidget();
            if (!dialog)
                return;
            for (const QLabel *l : dialog->findChildren<QLabel *>())
                seen << l->text();
            if (const auto *list = dialog->findChild<QListWidget *>())
                for (int i = 0; i < list->count(); ++i)
                    seen << list->item(i)->text();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        });
        QCOMPARE(qt.openFile({u"C:\\Temp"_s, u"LOG"_s, u"QD Log files (Previously ASCII outputs)"_s, u"*.LOG"_s}), u"C:\\Temp\\QD31102026-0900.log"_s);
        QCOMPARE(seen, QStringList({"Look &in: C:\\Temp\\", "File &name:", "QD30112026-0905.log", "QD31102026-0900.log"}));
        QTimer::singleShot(100, [] {
            QTest::keyClicks(QApplication::focusWidget(), u"K:\\due.csv"_s);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        });
        QCOMPARE(qt.saveFile({u"C:\\Temp\\due.csv"_s, u"csv"_s, u"CSV files"_s, u"*.csv"_s}), office.host(u"K:\\due.csv"_s));
    }

    void outputWithoutRegister()
    {
        TestOffice office;
        QVERIFY(QFile::remove(office.host(kCtf)));
        frmCTFOUTPUT screen;
        QCOMPARE(office.ui().messages.size(), 1);
        QCOMPARE(screen.List1->model()->rowCount(), 0);
        QCOMPARE(screen.mskPEnd->text(), u"__/__/____"_s);
        QCOMPARE(outputButtons(screen), u"011"_s);
        QVERIFY(activate(screen));
        focusOn(screen.mskPEnd);
        QTest::keyClick(screen.mskPEnd, Qt::Key_Return);
        QVERIFY(!screen.cmdXML->isEnabled());
        QVERIFY(!QFile::exists(office.host(kReturn)));
    }

    // "Invalid ending date entered" on its real box: when the screen has the
    // focus back, the end date's rule has run (filled from the start, cyan)
    // and the start date has given up its colour.
    void annualRefusedDateOnTheRealBox()
    {
        TestOffice office;
        const FixedClock clock(QDateTime(QDate(2026, 12, 4), QTime(9, 0)));
        std::unique_ptr<UserInterface> previous = ui::install(std::make_unique<QtUserInterface>());
        frmCTFAnnualReturn screen;
        screen.SSTab->setCurrentIndex(0);
        QVERIFY(activate(screen));
        clickInto(screen.mskStartDate1);
        QCOMPARE(base(screen.mskStartDate1), kCyan);
        RealBoxAnswer answer({QKeyCombination(Qt::Key_Return)});
        screen.cmdOutput1->click();
        QTRY_COMPARE(answer.answered(), 1);
        QVERIFY(RealBoxAnswer::screenBack(screen));
        QTRY_COMPARE(QApplication::focusWidget(), screen.mskEndDate1);
        QCOMPARE(screen.mskEndDate1->text() + u'|' + screen.mskEndDate1->selectedText(), u"05/04/26|05/04/26"_s);
        QCOMPARE(base(screen.mskEndDate1), kCyan);
        QCOMPARE(base(screen.mskStartDate1), kWhite);
        ui::install(std::move(previous));
    }

    // A line that changes after the screen opened (the checks', the members
    // left out) moves nothing and resizes nothing, one line or two.
    void changingLinesMoveNothing()
    {
        TestOffice office;
        frmCTFOUTPUT output;
        frmCTFAnnualReturn annual;
        struct Line {
            QWidget *screen;
            QLabel *label;
            QString longest;
        };
        for (const auto &[screen, line, longLine] :
             {Line{&output, output.lblFindings, u"The checks found something in 99999 of the 100000 entries to be output."_s},
              Line{&annual, annual.lblLeftOut, u"The return left out 99999 members of the selection: no MemberMain row, no NI number, or over 18."_s}}) {
            QVERIFY(activate(*screen));
            const auto places = [screen] {
                QList<QRect> at{screen->geometry()};
                for (const QWidget *w : screen->findChildren<QWidget *>())
                    if (w->isVisible())
                        at << QRect(w->mapTo(screen, QPoint(0, 0)), w->size());
                return at;
            };
            line->setText(u"One line."_s);
            settle();
            const QList<QRect> before = places();
            line->setText(longLine);
            settle();
            QCOMPARE(places(), before);
        }
    }

    // Maturities due from the File menu: the period and the selection, the
    // grid by date and sorted from the keyboard, Save as CSV of the list as
    // shown, Escape closes it.
    void maturitiesWindow()
    {
        TestOffice office;
        office.exec(kTarn, u"INSERT INTO MemberMain VALUES (1, 'Ann', 'Lee', '2008-06-01', 'QQ000001A'), (2, 'Bob', 'Ray', '2009-03-01', 'QQ000002A')"_s);
        office.exec(kTarn, u"INSERT INTO MemberBals VALUES (1, 5, 0, 0, 0), (2, 5, 0, 0, 0)"_s);
        frmMenu menu;
        QVERIFY(activate(menu));
        menu.mnuMaturities->trigger();
        auto *w = qobject_cast<frmMaturities *>(screens::showMaturities());
        QVERIFY(w && activate(*w));
        w->cmdShow->click(); // no period yet
        QVERIFY(office.ui().seen().value(0).contains(u"Maturities due | The period is not valid"_s));
        QTest::keyClicks(w->mskFrom, u"01012026"_s);
        QTest::keyClicks(w->mskTo, u"31122026"_s);
        w->cmdShow->click();
        const auto column = [w](int c) {
            QStringList cells;
            for (int r = 0; r < w->grdDue->rowCount(); ++r)
                cells << w->grdDue->item(r, c)->text();
            return cells.join(u' ');
        };
        QCOMPARE(column(0) + u" | "_s + column(2), u"01/03/2026 01/06/2026 | 2 1"_s);
        QCOMPARE(w->lblShown->text(), u"2 events from 01/01/2026 to 31/12/2026."_s);
        w->grdDue->setFocus();
        w->grdDue->setCurrentCell(0, 2); // Member
        key(w->grdDue, Qt::Key_Return);
        QCOMPARE(column(2), u"1 2"_s);
        key(w->grdDue, Qt::Key_Return);
        QCOMPARE(column(2), u"2 1"_s);
        office.ui().fileToSave = office.host(u"C:\\temp\\due.csv"_s);
        w->cmdSave->click();
        QCOMPARE(office.readFile(u"C:\\temp\\due.csv"_s),
                 QByteArray("Date,Event,Member,Name,NI number,Date of birth,Balance at 01/01/2026\n"
                            "01/03/2026,17th birthday: statement due,2,Bob Ray,QQ000002A,01/03/2009,0.00\n"
                            "01/06/2026,18th birthday: account matures,1,Ann Lee,QQ000001A,01/06/2008,0.00\n"));
        const QPointer<QWidget> window(w);
        QTest::keyClick(w, Qt::Key_Escape);
        QVERIFY(!window || !window->isVisible());
    }

    // The Tarnwell I tab from the keyboard alone: Enter through the dates
    // reaches the share account chosen, the arrows choose another, Enter
    // goes on to Output.
    void annualByKeyboard()
    {
        TestOffice office;
        frmCTFAnnualReturn screen;
        screen.SSTab->setCurrentIndex(0);
        QVERIFY(activate(screen));
        focusOn(screen.mskStartDate1);
        QStringList path{QApplication::focusWidget()->objectName()};
        for (Qt::Key k : {Qt::Key_Return, Qt::Key_Return, Qt::Key_Down, Qt::Key_Return}) {
            key(QApplication::focusWidget(), k);
            path << QApplication::focusWidget()->objectName() + (k == Qt::Key_Down ? u" chosen %1"_s.arg(screen.optShareAcc[2]->isChecked() ? 2 : 1) : QString());
        }
        QCOMPARE(path, QStringList({"mskStartDate1", "mskEndDate1", "optShareAcc1", "optShareAcc2 chosen 2", "cmdOutput1"}));
    }

    void annualDatesAndRun()
    {
        QCOMPARE(frmCTFAnnualReturn::defaultStart(QDate(2026, 12, 4)), u"06/04/25"_s);
        QCOMPARE(frmCTFAnnualReturn::endAfter(QDate(2025, 4, 6)), u"05/04/26"_s);
        QCOMPARE(frmCTFAnnualReturn::endAfter(QDate(2025, 1, 1)), u"31/12/25"_s);
        TestOffice office;
        office.exec(kTarn, u"INSERT INTO MemberMain VALUES (1, 'A', 'B', '2015-01-01', 'AB123456C')"_s);
        office.exec(kTarn, u"INSERT INTO MemberBals VALUES (1, 0, 5, 0, 0), (2, 0, 5, 0, 0)"_s); // 2: no MemberMain row
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
        QCOMPARE(screen.mskStartDate1->text() + u'|' + screen.mskStartDate1->selectedText(), start + u'|' + start);
        QCOMPARE(base(screen.mskStartDate1), kCyan);
        // Enter moves on to the end date, which then takes its default.
        key(screen.mskStartDate1, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), screen.mskEndDate1);
        QCOMPARE(base(screen.mskStartDate1), kWhite);
        QCOMPARE(screen.mskStartDate1->text() + u'|' + screen.mskEndDate1->text(), u"06/04/25|05/04/26"_s);
        // A run: an invalid end date first.
        screen.optShareAcc[2]->click();
        screen.mskEndDate1->setMaskedText(u"31/02/26"_s);
        screen.cmdOutput1->click();
        QCOMPARE(office.ui().lastText(), u"Invalid ending date entered"_s);
        QCOMPARE(QApplication::focusWidget(), screen.mskEndDate1);
        screen.mskEndDate1->setMaskedText(u"05/04/26"_s);
        screen.cmdOutput1->click();
        QCOMPARE(screen.optShareAcc[2]->text() + u'|' + screen.optShareAcc[1]->text(), u"Share account 2 - Complete|Share account 1"_s);
        QCOMPARE(office.readFile(kAnnual), QByteArray("Header|2026/04/05\r\nAccount|AB123456C|2|y|0.00|0.00|0.00\r\n"));
        // After the run: who was left out, and why, on request.
        QCOMPARE(screen.lblLeftOut->text(), u"The return left out 1 member of the selection: no MemberMain row, no NI number, or over 18."_s);
        const qsizetype before = office.ui().messages.size();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::AltModifier);
        QTRY_COMPARE(office.ui().messages.size(), before + 1);
        QCOMPARE(office.ui().lastText(), u"Member 2: has no MemberMain row, so the return leaves the member out."_s);
        // A start date already there is kept.
        screen.SSTab->setCurrentIndex(1);
        screen.mskStartDate2->setMaskedText(u"01/01/25"_s);
        focusOn(screen.mskStartDate2);
        focusOn(screen.mskEndDate2);
        QCOMPARE(screen.mskStartDate2->text() + u'|' + screen.mskEndDate2->text(), u"01/01/25|31/12/25"_s);
    }

    void annualLabelsProductsAndColours()
    {
        TestOffice office;
        office.exec(kTarn, u"INSERT INTO Control VALUES ('Tarnwell Demo CU', '2026-09-30')"_s);
        office.exec(kTarn, u"INSERT INTO Product VALUES ('S1', 'Ordinary shares', 1), ('JUN', 'Junior', 12), ('CTF', 'Child Trust Fund', 3)"_s);
        {
            const FixedClock clock(QDateTime(QDate(2026, 12, 6), QTime(9, 0)));
            frmCTFAnnualReturn screen;
            QVERIFY(office.ui().busyTimes == 1 && !office.ui().busyNow); // while the databases open
            QCOMPARE(QStringList({screen.windowTitle(), screen.lblCreditUnionName->text(), screen.lblThisYear->text(), screen.lblToday->text()}),
                     QStringList({" CTF - Annual Return Output", "Tarnwell Demo CU", "Processing for year end 30/09/2026", "06/12/26"}));
            QCOMPARE(screen.lstProduct->count(), 0); // "K:\": no product list
            screen.cmdOutput2->click();
            QCOMPARE(office.ui().lastText(), u"Invalid starting date entered"_s); // dates before products
            // The colours of the share account buttons follow the choice.
            const auto colour = [&](int i) { return screen.optShareAcc[i]->palette().color(QPalette::WindowText); };
            QCOMPARE(colour(1), QColor(0, 192, 0));
            screen.optShareAcc[3]->click();
            QCOMPARE(colour(3), QColor(0, 192, 0));
            QCOMPARE(colour(1), QColor(0, 0, 0));
        }
        // The office's Tarnwell folder, read at start-up as the main screen does.
        office.writeRegistry(QByteArray("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Orvel\\Tarnwell]\r\n\"Database\"=\"K:\\\\Data\\\\\"\r\n"));
        frmMenu menu;
        office.exec(kTarn, u"PRAGMA wal_checkpoint(TRUNCATE)"_s);
        for (const char *name : {"TarnMain", "TarnTran"})
            office.writeFile(u"K:\\Data\\%1.mdb"_s.arg(QLatin1String(name)), office.readFile(kTarn));
        frmCTFAnnualReturn screen;
        QStringList selected;
        for (int i = 0; i < screen.lstProduct->count(); ++i)
            selected << screen.lstProduct->item(i)->text() + (screen.lstProduct->item(i)->isSelected() ? "*" : "");
        QCOMPARE(selected, QStringList({"CTF - Child Trust Fund*", "JUN - Junior*", "S1 - Ordinary shares"}));
        QCOMPARE(screen.SSTab->currentIndex(), 1);
    }

};

QTEST_MAIN(tst_screens)
#include "tst_screens.moc"
