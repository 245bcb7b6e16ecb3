#pragma once
// Driving screens as an operator does: bringing a window to the front,
// keys and clicks into fields, and letting the event loop finish what they
// set going. Header only, so that tests without widgets link none.
#include "platform/qtuserinterface.h"

#include <QtTest>
#include <QtWidgets>

namespace screen {

inline bool activate(QWidget &w)
{
    w.show();
    QApplication::setActiveWindow(&w);
    return QTest::qWaitForWindowActive(&w);
}

// Lets the event loop run until what the last key set going is done (the
// Tab that Enter turns into, the focus move after a question).
inline void settle()
{
    for (int turn = 0; turn < 3; ++turn)
        QApplication::processEvents();
}

inline void key(QWidget *w, Qt::Key k)
{
    QTest::keyClick(w, k);
    settle();
}

// The focus moved into a field as Tab moves it.
inline void focusOn(QWidget *w)
{
    w->setFocus(Qt::TabFocusReason);
    settle();
}

// The operator's click into a field, near its right-hand end.
inline void clickInto(QWidget *w)
{
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(w->width() - 4, w->height() / 2));
    settle();
}

inline QColor base(const QWidget *w) { return w->palette().color(QPalette::Base); }

// The visible top-level window of a kind, or null.
template <class W> W *shownWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *found = qobject_cast<W *>(w); found && found->isVisible())
            return found;
    return nullptr;
}

// Puts up the real message boxes while it lives and answers them as the
// operator would: the n-th with the n-th key (the last for any after),
// pressed again until the box is gone (a box not yet active under a window
// manager misses a key); answered() counts the boxes.
class RealBoxAnswer {
public:
    explicit RealBoxAnswer(QList<QKeyCombination> keys)
        : m_keys(std::move(keys)), m_previous(ui::install(std::make_unique<QtUserInterface>()))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            QWidget *box = QApplication::activeModalWidget();
            if (!box)
                return;
            if (box != m_last) {
                m_last = box;
                ++m_answered;
            }
            const QKeyCombination k = m_keys.value(qMin(m_answered, int(m_keys.size())) - 1);
            QTest::keyClick(box, k.key(), k.keyboardModifiers());
        });
        m_timer.start(20);
    }
    ~RealBoxAnswer() { ui::install(std::move(m_previous)); }
    int answered() const { return m_answered; }
    // The box is gone and the screen has the focus back (the window
    // manager's part, where there is none, offscreen).
    static bool screenBack(QWidget &screen)
    {
        if (!QTest::qWaitFor([] { return !QApplication::activeModalWidget(); }))
            return false;
        if (!screen.isActiveWindow())
            QApplication::setActiveWindow(&screen);
        return QTest::qWaitForWindowActive(&screen);
    }

private:
    QList<QKeyCombination> m_keys;
    std::unique_ptr<UserInterface> m_previous;
    QTimer m_timer;
    QPointer<QWidget> m_last;
    int m_answered = 0;
};

} // namespace screen
