#pragma once

#include <QStyledItemDelegate>

namespace Vantorel {

// An account's name in the small font, wrapped onto at most two lines, the second cut off at
// its end with an ellipsis.
class AccountRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int maximumLines = 2;

    using QStyledItemDelegate::QStyledItemDelegate;

    // The lines shown for `text` in `width` pixels.
    static QStringList lines(const QString &text, const QFont &font, int width);
    static QFont rowFont(const QFont &base);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    static QRect textRect(const QStyleOptionViewItem &option);
};

}  // namespace Vantorel
