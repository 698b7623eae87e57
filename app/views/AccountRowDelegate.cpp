#include "app/views/AccountRowDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QTextLayout>

namespace Vantorel {

namespace {
constexpr int horizontalMargin = 4;
constexpr int verticalMargin = 3;
}  // namespace

QFont AccountRowDelegate::rowFont(const QFont &base)
{
    QFont small = base;
    small.setPointSizeF(base.pointSizeF() * 0.9);
    return small;
}

QStringList AccountRowDelegate::lines(const QString &text, const QFont &font, int width)
{
    if (text.isEmpty() || width <= 0)
        return {text};
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList result;
    layout.beginLayout();
    for (int lineNumber = 0; lineNumber < maximumLines; ++lineNumber) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        if (lineNumber == maximumLines - 1) {
            // The last line takes the rest of the text, cut at its end.
            const QString rest = text.mid(line.textStart());
            result.append(QFontMetrics(font).elidedText(rest, Qt::ElideRight, width));
        } else {
            result.append(text.mid(line.textStart(), line.textLength()).trimmed());
        }
    }
    layout.endLayout();
    return result;
}

QRect AccountRowDelegate::textRect(const QStyleOptionViewItem &option)
{
    return option.rect.adjusted(horizontalMargin, verticalMargin, -horizontalMargin, -verticalMargin);
}

QSize AccountRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QFont font = rowFont(option.font);
    const int width = textRect(option).width();
    const int count = int(lines(index.data(Qt::DisplayRole).toString(), font, width).size());
    return {option.rect.width(), QFontMetrics(font).lineSpacing() * qMax(1, count) + 2 * verticalMargin};
}

void AccountRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem panel = option;
    initStyleOption(&panel, index);
    panel.text.clear();
    const QStyle *style = panel.widget ? panel.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &panel, painter, panel.widget);

    const QFont font = rowFont(option.font);
    const QRect box = textRect(option);
    const bool selected = option.state & QStyle::State_Selected;
    painter->save();
    painter->setFont(font);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const int lineSpacing = QFontMetrics(font).lineSpacing();
    int y = box.top();
    for (const QString &line : lines(index.data(Qt::DisplayRole).toString(), font, box.width())) {
        painter->drawText(QRect(box.left(), y, box.width(), lineSpacing), Qt::AlignLeft | Qt::AlignVCenter, line);
        y += lineSpacing;
    }
    painter->restore();
}

}  // namespace Vantorel
