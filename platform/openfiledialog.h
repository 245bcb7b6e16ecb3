#pragma once
// The open-file dialog of the screens. Operators know the office's folders
// by their Windows names: the dialog shows the folder as that ("C:\Temp"),
// lists its files that match the filter (newest first), and gives back the
// Windows path of the one chosen; "Other folder..." opens the desktop's own
// dialog for a file elsewhere (its host path is given back). Keyboard: the
// list and the name field take the arrows and typing, Enter opens, Escape
// cancels.
#include "platform/userinterface.h"

#include <QDialog>

class QLineEdit;
class QListWidget;

class OpenFileDialog : public QDialog {
    Q_OBJECT
public:
    OpenFileDialog(const OpenFileRequest &request, QWidget *parent = nullptr);
    // The file chosen, empty when cancelled.
    QString chosen() const { return m_chosen; }

private:
    void accept() override;
    void otherFolder();
    OpenFileRequest m_request;
    QListWidget *m_files;
    QLineEdit *m_name;
    QString m_chosen;
};
