#include "widget/Views.h"

#include "Fennick/Icons/IconManager.h"
#include "ratingui/RatingView.h"
#include "widget/TextLabel.h"

#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace Glimmerwick {

using Fennick::StoreReview;
using platform::widgetkit::WidgetFamily;

namespace {
constexpr int iconSide = 32;

QFont footnoteFont(const QFont &base)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 0.85);
    return font;
}

QFont headlineFont(const QFont &base)
{
    QFont font = base;
    font.setBold(true);
    return font;
}

void useSecondaryColour(QWidget *widget)
{
    QPalette palette = widget->palette();
    QColor colour = palette.color(QPalette::WindowText);
    colour.setAlphaF(0.55);
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

// The app's icon on white, rounded, with a faint shadow.
class AppIcon : public QWidget {
public:
    explicit AppIcon(QImage image, QWidget *parent = nullptr) : QWidget(parent), m_image(std::move(image))
    {
        setObjectName(QStringLiteral("icon"));
        setFixedSize(iconSide + 4, iconSide + 4);  // room for the shadow
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        const QRectF frame(2, 1, iconSide, iconSide);
        QPainterPath shape;
        shape.addRoundedRect(frame, 8, 8);
        for (int spread = 2; spread >= 1; --spread) {  // a small blurred shadow, 1 point down
            QPainterPath shadow;
            shadow.addRoundedRect(frame.translated(0, 1).adjusted(-spread, -spread, spread, spread), 8 + spread,
                                  8 + spread);
            painter.fillPath(shadow, QColor(0, 0, 0, int(255 * 0.12 / spread)));
        }
        painter.fillPath(shape, Qt::white);
        painter.setClipPath(shape);
        const QSizeF fitted = QSizeF(m_image.size()).scaled(frame.size(), Qt::KeepAspectRatio);
        const QRectF target(frame.center() - QPointF(fitted.width() / 2, fitted.height() / 2), fitted);
        painter.drawImage(target, m_image);
    }

private:
    QImage m_image;
};

// Present only when the review names an app whose icon file reads as an image.
QWidget *makeAppIcon(const StoreReview &review)
{
    if (!review.appIdentifier())
        return nullptr;
    QImage image = Fennick::IconManager().icon(*review.appIdentifier());
    return image.isNull() ? nullptr : new AppIcon(std::move(image));
}

QWidget *makeAppLine(const StoreReview &review, const QFont &base)
{
    auto *label = new TextLabel(QCoreApplication::translate("ReviewsWidget", "%1 %2").arg(review.app(), review.version()), 1);
    label->setObjectName(QStringLiteral("appLine"));
    label->setFont(footnoteFont(base));
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    label->setFixedHeight(QFontMetrics(label->font()).lineSpacing());
    useSecondaryColour(label);
    return label;
}

// The locale's long date format without the weekday: "MMMM d, yyyy" in US English, "d. MMMM yyyy"
// in German, "yyyy年M月d日" in Japanese. Qt offers the long form only with the weekday.
QString longDateFormatWithoutWeekday(const QLocale &locale)
{
    const QString format = locale.dateFormat(QLocale::LongFormat);
    // Split into fields (a run of one of the letters d, M, y) and literal text (quoted or not).
    struct Token {
        QString text;
        QChar field;  // null for literal text
    };
    QList<Token> tokens;
    for (qsizetype at = 0; at < format.size();) {
        const QChar c = format.at(at);
        qsizetype end = at + 1;
        if (c == u'\'') {
            while (end < format.size() && format.at(end) != u'\'')
                ++end;
            end = std::min(end + 1, format.size());
            tokens.append({format.mid(at, end - at), {}});
        } else if (c == u'd' || c == u'M' || c == u'y') {
            while (end < format.size() && format.at(end) == c)
                ++end;
            tokens.append({format.mid(at, end - at), c});
        } else {
            while (end < format.size() && format.at(end) != u'\'' && format.at(end) != u'd' && format.at(end) != u'M'
                   && format.at(end) != u'y')
                ++end;
            tokens.append({format.mid(at, end - at), {}});
        }
        at = end;
    }
    // Spaces and commas only: a full stop after a day is often its ordinal mark ("8." in Hungarian).
    const auto isSeparator = [](QChar c) {
        return c.isSpace() || c == u',' || c == QChar(0x060C) || c == QChar(0x3001) || c == QChar(0xFF0C);
    };
    const auto isWeekday = [](const Token &token) { return token.field == u'd' && token.text.size() >= 3; };
    const auto isDatePart = [&](const Token &token) { return !token.field.isNull() && !isWeekday(token); };
    const auto weekday = std::find_if(tokens.begin(), tokens.end(), isWeekday);
    if (weekday == tokens.end())
        return format;
    const auto firstDatePart = std::find_if(tokens.begin(), tokens.end(), isDatePart);
    if (firstDatePart == tokens.end())
        return format;
    if (weekday < firstDatePart) {
        // What stands between a leading weekday and the date belongs to the weekday: ", ",
        // " 'den' " (Danish), "ที่ " (Thai).
        tokens.erase(weekday, firstDatePart);
    } else {
        // A weekday after the date goes with the separator before it, but not with text that
        // belongs to the date ("日" in "d日dddd").
        auto from = weekday;
        while (from != tokens.begin() && std::prev(from)->field.isNull()) {
            Token &before = *std::prev(from);
            qsizetype keep = before.text.size();
            if (!before.text.startsWith(u'\''))
                while (keep > 0 && isSeparator(before.text.at(keep - 1)))
                    --keep;
            if (keep > 0) {
                before.text.truncate(keep);
                break;
            }
            --from;
        }
        tokens.erase(from, std::next(weekday));
    }
    QString result;
    for (const Token &token : std::as_const(tokens))
        result += token.text;
    return result.trimmed();
}

QWidget *makeDateLine(const StoreReview &review, const QFont &base)
{
    auto *line = new QWidget;
    line->setObjectName(QStringLiteral("dateLine"));
    auto *layout = new QHBoxLayout(line);
    layout->setContentsMargins(0, 0, 0, 0);
    const QLocale locale;
    // One line, cut at its end when a long month name leaves no room, so the flag stays in view.
    auto *date = new TextLabel(locale.toString(review.created().toLocalTime().date(), longDateFormatWithoutWeekday(locale)), 1);
    date->setObjectName(QStringLiteral("date"));
    date->setFont(footnoteFont(base));
    date->setFixedHeight(QFontMetrics(date->font()).lineSpacing());
    useSecondaryColour(date);
    layout->addWidget(date);
    if (const Fennick::Country *country = review.country()) {
        auto *flag = new QLabel(country->flag());
        flag->setObjectName(QStringLiteral("flag"));
        flag->setFont(footnoteFont(base));
        flag->setToolTip(country->name());
        layout->addWidget(flag);
    }
    layout->addStretch(0);
    return line;
}

QWidget *makeRating(const StoreReview &review)
{
    auto *rating = new FennickUI::RatingView(review.rating(), FennickUI::ImageScale::small);
    rating->setObjectName(QStringLiteral("rating"));
    return rating;
}
}  // namespace

