#include "platform/UserDefaults.h"
#include "platform/widgetkit/WidgetCenter.h"
#include "platform/widgethost/WidgetHost.h"
#include "support/TestHome.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtConcurrent>
#include <atomic>

using namespace platform::widgetkit;

namespace {
struct TextEntry {
    QDateTime date;
    QString text;
};

// Answers from a worker thread, as a real provider does; counts the requests.
class CountingProvider : public TimelineProvider<TextEntry> {
public:
    std::atomic<int> timelines{0};
    QList<TextEntry> nextEntries;
    QDateTime nextReload = QDateTime::currentDateTimeUtc().addSecs(3600);

    TextEntry placeholder(const TimelineContext &) override
    {
        return {QDateTime::currentDateTimeUtc(), QStringLiteral("placeholder")};
    }
    void getSnapshot(const TimelineContext &context, std::function<void(TextEntry)> completion) override
    {
        getTimeline(context, [completion](Timeline<TextEntry> t) { completion(t.entries.first()); });
    }
    void getTimeline(const TimelineContext &, std::function<void(Timeline<TextEntry>)> completion) override
    {
        const int number = ++timelines;
        auto entries = nextEntries;
        if (entries.isEmpty())
            entries = {{QDateTime::currentDateTimeUtc(), QStringLiteral("timeline %1").arg(number)}};
        const QDateTime reload = nextReload;
        (void)QtConcurrent::run([completion, entries, reload] { completion({entries, ReloadPolicy::after(reload)}); });
    }
};

WidgetConfiguration configurationFor(std::shared_ptr<CountingProvider> provider)
{
    return makeConfiguration<TextEntry>(
        QStringLiteral("TestWidget"), QStringLiteral("Test"), QString(),
        {WidgetFamily::systemSmall, WidgetFamily::systemMedium, WidgetFamily::systemLarge}, provider,
        [](const TextEntry &entry, WidgetFamily family) -> QWidget * {
            auto *label = new QLabel(entry.text + QLatin1Char('/') + familyName(family));
            label->setObjectName(QStringLiteral("entry"));
            return label;
        });
}

QString shownText(const WidgetHost &host)
{
    auto *label = qobject_cast<QLabel *>(host.currentView());
    return label ? label->text() : QString();
}
}  // namespace

class WidgetHostTest : public QObject {
    Q_OBJECT
private slots:
    void placeholderFirstThenTimeline()
    {
        auto provider = std::make_shared<CountingProvider>();
        WidgetHost host(configurationFor(provider));
        QCOMPARE(shownText(host), QStringLiteral("placeholder/Small"));
        QTRY_COMPARE(shownText(host), QStringLiteral("timeline 1/Small"));
        QCOMPARE(provider->timelines.load(), 1);
        QCOMPARE(host.size(), displaySize(WidgetFamily::systemSmall));
    }

    void reloadRequestOverTheSocketMakesANewTimeline()
    {
        WidgetCenter::reloadAllTimelines();  // nobody listens yet: nothing happens, no error
        auto provider = std::make_shared<CountingProvider>();
        WidgetHost host(configurationFor(provider));
        QVERIFY(host.listen());
        QTRY_COMPARE(provider->timelines.load(), 1);
        QSignalSpy applied(&host, &WidgetHost::timelineApplied);
        QTRY_COMPARE(shownText(host), QStringLiteral("timeline 1/Small"));

        // The call returns at once; the message goes out from the event loop.
        WidgetCenter::reloadAllTimelines();
        QTRY_COMPARE(provider->timelines.load(), 2);
        QTRY_COMPARE(shownText(host), QStringLiteral("timeline 2/Small"));

        // A worker thread has no event loop of its own; its request still goes out.
        QFuture<void> sender = QtConcurrent::run([] { WidgetCenter::reloadAllTimelines(); });
        sender.waitForFinished();
        QTRY_COMPARE(provider->timelines.load(), 3);
        QTRY_COMPARE(shownText(host), QStringLiteral("timeline 3/Small"));
    }

    void reloadDateAndEntryDatesAreHonoured()
    {
        auto provider = std::make_shared<CountingProvider>();
        const QDateTime now = QDateTime::currentDateTimeUtc();
        provider->nextEntries = {{now.addSecs(-10), QStringLiteral("now")},
                                 {now.addMSecs(300), QStringLiteral("soon")}};
        provider->nextReload = now.addMSecs(600);
        WidgetHost host(configurationFor(provider));
        QTRY_COMPARE(shownText(host), QStringLiteral("now/Small"));
        QTRY_COMPARE(shownText(host), QStringLiteral("soon/Small"));
        QTRY_VERIFY(provider->timelines.load() >= 2);  // the reload date passed
    }

    void familyIsRememberedAndResizesTheWindow()
    {
        auto provider = std::make_shared<CountingProvider>();
        {
            WidgetHost host(configurationFor(provider));
            host.setFamily(WidgetFamily::systemLarge);
            QCOMPARE(host.size(), displaySize(WidgetFamily::systemLarge));
            QVERIFY(shownText(host).endsWith(QStringLiteral("/Large")));
        }
        WidgetHost again(configurationFor(provider));
        QCOMPARE(again.family(), WidgetFamily::systemLarge);
        again.setFamily(WidgetFamily::systemSmall);
    }

    // Where the window manager cannot move the frameless window, it follows the pointer.
    void draggingMovesTheWindow()
    {
        auto provider = std::make_shared<CountingProvider>();
        WidgetHost host(configurationFor(provider));
        host.move(100, 100);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        const QPoint start = host.pos();
        const QPointF inside(10, 10);
        const auto send = [&](QEvent::Type type, QPointF offset, Qt::MouseButton button, Qt::MouseButtons held) {
            QMouseEvent event(type, inside + offset, host.mapToGlobal(inside) + offset, button, held, Qt::NoModifier);
            QApplication::sendEvent(&host, &event);
        };
        send(QEvent::MouseButtonPress, {}, Qt::LeftButton, Qt::LeftButton);
        send(QEvent::MouseMove, {40, 30}, Qt::NoButton, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, {40, 30}, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(host.pos(), start + QPoint(40, 30));
        send(QEvent::MouseMove, {80, 80}, Qt::NoButton, Qt::NoButton);  // released: stays put
        QCOMPARE(host.pos(), start + QPoint(40, 30));
    }

    void rendersAnEntryWithoutAWindow()
    {
        auto provider = std::make_shared<CountingProvider>();
        const auto configuration = configurationFor(provider);
        const AnyEntry entry{QDateTime::currentDateTimeUtc(), TextEntry{{}, QStringLiteral("x")}};
        for (WidgetFamily family : {WidgetFamily::systemSmall, WidgetFamily::systemMedium, WidgetFamily::systemLarge}) {
            const QImage image = WidgetHost::render(configuration, entry, family);
            QCOMPARE(image.size() / image.devicePixelRatio(), displaySize(family));
        }
        QCOMPARE(provider->timelines.load(), 0);  // rendering asks the provider for nothing
    }
};

VANTOREL_TEST_MAIN_WITH(QApplication, WidgetHostTest)
#include "tst_widget_host.moc"
