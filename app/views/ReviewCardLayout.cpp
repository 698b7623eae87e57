#include "app/views/ReviewCardLayout.h"

#include "Fennick/Records/StoreReview.h"
#include "ratingui/RatingView.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QStyleOptionToolButton>
#include <QTextLayout>
#include <QToolButton>
#include <QtMath>
#include <cmath>

namespace Vantorel {

using Fennick::StoreReview;

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ReviewView", text);
}

QFont scaled(const QFont &base, qreal factor)
{
    QFont font = base;
    if (base.pointSizeF() > 0)
        font.setPointSizeF(std::max(6.0, base.pointSizeF() * factor));
    else if (base.pixelSize() > 0)
        font.setPixelSize(std::max(8, qRound(base.pixelSize() * factor)));
    return font;
}

// The platform's small control size and footnote text are about 85% of the body text.
constexpr qreal smallFactor = 0.85;

}  // namespace

ReviewCardStyle ReviewCardStyle::forFont(const QFont &base)
{
    ReviewCardStyle style;
    style.body = base;
    style.headline = base;
    style.headline.setWeight(QFont::Bold);
    style.footnote = scaled(base, smallFactor);
    style.marker = base;
    style.marker.setWeight(QFont::DemiBold);
    style.marker.setCapitalization(QFont::SmallCaps);
    style.badge = style.footnote;
    style.badge.setCapitalization(QFont::SmallCaps);
    style.small = scaled(base, smallFactor);
    return style;
}

int ReviewCardStyle::lineHeight(const QFont &font)
{
    // Whole pixels on both sides of the baseline and one more for the anti-aliased edge: the
    // rounded height of QFontMetrics cuts glyphs that reach the full descent, such as "_".
    const QFontMetricsF metrics(font);
    return qCeil(metrics.ascent()) + qCeil(metrics.descent()) + 1;
}

QColor ReviewCardStyle::secondaryText(const QPalette &palette)
{
    QColor colour = palette.color(QPalette::Text);
    colour.setAlphaF(0.6f);
    return colour;
}

QColor ReviewCardStyle::responseFill()
{
    return QColor(128, 128, 128, 38);  // the standard gray at 15%
}

QColor ReviewCardStyle::badgeFill()
{
    return QColor(255, 149, 0);  // the standard orange
}

QColor ReviewCardStyle::divider(const QPalette &palette)
{
    QColor colour = palette.color(QPalette::Text);
    colour.setAlphaF(0.15f);
    return colour;
}

// Template widgets that hand out their style options.
class ReviewCardControls::TemplatePushButton : public QPushButton {
public:
    using QPushButton::QPushButton;
    using QPushButton::initStyleOption;
};

class ReviewCardControls::TemplateToolButton : public QToolButton {
public:
    using QToolButton::QToolButton;
    using QToolButton::initStyleOption;
};

ReviewCardControls::ReviewCardControls(QWidget *host) : m_host(host)
{
    m_button = new TemplatePushButton(host);
    m_button->setObjectName(QStringLiteral("cardButtonTemplate"));
    configureButton(*m_button);
    m_button->hide();
    m_shareButton = new TemplateToolButton(host);
    m_shareButton->setObjectName(QStringLiteral("cardShareButtonTemplate"));
    configureShareButton(*m_shareButton);
    m_shareButton->hide();
    update();
}

ReviewCardControls::~ReviewCardControls() = default;  // the templates die with their host

void ReviewCardControls::update()
{
    if (!m_host)
        return;
    m_style = ReviewCardStyle::forFont(m_host->font());
    m_button->setFont(m_style.small);
    m_shareButton->setFont(m_style.small);
    m_buttonSizes.clear();
    m_flagWidths.clear();
    m_shareSize.reset();
    ++m_generation;
}

void ReviewCardControls::configureButton(QPushButton &button) const
{
    button.setAutoDefault(false);
    button.setDefault(false);
    button.setFont(m_style.small);
}

void ReviewCardControls::configureShareButton(QToolButton &button) const
{
    button.setIcon(shareIcon());
    button.setAutoRaise(true);
    button.setToolButtonStyle(Qt::ToolButtonIconOnly);
    button.setFont(m_style.small);
    button.setToolTip(tr("Share this review"));
}

