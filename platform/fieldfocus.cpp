#include "platform/fieldfocus.h"

#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPointer>

namespace fieldfocus {
namespace {
class WholeTextOnClick : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::FocusIn && static_cast<QFocusEvent *>(event)->reason() == Qt::MouseFocusReason) {
            // An editable combo box takes the focus; its line edit the click.
            auto *combo = qobject_cast<QComboBox *>(watched);
            m_clicked = combo ? combo->lineEdit() : qobject_cast<QLineEdit *>(watched);
        } else if (event->type() == QEvent::MouseButtonRelease && watched == m_clicked) {
            QLineEdit *field = m_clicked;
            m_clicked = nullptr;
            if (!field->hasSelectedText()) {
                field->setCursorPosition(0);
                field->setSelection(0, int(field->text().size()));
            }
        } else if (event->type() == QEvent::FocusOut && (watched == m_clicked || (m_clicked && watched == m_clicked->parent()))) {
            m_clicked = nullptr;
        }
        return false;
    }

private:
    QPointer<QLineEdit> m_clicked;
};
} // namespace

void selectWholeTextOnClick(QWidget *screen)
{
    auto *filter = new WholeTextOnClick(screen);
    for (QLineEdit *field : screen->findChildren<QLineEdit *>()) {
        field->installEventFilter(filter);
        if (auto *combo = qobject_cast<QComboBox *>(field->parent()))
            combo->installEventFilter(filter);
    }
}
} // namespace fieldfocus
