#pragma once

#include "widget/Provider.h"

#include <QWidget>

namespace Glimmerwick {

// The widget's background colour in the current appearance (light or dark palette).
QColor widgetBackground(const QPalette &palette);

// The root view of one entry: chooses the view by family and draws the widget background.
class ReviewsWidgetEntryView : public QWidget {
    Q_OBJECT
public:
    ReviewsWidgetEntryView(const SimpleEntry &entry, platform::widgetkit::WidgetFamily family,
                           QWidget *parent = nullptr);
};

// The newest review alone.
class SmallReviewsWidgetEntryView : public QWidget {
    Q_OBJECT
public:
    explicit SmallReviewsWidgetEntryView(const SimpleEntry &entry, QWidget *parent = nullptr);
};

// A vertically centred list of reviews, one row each, with dividers between them.
class MediumReviewsWidgetEntryView : public QWidget {
    Q_OBJECT
public:
    explicit MediumReviewsWidgetEntryView(const QList<std::shared_ptr<Fennick::StoreReview>> &reviews,
                                          QWidget *parent = nullptr);
};

class MediumReviewView : public QWidget {
    Q_OBJECT
public:
    explicit MediumReviewView(const Fennick::StoreReview &review, QWidget *parent = nullptr);
};

}  // namespace Glimmerwick
