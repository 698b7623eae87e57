// A kept window place against the screens present: it comes back whole on the screen it mostly
// lies on, or not at all when that screen is gone.
#include "platform/ScreenPlacement.h"
#include "support/TestHome.h"

using platform::placeOnScreens;

namespace {
// A 1920x1080 screen with a 40-pixel panel along its bottom, and a 1280x1024 one to its right.
const QRect first(0, 0, 1920, 1040);
const QRect second(1920, 0, 1280, 1024);
}  // namespace

class ScreenPlacementTest : public QObject {
    Q_OBJECT
private slots:
    void keptPlaceComesBackWholeOnItsScreen_data()
    {
        QTest::addColumn<QList<QRect>>("areas");
        QTest::addColumn<QRect>("kept");
        QTest::addColumn<QRect>("expected");  // null: no place on the screens present

        const QList<QRect> one{first};
        const QList<QRect> two{first, second};
        QTest::newRow("wholly inside") << one << QRect(100, 100, 800, 600) << QRect(100, 100, 800, 600);
        QTest::newRow("filling the area") << one << first << first;
        QTest::newRow("off the left edge") << one << QRect(-50, 100, 800, 600) << QRect(0, 100, 800, 600);
        QTest::newRow("off the top edge") << one << QRect(100, -30, 800, 600) << QRect(100, 0, 800, 600);
        QTest::newRow("off the right edge") << one << QRect(1500, 100, 800, 600) << QRect(1120, 100, 800, 600);
        QTest::newRow("off the bottom edge") << one << QRect(100, 900, 800, 600) << QRect(100, 440, 800, 600);
        QTest::newRow("under the panel") << one << QRect(100, 470, 800, 600) << QRect(100, 440, 800, 600);
        QTest::newRow("large widget in the corner") << one << QRect(1900, 1000, 364, 382)
                                                    << QRect(1556, 658, 364, 382);
        QTest::newRow("wider than the area") << one << QRect(-100, 100, 2200, 600) << QRect(0, 100, 1920, 600);
        QTest::newRow("taller than the area") << one << QRect(100, -10, 800, 1200) << QRect(100, 0, 800, 1040);
        QTest::newRow("bigger both ways") << one << QRect(300, 200, 2500, 1500) << first;
        QTest::newRow("beyond the right edge") << one << QRect(1920, 100, 800, 600) << QRect();
        QTest::newRow("beyond the corner") << one << QRect(1920, 1040, 100, 100) << QRect();
        QTest::newRow("no screens") << QList<QRect>{} << QRect(100, 100, 800, 600) << QRect();
        QTest::newRow("no size") << one << QRect(100, 100, 0, 0) << QRect();
        QTest::newRow("inside the second screen") << two << QRect(2000, 100, 800, 600) << QRect(2000, 100, 800, 600);
        QTest::newRow("across both, mostly the first") << two << QRect(1500, 100, 800, 600)
                                                       << QRect(1120, 100, 800, 600);
        QTest::newRow("across both, mostly the second") << two << QRect(1700, 100, 800, 600)
                                                        << QRect(1920, 100, 800, 600);
        QTest::newRow("off the shorter second screen") << two << QRect(2000, 800, 800, 600)
                                                       << QRect(2000, 424, 800, 600);
        QTest::newRow("second screen gone") << one << QRect(2000, 100, 800, 600) << QRect();
    }
    void keptPlaceComesBackWholeOnItsScreen()
    {
        QFETCH(QList<QRect>, areas);
        QFETCH(QRect, kept);
        QFETCH(QRect, expected);
        const std::optional<QRect> placed = placeOnScreens(kept, areas);
        QCOMPARE(placed.value_or(QRect()), expected);
    }
};

VANTOREL_TEST_MAIN(ScreenPlacementTest)
#include "tst_screen_placement.moc"
