#include "Fennick/Icons/IconManager.h"
#include "platform/widgethost/WidgetHost.h"
#include "ratingui/RatingView.h"
#include "support/Images.h"
#include "support/TestHome.h"
#include "widget/Provider.h"
#include "widget/ReviewsWidget.h"
#include "widget/TextLabel.h"
#include "widget/Views.h"

#include <QApplication>
#include <QLabel>

using namespace Glimmerwick;
using Fennick::StoreReview;
using platform::widgetkit::WidgetFamily;

namespace {
std::shared_ptr<StoreReview> review(int number, const QString &territory = QStringLiteral("FRA"),
                                    std::optional<QString> appIdentifier = std::nullopt)
{
    StoreReview::Fields fields;
    fields.id = platform::store::ObjectId::temporary(QStringLiteral("Review"));
    fields.app = QStringLiteral("App %1").arg(number);
    fields.appIdentifier = std::move(appIdentifier);
    fields.version = QStringLiteral("3.%1").arg(number);
    fields.title = QStringLiteral("Title %1").arg(number);
    fields.created = QDateTime::currentDateTimeUtc();
    fields.territory = territory;
    fields.rating = number;
    return std::make_shared<StoreReview>(fields);
}

SimpleEntry entryOf(int count)
{
    SimpleEntry entry{QDateTime::currentDateTimeUtc(), {}};
    for (int i = 1; i <= count; ++i)
        entry.reviews << review(i);
    return entry;
}

std::unique_ptr<QWidget> shown(const SimpleEntry &entry, WidgetFamily family)
{
    auto view = std::make_unique<ReviewsWidgetEntryView>(entry, family);
    view->setFixedSize(platform::widgetkit::displaySize(family));
    view->show();
    QCoreApplication::processEvents();
    return view;
}

template <class T>
QList<T *> named(QWidget *root, const QString &name)
{
    return root->findChildren<T *>(name);
}

QStringList titlesShown(QWidget *root)
{
    QStringList titles;
    for (auto *label : named<TextLabel>(root, QStringLiteral("title")))
        titles << label->visibleLines().join(QLatin1Char(' '));
    return titles;
}

// Pixels that differ clearly from the background, in a horizontal band.
int inkInBand(const QImage &image, int top, int bottom, QColor background)
{
    int ink = 0;
    for (int y = qMax(0, top); y < qMin(image.height(), bottom); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            ink += qAbs(c.red() - background.red()) + qAbs(c.green() - background.green()) > 60;
        }
    return ink;
}
}  // namespace

class WidgetViewsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // Text is checked as glyphs: without a font it would render as boxes and still "draw".
        QVERIFY(QFontMetrics(QApplication::font()).inFontUcs4('T'));
    }

    void familiesShowTheirRowsAndDividers_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("reviews");
        QTest::addColumn<int>("rows");
        QTest::newRow("medium of four") << int(WidgetFamily::systemMedium) << 4 << 2;
        QTest::newRow("large of four") << int(WidgetFamily::systemLarge) << 4 << 4;
        QTest::newRow("large of one") << int(WidgetFamily::systemLarge) << 1 << 1;
        QTest::newRow("medium of none") << int(WidgetFamily::systemMedium) << 0 << 0;
    }
    void familiesShowTheirRowsAndDividers()
    {
        QFETCH(int, family);
        QFETCH(int, reviews);
        QFETCH(int, rows);
        auto view = shown(entryOf(reviews), WidgetFamily(family));
        QCOMPARE(named<QWidget>(view.get(), QStringLiteral("reviewRow")).size(), rows);
        QCOMPARE(named<QWidget>(view.get(), QStringLiteral("divider")).size(), qMax(0, rows - 1));
        QStringList expected;
        for (int i = 1; i <= rows; ++i)
            expected << QStringLiteral("Title %1").arg(i);
        QCOMPARE(titlesShown(view.get()), expected);

        const QImage image = view->grab().toImage();
        const QColor background = widgetBackground(view->palette());
        QCOMPARE(image.pixelColor(2, 2), background);
        if (rows == 0) {
            QCOMPARE(inkInBand(image, 0, image.height(), background), 0);
        } else if (rows == 1) {
            // One row sits in the vertical middle.
            const QWidget *row = named<QWidget>(view.get(), QStringLiteral("reviewRow")).first();
            const int centre = row->mapTo(view.get(), row->rect().center()).y();
            QVERIFY(qAbs(centre - view->height() / 2) < 6);
        }
    }

    void smallShowsTheNewestReviewOnly()
    {
        auto view = shown(entryOf(3), WidgetFamily::systemSmall);
        QCOMPARE(titlesShown(view.get()), QStringList{QStringLiteral("Title 1")});
        QCOMPARE(named<FennickUI::RatingView>(view.get(), QStringLiteral("rating")).first()->rating(), 1);
        QCOMPARE(named<TextLabel>(view.get(), QStringLiteral("appLine")).first()->text(), QStringLiteral("App 1 3.1"));
        auto flags = named<QLabel>(view.get(), QStringLiteral("flag"));
        QCOMPARE(flags.size(), 1);
        QCOMPARE(flags.first()->toolTip(), QStringLiteral("France"));
        QVERIFY(named<QWidget>(view.get(), QStringLiteral("icon")).isEmpty());  // no app identifier

        auto empty = shown(entryOf(0), WidgetFamily::systemSmall);
        const QImage image = empty->grab().toImage();
        QCOMPARE(inkInBand(image, 0, image.height(), widgetBackground(empty->palette())), 0);
    }

    void iconsFlagsAndLongTexts()
    {
        Fennick::IconManager().store(testsupport::pngBytes(Qt::red, 64), QStringLiteral("111"));

        SimpleEntry entry{QDateTime::currentDateTimeUtc(),
                          {review(1, QStringLiteral("SGP"), QStringLiteral("111")),
                           review(2, QStringLiteral("USA"), QStringLiteral("no-such-icon"))}};
        entry.reviews[0] = std::make_shared<StoreReview>([&] {
            StoreReview::Fields f;
            f.id = entry.reviews[0]->id();
            f.app = QStringLiteral("An app with a very long name that cannot fit on one line of a widget");
            f.appIdentifier = QStringLiteral("111");
            f.version = QStringLiteral("10.4.1");
            f.title = QStringLiteral("A very long title that goes on and on about the app, much longer than any row "
                                     "of this widget can hold in two lines of headline text");
            f.territory = QStringLiteral("SGP");
            f.created = QDateTime::currentDateTimeUtc();
            return f;
        }());
        auto view = shown(entry, WidgetFamily::systemMedium);
        QCOMPARE(named<QWidget>(view.get(), QStringLiteral("icon")).size(), 1);  // the missing file shows none
        QCOMPARE(named<QLabel>(view.get(), QStringLiteral("flag")).size(), 1);   // SGP is not in the table
        const auto lines = named<TextLabel>(view.get(), QStringLiteral("title")).first()->visibleLines();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.last().endsWith(QChar(0x2026)));
        const auto appLine = named<TextLabel>(view.get(), QStringLiteral("appLine")).first()->visibleLines();
        QCOMPARE(appLine.size(), 1);
        QVERIFY(appLine.first().endsWith(QChar(0x2026)));

        const QImage image = view->grab().toImage();
        const QWidget *iconWidget = named<QWidget>(view.get(), QStringLiteral("icon")).first();
        const QPoint centre = iconWidget->mapTo(view.get(), iconWidget->rect().center());
        QCOMPARE(image.pixelColor(centre * image.devicePixelRatio()), QColor(Qt::red));
    }

    void smallTitleShrinksBeforeItIsCut()
    {
        SimpleEntry entry = entryOf(1);
        StoreReview::Fields f;
        f.id = entry.reviews[0]->id();
        f.title = QStringLiteral("A long title for the small widget that needs many more lines than its room holds "
                                 "at full size, so it has to be drawn smaller to be shown whole");
        f.created = QDateTime::currentDateTimeUtc();
        entry.reviews[0] = std::make_shared<StoreReview>(f);
        auto view = shown(entry, WidgetFamily::systemSmall);
        auto *title = named<TextLabel>(view.get(), QStringLiteral("title")).first();
        // At full size the title needs more room than it has...
        const QRect unshrunk = QFontMetrics(title->font()).boundingRect(QRect(0, 0, title->width(), 100000),
                                                                        Qt::TextWordWrap, f.title);
        QVERIFY2(unshrunk.height() > title->height(), "the title fits unshrunk: the test needs a longer one");
        // ...so it is drawn smaller, never below 70 percent, and whole.
        QVERIFY2(title->appliedScale() < 0.99, qPrintable(QString::number(title->appliedScale())));
        QVERIFY(title->appliedScale() >= 0.7 - 1e-9);
        QCOMPARE(title->visibleLines().join(QLatin1Char(' ')), f.title);
    }

    void dateLineIsTheLongDateWithoutWeekday_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("expected");
        QTest::newRow("US English") << QStringLiteral("en_US") << QStringLiteral("December 8, 2026");
        QTest::newRow("British English") << QStringLiteral("en_GB") << QStringLiteral("8 December 2026");
        QTest::newRow("German") << QStringLiteral("de_DE") << QStringLiteral("8. Dezember 2026");
        QTest::newRow("Spanish, quoted words") << QStringLiteral("es_ES") << QStringLiteral("8 de diciembre de 2026");
        QTest::newRow("Danish, quoted word of the weekday") << QStringLiteral("da_DK") << QStringLiteral("8. december 2026");
        QTest::newRow("Thai, word glued to the weekday") << QStringLiteral("th_TH") << QStringLiteral("8 ธันวาคม 2026");
        QTest::newRow("Japanese, weekday last") << QStringLiteral("ja_JP") << QStringLiteral("2026年12月8日");
        QTest::newRow("Hungarian, weekday after a comma") << QStringLiteral("hu_HU") << QStringLiteral("2026. december 8.");
        QTest::newRow("Turkish") << QStringLiteral("tr_TR") << QStringLiteral("8 Aralık 2026");
    }
    void dateLineIsTheLongDateWithoutWeekday()
    {
        QFETCH(QString, locale);
        QFETCH(QString, expected);
        const QLocale previous;
        QLocale::setDefault(QLocale(locale));
        SimpleEntry entry = entryOf(1);
        StoreReview::Fields f;
        f.id = entry.reviews[0]->id();
        f.title = QStringLiteral("Dated");
        f.territory = QStringLiteral("DEU");
        f.created = QDateTime(QDate(2026, 12, 8), QTime(12, 0));  // local noon: the same day everywhere here
        entry.reviews[0] = std::make_shared<StoreReview>(f);
        auto small = shown(entry, WidgetFamily::systemSmall);
        auto medium = shown(entry, WidgetFamily::systemMedium);
        QLocale::setDefault(previous);
        const QString file = QDir::current().filePath(QStringLiteral("widget-date-%1.png").arg(locale));
        QVERIFY(small->grab().save(file));
        for (QWidget *view : {small.get(), medium.get()}) {
            const auto dates = named<TextLabel>(view, QStringLiteral("date"));
            QCOMPARE(dates.size(), 1);
            QCOMPARE(dates.first()->visibleLines(), QStringList{expected});
        }
    }

    void darkAppearanceHasItsOwnBackground()
    {
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(30, 30, 30));
        dark.setColor(QPalette::WindowText, Qt::white);
        QPalette light;
        light.setColor(QPalette::Window, QColor(240, 240, 240));
        QVERIFY(widgetBackground(dark).lightness() < 80);
        QVERIFY(widgetBackground(light).lightness() > 200);
    }

    void placeholderRendersInEveryFamily()
    {
        Provider provider([](const auto &) { return 0; }, [] { return 0.0; });
        const SimpleEntry entry = provider.placeholder({});
        const auto configuration = reviewsWidget(std::make_shared<Provider>(provider));
        const std::pair<WidgetFamily, const char *> families[] = {{WidgetFamily::systemSmall, "small"},
                                                                  {WidgetFamily::systemMedium, "medium"},
                                                                  {WidgetFamily::systemLarge, "large"}};
        const int expectedRows[] = {1, 2, 4};
        int index = 0;
        for (const auto &[family, name] : families) {
            const QImage image = platform::widgetkit::WidgetHost::render(
                configuration, platform::widgetkit::AnyEntry{entry.date, entry}, family);
            const QString file = QDir::current().filePath(QStringLiteral("widget-%1.png").arg(QLatin1String(name)));
            QVERIFY(image.save(file));
            qInfo("rendered %s", qPrintable(file));
            // Each row leaves its yellow stars: count the rows by the star bands.
            int bands = 0;
            bool inBand = false;
            for (int y = 0; y < image.height(); ++y) {
                bool yellow = false;
                for (int x = 0; x < image.width() / 2 && !yellow; ++x) {
                    const QColor c = image.pixelColor(x, y);
                    yellow = c.red() > 230 && c.green() > 180 && c.blue() < 60;
                }
                bands += yellow && !inBand;
                inBand = yellow;
            }
            QCOMPARE(bands, expectedRows[index++]);
        }
    }
};

VANTOREL_TEST_MAIN_WITH(QApplication, WidgetViewsTest)
#include "tst_widget_views.moc"
