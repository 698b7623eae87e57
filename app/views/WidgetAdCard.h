#pragma once

#include <QWidget>

namespace Vantorel {

// A small card inviting the user to add the desktop widget: two texts beside a picture of the
// widget, on a translucent rounded fill, never wider than 420.
class WidgetAdCard : public QWidget {
    Q_OBJECT
public:
    static constexpr int maximumCardWidth = 420;
    static constexpr int padding = 12;
    static constexpr int cornerRadius = 6;
    static constexpr int pictureSize = 48;
    // Gray at 15 % opacity.
    static QColor fillColor();

    explicit WidgetAdCard(QWidget *parent = nullptr);

    // As wide as allowed: the text would rather take one line less than leave room unused.
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// The picture of the widget: a small review card with stars, drawn for this application.
class WidgetPicture : public QWidget {
    Q_OBJECT
public:
    explicit WidgetPicture(QWidget *parent = nullptr);
    static void paint(QPainter &painter, const QRectF &box);

protected:
    void paintEvent(QPaintEvent *event) override;
};

}  // namespace Vantorel
