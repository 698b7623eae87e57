#include "ratingui/RatingView.h"
#include "support/TestHome.h"

#include <QApplication>
#include <cstring>

using FennickUI::ImageScale;
using FennickUI::RatingView;

namespace {
enum class Star { yellow, faint, other };

// The colour at the centre of star `index` in a rendered view, on a white background.
Star starAt(const QImage &image, int index, int starSize)
{
    const QColor pixel = image.pixelColor(index * starSize + starSize / 2, image.height() / 2);
    if (pixel.red() > 240 && pixel.green() > 190 && pixel.blue() < 40)
        return Star::yellow;
    // Gray at 20% over white: a light, neutral tone, clearly not white.
    if (qAbs(pixel.red() - pixel.blue()) < 12 && pixel.red() > 200 && pixel.red() < 245)
        return Star::faint;
    return Star::other;
}

QImage render(RatingView &view)
{
    view.resize(view.sizeHint());
    QImage image(view.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    view.render(&image);
    return image;
}
}  // namespace

class RatingViewTest : public QObject {
    Q_OBJECT
private slots:
    void starsFollowTheRating_data()
    {
        QTest::addColumn<qint64>("rating");
        QTest::addColumn<int>("yellow");
        QTest::newRow("negative") << qint64(-3) << 0;
        QTest::newRow("zero") << qint64(0) << 0;
        QTest::newRow("three") << qint64(3) << 3;
        QTest::newRow("five") << qint64(5) << 5;
        QTest::newRow("above five") << qint64(9) << 5;
    }
    void starsFollowTheRating()
    {
        QFETCH(qint64, rating);
        QFETCH(int, yellow);
        RatingView view(rating, ImageScale::medium);
        const QImage image = render(view);
        const int size = RatingView::starSize(ImageScale::medium, view.font());
        for (int index = 0; index < 5; ++index)
            QCOMPARE(starAt(image, index, size), index < yellow ? Star::yellow : Star::faint);
    }

    void noSpacingAtAnyScale()
    {
        int previous = 0;
        for (ImageScale scale : {ImageScale::small, ImageScale::medium, ImageScale::large}) {
            RatingView view(5, scale);
            const int size = RatingView::starSize(scale, view.font());
            QVERIFY(size > previous);
            previous = size;
            QCOMPARE(view.sizeHint(), QSize(5 * size, size));
            // The last star ends at the right edge: no gaps between the five.
            const QImage image = render(view);
            QCOMPARE(starAt(image, 4, size), Star::yellow);
        }
    }

    void versionSymbols()
    {
        QCOMPARE(FennickUIVersionNumber, 17.0);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(FennickUIVersionString)),
                 QByteArray("@(#)PROGRAM:FennickUI  PROJECT:Vantorel-17\n"));
    }
};

VANTOREL_TEST_MAIN_WITH(QApplication, RatingViewTest)
#include "tst_rating_view.moc"
