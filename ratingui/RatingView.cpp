#include "ratingui/RatingView.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

extern "C" {
const double FennickUIVersionNumber = 17.0;
const unsigned char FennickUIVersionString[] = "@(#)PROGRAM:FennickUI  PROJECT:Vantorel-17\n";
}

namespace FennickUI {

const QColor RatingView::filledColor = QColor(255, 204, 0);  // the platform's standard yellow
const QColor RatingView::emptyColor = QColor(142, 142, 147);  // and its standard gray

namespace {
constexpr int starCount = 5;

QPainterPath starPath(const QRectF &box)
{
    // A five-pointed star filling `box`, point up.
    const QPointF centre = box.center() + QPointF(0, box.height() * 0.04);
    const qreal outer = box.width() / 2.0 * 0.98;
    const qreal inner = outer * 0.42;
    QPainterPath path;
    for (int i = 0; i < 10; ++i) {
        const qreal radius = i % 2 == 0 ? outer : inner;
        const qreal angle = qDegreesToRadians(-90.0 + i * 36.0);
        const QPointF point = centre + QPointF(radius * qCos(angle), radius * qSin(angle));
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    path.closeSubpath();
    return path;
}
}  // namespace

RatingView::RatingView(qint64 rating, ImageScale fontSize, QWidget *parent)
    : QWidget(parent), m_rating(rating), m_fontSize(fontSize)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

int RatingView::starSize(ImageScale scale, const QFont &font)
{
    const int height = QFontMetrics(font).height();
    switch (scale) {
    case ImageScale::small:
        return qRound(height * 0.8);
    case ImageScale::medium:
        return height;
    case ImageScale::large:
        return qRound(height * 1.3);
    }
    return height;
}

QSize RatingView::sizeHint() const
{
    const int size = starSize(m_fontSize, font());
    return {size * starCount, size};
}

void RatingView::paintStars(QPainter &painter, QPoint origin, qint64 rating, int starSize)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int index = 0; index < starCount; ++index) {
        const bool filled = index < rating;
        painter.setOpacity(filled ? 1.0 : emptyOpacity);
        painter.setBrush(filled ? filledColor : emptyColor);
        // Spacing 0: each star's box starts where the previous one ends.
        painter.drawPath(starPath(QRectF(origin.x() + index * starSize, origin.y(), starSize, starSize)));
    }
    painter.restore();
}

void RatingView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const int size = starSize(m_fontSize, font());
    paintStars(painter, QPoint(0, (height() - size) / 2), m_rating, size);
}

}  // namespace FennickUI
