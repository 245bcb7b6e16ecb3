#include "app/frmabout.h"

#include "platform/buttonroom.h"
#include "app/appsettings.h"
#include "app/sysinfo.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace {
// The file description of the program's version information: its history.
const char *kFileDescription =
    "1.0.15: annual return for share accounts and products; periodic return with log copies and re-creation";
}

QString aboutVersionText()
{
    return QStringLiteral("Version %1.%2.%3").arg(CTF_VERSION_MAJOR).arg(CTF_VERSION_MINOR).arg(CTF_VERSION_REVISION);
}

frmAbout::frmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    auto *grid = new QGridLayout(this);
    lblTitle = new QLabel(this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont big = lblTitle->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    lblTitle->setFont(big);
    lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblDescription = new QLabel(this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setWordWrap(true);
    lblDisclaimer = new QLabel(QStringLiteral("Warning: this program is protected by copyright law. Unauthorised copying or "
                                              "distribution of it, or of any part of it, is not allowed."),
                               this);
    lblDisclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
    lblDisclaimer->setWordWrap(true);
    line1 = new QFrame(this);
    line1->setFrameShape(QFrame::HLine);
    line2 = new QFrame(this);
    line2->setFrameShape(QFrame::HLine);
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setAutoDefault(false);
    grid->addWidget(lblTitle, 0, 0, 1, 2);
    grid->addWidget(lblVersion, 1, 0, 1, 2);
    grid->addWidget(lblDescription, 2, 0, 1, 2);
    grid->addWidget(line1, 3, 0, 1, 2);
    grid->addWidget(lblDisclaimer, 4, 0);
    grid->addWidget(cmdOK, 4, 1);
    grid->addWidget(line2, 5, 0, 1, 2);
    grid->addWidget(cmdSysInfo, 6, 1);
    buttonroom::fitCaptions(this);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
    // Esc presses OK too.
    connect(this, &QDialog::rejected, this, &frmAbout::cmdOK_Click);
    Form_Load();
}

void frmAbout::Form_Load()
{
    const QString title = QString::fromLatin1(appsettings::kProgramTitle);
    setWindowTitle(QStringLiteral("About ") + title);
    lblVersion->setText(aboutVersionText());
    const QString exe = QCoreApplication::instance() ? QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName()
                                                     : QStringLiteral("ctfadmin");
    lblDescription->setText(exe + QStringLiteral(" - ") + QString::fromLatin1(kFileDescription));
    lblTitle->setText(title);
}

// Closing: whoever made the box decides whether closing deletes it.
void frmAbout::cmdOK_Click() { close(); }

void frmAbout::cmdSysInfo_Click() { StartSysInfo(); }
