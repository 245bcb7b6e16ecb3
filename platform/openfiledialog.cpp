#include "platform/openfiledialog.h"

#include "platform/pathmapper.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

OpenFileDialog::OpenFileDialog(const OpenFileRequest &request, QWidget *parent) : QDialog(parent), m_request(request)
{
    setWindowTitle(request.title);
    auto *layout = new QVBoxLayout(this);
    QString folder = request.initialDir;
    if (!folder.endsWith(QLatin1Char('\\')))
        folder += QLatin1Char('\\');
    m_request.initialDir = folder;
    auto *lookIn = new QLabel(QStringLiteral("Look &in: %1").arg(folder), this);
    layout->addWidget(lookIn);
    m_files = new QListWidget(this);
    lookIn->setBuddy(m_files);
    layout->addWidget(m_files);
    const MappedPath mapped = pathmapper::map(folder);
    if (mapped.ok())
        for (const QFileInfo &f : QDir(mapped.hostPath).entryInfoList({request.filter}, QDir::Files, QDir::Time))
            m_files->addItem(f.fileName());
    auto *nameLabel = new QLabel(QStringLiteral("File &name:"), this);
    m_name = new QLineEdit(this);
    nameLabel->setBuddy(m_name);
    layout->addWidget(nameLabel);
    layout->addWidget(m_name);
    connect(m_files, &QListWidget::currentTextChanged, m_name, &QLineEdit::setText);
    connect(m_files, &QListWidget::itemActivated, this, &OpenFileDialog::accept);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, this);
    QPushButton *other = buttons->addButton(QStringLiteral("&Other folder..."), QDialogButtonBox::ActionRole);
    connect(other, &QPushButton::clicked, this, &OpenFileDialog::otherFolder);
    connect(buttons, &QDialogButtonBox::accepted, this, &OpenFileDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    if (m_files->count() > 0)
        m_files->setCurrentRow(0);
    m_files->setFocus();
}

void OpenFileDialog::accept()
{
    QString name = m_name->text().trimmed();
    if (name.isEmpty())
        return;
    if (QFileInfo(name).suffix().isEmpty() && !m_request.defaultExt.isEmpty())
        name += QLatin1Char('.') + m_request.defaultExt;
    m_chosen = m_request.initialDir + name;
    QDialog::accept();
}

void OpenFileDialog::otherFolder()
{
    const MappedPath dir = pathmapper::map(m_request.initialDir);
    const QString chosen = QFileDialog::getOpenFileName(this, m_request.title, dir.ok() ? dir.hostPath : QString(),
                                                        QStringLiteral("%1 (%2)").arg(m_request.title, m_request.filter));
    if (chosen.isEmpty())
        return;
    m_chosen = chosen;
    QDialog::accept();
}
