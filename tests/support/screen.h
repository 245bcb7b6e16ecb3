#pragma once
// Driving screens as an operator does: bringing a window to the front,
// keys and clicks into fields, and letting the event loop finish what they
// set going. Header only, so that tests without widgets link none.
#include <QApplication>
#include <QTest>
#include <QWidget>

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

} // namespace screen
