#include "platform/buttonroom.h"

#include <QPushButton>
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

} // namespace buttonroom
