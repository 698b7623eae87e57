#include "app/views/SettingsSymbols.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStringList>
#include <QtMath>

namespace Vantorel {
namespace {

QStringList themeNames(SettingsSymbol symbol)
{
    switch (symbol) {
    case SettingsSymbol::gear:
        return {QStringLiteral("preferences-system"), QStringLiteral("preferences-other"), QStringLiteral("configure")};
    case SettingsSymbol::person:
        return {QStringLiteral("system-users"), QStringLiteral("user-identity"), QStringLiteral("avatar-default")};
    case SettingsSymbol::plusCircle:
        return {QStringLiteral("list-add")};
    case SettingsSymbol::minusCircle:
        return {QStringLiteral("list-remove")};
    case SettingsSymbol::checkmarkCircleFill:
    case SettingsSymbol::arrowBackwardCircleFill:
        break;
    }
    return {};
}

// The symbol in a square of edge `s`, in `color`.
void paintSymbol(QPainter &p, SettingsSymbol symbol, qreal s, const QColor &color)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(s / 2, s / 2);
    const qreal line = qMax(1.0, s / 12);
    QPen pen(color, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    const qreal r = s / 2 - line;  // circle radius inside the square, pen included

    switch (symbol) {
    case SettingsSymbol::gear: {
        QPainterPath teeth;
        const int count = 8;
        for (int i = 0; i < count * 2; ++i) {
            // Each tooth is a flat top between two points of the outer radius.
            const qreal start = (i - 0.5) * M_PI / count;
            const qreal end = (i + 0.5) * M_PI / count;
            const qreal radius = i % 2 == 0 ? s * 0.48 : s * 0.36;
            const QPointF a = c + QPointF(qCos(start) * radius, qSin(start) * radius);
            const QPointF b = c + QPointF(qCos(end) * radius, qSin(end) * radius);
            if (i == 0)
                teeth.moveTo(a);
            else
                teeth.lineTo(a);
            teeth.lineTo(b);
        }
        teeth.closeSubpath();
        QPainterPath hole;
        hole.addEllipse(c, s * 0.15, s * 0.15);
        p.fillPath(teeth.subtracted(hole), color);
        break;
    }
    case SettingsSymbol::person: {
        p.setPen(pen);
        p.drawEllipse(c, r, r);
        QPainterPath circle;
        circle.addEllipse(c, r, r);
        p.setClipPath(circle);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(QPointF(c.x(), s * 0.38), s * 0.17, s * 0.17);
        p.drawEllipse(QPointF(c.x(), s * 0.95), s * 0.33, s * 0.3);
        break;
    }
    case SettingsSymbol::plusCircle:
    case SettingsSymbol::minusCircle:
        p.setPen(pen);
        p.drawEllipse(c, r, r);
        p.drawLine(QPointF(s * 0.3, c.y()), QPointF(s * 0.7, c.y()));
        if (symbol == SettingsSymbol::plusCircle)
            p.drawLine(QPointF(c.x(), s * 0.3), QPointF(c.x(), s * 0.7));
        break;
    case SettingsSymbol::checkmarkCircleFill:
    case SettingsSymbol::arrowBackwardCircleFill: {
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(c, s / 2 - 0.5, s / 2 - 0.5);
        QPen mark(Qt::white, qMax(1.5, s / 9), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(mark);
        p.setBrush(Qt::NoBrush);
        if (symbol == SettingsSymbol::checkmarkCircleFill) {
            const QPointF points[] = {{s * 0.28, s * 0.52}, {s * 0.44, s * 0.68}, {s * 0.72, s * 0.36}};
            p.drawPolyline(points, 3);
        } else {
            p.drawLine(QPointF(s * 0.28, c.y()), QPointF(s * 0.72, c.y()));
            const QPointF head[] = {{s * 0.46, s * 0.32}, {s * 0.28, c.y()}, {s * 0.46, s * 0.68}};
            p.drawPolyline(head, 3);
        }
        break;
    }
    }
}

}  // namespace

QString settingsSymbolName(SettingsSymbol symbol)
{
    switch (symbol) {
    case SettingsSymbol::gear:
        return QStringLiteral("gear");
    case SettingsSymbol::person:
        return QStringLiteral("person.crop.circle");
    case SettingsSymbol::plusCircle:
        return QStringLiteral("plus.circle");
    case SettingsSymbol::minusCircle:
        return QStringLiteral("minus.circle");
    case SettingsSymbol::checkmarkCircleFill:
        return QStringLiteral("checkmark.circle.fill");
    case SettingsSymbol::arrowBackwardCircleFill:
        return QStringLiteral("arrow.backward.circle.fill");
    }
    return {};
}

QIcon drawnSettingsSymbol(SettingsSymbol symbol, const QColor &color)
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48}) {
        for (const qreal ratio : {1.0, 2.0}) {
            QPixmap pixmap(qRound(size * ratio), qRound(size * ratio));
            pixmap.setDevicePixelRatio(ratio);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            paintSymbol(painter, symbol, size, color);
            painter.end();
            icon.addPixmap(pixmap);
        }
    }
    return icon;
}

QIcon settingsSymbolIcon(SettingsSymbol symbol, const QColor &color)
{
    for (const QString &name : themeNames(symbol)) {
        const QIcon themed = QIcon::fromTheme(name);
        // An icon that offers no size at all is as good as missing.
        if (!themed.isNull() && !themed.availableSizes().isEmpty())
            return themed;
    }
    return drawnSettingsSymbol(symbol, color);
}

}  // namespace Vantorel
