#include "platform/buttonroom.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace buttonroom {

void fitCaptions(QWidget *screen)
{
    for (QPushButton *b : screen->findChildren<QPushButton *>()) {
        const int caption = b->fontMetrics().horizontalAdvance(QString(b->text()).remove(QLatin1Char('&')));
        const int frame = b->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b);
        b->setMinimumWidth(qMax(b->minimumWidth(), caption + 2 * (kCaptionRoom + frame)));
    }
}

void fitToScreen(QWidget *window, int width, int height)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    // The title bar and the frame's edges, which the window manager adds.
    const QSize room = screen ? screen->availableGeometry().size() - QSize(16, 48) : QSize(width, height);
    window->resize(QSize(width, height).boundedTo(room).expandedTo(window->minimumSizeHint()));
}

} // namespace buttonroom