QSize ReviewCardControls::buttonSize(const QString &label) const
{
    const auto found = m_buttonSizes.constFind(label);
    if (found != m_buttonSizes.cend())
        return *found;
    m_button->setText(label);
    const QSize size = m_button->sizeHint();
    m_buttonSizes.insert(label, size);
    return size;
}

int ReviewCardControls::flagWidth(const QString &flag) const
{
    const auto found = m_flagWidths.constFind(flag);
    if (found != m_flagWidths.cend())
        return *found;
    const int width = QFontMetrics(m_style.small).horizontalAdvance(flag);
    m_flagWidths.insert(flag, width);
    return width;
}

QSize ReviewCardControls::shareButtonSize() const
{
    if (!m_shareSize)
        m_shareSize = m_shareButton->sizeHint();
    return *m_shareSize;
}

namespace {

// Every card shows the same few buttons: each is drawn through the style once per look and
// size, then copied.
template <class Draw>
void paintCached(QPainter &painter, const QRect &rect, const QString &key, Draw draw)
{
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QString fullKey = key + QStringLiteral("|%1x%2@%3").arg(rect.width()).arg(rect.height()).arg(ratio);
    QPixmap pixmap;
    if (!QPixmapCache::find(fullKey, &pixmap)) {
        pixmap = QPixmap(rect.size() * ratio);
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(Qt::transparent);
        QPainter into(&pixmap);
        draw(into, QRect(QPoint(0, 0), rect.size()));
        into.end();
        QPixmapCache::insert(fullKey, pixmap);
    }
    painter.drawPixmap(rect.topLeft(), pixmap);
}

QString lookKey(const QStyleOption &option, const QWidget *widget)
{
    return QStringLiteral("%1|%2|%3|%4")
        .arg(quintptr(widget->style()))
        .arg(option.palette.cacheKey())
        .arg(int(option.state))
        .arg(option.fontMetrics.height());
}

}  // namespace

void ReviewCardControls::paintButton(QPainter &painter, const QRect &rect, const QString &label) const
{
    QStyleOptionButton option;
    m_button->initStyleOption(&option);
    option.text = label;
    const QString key = QStringLiteral("vantorel-card-button|") + lookKey(option, m_button) + u'|' + label;
    paintCached(painter, rect, key, [&](QPainter &into, const QRect &box) {
        option.rect = box;
        into.setFont(m_style.small);
        m_button->style()->drawControl(QStyle::CE_PushButton, &option, &into, m_button);
    });
}

void ReviewCardControls::paintShareButton(QPainter &painter, const QRect &rect) const
{
    QStyleOptionToolButton option;
    m_shareButton->initStyleOption(&option);
    const QString key = QStringLiteral("vantorel-card-share|") + lookKey(option, m_shareButton);
    paintCached(painter, rect, key, [&](QPainter &into, const QRect &box) {
        option.rect = box;
        into.setFont(m_style.small);
        m_shareButton->style()->drawComplexControl(QStyle::CC_ToolButton, &option, &into, m_shareButton);
    });
}

void ReviewCardControls::paintStars(QPainter &painter, const QRect &rect, qint64 rating)
{
    // Any rating draws like one of the six from 0 to 5.
    const int shown = int(std::clamp<qint64>(rating, 0, 5));
    paintCached(painter, rect, QStringLiteral("vantorel-card-stars|%1").arg(shown), [&](QPainter &into, const QRect &box) {
        FennickUI::RatingView::paintStars(into, QPoint(0, 0), shown, box.height());
    });
}

