#include "app/views/WidgetAdCard.h"

#include "ratingui/RatingView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace Vantorel {

QColor WidgetAdCard::fillColor()
{
    QColor gray(Qt::gray);
    gray.setAlphaF(0.15f);
    return gray;
}

WidgetAdCard::WidgetAdCard(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("widgetAdCard"));
    setMaximumWidth(maximumCardWidth);

    auto *headline = new QLabel(tr("Try our desktop widget!"), this);
    headline->setObjectName(QStringLiteral("widgetAdHeadline"));
    QFont bold = headline->font();
    bold.setBold(true);
    headline->setFont(bold);

    auto *body = new QLabel(tr("Head to your desktop's application list and start Latest Reviews. Our widget shows you "
                               "the latest reviews for your apps right on your desktop."),
                            this);
    body->setObjectName(QStringLiteral("widgetAdBody"));
    body->setWordWrap(true);
    QPalette secondary = body->palette();
    QColor text = secondary.color(QPalette::WindowText);
    text.setAlphaF(0.6f);
    secondary.setColor(QPalette::WindowText, text);
    body->setPalette(secondary);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->addWidget(headline);
    texts->addWidget(body);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(padding, padding, padding, padding);
    row->addLayout(texts, 1);
    row->addWidget(new WidgetPicture(this), 0, Qt::AlignVCenter);
}

QSize WidgetAdCard::sizeHint() const
{
    return {maximumCardWidth, layout()->heightForWidth(maximumCardWidth)};
}

void WidgetAdCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    painter.fillPath(shape, fillColor());
}

WidgetPicture::WidgetPicture(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("widgetPicture"));
    setFixedSize(WidgetAdCard::pictureSize, WidgetAdCard::pictureSize);
}

void WidgetPicture::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, QRectF(rect()));
}

void WidgetPicture::paint(QPainter &painter, const QRectF &box)
{
    // A widget tile: white rounded square, an app icon, five stars and two lines of review text.
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = qMin(box.width(), box.height());
    const QRectF tile(box.topLeft() + QPointF(0.5, 0.5), QSizeF(s - 1, s - 1));
    painter.setPen(QPen(QColor(0, 0, 0, 40), 1));
    painter.setBrush(QColor(250, 250, 252));
    painter.drawRoundedRect(tile, s * 0.22, s * 0.22);

    const qreal margin = s * 0.16;
    const QRectF icon(tile.left() + margin, tile.top() + margin, s * 0.22, s * 0.22);
    QLinearGradient blue(icon.topLeft(), icon.bottomRight());
    blue.setColorAt(0, QColor(90, 170, 255));
    blue.setColorAt(1, QColor(20, 110, 235));
    painter.setPen(Qt::NoPen);
    painter.setBrush(blue);
    painter.drawRoundedRect(icon, s * 0.05, s * 0.05);

    const int star = qMax(4, qRound(s * 0.12));
    FennickUI::RatingView::paintStars(
        painter, QPoint(qRound(tile.left() + margin), qRound(icon.bottom() + s * 0.08)), 4, star);

    painter.setBrush(QColor(0, 0, 0, 60));
    const qreal lineHeight = qMax(2.0, s * 0.06);
    const qreal firstLine = icon.bottom() + s * 0.08 + star + s * 0.07;
    const qreal width = tile.width() - 2 * margin;
    painter.drawRoundedRect(QRectF(tile.left() + margin, firstLine, width, lineHeight), lineHeight / 2, lineHeight / 2);
    painter.drawRoundedRect(QRectF(tile.left() + margin, firstLine + lineHeight * 1.8, width * 0.65, lineHeight),
                            lineHeight / 2, lineHeight / 2);
    // The app's name beside its icon.
    painter.setBrush(QColor(0, 0, 0, 110));
    painter.drawRoundedRect(QRectF(icon.right() + s * 0.06, icon.center().y() - lineHeight / 2,
                                   tile.right() - margin - icon.right() - s * 0.06, lineHeight),
                            lineHeight / 2, lineHeight / 2);
    painter.restore();
}

}  // namespace Vantorel
