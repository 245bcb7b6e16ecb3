#include "platform/qtuserinterface.h"

#include "platform/openfiledialog.h"

#include "platform/keysender.h"
#include "platform/pathmapper.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QGridLayout>
#include <QMessageBox>
#include <QScrollBar>
#include <QScrollArea>
#include <QScreen>
#include <QLabel>
#include <QGuiApplication>
#include <QPointer>
#include <QProgressDialog>

namespace {
// A long text (a list of findings or of members left out) would make the box
// taller than the screen, its button out of reach: such a text scrolls
// within a box that fits the screen it opens on.
void keepOnTheScreen(QMessageBox &box, QWidget *owner)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    const QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!grid || !label || !screen)
        return;
    const int room = screen->availableGeometry().height() / 2;
    if (label->sizeHint().height() <= room)
        return;
    const int index = grid->indexOf(label);
    int row = 0, column = 0, rows = 1, columns = 1;
    grid->getItemPosition(index, &row, &column, &rows, &columns);
    grid->removeWidget(label);
    auto *scroll = new QScrollArea(&box);
    scroll->setObjectName(QStringLiteral("messageScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(label);
    scroll->setMinimumSize(label->sizeHint().width() + scroll->verticalScrollBar()->sizeHint().width(), room);
    scroll->setMaximumHeight(room);
    grid->addWidget(scroll, row, column, rows, columns);
}

// The screen the operator was last in (followScreens).
QPointer<QWidget> g_lastScreen;
} // namespace

void QtUserInterface::followScreens()
{
    static bool following = false;
    if (following || !qApp)
        return;
    following = true;
    QObject::connect(qApp, &QApplication::focusChanged, qApp, [](QWidget *, QWidget *now) {
        if (QWidget *w = now ? now->window() : nullptr; w && !qobject_cast<QDialog *>(w))
            g_lastScreen = w;
    });
}

std::unique_ptr<QMessageBox> QtUserInterface::messageBox(const QString &text, const QString &title, MsgIcon icon, MsgButtons buttons,
                                                         MsgResult defaultButton)
{
    // Over the screen that raised it: the active window, else the window of
    // the field with the focus, else the screen the operator was last in.
    QWidget *owner = QApplication::activeWindow();
    if (!owner && QApplication::focusWidget())
        owner = QApplication::focusWidget()->window();
    if (!owner && g_lastScreen && g_lastScreen->isVisible())
        owner = g_lastScreen;
    auto box = std::make_unique<QMessageBox>(owner);
    box->setWindowTitle(title);
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box->setText(shown);
    switch (icon) {
    case MsgIcon::None: box->setIcon(QMessageBox::NoIcon); break;
    case MsgIcon::Information: box->setIcon(QMessageBox::Information); break;
    case MsgIcon::Exclamation: box->setIcon(QMessageBox::Warning); break;
    case MsgIcon::Critical: box->setIcon(QMessageBox::Critical); break;
    case MsgIcon::Question: box->setIcon(QMessageBox::Question); break;
    }
    if (buttons == MsgButtons::YesNo) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(defaultButton == MsgResult::No ? QMessageBox::No : QMessageBox::Yes);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
    }
    keepOnTheScreen(*box, owner);
    // The window manager cuts a title wider than the box: make the box as
    // wide as its title in a bold title-bar font, with room for the
    // title bar's icon and buttons.
    QFont titleFont = box->font();
    titleFont.setBold(true);
    const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(title) + kTitleBarRoom;
    if (auto *grid = qobject_cast<QGridLayout *>(box->layout()))
        grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                      grid->columnCount());
    return box;
}

MsgResult QtUserInterface::showMessage(const QString &text, const QString &title, MsgIcon icon, MsgButtons buttons, MsgResult defaultButton)
{
    const std::unique_ptr<QMessageBox> box = messageBox(text, title, icon, buttons, defaultButton);
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = box->exec();
    if (busy)
        QApplication::restoreOverrideCursor();
    if (buttons != MsgButtons::YesNo)
        return MsgResult::Ok;
    return answer == QMessageBox::Yes ? MsgResult::Yes : MsgResult::No;
}

QString QtUserInterface::openFile(const OpenFileRequest &request)
{
    OpenFileDialog dialog(request, QApplication::activeWindow());
    return dialog.exec() == QDialog::Accepted ? dialog.chosen() : QString();
}

QString QtUserInterface::saveFile(const OpenFileRequest &request)
{
    const MappedPath proposed = pathmapper::map(request.initialDir);
    const QString chosen = QFileDialog::getSaveFileName(QApplication::activeWindow(), request.title, proposed.ok() ? proposed.hostPath : QString(),
                                                        QStringLiteral("%1 (%2)").arg(request.title, request.filter));
    // A name typed as the office names places ("K:\due.csv") comes back
    // joined to the folder shown: it means the drive's place.
    const QString typed = chosen.mid(chosen.lastIndexOf(QLatin1Char('/')) + 1);
    if (pathmapper::driveLetter(typed).isNull())
        return chosen;
    const MappedPath windows = pathmapper::map(typed);
    return windows.ok() ? windows.hostPath : chosen;
}

bool QtUserInterface::startProgram(const QString &commandLine, WindowStyle style)
{
    return launcher::start(commandLine, style);
}

void QtUserInterface::setBusy(bool busy)
{
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
}

bool QtUserInterface::progress(const QString &what, int percent)
{
    static QPointer<QProgressDialog> dialog;
    if (percent < 0) {
        delete dialog;
        return true;
    }
    if (!dialog) {
        dialog = new QProgressDialog(what, QStringLiteral("Cancel"), 0, 100, QApplication::activeWindow());
        dialog->setWindowTitle(QStringLiteral("Child trust fund administration"));
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->setMinimumDuration(500);
        dialog->setAutoClose(false);
    }
    dialog->setLabelText(what);
    dialog->setValue(percent); // a modal dialog takes its Cancel click here
    return !dialog->wasCanceled();
}

void QtUserInterface::installKeySender()
{
    followScreens();
    keysender::install([](const QString &keys) {
        if (keys.compare(QStringLiteral("{tab}"), Qt::CaseInsensitive) != 0)
            return;
        QWidget *target = QApplication::focusWidget();
        if (!target)
            return;
        // Posted, not sent: SendKeys returns before the key is handled.
        QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier));
        QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Tab, Qt::NoModifier));
    });
}
