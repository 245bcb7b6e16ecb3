// The manual's screenshots, made from a demo office on a real X server so
// that they stay current (scripts/screenshots runs it under Xvfb):
//   screenshots OFFICE_ROOT OUTPUT_FOLDER
// Every screen is opened as the operator opens it; messages are answered
// Yes and written to standard error.
#include "annual/frmctfannualreturn.h"
#include "app/appsettings.h"
#include "app/frmabout.h"
#include "app/frmmenu.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "platform/maskededit.h"
#include "platform/officeroot.h"
#include "platform/qtuserinterface.h"
#include "platform/userinterface.h"
#include "register/frmctfmaint.h"
#include "returns/frmctfoutput.h"
#include "returns/frmctfview.h"

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTest>
#include <cstdio>

namespace {

class AnswerYes : public UserInterface {
public:
    MsgResult showMessage(const QString &text, const QString &title, MsgIcon, MsgButtons, MsgResult) override
    {
        std::fprintf(stderr, "message [%s]: %s\n", qPrintable(title), qPrintable(text));
        return MsgResult::Yes;
    }
    QString openFile(const OpenFileRequest &) override { return {}; }
    bool startProgram(const QString &, WindowStyle) override { return false; }
};

QString g_folder;
bool g_ok = true;

void settle()
{
    for (int i = 0; i < 10; ++i) {
        QApplication::processEvents();
        QTest::qWait(20);
    }
}

void save(QWidget &screen, const char *name)
{
    screen.show();
    screen.raise();
    screen.activateWindow();
    if (!QTest::qWaitForWindowExposed(&screen))
        std::fprintf(stderr, "%s: the window was not shown\n", name);
    settle();
    const QString path = g_folder + QLatin1Char('/') + QLatin1String(name);
    if (!screen.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        g_ok = false;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

// The URN of the register's first entry, to show on the maintenance screen.
QString firstUrn()
{
    Connection c;
    c.setConnectionString(GetConnectionString(QStringLiteral("CTF")));
    c.open();
    Recordset rs;
    rs.open(QStringLiteral("SELECT CRN FROM ChildTrustFunds WHERE Entity = 'Voucher' ORDER BY ID"), c);
    return rs.eof() ? QString() : rs.value(0).toString();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: screenshots OFFICE_ROOT OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    officeroot::setPath(QDir(QString::fromLocal8Bit(argv[1])).absolutePath());
    g_folder = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(g_folder);
    ui::install(std::make_unique<AnswerYes>());
    QtUserInterface::installKeySender(); // Enter moves on as on the screens

    frmMenu menu; // reads the settings as at start-up
    save(menu, "main.png");

    frmCTFMaint maintenance;
    maintenance.show();
    QApplication::setActiveWindow(&maintenance);
    if (!QTest::qWaitForWindowActive(&maintenance))
        std::fputs("maintenance.png: the window did not become active\n", stderr);
    maintenance.mskURN->setFocus();
    settle();
    QTest::keyClicks(maintenance.mskURN, firstUrn());
    QTest::keyClick(maintenance.mskURN, Qt::Key_Return);
    save(maintenance, "maintenance.png");
    maintenance.close();

    frmCTFView enquiry;
    enquiry.Command1_Click();
    save(enquiry, "enquiry.png");
    enquiry.close();

    frmCTFOUTPUT output;
    save(output, "output.png");
    output.close();

    frmCTFAnnualReturn annual;
    annual.SSTab->setCurrentIndex(0);
    save(annual, "annual-share-account.png");
    annual.SSTab->setCurrentIndex(1);
    save(annual, "annual-products.png");
    annual.close();

    frmAbout about;
    save(about, "about.png");
    return g_ok ? 0 : 1;
}