QColor widgetBackground(const QPalette &palette)
{
    const bool dark = palette.color(QPalette::Window).lightness() < 128;
    return dark ? QColor(0x2b, 0x2b, 0x2e) : QColor(0xf7, 0xf7, 0xf9);
}

ReviewsWidgetEntryView::ReviewsWidgetEntryView(const SimpleEntry &entry, WidgetFamily family, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ReviewsWidgetEntryView"));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, widgetBackground(palette));
    setPalette(palette);
    setAutoFillBackground(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    switch (family) {
    case WidgetFamily::systemSmall:
        layout->addWidget(new SmallReviewsWidgetEntryView(entry));
        break;
    case WidgetFamily::systemMedium:
        layout->addWidget(new MediumReviewsWidgetEntryView(entry.reviews.mid(0, 2)));
        break;
    case WidgetFamily::systemLarge:
        layout->addWidget(new MediumReviewsWidgetEntryView(entry.reviews.mid(0, 4)));
        break;
    default:
        layout->addWidget(new QLabel(tr("Unsupported size")));
    }
}

SmallReviewsWidgetEntryView::SmallReviewsWidgetEntryView(const SimpleEntry &entry, QWidget *parent) : QWidget(parent)
{
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(4);
    if (entry.reviews.isEmpty())
        return;  // only the background shows
    const StoreReview &review = *entry.reviews.first();

    if (QWidget *icon = makeAppIcon(review)) {
        auto *padded = new QHBoxLayout;
        padded->setContentsMargins(2, 0, 0, 4);
        padded->addWidget(icon);
        padded->addStretch();
        stack->addLayout(padded);
    }
    auto *appRow = new QHBoxLayout;
    appRow->addWidget(makeAppLine(review, font()), 1);
    appRow->addStretch();
    stack->addLayout(appRow);
    stack->addWidget(makeRating(review), 0, Qt::AlignLeft);
    auto *title = new TextLabel(review.title(), 0, 0.7);
    title->setObjectName(QStringLiteral("title"));
    title->setFont(headlineFont(font()));
    title->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    stack->addWidget(title, 1);
    stack->addStretch(0);
    stack->addWidget(makeDateLine(review, font()));
}

MediumReviewsWidgetEntryView::MediumReviewsWidgetEntryView(const QList<std::shared_ptr<StoreReview>> &reviews,
                                                           QWidget *parent)
    : QWidget(parent)
{
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addStretch(1);
    for (const auto &review : reviews) {
        stack->addWidget(new MediumReviewView(*review));
        if (review->id() != reviews.last()->id()) {
            auto *divider = new QFrame;
            divider->setObjectName(QStringLiteral("divider"));
            divider->setFrameShape(QFrame::HLine);
            divider->setFrameShadow(QFrame::Plain);
            useSecondaryColour(divider);
            stack->addSpacing(10);
            stack->addWidget(divider);
            stack->addSpacing(10);
        }
    }
    stack->addStretch(1);
}

MediumReviewView::MediumReviewView(const StoreReview &review, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("reviewRow"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);

    auto *column = new QVBoxLayout;
    column->setSpacing(4);
    auto *ratingLine = new QHBoxLayout;
    ratingLine->addWidget(makeRating(review));
    ratingLine->addWidget(makeAppLine(review, font()), 1);
    column->addLayout(ratingLine);
    auto *title = new TextLabel(review.title(), 2);
    title->setObjectName(QStringLiteral("title"));
    title->setFont(headlineFont(font()));
    column->addWidget(title);
    column->addWidget(makeDateLine(review, font()));

    row->addLayout(column, 1);
    row->addStretch(0);
    if (QWidget *icon = makeAppIcon(review))
        row->addWidget(icon);
}

}  // namespace Glimmerwick
