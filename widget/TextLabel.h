#pragma once

#include <QWidget>

namespace Glimmerwick {

// Text that wraps up to a number of lines and ends the last one with "…", optionally shrinking
// its font (down to a minimum scale) before cutting anything.
class TextLabel : public QWidget {
    Q_OBJECT
public:
    TextLabel(QString text, int maxLines, qreal minimumScale = 1.0, QWidget *parent = nullptr);

    const QString &text() const { return m_text; }
    // The lines as drawn at the current width, after shrinking and cutting.
    QStringList visibleLines() const;
    qreal appliedScale() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Layout {
        QFont font;
        QStringList lines;
        int lineHeight = 0;
    };
    Layout layoutFor(int width, int height) const;
    QStringList wrap(const QFont &font, int width, int maxLines) const;

    QString m_text;
    int m_maxLines;  // 0: no limit
    qreal m_minimumScale;
};

}  // namespace Glimmerwick