QIcon ReviewCardControls::shareIcon()
{
    static const QIcon icon = [] {
        QIcon themed = QIcon::fromTheme(QStringLiteral("document-share"));
        if (themed.isNull())
            themed = QIcon::fromTheme(QStringLiteral("document-send"));
        if (!themed.isNull() && !themed.availableSizes().isEmpty())
            return themed;
        // A box open at the top with an arrow leaving it upwards.
        QIcon drawn;
        const QColor ink = QApplication::palette().color(QPalette::ButtonText);
        for (int side : {16, 24, 32, 48}) {
            QPixmap pixmap(side, side);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.scale(side / 64.0, side / 64.0);
            QPen pen(ink, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
            painter.setPen(pen);
            QPainterPath box;
            box.moveTo(22, 26);
            box.lineTo(12, 26);
            box.lineTo(12, 58);
            box.lineTo(52, 58);
            box.lineTo(52, 26);
            box.lineTo(42, 26);
            painter.drawPath(box);
            painter.drawLine(QPointF(32, 6), QPointF(32, 40));
            QPainterPath head;
            head.moveTo(22, 16);
            head.lineTo(32, 6);
            head.lineTo(42, 16);
            painter.drawPath(head);
            painter.end();
            drawn.addPixmap(pixmap);
        }
        return drawn;
    }();
    return icon;
}

std::shared_ptr<QTextLayout> ReviewCardLayout::layoutText(const QString &text, const QFont &font, int width,
                                                          int *height)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
    auto layout = std::make_shared<QTextLayout>(shown, font);
    QTextOption option;
    // A word wider than the card (a long link, a text without blanks) breaks anywhere instead of
    // running past the edge.
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    const bool rightToLeft = shown.isRightToLeft();
    option.setTextDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    option.setAlignment((rightToLeft ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignAbsolute);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    qreal y = 0;
    layout->beginLayout();
    if (!shown.isEmpty()) {
        for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
            line.setLineWidth(std::max(1, width));
            line.setPosition(QPointF(0, y));
            y += line.height();
        }
    }
    layout->endLayout();
    *height = int(std::ceil(y));
    return layout;
}

QString ReviewCardLayout::bylineDateFormat(const QLocale &locale)
{
    // The locale's short date and time, but with the year in full: many locales' short form
    // has only its last two digits ("1/2/24").
    QString format = locale.dateTimeFormat(QLocale::ShortFormat);
    static const QRegularExpression shortYear(QStringLiteral("(?<!y)yy(?!y)"));
    format.replace(shortYear, QStringLiteral("yyyy"));
    return format;
}

QString ReviewCardLayout::byline(const StoreReview &review)
{
    // Every card's byline asks, on whichever thread measures it: the format is made once per locale.
    thread_local QString localeName;
    thread_local QString format;
    const QLocale locale;
    if (format.isEmpty() || locale.name() != localeName) {
        localeName = locale.name();
        format = bylineDateFormat(locale);
    }
    const QString date = locale.toString(review.created().toLocalTime(), format);
    return tr("by %1 on %2").arg(review.nickname(), date);
}

