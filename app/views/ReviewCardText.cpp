#include "app/views/ReviewCardText.h"

#include "app/views/ReviewCardLayout.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTextBoundaryFinder>
#include <QTextLayout>

namespace Vantorel {

ReviewCardText::ReviewCardText(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::ClickFocus);
    setCursor(Qt::IBeamCursor);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

ReviewCardText::~ReviewCardText() = default;

void ReviewCardText::setLayout(std::shared_ptr<QTextLayout> layout)
{
    const bool sameText = m_layout && layout && m_layout->text() == layout->text();
    m_layout = std::move(layout);
    m_ownsLayout = false;
    if (!sameText)
        clearSelection();
    update();
}

void ReviewCardText::setPlainText(const QString &text, const QFont &font)
{
    const bool sameText = m_ownsLayout && text == m_ownText && font == m_ownFont;
    m_ownsLayout = true;
    m_ownText = text;
    m_ownFont = font;
    if (!sameText) {
        m_ownWidth = -1;
        m_layout.reset();
        clearSelection();
    }
    relayoutOwn();
    updateGeometry();
}

void ReviewCardText::relayoutOwn()
{
    if (!m_ownsLayout || (m_layout && m_ownWidth == width()))
        return;
    m_layout = ReviewCardLayout::layoutText(m_ownText, m_ownFont, width(), &m_ownHeight);
    m_ownWidth = width();
    update();
}

int ReviewCardText::heightForWidth(int width) const
{
    if (!m_ownsLayout)
        return QWidget::heightForWidth(width);
    if (m_layout && width == m_ownWidth)
        return m_ownHeight;
    int height = 0;
    ReviewCardLayout::layoutText(m_ownText, m_ownFont, width, &height);
    return height;
}

QSize ReviewCardText::sizeHint() const
{
    if (m_ownsLayout)
        return {width() > 0 ? width() : 200, heightForWidth(width() > 0 ? width() : 200)};
    return size();
}

QString ReviewCardText::text() const
{
    if (!m_layout)
        return {};
    QString text = m_layout->text();
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

QString ReviewCardText::selectedText() const
{
    if (!m_layout || !hasSelection())
        return {};
    const int start = std::min(m_anchor, m_position);
    QString text = m_layout->text().mid(start, std::abs(m_position - m_anchor));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

void ReviewCardText::setSelection(int anchor, int position)
{
    const int length = m_layout ? int(m_layout->text().size()) : 0;
    anchor = std::clamp(anchor, 0, length);
    position = std::clamp(position, 0, length);
    if (anchor == m_anchor && position == m_position)
        return;
    m_anchor = anchor;
    m_position = position;
    update();
}

void ReviewCardText::selectAll()
{
    setSelection(0, m_layout ? int(m_layout->text().size()) : 0);
}

void ReviewCardText::clearSelection()
{
    setSelection(m_position, m_position);
}

void ReviewCardText::copy() const
{
    if (hasSelection())
        QApplication::clipboard()->setText(selectedText());
}

void ReviewCardText::paintEvent(QPaintEvent *event)
{
    if (!m_layout)
        return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QList<QTextLayout::FormatRange> selections;
    if (hasSelection()) {
        QTextLayout::FormatRange range;
        range.start = std::min(m_anchor, m_position);
        range.length = std::abs(m_position - m_anchor);
        const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
        range.format.setBackground(palette().brush(group, QPalette::Highlight));
        range.format.setForeground(palette().brush(group, QPalette::HighlightedText));
        selections.append(range);
    }
    m_layout->draw(&painter, QPointF(0, 0), selections, event->rect());
}

void ReviewCardText::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    relayoutOwn();
}

int ReviewCardText::cursorAt(QPointF point) const
{
    if (!m_layout || m_layout->lineCount() == 0)
        return 0;
    // Lines are stacked downwards: find the first whose bottom lies below the point.
    int low = 0;
    int high = m_layout->lineCount() - 1;
    while (low < high) {
        const int middle = (low + high) / 2;
        const QTextLine line = m_layout->lineAt(middle);
        if (line.y() + line.height() <= point.y())
            low = middle + 1;
        else
            high = middle;
    }
    const QTextLine line = m_layout->lineAt(low);
    if (point.y() < 0)
        return 0;
    if (point.y() > line.y() + line.height())
        return int(m_layout->text().size());
    return line.xToCursor(point.x());
}

int ReviewCardText::lineOf(int position) const
{
    const QTextLine line = m_layout->lineForTextPosition(position);
    return line.isValid() ? line.lineNumber() : m_layout->lineCount() - 1;
}

int ReviewCardText::moved(int position, int key) const
{
    const int length = int(m_layout->text().size());
    switch (key) {
    case Qt::Key_Left:
        return m_layout->leftCursorPosition(position);
    case Qt::Key_Right:
        return m_layout->rightCursorPosition(position);
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const int lineNumber = lineOf(position);
        const int target = lineNumber + (key == Qt::Key_Up ? -1 : 1);
        if (target < 0)
            return 0;
        if (target >= m_layout->lineCount())
            return length;
        const qreal x = m_layout->lineAt(lineNumber).cursorToX(position);
        return m_layout->lineAt(target).xToCursor(x);
    }
    case Qt::Key_Home:
        return m_layout->lineAt(lineOf(position)).textStart();
    case Qt::Key_End: {
        const QTextLine line = m_layout->lineAt(lineOf(position));
        return line.textStart() + line.textLength();
    }
    default:
        return position;
    }
}

void ReviewCardText::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_layout) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int position = cursorAt(event->position());
    if (event->modifiers() & Qt::ShiftModifier)
        setSelection(m_anchor, position);
    else
        setSelection(position, position);
    m_selecting = true;
    event->accept();
}

