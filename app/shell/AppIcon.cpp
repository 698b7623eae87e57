#include "app/shell/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>

namespace Vantorel {

QImage drawApplicationIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 256.0, size / 256.0);
    painter.setPen(Qt::NoPen);

    QLinearGradient back(0, 8, 0, 248);
    back.setColorAt(0, QColor(0x4f, 0x8f, 0xf7));
    back.setColorAt(1, QColor(0x24, 0x56, 0xc9));
    painter.setBrush(back);
    painter.drawRoundedRect(QRectF(8, 8, 240, 240), 54, 54);

    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(36, 56, 184, 124), 28, 28);
    QPainterPath tail;
    tail.moveTo(84, 176);
    tail.lineTo(84, 212);
    tail.lineTo(126, 176);
    tail.closeSubpath();
    painter.setBrush(Qt::white);
    painter.drawPath(bubble.united(tail));

    QPainterPath star;
    const QPointF centre(128, 122);
    for (int i = 0; i < 10; ++i) {
        const qreal radius = i % 2 == 0 ? 48 : 20;
        const qreal angle = -M_PI / 2 + i * M_PI / 5;
        const QPointF point = centre + QPointF(qCos(angle), qSin(angle)) * radius;
        if (i == 0)
            star.moveTo(point);
        else
            star.lineTo(point);
    }
    star.closeSubpath();
    painter.setBrush(QColor(0xf5, 0xb4, 0x00));
    painter.drawPath(star);
    return image;
}

QIcon applicationIcon()
{
    const QIcon themed = QIcon::fromTheme(QStringLiteral("vantorel"));
    if (!themed.isNull() && !themed.availableSizes().isEmpty())
        return themed;
    QIcon drawn;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        drawn.addPixmap(QPixmap::fromImage(drawApplicationIcon(size)));
    return drawn;
}

}  // namespace Vantorel
