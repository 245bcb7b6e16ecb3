#include "platform/fieldfocus.h"

#include "platform/maskededit.h"
#include "platform/userinterface.h"

#include <QAbstractButton>
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
        } else if (event->type() == QEvent::MouseButtonPress) {
            // A masked field that has the focus, with nothing typed in it or
            // its whole text selected (the URN field after every save): the
            // click takes it whole, so that typing fills the mask from its
            // start, wherever the click landed.
            auto *masked = qobject_cast<MaskedEdit *>(watched);
            if (masked && masked->hasFocus() && (masked->clipText().isEmpty() || masked->selectedText() == masked->text()))
                m_clicked = masked;
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

class FocusOnShortcut : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *button = qobject_cast<QAbstractButton *>(watched);
        if (event->type() != QEvent::Shortcut || !button || !button->isEnabled() || button->hasFocus())
            return false;
        const int before = ui::current().messagesShown();
        button->setFocus(Qt::ShortcutFocusReason);
        return ui::current().messagesShown() != before;
    }
};
} // namespace

void buttonsTakeTheFocus(QWidget *screen)
{
    auto *filter = new FocusOnShortcut(screen);
    for (QAbstractButton *button : screen->findChildren<QAbstractButton *>())
        if (button->focusPolicy() != Qt::NoFocus)
            button->installEventFilter(filter);
}

void moveTo(QObject *rules, QWidget *to)
{
    // An editable combo box's rules are its own, not its line edit's.
    const auto owner = [](QWidget *w) -> QWidget * {
        auto *combo = w ? qobject_cast<QComboBox *>(w->parentWidget()) : nullptr;
        return combo && combo->lineEdit() == w ? combo : w;
    };
    QWidget *from = owner(to->window()->focusWidget());
    to->setFocus(Qt::OtherFocusReason);
    if (to->hasFocus() || (to->focusProxy() && to->focusProxy()->hasFocus()))
        return; // the window is active: the move sent its own events
    if (from && from != to) {
        QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
        rules->eventFilter(from, &out);
    }
    QFocusEvent in(QEvent::FocusIn, Qt::OtherFocusReason);
    rules->eventFilter(to, &in);
}

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
