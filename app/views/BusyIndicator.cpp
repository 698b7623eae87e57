#include "app/views/BusyIndicator.h"

#include <QPainter>
#include <QtMath>

namespace Vantorel {

namespace {
constexpr int spokes = 8;
}

BusyIndicator::BusyIndicator(QWidget *parent) : QWidget(parent)
{
    setFixedSize(sizeHint());
    setAccessibleName(tr("Downloading"));
    m_timer.setInterval(90);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % spokes;
        update();
    });
}

void BusyIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(rect().center() + QPointF(0.5, 0.5));
    const qreal outer = qMin(width(), height()) / 2.0 - 1;
    QColor color = palette().color(QPalette::WindowText);
    for (int i = 0; i < spokes; ++i) {
        // The newest spoke is darkest; the others fade behind it.
        const int age = (m_step - i + spokes) % spokes;
        color.setAlphaF(1.0 - age * 0.8 / spokes);
        painter.setPen(QPen(color, 1.8, Qt::SolidLine, Qt::RoundCap));
        const qreal angle = 2 * M_PI * i / spokes;
        const QPointF direction(qSin(angle), -qCos(angle));
        painter.drawLine(direction * outer * 0.45, direction * outer);
    }
}

void BusyIndicator::showEvent(QShowEvent *event)
{
    m_timer.start();
    QWidget::showEvent(event);
}

void BusyIndicator::hideEvent(QHideEvent *event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

}  // namespace Vantorel