ReviewCardLayout::ReviewCardLayout(const StoreReview &review, int width, bool enableTranslation,
                                   const ReviewCardControls &controls)
    : m_width(width)
{
    const ReviewCardStyle &style = controls.style();
    const int left = ReviewCardStyle::horizontalInset;
    const int contentWidth = std::max(1, width - 2 * ReviewCardStyle::horizontalInset);
    const int spacing = ReviewCardStyle::spacing;
    const int itemSpacing = ReviewCardStyle::itemSpacing;
    int y = ReviewCardStyle::topInset;

    // Header: app and version, the "New" badge at the far end.
    const QFontMetrics footnote(style.footnote);
    QSize badge;
    if (review.isNew()) {
        const QFontMetrics metrics(style.badge);
        badge = QSize(metrics.horizontalAdvance(tr("New")) + 2 * 3, ReviewCardStyle::lineHeight(style.badge) + 2 * 1);
    }
    const int headerLine = ReviewCardStyle::lineHeight(style.footnote);
    const int headerHeight = std::max(headerLine, badge.height());
    const int headerTextWidth = std::max(0, contentWidth - (badge.isEmpty() ? 0 : badge.width() + itemSpacing));
    headerText = footnote.elidedText(tr("%1 %2").arg(review.app(), review.version()), Qt::ElideRight, headerTextWidth);
    headerRect = QRect(left, y + (headerHeight - headerLine) / 2, headerTextWidth, headerLine);
    if (!badge.isEmpty())
        badgeRect = QRect(QPoint(left + contentWidth - badge.width(), y + (headerHeight - badge.height()) / 2), badge);
    y += headerHeight + spacing;

    // Stars and title, centred on each other.
    rating = review.rating();
    starSize = FennickUI::RatingView::starSize(FennickUI::ImageScale::medium, style.body);
    const int starsWidth = 5 * starSize;
    const int titleWidth = std::max(1, contentWidth - starsWidth - itemSpacing);
    int titleHeight = 0;
    title.layout = layoutText(review.translatedTitle().value_or(review.title()), style.headline, titleWidth, &titleHeight);
    const int titleRow = std::max(starSize, titleHeight);
    starsRect = QRect(left, y + (titleRow - starSize) / 2, starsWidth, starSize);
    title.rect = QRect(left + starsWidth + itemSpacing, y + (titleRow - titleHeight) / 2, titleWidth, titleHeight);
    y += titleRow + spacing;

    const int markerLine = ReviewCardStyle::lineHeight(style.marker);
    if (review.translatedBody()) {
        markerRect = QRect(left, y, contentWidth, markerLine);
        y += markerLine + spacing;
    }

    int bodyHeight = 0;
    body.layout = layoutText(review.translatedBody().value_or(review.body()), style.body, contentWidth, &bodyHeight);
    body.rect = QRect(left, y, contentWidth, bodyHeight);
    y += bodyHeight + spacing;

    if (review.responseBody() && review.responseIdentifier()) {
        const int padding = ReviewCardStyle::responsePadding;
        const int inner = std::max(1, contentWidth - 2 * padding);
        int responseHeight = 0;
        response.layout = layoutText(*review.responseBody(), style.body, inner, &responseHeight);
        responseHeadingRect = QRect(left + padding, y + padding, inner, markerLine);
        response.rect = QRect(left + padding, responseHeadingRect.bottom() + 1 + spacing, inner, responseHeight);
        responseBox = QRect(left, y, contentWidth, response.rect.bottom() + 1 + padding - y);
        y += responseBox.height() + spacing;
    }

    // Action row: byline and flag, then the buttons at the far end.
    if (enableTranslation && review.isLanguageForeign()) {
        if (review.translatedBody())
            buttons.append({Button::revert, {}, tr("Revert to Original")});
        else
            buttons.append({Button::translate, {}, tr("Translate")});
    }
    if (review.responseIdentifier()) {
        buttons.append({Button::edit, {}, tr("Edit Response")});
        buttons.append({Button::remove, {}, tr("Delete Response")});
    } else {
        buttons.append({Button::write, {}, tr("Write Response")});
    }
    buttons.append({Button::share, {}, {}});
    int buttonsWidth = 0;
    int buttonsHeight = 0;
    for (ButtonRect &button : buttons) {
        const QSize size = button.kind == Button::share ? controls.shareButtonSize() : controls.buttonSize(button.label);
        button.rect.setSize(size);
        buttonsWidth += size.width() + (buttonsWidth ? itemSpacing : 0);
        buttonsHeight = std::max(buttonsHeight, size.height());
    }

    const QFontMetrics small(style.small);
    const QString fullByline = byline(review);
    if (const Fennick::Country *country = review.country()) {
        flagText = country->flag();
        flagToolTip = country->name();
    }
    const int flagWidth = flagText.isEmpty() ? 0 : controls.flagWidth(flagText);
    const int flagSpace = flagWidth ? flagWidth + itemSpacing : 0;
    const int bylineWidth = small.horizontalAdvance(fullByline);
    // One row when everything fits, else the buttons go under the byline.
    const bool oneRow = bylineWidth + flagSpace + itemSpacing + buttonsWidth <= contentWidth;
    const int lineHeight = ReviewCardStyle::lineHeight(style.small);
    int bylineRow = oneRow ? std::max(lineHeight, buttonsHeight) : lineHeight;
    const int bylineSpace = oneRow ? contentWidth - buttonsWidth - itemSpacing - flagSpace : contentWidth - flagSpace;
    bylineText = small.elidedText(fullByline, Qt::ElideRight, std::max(0, bylineSpace));
    const int shownBylineWidth = std::min(bylineWidth, std::max(0, bylineSpace));
    bylineRect = QRect(left, y + (bylineRow - lineHeight) / 2, shownBylineWidth, lineHeight);
    if (flagWidth)
        flagRect = QRect(left + shownBylineWidth + itemSpacing, bylineRect.y(), flagWidth, lineHeight);
    int buttonsY = y;
    if (!oneRow) {
        y += bylineRow + spacing;
        buttonsY = y;
        bylineRow = buttonsHeight;
    }
    int x = left + std::max(0, contentWidth - buttonsWidth);
    for (ButtonRect &button : buttons) {
        button.rect.moveTopLeft(QPoint(x, buttonsY + (bylineRow - button.rect.height()) / 2));
        x += button.rect.width() + itemSpacing;
    }
    y += bylineRow + spacing;

    y += ReviewCardStyle::dividerPadding;
    dividerRect = QRect(left, y, contentWidth, 1);
    y += 1 + ReviewCardStyle::dividerPadding;
    m_height = y;
}

