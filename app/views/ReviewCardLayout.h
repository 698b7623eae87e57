#pragma once

#include <QFont>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QPalette>
#include <QPointer>
#include <QRect>
#include <QString>
#include <memory>
#include <optional>

class QLocale;
class QPainter;
class QPushButton;
class QTextLayout;
class QToolButton;
class QWidget;

namespace Fennick {
class StoreReview;
}

namespace Vantorel {

// The fonts and spacings of a review card, derived from one base font.
struct ReviewCardStyle {
    QFont body;
    QFont headline;   // the title
    QFont footnote;   // app and version, the "New" badge
    QFont marker;     // "Translated:", "Your Response:": semibold small caps
    QFont badge;      // "New": footnote in small caps
    QFont small;      // the action row: byline, flag, buttons

    static constexpr int horizontalInset = 16;  // the list row's inset on both sides
    static constexpr int topInset = 8;
    static constexpr int spacing = 8;           // between the card's rows
    static constexpr int itemSpacing = 8;       // between items of one row
    static constexpr int responsePadding = 12;
    static constexpr int responseRadius = 6;
    static constexpr int badgeRadius = 4;
    static constexpr int dividerPadding = 8;

    static ReviewCardStyle forFont(const QFont &base);
    // The height of a one-line text of the card in `font`, with room for the font's full descent.
    static int lineHeight(const QFont &font);

    static QColor secondaryText(const QPalette &palette);
    static QColor responseFill();
    static QColor badgeFill();
    static QColor divider(const QPalette &palette);
};

// The controls of a card's action row: measured and painted through hidden template widgets, so
// that a painted row and the interactive card (which shows real buttons at the same places) look
// alike. Lives as long as its host widget.
class ReviewCardControls {
public:
    explicit ReviewCardControls(QWidget *host);
    ~ReviewCardControls();
    ReviewCardControls(const ReviewCardControls &) = delete;
    ReviewCardControls &operator=(const ReviewCardControls &) = delete;

    // Follows the host's font and style; call after either changed.
    void update();
    const ReviewCardStyle &style() const { return m_style; }
    // Counts font and style changes; layouts made before a change are stale.
    int generation() const { return m_generation; }

    QSize buttonSize(const QString &label) const;
    QSize shareButtonSize() const;
    // The width of a flag in the action row's font. Measuring a colour emoji decodes its bitmap,
    // and there are only a few dozen flags: each is measured once.
    int flagWidth(const QString &flag) const;
    void paintButton(QPainter &painter, const QRect &rect, const QString &label) const;
    void paintShareButton(QPainter &painter, const QRect &rect) const;
    // RatingView's five stars, filling `rect` (five stars of its height).
    static void paintStars(QPainter &painter, const QRect &rect, qint64 rating);

    // Sets up a real button so that it looks like the painted one.
    void configureButton(QPushButton &button) const;
    void configureShareButton(QToolButton &button) const;

    // The share symbol: the theme's icon when there is one, else a drawn box with an arrow.
    static QIcon shareIcon();

private:
    class TemplatePushButton;
    class TemplateToolButton;

    QPointer<QWidget> m_host;
    TemplatePushButton *m_button = nullptr;
    TemplateToolButton *m_shareButton = nullptr;
    ReviewCardStyle m_style;
    int m_generation = 0;
    mutable QHash<QString, QSize> m_buttonSizes;
    mutable QHash<QString, int> m_flagWidths;
    mutable std::optional<QSize> m_shareSize;
};

// Where everything of one card goes, for one review, width and translation switch. The one
// geometry that serves the row's size hint, its painting, the interactive card's widgets and hit
// tests: nothing is measured twice in different ways.
class ReviewCardLayout {
public:
    enum class Button { translate, revert, write, edit, remove, share };

    struct Text {
        QRect rect;  // the text's box; the layout's lines are placed relative to its top left
        std::shared_ptr<QTextLayout> layout;
        bool isEmpty() const { return !layout; }
    };
    struct ButtonRect {
        Button kind;
        QRect rect;
        QString label;  // empty for the share button
    };

    // `width` is the row's width; the card keeps its insets inside it.
    ReviewCardLayout(const Fennick::StoreReview &review, int width, bool enableTranslation,
                     const ReviewCardControls &controls);

    int width() const { return m_width; }
    int height() const { return m_height; }

    QRect headerRect;
    QString headerText;  // elided to fit
    QRect badgeRect;     // empty when the review is not new
    QRect starsRect;
    int starSize = 0;
    qint64 rating = 0;
    Text title;
    QRect markerRect;  // empty without a translated body
    Text body;
    QRect responseBox;  // empty without a response block
    QRect responseHeadingRect;
    Text response;
    QRect bylineRect;
    QString bylineText;  // elided to fit
    QRect flagRect;      // empty for a territory outside the table
    QString flagText;
    QString flagToolTip;
    QList<ButtonRect> buttons;
    QRect dividerRect;

    std::optional<ButtonRect> buttonAt(QPoint point) const;
    const ButtonRect *button(Button kind) const;

    // What painting leaves out: the interactive card shows texts and buttons as widgets.
    enum Part { texts = 0x1, controls = 0x2 };
    // Paints the card at `origin` (the row's top left). `clip` limits the lines drawn of long
    // texts, in the painter's coordinates.
    void paint(QPainter &painter, QPoint origin, const QPalette &palette, const ReviewCardControls &controls,
               const QRect &clip, int skip = 0) const;

    // The frame of the list's current card while the list has the keyboard focus.
    void paintCurrentMark(QPainter &painter, QPoint origin, const QPalette &palette) const;

    // A wrapped, selectable text: line feeds break lines, a right-to-left text is aligned right.
    static std::shared_ptr<QTextLayout> layoutText(const QString &text, const QFont &font, int width, int *height);
    // The byline: "by NICKNAME on DATE", the date and time in the user's locale.
    static QString byline(const Fennick::StoreReview &review);
    // The byline's date-and-time format: the locale's own, with a four-digit year.
    static QString bylineDateFormat(const QLocale &locale);

private:
    int m_width = 0;
    int m_height = 0;
};

}  // namespace Vantorel
