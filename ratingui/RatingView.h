#pragma once

#include <QWidget>

namespace FennickUI {

enum class ImageScale { small, medium, large };

// A review's star rating as five stars side by side with no gap: the first `rating` stars are
// yellow, the rest gray and faint. Any integer is accepted; values outside 0..5 just saturate.
class RatingView : public QWidget {
    Q_OBJECT
public:
    RatingView(qint64 rating, ImageScale fontSize, QWidget *parent = nullptr);

    qint64 rating() const { return m_rating; }
    ImageScale fontSize() const { return m_fontSize; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    // The edge of one star for a scale, relative to a font: the symbol scales with the text.
    static int starSize(ImageScale scale, const QFont &font);
    // Draws the five stars with their top-left corner at `origin`.
    static void paintStars(QPainter &painter, QPoint origin, qint64 rating, int starSize);

    static const QColor filledColor;
    static const QColor emptyColor;
    static constexpr qreal emptyOpacity = 0.2;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const qint64 m_rating;
    const ImageScale m_fontSize;
};

}  // namespace FennickUI

extern "C" {
extern const double FennickUIVersionNumber;
extern const unsigned char FennickUIVersionString[];
}
