#pragma once
// Driving screens as an operator does: bringing a window to the front,
// keys and clicks into fields, and letting the event loop finish what they
// set going. Header only, so that tests without widgets link none.
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

// Answers the real message boxes that come up, as the operator would: the
// n-th with the n-th key (Escape, Alt+Y, Alt+N; the last key for any after),
// pressed again until the box is gone (a box not yet active under a window
// manager misses a key), while it lives; answered() counts the boxes.
class RealBoxAnswer {
public:
    explicit RealBoxAnswer(QList<QKeyCombination> keys) : m_keys(std::move(keys))
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
    QTimer m_timer;
    QPointer<QWidget> m_last;
    int m_answered = 0;
};

} // namespace screen
