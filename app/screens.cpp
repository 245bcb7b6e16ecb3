#include "app/screens.h"

#include "app/frmabout.h"
#include "app/frmmenu.h"
#include "annual/frmctfannualreturn.h"
#include "annual/frmmaturities.h"
#include "returns/frmctfoutput.h"
#include "returns/frmctfview.h"
#include "register/frmctfmaint.h"
#include "platform/qtuserinterface.h"

#include "platform/officeroot.h"
#include "platform/pathmapper.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPointer>
#include <cstdio>
#include <cstdlib>

namespace screens {
namespace {
QPointer<QWidget> g_menu, g_about, g_output, g_annual, g_maint, g_enquiry, g_maturities;

void quitNow()
{
    std::fflush(nullptr);
    std::_Exit(0);
}
void (*g_endProgram)() = quitNow;

template <typename Screen>
QWidget *showOnce(QPointer<QWidget> &slot)
{
    if (!slot) {
        slot = new Screen();
        slot->setAttribute(Qt::WA_DeleteOnClose);
    }
    slot->show();
    slot->raise();
    slot->activateWindow();
    return slot;
}

class HelpKey : public QObject {
public:
    explicit HelpKey(QObject *parent) : QObject(parent) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_F1) {
            showHelp();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

QString &helpFile()
{
    static QString file;
    return file;
}

} // namespace

void setHelpFile(const QString &file) { helpFile() = file; }

void showHelp()
{
    // The office's own help file beside the program when it has one; else
    // the operator's manual that comes with ctfadmin, in the program
    // folder's "manual" (in the package a link to /usr/share/ctfadmin/manual).
    // F1 always answers: the manual, or a message saying what is missing.
    const QString title = QStringLiteral("Help");
    const QString file = helpFile().left(helpFile().indexOf(QLatin1Char('>')));
    const QString manual = officeroot::programFolder() + QStringLiteral("/manual/index.html");
    QString shown;
    if (!file.isEmpty() && pathmapper::fileExists(file))
        shown = file;
    else if (QFileInfo::exists(manual))
        shown = manual;
    if (shown.isEmpty()) {
        ui::current().message(QStringLiteral("The manual is not there: %1 is missing. Install ctfadmin again (its package puts the "
                                             "manual in /usr/share/ctfadmin/manual), or ask whoever installed it.")
                                  .arg(QDir::toNativeSeparators(manual)),
                              title, MsgIcon::Exclamation);
        return;
    }
    if (!ui::current().openDocument(shown))
        ui::current().message(QStringLiteral("The manual is %1, but no program could be started to show it: install xdg-utils "
                                             "(xdg-open opens it in the desktop's web browser), or open the file in a browser.")
                                  .arg(shown),
                              title, MsgIcon::Exclamation);
}

void startMainScreen()
{
    qApp->installEventFilter(new HelpKey(qApp));
    ui::install(std::make_unique<QtUserInterface>());
    QtUserInterface::installKeySender();
    auto *menu = new frmMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    g_menu = menu;
    menu->show();
}

QWidget *showAbout() { return showOnce<frmAbout>(g_about); }
QWidget *showOutput() { return showOnce<frmCTFOUTPUT>(g_output); }
QWidget *showAnnualReturn() { return showOnce<frmCTFAnnualReturn>(g_annual); }
QWidget *showMaintenance() { return showOnce<frmCTFMaint>(g_maint); }
QWidget *showEnquiry() { return showOnce<frmCTFView>(g_enquiry); }
QWidget *showMaturities() { return showOnce<frmMaturities>(g_maturities); }

void endProgram() { g_endProgram(); }
void setEndProgramHandler(void (*handler)()) { g_endProgram = handler ? handler : quitNow; }

} // namespace screens
