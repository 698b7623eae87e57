#pragma once

#include <QFont>
#include <QWidget>
#include <memory>

class QTextLayout;

namespace Vantorel {

// A block of wrapped, read-only text that the user can select with the mouse (drag, double-click
// for a word) and the keyboard (Shift with the arrows, Home and End; Select All) and copy. It
// draws a QTextLayout, either one laid out elsewhere (the review card's, so that the open card and
// the painted row look the same) or its own, laid out for its width (heightForWidth).
class ReviewCardText : public QWidget {
    Q_OBJECT
public:
    explicit ReviewCardText(QWidget *parent = nullptr);
    ~ReviewCardText() override;

    // Shows a layout made by someone else, at this widget's top left; the selection is kept when
    // the text is the same.
    void setLayout(std::shared_ptr<QTextLayout> layout);
    // Shows `text` laid out for the widget's width with `font`.
    void setPlainText(const QString &text, const QFont &font);

    QString text() const;
    QString selectedText() const;
    bool hasSelection() const { return m_anchor != m_position; }
    void selectAll();
    void clearSelection();
    void copy() const;

    bool hasHeightForWidth() const override { return m_ownsLayout; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    int cursorAt(QPointF point) const;
    int lineOf(int position) const;
    int moved(int position, int key) const;
    void relayoutOwn();
    void setSelection(int anchor, int position);

    std::shared_ptr<QTextLayout> m_layout;
    bool m_ownsLayout = false;
    QString m_ownText;
    QFont m_ownFont;
    int m_ownWidth = -1;
    int m_ownHeight = 0;
    int m_anchor = 0;
    int m_position = 0;
    bool m_selecting = false;
};

}  // namespace Vantorel