void ReviewCardText::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_selecting) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    setSelection(m_anchor, cursorAt(event->position()));
    event->accept();
}

void ReviewCardText::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_selecting && event->button() == Qt::LeftButton) {
        m_selecting = false;
        if (hasSelection() && QApplication::clipboard()->supportsSelection())
            QApplication::clipboard()->setText(selectedText(), QClipboard::Selection);
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void ReviewCardText::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_layout) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    const QString text = m_layout->text();
    const int position = cursorAt(event->position());
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, text);
    finder.setPosition(position);
    int start = finder.isAtBoundary() && (finder.boundaryReasons() & QTextBoundaryFinder::StartOfItem)
                    ? position
                    : int(finder.toPreviousBoundary());
    finder.setPosition(position);
    int end = finder.toNextBoundary();
    if (start < 0)
        start = 0;
    if (end < 0)
        end = int(text.size());
    setSelection(start, end);
    event->accept();
}

void ReviewCardText::keyPressEvent(QKeyEvent *event)
{
    if (!m_layout) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (event->matches(QKeySequence::SelectStartOfDocument)) {
        setSelection(m_anchor, 0);
        return;
    }
    if (event->matches(QKeySequence::SelectEndOfDocument)) {
        setSelection(m_anchor, int(m_layout->text().size()));
        return;
    }
    const int key = event->key();
    const bool movement = key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down
                          || key == Qt::Key_Home || key == Qt::Key_End;
    if (movement && (event->modifiers() & Qt::ShiftModifier)) {
        setSelection(m_anchor, moved(m_position, key));
        return;
    }
    if (movement && (key == Qt::Key_Left || key == Qt::Key_Right) && hasSelection()) {
        clearSelection();
        return;
    }
    // Everything else (plain arrows, Tab, Escape) goes on to the card and the list.
    QWidget::keyPressEvent(event);
}

void ReviewCardText::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    QAction *copyAction = menu.addAction(tr("Copy"), this, &ReviewCardText::copy);
    copyAction->setEnabled(hasSelection());
    menu.addAction(tr("Select All"), this, &ReviewCardText::selectAll);
    menu.exec(event->globalPos());
}

void ReviewCardText::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    update();  // the selection turns to its inactive colour
}

}  // namespace Vantorel
