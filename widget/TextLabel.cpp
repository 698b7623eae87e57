#include "widget/TextLabel.h"

#include <QPainter>
#include <QtMath>
#include <QTextLayout>

namespace Glimmerwick {

TextLabel::TextLabel(QString text, int maxLines, qreal minimumScale, QWidget *parent)
    : QWidget(parent), m_text(std::move(text)), m_maxLines(maxLines), m_minimumScale(minimumScale)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QStringList TextLabel::wrap(const QFont &font, int width, int maxLines) const
{
    QStringList lines;
    QTextLayout layout(m_text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (maxLines > 0 && lines.size() == maxLines - 1) {
            // The last allowed line takes the rest of the text, cut at its end.
            const QString rest = m_text.mid(line.textStart());
            lines << QFontMetrics(font).elidedText(rest.simplified(), Qt::ElideRight, width);
            break;
        }
        lines << m_text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

TextLabel::Layout TextLabel::layoutFor(int width, int height) const
{
    QFont font = this->font();
    const qreal base = font.pointSizeF() > 0 ? font.pointSizeF() : 12.0;
    for (qreal scale = 1.0;; scale -= 0.05) {
        if (scale < m_minimumScale)
            scale = m_minimumScale;
        font.setPointSizeF(base * scale);
        const int lineHeight = QFontMetrics(font).lineSpacing();
        const QStringList unlimited = wrap(font, width, 0);
        const bool fits = unlimited.size() * lineHeight <= height
                          && (m_maxLines == 0 || unlimited.size() <= m_maxLines);
        if (fits || scale <= m_minimumScale) {
            const int byHeight = qMax(1, height / qMax(1, lineHeight));
            const int limit = m_maxLines == 0 ? byHeight : qMin(m_maxLines, byHeight);
            return Layout{font, fits ? unlimited : wrap(font, width, limit), lineHeight};
        }
    }
}

QStringList TextLabel::visibleLines() const
{
    return layoutFor(width(), height()).lines;
}

qreal TextLabel::appliedScale() const
{
    const qreal base = font().pointSizeF();
    return layoutFor(width(), height()).font.pointSizeF() / base;
}

int TextLabel::heightForWidth(int width) const
{
    const int lines = wrap(font(), qMax(1, width), m_maxLines).size();
    return qMax(1, lines) * QFontMetrics(font()).lineSpacing();
}

QSize TextLabel::sizeHint() const
{
    const QFontMetrics metrics(font());
    // Rounded up: text laid out in a width rounded down would wrap or be cut.
    const int advance = qCeil(QFontMetricsF(font()).horizontalAdvance(m_text));
    return {qMin(advance, 300), metrics.lineSpacing() * qMax(1, m_maxLines)};
}

QSize TextLabel::minimumSizeHint() const
{
    // Shrinking text may take less than one line of the full font.
    const QFontMetrics metrics(font());
    return {metrics.averageCharWidth() * 3, int(metrics.lineSpacing() * m_minimumScale)};
}

void TextLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const Layout layout = layoutFor(width(), height());
    painter.setFont(layout.font);
    const QFontMetrics metrics(layout.font);
    int y = metrics.ascent();
    for (const QString &line : layout.lines) {
        painter.drawText(0, y, line);
        y += layout.lineHeight;
    }
}

}  // namespace Glimmerwick
