#include "app/frmmenu.h"

#include "platform/buttonroom.h"
#include "app/appsettings.h"
#include "app/screens.h"
#include "common/ctfmodules.h"
#include "platform/officeroot.h"
#include "platform/userinterface.h"
#include "returns/runrepair.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QEvent>
#include <QMenuBar>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace {
// The picture beside the buttons: drawn, so the program carries no image files.
QPixmap menuPicture()
{
    // Painted into an opaque image (no alpha channel to blend).
    QImage pm(661, 512, QImage::Format_RGB32);
    QPainter p(&pm);
    QLinearGradient g(0, 0, 0, 512);
    g.setColorAt(0, QColor(0, 96, 160));
    g.setColorAt(1, QColor(0, 32, 80));
    p.fillRect(pm.rect(), g);
    // The faint discs without antialiasing: their soft edges hide it, and
    // blending their edges cost a tenth of the start-up.
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 7; ++i) {
        p.setBrush(QColor(255, 255, 255, 18 + i * 6));
        p.drawEllipse(QPointF(470 - i * 40, 330 - i * 25), 150 - i * 15, 150 - i * 15);
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPointSize(30);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 150, 661, 60), Qt::AlignCenter, QStringLiteral("Child Trust Fund"));
    f.setPointSize(18);
    f.setBold(false);
    p.setFont(f);
    p.drawText(QRect(0, 215, 661, 40), Qt::AlignCenter, QStringLiteral("administration"));
    p.end();
    return QPixmap::fromImage(std::move(pm));
}
} // namespace