void ReviewCardLayout::paintCurrentMark(QPainter &painter, QPoint origin, const QPalette &palette) const
{
    // Inside the card's insets, from its top to just above the divider.
    const int inset = ReviewCardStyle::horizontalInset / 2;
    const QRectF frame(origin.x() + inset, origin.y() + 2, m_width - 2 * inset,
                       dividerRect.top() - ReviewCardStyle::dividerPadding / 2 - 2);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette.color(QPalette::Active, QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(frame.adjusted(1, 1, -1, -1), ReviewCardStyle::responseRadius,
                            ReviewCardStyle::responseRadius);
    painter.restore();
}

std::optional<ReviewCardLayout::ButtonRect> ReviewCardLayout::buttonAt(QPoint point) const
{
    for (const ButtonRect &button : buttons) {
        if (button.rect.contains(point))
            return button;
    }
    return std::nullopt;
}

const ReviewCardLayout::ButtonRect *ReviewCardLayout::button(Button kind) const
{
    for (const ButtonRect &button : buttons) {
        if (button.kind == kind)
            return &button;
    }
    return nullptr;
}

void ReviewCardLayout::paint(QPainter &painter, QPoint origin, const QPalette &palette,
                             const ReviewCardControls &controls, const QRect &clip, int skip) const
{
    const ReviewCardStyle &style = controls.style();
    const QRect localClip = clip.translated(-origin);
    painter.save();
    painter.translate(origin);
    const QColor text = palette.color(QPalette::Text);
    const QColor secondary = ReviewCardStyle::secondaryText(palette);

    auto drawText = [&](const Text &block) {
        if (block.isEmpty() || !block.rect.intersects(localClip))
            return;
        painter.setPen(text);
        block.layout->draw(&painter, block.rect.topLeft(), {}, localClip);
    };

    painter.setFont(style.footnote);
    painter.setPen(secondary);
    painter.drawText(headerRect, Qt::AlignLeft | Qt::AlignVCenter, headerText);
    if (!badgeRect.isEmpty()) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ReviewCardStyle::badgeFill());
        painter.drawRoundedRect(badgeRect, ReviewCardStyle::badgeRadius, ReviewCardStyle::badgeRadius);
        painter.setPen(Qt::white);
        painter.setFont(style.badge);
        painter.drawText(badgeRect, Qt::AlignCenter, tr("New"));
        painter.restore();
    }

    ReviewCardControls::paintStars(painter, starsRect, rating);
    if (!(skip & texts))
        drawText(title);

    if (!markerRect.isEmpty()) {
        painter.setFont(style.marker);
        painter.setPen(text);
        painter.drawText(markerRect, Qt::AlignLeft | Qt::AlignVCenter, tr("Translated:"));
    }
    if (!(skip & texts))
        drawText(body);

    if (!responseBox.isEmpty() && responseBox.intersects(localClip)) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ReviewCardStyle::responseFill());
        painter.drawRoundedRect(responseBox, ReviewCardStyle::responseRadius, ReviewCardStyle::responseRadius);
        painter.restore();
        painter.setFont(style.marker);
        painter.setPen(text);
        painter.drawText(responseHeadingRect, Qt::AlignLeft | Qt::AlignVCenter, tr("Your Response:"));
        if (!(skip & texts))
            drawText(response);
    }

    painter.setFont(style.small);
    painter.setPen(secondary);
    painter.drawText(bylineRect, Qt::AlignLeft | Qt::AlignVCenter, bylineText);
    if (!flagRect.isEmpty()) {
        // Colour emoji come from bitmaps that the font engine decodes at each drawing.
        const QString key =
            QStringLiteral("vantorel-card-flag|%1|%2|%3").arg(flagText, style.small.key()).arg(text.rgba());
        paintCached(painter, flagRect, key, [&](QPainter &into, const QRect &box) {
            into.setFont(style.small);
            into.setPen(text);
            into.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, flagText);
        });
    }
    if (!(skip & Part::controls)) {
        for (const ButtonRect &button : buttons) {
            if (button.kind == Button::share)
                controls.paintShareButton(painter, button.rect);
            else
                controls.paintButton(painter, button.rect, button.label);
        }
    }

    painter.fillRect(dividerRect, ReviewCardStyle::divider(palette));
    painter.restore();
}

}  // namespace Vantorel