// The menus, their shortcuts and the picture in one list, in the order the
// menus show them: read as one, like the screen itself.
frmMenu::frmMenu(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMenu"));
    auto *central = new QWidget(this);
    auto *row = new QHBoxLayout(central);
    fraButtons = new QFrame(central);
    fraButtons->setObjectName(QStringLiteral("fraButtons"));
    fraButtons->setFrameShape(QFrame::StyledPanel);
    auto *column = new QVBoxLayout(fraButtons);
    auto button = [&](QPushButton *&b, const char *name, const char *caption) {
        b = new QPushButton(QString::fromLatin1(caption), fraButtons);
        b->setObjectName(QString::fromLatin1(name));
        b->setMinimumHeight(40);
        b->setAutoDefault(true);
        column->addWidget(b);
    };
    button(cmdEntry, "cmdEntry", "CTF &maintenance");
    button(cmdEnquiry, "cmdEnquiry", "CTF &enquiry");
    button(cmdOutput, "cmdOutput", "CTF &output");
    button(cmdSubmit, "cmdSubmit", "CTF &submission");
    button(cmdEditReturn, "cmdEditReturn", "Edit CTF &return");
    button(cmdAnnualReturn, "cmdAnnualReturn", "&Annual return output");
    button(cmdEditAnReturn, "cmdEditAnReturn", "Edit A&nnual return");
    button(cmdExit, "cmdExit", "E&xit CTF ");
    column->addStretch();

    // The setting fields belong to the screen but are never shown.
    chkSQL = new QCheckBox(QStringLiteral("Are we connecting to SQL server?"), fraButtons);
    chkSQL->setObjectName(QStringLiteral("chkSQL"));
    chkAdmin = new QCheckBox(QStringLiteral("Use SA login for sql?"), fraButtons);
    chkAdmin->setObjectName(QStringLiteral("chkAdmin"));
    txtDatabase = new QLineEdit(fraButtons);
    txtDatabase->setObjectName(QStringLiteral("txtDatabase"));
    sqlPW = new QLineEdit(fraButtons);
    sqlPW->setObjectName(QStringLiteral("sqlPW"));
    sqlUserName = new QLineEdit(fraButtons);
    sqlUserName->setObjectName(QStringLiteral("sqlUserName"));
    SQLSubset = new QLineEdit(fraButtons);
    SQLSubset->setObjectName(QStringLiteral("SQLSubset"));
    for (QWidget *w : std::initializer_list<QWidget *>{chkSQL, chkAdmin, txtDatabase, sqlPW, sqlUserName, SQLSubset}) {
        w->hide();
        w->setFocusPolicy(Qt::NoFocus);
    }

    // The picture gives way on a small or scaled screen (1024x768 at 150%):
    // drawn at its size where there is room, smaller, in proportion, where
    // there is not.
    picture = new QLabel(central);
    picture->setObjectName(QStringLiteral("picture"));
    m_picture = menuPicture();
    picture->setPixmap(m_picture);
    picture->setAlignment(Qt::AlignCenter);
    picture->setMinimumSize(160, 124);
    picture->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    picture->installEventFilter(this);
    row->addWidget(fraButtons);
    row->addWidget(picture, 1);
    buttonroom::fitCaptions(this);
    setCentralWidget(central);

    QMenu *munufile = menuBar()->addMenu(QStringLiteral("File"));
    munufile->setObjectName(QStringLiteral("munufile"));
    mnuAbout = munufile->addAction(QStringLiteral("About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    // Beside the returns: the maturities and statements due.
    mnuMaturities = munufile->addAction(QStringLiteral("&Maturities due..."));
    mnuMaturities->setObjectName(QStringLiteral("mnuMaturities"));
    mnuDash = munufile->addSeparator();
    mnuDash->setObjectName(QStringLiteral("mnuDash"));
    mnuExit = munufile->addAction(QStringLiteral("E&xit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    // "File" has no access key: F10 opens it, as it does on Windows (so does Alt alone).
    connect(new QShortcut(QKeySequence(Qt::Key_F10), this), &QShortcut::activated, this,
            [this, munufile] { menuBar()->setActiveAction(munufile->menuAction()); });

    // Keyboard order: the two annual return buttons come after Exit.
    setTabOrder(cmdEntry, cmdEnquiry);
    setTabOrder(cmdEnquiry, cmdOutput);
    setTabOrder(cmdOutput, cmdSubmit);
    setTabOrder(cmdSubmit, cmdEditReturn);
    setTabOrder(cmdEditReturn, cmdExit);
    setTabOrder(cmdExit, cmdAnnualReturn);
    setTabOrder(cmdAnnualReturn, cmdEditAnReturn);

    connect(cmdEntry, &QPushButton::clicked, this, &frmMenu::cmdEntry_Click);
    connect(cmdEnquiry, &QPushButton::clicked, this, &frmMenu::cmdEnquiry_Click);
    connect(cmdOutput, &QPushButton::clicked, this, &frmMenu::cmdOutput_Click);
    connect(cmdSubmit, &QPushButton::clicked, this, &frmMenu::cmdSubmit_Click);
    connect(cmdEditReturn, &QPushButton::clicked, this, &frmMenu::cmdEditReturn_Click);
    connect(cmdAnnualReturn, &QPushButton::clicked, this, &frmMenu::cmdAnnualReturn_Click);
    connect(cmdEditAnReturn, &QPushButton::clicked, this, &frmMenu::cmdEditAnReturn_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmMenu::cmdExit_Click);
    connect(mnuAbout, &QAction::triggered, this, &frmMenu::mnuAbout_Click);
    connect(mnuMaturities, &QAction::triggered, this, [] { screens::showMaturities(); });
    connect(mnuExit, &QAction::triggered, this, &frmMenu::mnuExit_Click);

    // As large as the picture drawn whole, where the screen has the room.
    const QSize whole = fraButtons->sizeHint() + QSize(661 + 24, menuBar()->sizeHint().height() + 24);
    buttonroom::fitToScreen(this, whole.width(), qMax(whole.height(), 512 + menuBar()->sizeHint().height() + 24));
    setWindowTitle(appsettings::mainTitle());
    // The main screen may be closed while other screens still run.
    appsettings::onMainTitleChanged([self = QPointer<frmMenu>(this)](const QString &t) {
        if (self)
            self->setWindowTitle(t);
    });
    Form_Load();
}

void frmMenu::Form_Load()
{
    m_helpFile = officeroot::programFolder() + QStringLiteral("\\CTFHelp.chm>main");
    screens::setHelpFile(m_helpFile);
    SettingFields &f = appsettings::fields();
    f = SettingFields{};
    appsettings::loadFromRegistry(f);
    returns::sweepAtStart();
    chkSQL->setChecked(f.chkSQL == 1);
    txtDatabase->setText(f.txtDatabase);
    chkAdmin->setChecked(f.chkAdmin == 1);
    sqlPW->setText(f.sqlPW);
    sqlUserName->setText(f.sqlUserName);
    SQLSubset->setText(f.SQLSubset);
}

void frmMenu::cmdEntry_Click() { screens::showMaintenance(); }
void frmMenu::cmdEnquiry_Click() { screens::showEnquiry(); }
void frmMenu::cmdOutput_Click() { screens::showOutput(); }
void frmMenu::cmdAnnualReturn_Click() { screens::showAnnualReturn(); }
void frmMenu::mnuAbout_Click() { screens::showAbout(); }
void frmMenu::cmdExit_Click() { screens::endProgram(); }
void frmMenu::mnuExit_Click() { screens::endProgram(); }

void frmMenu::cmdSubmit_Click()
{
    if (!ui::current().startProgram(QStringLiteral("C:\\Program Files\\Child Trust Fund Interface\\ChildTrustFund.exe"), WindowStyle::Normal))
        ui::current().message(QStringLiteral("Unable to find the submission program - please run this application manually"),
                              windowTitle(), MsgIcon::Information);
}

void frmMenu::editReturnFile(const QString &fileName)
{
    const QString path = GetReturnsPath() + fileName;
    if (!ui::current().startProgram(QStringLiteral("notepad ") + path, WindowStyle::Maximized))
        ui::current().message(QStringLiteral("Unable to find the document ") + path + QStringLiteral(" - please find this file manually"),
                              windowTitle(), MsgIcon::Information);
}

void frmMenu::cmdEditReturn_Click() { editReturnFile(QStringLiteral("IRReturn.txt")); }
void frmMenu::cmdEditAnReturn_Click() { editReturnFile(QStringLiteral("Ctfanrtn.txt")); }

bool frmMenu::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == picture && event->type() == QEvent::Resize) {
        const QSize room = picture->size();
        const bool whole = room.width() >= m_picture.width() && room.height() >= m_picture.height();
        if (whole && picture->pixmap().size() != m_picture.size())
            picture->setPixmap(m_picture);
        else if (!whole)
            picture->setPixmap(m_picture.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
    return QMainWindow::eventFilter(watched, event);
}
