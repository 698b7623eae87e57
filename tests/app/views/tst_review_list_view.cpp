#include "Fennick/Endpoints.h"
#include "app/models/SettingsKeys.h"
#include "app/ReviewFixture.h"
#include "app/models/ReviewListModel.h"
#include "app/models/ReviewResponder.h"
#include "app/views/LinkOpener.h"
#include "app/views/ResponseEditorDialog.h"
#include "app/views/ReviewCardDelegate.h"
#include "app/views/ReviewCardText.h"
#include "app/views/ReviewListView.h"
#include "app/views/ReviewView.h"
#include "platform/UserDefaults.h"
#include "platform/keychain/Keychain.h"
#include "support/TestHome.h"

#include "FakeConnectServer.h"
#include "FakeTranslatorServer.h"
#include "ViewTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSpontaneKeyEvent>
#include <QTemporaryDir>
#include <QTextLayout>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Vantorel;
using Button = ReviewCardLayout::Button;
using fixture::Recorder;
using fixture::Seed;
using Fennick::StoreReview;
using platform::store::ObjectId;

namespace {

void saveScreenshot(QWidget *widget, const QString &name)
{
    QVERIFY(widget->grab().save(testsupport::screenshotPath(name + QStringLiteral(".png"))));
}

QList<Button> buttonKinds(const ReviewCardLayout &layout)
{
    QList<Button> kinds;
    for (const auto &button : layout.buttons)
        kinds.append(button.kind);
    return kinds;
}

// Receives the addresses that the share menu opens.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

// A texts that needs the fonts' fallbacks and the bidirectional algorithm.
const QString arabic = QStringLiteral("تطبيق رائع جدا، أستخدمه كل يوم لمتابعة مشاريعي ولم يخذلني أبدا. ");
const QString chinese = QStringLiteral("这个应用程序非常好用，我每天都用它来跟踪我的项目。");
const QString emoji = QStringLiteral("Love it \U0001F60D\U0001F44D\U0001F3FD\U0001F1E9\U0001F1EA ");

}  // namespace

class ReviewListViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> m_window;
    ReviewListView *m_list = nullptr;
    std::unique_ptr<fakes::FakeConnectServer> m_server;

    void setTranslation(bool enable)
    {
        platform::UserDefaults::standard().setValue(SettingsKey::enableTranslationSupport, enable);
    }

    // Rows of a fresh store, shown in the list.
    QList<ObjectId> show(fixture::ReviewStore &store, const QList<Seed> &seeds)
    {
        QList<ObjectId> ids;
        ReviewList records;
        for (const Seed &seed : seeds) {
            ids.append(store.add(seed));
            records.append(fixture::record(ids.last()));
        }
        m_list->setReviews(records);
        return ids;
    }

    QPoint centreOf(const ObjectId &id) const
    {
        const QRect rect = m_list->reviewRect(id);
        return QPoint(rect.center().x(), rect.top() + std::min(rect.height() / 2, 40));
    }

    // Moves the pointer over a card; returns the card that opens there.
    ReviewView *hover(const ObjectId &id)
    {
        m_list->scrollToReview(id);
        // From elsewhere: a move to where the pointer already is moves nothing.
        QTest::mouseMove(m_window.get(), QPoint(m_window->width() - 1, m_window->height() - 1));
        QTest::mouseMove(m_list->viewport(), centreOf(id));
        const bool opened = QTest::qWaitFor([&] {
            ReviewView *card = m_list->openCard();
            return card && card->review()->id() == id;
        }, 2000);
        if (!opened)
            return nullptr;
        ReviewView *card = m_list->openCard();
        return card && card->review()->id() == id ? card : nullptr;
    }

    // The names of the widgets that Tab reaches from the list, up to the first one outside the
    // card of `id`.
    QStringList tabFromList(const ObjectId &id)
    {
        QStringList reached;
        m_list->setFocus(Qt::TabFocusReason);
        for (int i = 0; i < 8; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *focus = QApplication::focusWidget();
            if (!focus)
                break;
            reached << focus->objectName();
            auto *card = qobject_cast<ReviewView *>(focus->parentWidget());
            if (!card || card->review()->id() != id)
                break;
        }
        return reached;
    }

    QWidget *waitForAlert(QWidget *owner)
    {
        QMessageBox *box = nullptr;
        const bool shown = QTest::qWaitFor([&] {
            box = owner->findChild<QMessageBox *>(QStringLiteral("reviewAlert"));
            return box && box->isVisible();
        }, 20000);
        return shown ? box : nullptr;
    }

private slots:
    void initTestCase()
    {
        // Dates in the bylines are local times.
        qputenv("TZ", "UTC");
        platform::Keychain::useInMemoryBackendForTesting();
        Recorder::instance().install();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    }

    void init()
    {
        platform::Keychain::resetInMemoryBackendForTesting();
        m_server = std::make_unique<fakes::FakeConnectServer>();
        Fennick::Endpoints::setBaseUrl(Fennick::Endpoints::Service::connect, m_server->baseUrl());
        setTranslation(true);
        m_window = std::make_unique<QWidget>();
        m_window->resize(720, 760);
        auto *layout = new QVBoxLayout(m_window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        m_list = new ReviewListView(m_window.get());
        layout->addWidget(m_list);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        Recorder::instance().clear();
    }

    void cleanup()
    {
        m_window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void cardStates()
    {
        fixture::ReviewStore store;
        const auto layoutOf = [&](const Seed &seed, bool enableTranslation) {
            const auto review = fixture::record(store.add(seed));
            return ReviewCardLayout(*review, 700, enableTranslation, m_list->cardDelegate()->controls());
        };
        const auto titleOf = [](const ReviewCardLayout &layout) { return layout.title.layout->text(); };

        // New badge; flag with the territory's English name.
        const ReviewCardLayout fresh = layoutOf(Seed{.isNew = true}, true);
        QVERIFY(!fresh.badgeRect.isEmpty());
        QCOMPARE(fresh.flagText, QStringLiteral("\U0001F1FA\U0001F1F8"));
        QCOMPARE(fresh.flagToolTip, QStringLiteral("United States"));
        QVERIFY(fresh.flagRect.left() > fresh.bylineRect.right());
        QCOMPARE(buttonKinds(fresh), (QList<Button>{Button::write, Button::share}));
        QVERIFY(fresh.bylineText.startsWith(QStringLiteral("by Robin on ")));

        // A territory outside the table: no flag, the byline still starts the row.
        const ReviewCardLayout unknown = layoutOf(Seed{.territory = QStringLiteral("SGP")}, true);
        QVERIFY(unknown.badgeRect.isEmpty());
        QVERIFY(unknown.flagRect.isEmpty() && unknown.flagToolTip.isEmpty());
        QCOMPARE(unknown.bylineRect.left(), ReviewCardStyle::horizontalInset);

        // The translation button needs the switch and a foreign language.
        QCOMPARE(buttonKinds(layoutOf(Seed{.language = QStringLiteral("de")}, true)),
                 (QList<Button>{Button::translate, Button::write, Button::share}));
        QCOMPARE(buttonKinds(layoutOf(Seed{.language = QStringLiteral("de")}, false)),
                 (QList<Button>{Button::write, Button::share}));
        QCOMPARE(buttonKinds(layoutOf(Seed{.language = QStringLiteral("EN")}, true)),
                 (QList<Button>{Button::write, Button::share}));

        // A stored translation is shown with its marker, with or without the button.
        const Seed translated{.title = QStringLiteral("Great"),
                              .language = QStringLiteral("de"),
                              .translatedBody = QStringLiteral("Translated body"),
                              .translatedTitle = QStringLiteral("Translated title")};
        for (bool enable : {false, true}) {
            const ReviewCardLayout layout = layoutOf(translated, enable);
            QVERIFY(!layout.markerRect.isEmpty());
            QCOMPARE(titleOf(layout), QStringLiteral("Translated title"));
            QCOMPARE(layout.body.layout->text(), QStringLiteral("Translated body"));
            QCOMPARE(layout.button(Button::revert) != nullptr, enable);
            QVERIFY(!layout.button(Button::translate));
        }
        Seed notForeign = translated;
        notForeign.language = QStringLiteral("en");
        QVERIFY(!layoutOf(notForeign, true).button(Button::revert));
        QVERIFY(!layoutOf(notForeign, true).markerRect.isEmpty());

        // Only the title was translated: no marker, the button still offers to translate.
        const ReviewCardLayout titleOnly =
            layoutOf(Seed{.language = QStringLiteral("de"), .translatedTitle = QStringLiteral("Toll")}, true);
        QCOMPARE(titleOf(titleOnly), QStringLiteral("Toll"));
        QVERIFY(titleOnly.markerRect.isEmpty());
        QVERIFY(titleOnly.button(Button::translate));

        // A response identifier without text: edit and delete, but no response block.
        const ReviewCardLayout idOnly = layoutOf(Seed{.responseIdentifier = QStringLiteral("resp")}, true);
        QCOMPARE(buttonKinds(idOnly), (QList<Button>{Button::edit, Button::remove, Button::share}));
        QVERIFY(idOnly.responseBox.isEmpty() && idOnly.response.isEmpty());
        const ReviewCardLayout answered = layoutOf(
            Seed{.responseText = QStringLiteral("Thanks!"), .responseIdentifier = QStringLiteral("resp")}, true);
        QVERIFY(!answered.responseBox.isEmpty());
        QVERIFY(answered.height() > idOnly.height());
        // A text without the identifier is not a published response either.
        QVERIFY(layoutOf(Seed{.responseText = QStringLiteral("draft?")}, true).responseBox.isEmpty());
    }

    void bylineDateNamesTheYearInFull_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("byline");
        // The fixture's reviews were written on 2 January 2024 at 18:19:36 UTC.
        QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates)
                               << QStringLiteral("by Robin on 1/2/2024 6:19 PM");
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany)
                               << QStringLiteral("by Robin on 02.01.2024 18:19");
        QTest::newRow("ja_JP") << QLocale(QLocale::Japanese, QLocale::Japan)
                               << QStringLiteral("by Robin on 2024/01/02 18:19");
    }
    void bylineDateNamesTheYearInFull()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, byline);
        fixture::ReviewStore store;
        const auto review = fixture::record(store.add(Seed{}));
        QLocale::setDefault(locale);
        const QString shown = ReviewCardLayout::byline(*review);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(shown, byline);
    }

    void underscoresShowBelowTheByline_data()
    {
        QTest::addColumn<QString>("family");
        QTest::addColumn<qreal>("size");
        // 9 points is Qt's default size on X11; the byline's font is smaller still.
        for (qreal size : {8.0, 9.0, 10.0, 12.0}) {
            QTest::addRow("DejaVu Sans %g", size) << QStringLiteral("DejaVu Sans") << size;
            QTest::addRow("Noto Sans CJK %g", size) << QStringLiteral("Noto Sans CJK JP") << size;
        }
    }
    void underscoresShowBelowTheByline()
    {
        QFETCH(QString, family);
        QFETCH(qreal, size);
        if (!QFontDatabase::hasFamily(family))
            QSKIP("The font is not installed");
        QFont font(family);
        font.setPointSizeF(size);
        m_list->setFont(font);
        fixture::ReviewStore store;
        // No flag: nothing else is drawn beside the byline.
        const QList<ObjectId> ids = show(store, {Seed{.nickname = QStringLiteral("nick_a1_7"),
                                                      .territory = QStringLiteral("SGP")}});
        QTest::qWait(50);
        const auto layout = m_list->cardDelegate()->layoutFor(*m_list->reviewModel()->reviewAt(0), m_list->cardWidth(),
                                                              m_list->enableTranslation());
        const QFontMetrics metrics(m_list->cardDelegate()->controls().style().small);
        const QRect byline = layout->bylineRect;
        const auto columns = [&](const QString &before, const QString &letter) {
            return std::pair{byline.left() + metrics.horizontalAdvance(before),
                             byline.left() + metrics.horizontalAdvance(before + letter)};
        };
        const auto [kFrom, kTo] = columns(QStringLiteral("by nic"), QStringLiteral("k"));
        const auto [from, to] = columns(QStringLiteral("by nick"), QStringLiteral("_"));
        // Ink: clearly darker than the card's background, from the top of the byline's row down
        // to the next card.
        const auto inkRows = [&](const QImage &card, int left, int right) {
            const int background = qGray(card.pixel(byline.left() - 4, byline.top()));
            QList<int> rows;
            for (int y = byline.top() - 4; y < card.height(); ++y) {
                for (int x = left; x < right; ++x) {
                    if (qGray(card.pixel(x, y)) < background - 40) {
                        rows.append(y);
                        break;
                    }
                }
            }
            return rows;
        };
        // The underscore lies below the baseline, which is where the "k" ends.
        const auto underscoreBelowBaseline = [&](const QImage &card) {
            const QList<int> k = inkRows(card, kFrom + 1, kTo - 1);
            const QList<int> underscore = inkRows(card, from + 1, to - 1);
            return !k.isEmpty() && !underscore.isEmpty() && underscore.last() > k.last()
                   && underscore.last() < byline.bottom() + 8;
        };
        const QString name = QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
        const QRect rect = m_list->reviewRect(ids.first());
        const QImage painted = m_list->viewport()->grab(rect).toImage();
        painted.save(testsupport::screenshotPath(QStringLiteral("byline-underscore-") + name + QStringLiteral(".png")));
        QVERIFY2(underscoreBelowBaseline(painted), "the painted row cuts the underscore");
        ReviewView *card = hover(ids.first());
        QVERIFY(card);
        const QImage open = card->grab().toImage();
        QVERIFY2(underscoreBelowBaseline(open), "the open card cuts the underscore");
    }

    void oneCardFollowsThePointer()
    {
        fixture::ReviewStore store;
        QList<Seed> seeds;
        for (int i = 0; i < 60; ++i)
            seeds.append(Seed{.body = QStringLiteral("Review number %1 ").arg(i).repeated(1 + i % 7)});
        const QList<ObjectId> ids = show(store, seeds);
        for (int i = 0; i < 50; ++i) {
            QVERIFY2(hover(ids.at(i)), qPrintable(QString::number(i)));
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCOMPARE(m_list->viewport()->findChildren<ReviewView *>().size(), 1);
        }
        // The wheel over the open card scrolls the list.
        ReviewView *card = hover(ids.at(3));
        QVERIFY(card);
        QWidget *body = card->findChild<ReviewCardText *>(QStringLiteral("bodyText"));
        const int before = m_list->verticalScrollBar()->value();
        const QPoint inside(body->width() / 2, body->height() / 2);
        QWheelEvent wheel(inside, body->mapToGlobal(inside), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QSpontaneKeyEvent::setSpontaneous(&wheel);  // as from the window system: it may travel to the parents
        QCoreApplication::instance()->notify(body, &wheel);  // sendEvent() would make it synthetic again
        QVERIFY(m_list->verticalScrollBar()->value() > before);

        // The keyboard's current card opens too.
        m_list->setFocus();
        m_list->setCurrentIndex(m_list->reviewModel()->index(55));
        QCOMPARE(m_list->openCard()->review()->id(), ids.at(55));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(m_list->viewport()->findChildren<ReviewView *>().size(), 1);
    }

    void keyboardMarksTheCurrentCardAndTabsToItsButtons()
    {
        fixture::ReviewStore store;
        QList<Seed> seeds;
        for (int i = 0; i < 6; ++i)
            seeds.append(Seed{.body = QStringLiteral("Review %1").arg(i), .language = QStringLiteral("de")});
        const QList<ObjectId> ids = show(store, seeds);
        auto *after = new QPushButton(QStringLiteral("After the list"), m_window.get());
        after->setObjectName(QStringLiteral("afterList"));
        m_window->layout()->addWidget(after);
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        const QColor highlight = m_list->palette().color(QPalette::Active, QPalette::Highlight);
        const auto markPixels = [&](const ObjectId &id) {
            const QImage image = m_list->viewport()->grab(m_list->reviewRect(id)).toImage();
            int count = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x)
                    count += image.pixelColor(x, y) == highlight ? 1 : 0;
            }
            return count;
        };

        m_list->setFocus(Qt::TabFocusReason);
        QTest::keyClick(m_list, Qt::Key_Down);
        QTest::keyClick(m_list, Qt::Key_Down);
        const ObjectId current = m_list->reviewModel()->reviewAt(m_list->currentIndex().row())->id();
        QVERIFY(current != ids.first());
        // The pointer opens another card meanwhile; the current one is still the marked one.
        QVERIFY(hover(ids.at(4)));
        m_list->setFocus(Qt::TabFocusReason);
        QTest::qWait(20);
        saveScreenshot(m_list->viewport(), QStringLiteral("current-card-marked"));
        QVERIFY2(markPixels(current) > 100, qPrintable(QString::number(markPixels(current))));
        QCOMPARE(markPixels(ids.at(4)), 0);

        // Tab: the current card's buttons from left to right, then what follows the list.
        QStringList reached;
        for (int i = 0; i < 4; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *focus = QApplication::focusWidget();
            QVERIFY(focus);
            reached << focus->objectName();
            if (focus->objectName() == QStringLiteral("afterList"))
                break;
            auto *card = qobject_cast<ReviewView *>(focus->parentWidget());
            QVERIFY(card);
            QCOMPARE(card->review()->id(), current);
            // Still marked while its buttons have the focus.
            QVERIFY(card->isMarked());
        }
        QCOMPARE(reached, (QStringList{QStringLiteral("translateButton"), QStringLiteral("writeResponseButton"),
                                       QStringLiteral("shareButton"), QStringLiteral("afterList")}));
        // Without the focus, no card is marked.
        QTest::qWait(20);
        QCOMPARE(markPixels(current), 0);
        QVERIFY(!m_list->openCard() || !m_list->openCard()->isMarked());

        // The pointer opening another card while a button has the focus: the focus goes back to
        // the list, which still marks its current card.
        m_list->setFocus(Qt::TabFocusReason);
        QTest::keyClick(m_list, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("translateButton"));
        QVERIFY(hover(ids.at(5)));
        QCOMPARE(QApplication::focusWidget(), m_list);
        QTest::qWait(20);
        QVERIFY(markPixels(current) > 100);
    }

    void tabReachesTheButtonsACardGains_data()
    {
        QTest::addColumn<QString>("pressed");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("published") << QStringLiteral("writeResponseButton") << false
                                   << QStringList{QStringLiteral("translateButton"), QStringLiteral("editResponseButton"),
                                                  QStringLiteral("deleteResponseButton"), QStringLiteral("shareButton"),
                                                  QStringLiteral("afterList")};
        QTest::newRow("deleted") << QStringLiteral("deleteResponseButton") << true
                                 << QStringList{QStringLiteral("translateButton"), QStringLiteral("writeResponseButton"),
                                                QStringLiteral("shareButton"), QStringLiteral("afterList")};
        QTest::newRow("translated") << QStringLiteral("translateButton") << false
                                    << QStringList{QStringLiteral("revertButton"), QStringLiteral("writeResponseButton"),
                                                   QStringLiteral("shareButton"), QStringLiteral("afterList")};
    }
    void tabReachesTheButtonsACardGains()
    {
        QFETCH(QString, pressed);
        QFETCH(bool, answered);
        QFETCH(QStringList, expected);
        fakes::FakeTranslatorServer translator;
        Fennick::Endpoints::setBaseUrl(Fennick::Endpoints::Service::translator, translator.baseUrl());
        const fakes::FakeAccount key = m_server->addAccount();
        const std::optional<fakes::FakeResponse> response =
            answered ? std::optional(fakes::FakeResponse{QStringLiteral("resp"), QStringLiteral("Answer")}) : std::nullopt;
        m_server->setApps(key.issuerId, {fakes::FakeApp{QStringLiteral("app-1"), QStringLiteral("Demo"),
                                                        QStringLiteral("com.demo"),
                                                        {fakes::FakeVersion{QStringLiteral("v"), QStringLiteral("2.1"),
                                                                            {fakes::FakeReview{QStringLiteral("r-1"), 4,
                                                                                               QStringLiteral("Toll"),
                                                                                               QStringLiteral("Geht gut"),
                                                                                               QStringLiteral("Robin"),
                                                                                               QStringLiteral("USA"),
                                                                                               QStringLiteral("2024-01-02T11:19:36-07:00"),
                                                                                               response}}}}}});
        fixture::ReviewStore store(key.credentials());
        Seed seed{.identifier = QStringLiteral("r-1"), .language = QStringLiteral("de")};
        if (answered) {
            seed.responseText = QStringLiteral("Answer");
            seed.responseIdentifier = QStringLiteral("resp");
        }
        const QList<ObjectId> ids = show(store, {Seed{.language = QStringLiteral("de")}, seed, Seed{}});
        auto *after = new QPushButton(QStringLiteral("After the list"), m_window.get());
        after->setObjectName(QStringLiteral("afterList"));
        m_window->layout()->addWidget(after);
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));

        // The second card is the current one; its button is pressed from the keyboard.
        m_list->setFocus(Qt::TabFocusReason);
        QTest::keyClick(m_list, Qt::Key_Down);
        QTest::keyClick(m_list, Qt::Key_Down);
        QCOMPARE(m_list->currentIndex().row(), 1);
        const QStringList before = tabFromList(ids.at(1));
        QVERIFY2(before.contains(pressed), qPrintable(before.join(QLatin1Char(' '))));
        m_list->setFocus(Qt::TabFocusReason);
        for (int i = 0; i < 8 && QApplication::focusWidget()->objectName() != pressed; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), pressed);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        if (pressed == QStringLiteral("writeResponseButton")) {
            ResponseEditorDialog *sheet = m_list->editorDialog();
            QVERIFY(sheet);
            QVERIFY(QTest::qWaitForWindowActive(sheet));
            QTest::keyClicks(sheet->responseField(), QStringLiteral("Thanks"));
            QTest::keyClick(sheet->responseField(), Qt::Key_Return);
            QTRY_VERIFY_WITH_TIMEOUT(!m_list->editorDialog(), 20000);
        }
        // Done when the card shows every button expected.
        const auto gained = [&] {
            ReviewView *card = m_list->openCard();
            if (!card || card->review()->id() != ids.at(1))
                return false;
            for (const QString &name : expected) {
                const auto *button = card->findChild<QWidget *>(name);
                if (name != QStringLiteral("afterList") && (!button || !button->isVisible()))
                    return false;
            }
            return true;
        };
        QTRY_VERIFY_WITH_TIMEOUT(gained(), 20000);
        // A window manager activates the window under the closed sheet again; offscreen, nothing does.
        if (!QApplication::activeWindow())
            m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QCOMPARE(tabFromList(ids.at(1)), expected);
    }

    void openCardLooksLikeThePaintedRow()
    {
        fixture::ReviewStore store;
        const QList<ObjectId> ids =
            show(store, {Seed{.isNew = true, .responseText = QStringLiteral("Thank you for the kind words!"),
                              .responseIdentifier = QStringLiteral("resp")},
                         Seed{.title = QStringLiteral("Second")}});
        QTest::qWait(50);
        const QRect rect = m_list->reviewRect(ids.first());
        const QImage painted = m_list->viewport()->grab(rect).toImage();
        ReviewView *card = hover(ids.first());
        QVERIFY(card);
        QCOMPARE(card->geometry(), rect);
        QTest::mouseMove(card, card->cardLayout()->dividerRect.center() + QPoint(0, 4));
        QTest::qWait(50);
        const QImage open = m_list->viewport()->grab(rect).toImage();
        saveScreenshot(m_list->viewport(), QStringLiteral("card-with-response"));
        QCOMPARE(open.size(), painted.size());
        int differing = 0;
        for (int y = 0; y < open.height(); ++y) {
            for (int x = 0; x < open.width(); ++x)
                differing += open.pixel(x, y) != painted.pixel(x, y) ? 1 : 0;
        }
        // Buttons may take a hover or focus shade; texts and everything else lie on the same pixels.
        QVERIFY2(differing < open.width() * open.height() / 100, qPrintable(QString::number(differing)));
    }

    void cardTextsAreSelectable()
    {
        fixture::ReviewStore store;
        const QList<ObjectId> ids = show(store, {Seed{.body = QStringLiteral("Works well with every sync")}});
        ReviewView *card = hover(ids.first());
        QVERIFY(card);
        auto *body = card->findChild<ReviewCardText *>(QStringLiteral("bodyText"));
        const QTextLine line = card->cardLayout()->body.layout->lineAt(0);
        const auto pointAt = [&](int position) {
            return QPoint(qRound(line.cursorToX(position)) + 1, qRound(line.y() + line.height() / 2));
        };
        // A double click takes the word, a drag the characters passed over.
        QTest::mouseDClick(body, Qt::LeftButton, Qt::NoModifier, pointAt(7));
        QCOMPARE(body->selectedText(), QStringLiteral("well"));
        QTest::mousePress(body, Qt::LeftButton, Qt::NoModifier, pointAt(0) - QPoint(1, 0));
        QTest::mouseMove(body, pointAt(10));
        QTest::mouseRelease(body, Qt::LeftButton, Qt::NoModifier, pointAt(10));
        QCOMPARE(body->selectedText(), QStringLiteral("Works well"));
        // The keyboard extends it and copies it.
        QVERIFY(body->hasFocus());
        QTest::keyClick(body, Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(body, Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(body->selectedText(), QStringLiteral("Works well w"));
        QTest::keyClick(body, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Works well w"));
        QTest::keyClick(body, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(body->selectedText(), QStringLiteral("Works well with every sync"));
    }

    void publishThroughTheSheet()
    {
        const fakes::FakeAccount key = m_server->addAccount();
        fakes::FakeReview remote{QStringLiteral("r-1"), 4, QStringLiteral("Great"), QStringLiteral("Works well"),
                                 QStringLiteral("Robin"), QStringLiteral("USA"),
                                 QStringLiteral("2024-01-02T11:19:36-07:00"), std::nullopt};
        m_server->setApps(key.issuerId, {fakes::FakeApp{QStringLiteral("app-1"), QStringLiteral("Demo"),
                                                        QStringLiteral("com.demo"),
                                                        {fakes::FakeVersion{QStringLiteral("v"), QStringLiteral("2.1"),
                                                                            {remote}}}}});
        fixture::ReviewStore store(key.credentials());
        const QList<ObjectId> ids = show(store, {Seed{.identifier = QStringLiteral("r-1")}, Seed{}});
        const int heightBefore = m_list->reviewRect(ids.first()).height();
        saveScreenshot(m_list->viewport(), QStringLiteral("card-without-response"));

        ReviewView *card = hover(ids.first());
        QVERIFY(card);
        QTest::mouseClick(card->button(Button::write), Qt::LeftButton);
        ResponseEditorDialog *sheet = m_list->editorDialog();
        QVERIFY(sheet);
        QVERIFY(QTest::qWaitForWindowExposed(sheet));
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
        QVERIFY(sheet->width() >= ResponseEditorDialog::sheetMinimumWidth);
        QVERIFY(sheet->maximumWidth() == ResponseEditorDialog::sheetMaximumWidth);
        QCOMPARE(sheet->responseField()->placeholderText(), QStringLiteral("Enter your response..."));
        QVERIFY(!sheet->progressIndicator()->isVisible());
        QTest::keyClicks(sheet->responseField(), QStringLiteral("Thanks a lot"));
        QTest::keyClick(sheet->responseField(), Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(sheet->responseField(), QStringLiteral("The team"));
        QCOMPARE(card->review()->responseUncommitedBody(), QStringLiteral("Thanks a lot\nThe team"));
        saveScreenshot(sheet, QStringLiteral("editor-sheet"));
        // A store change reloads the list meanwhile: new records of the same reviews. The draft
        // and the sheet stay; the published response reaches the record the list shows now.
        m_list->setReviews({fixture::record(ids.at(0)), fixture::record(ids.at(1))});
        QCOMPARE(m_list->editorDialog(), sheet);
        QCOMPARE(sheet->responseField()->toPlainText(), QStringLiteral("Thanks a lot\nThe team"));
        QPointer<ResponseEditorDialog> watched = sheet;
        QTest::keyClick(sheet->responseField(), Qt::Key_Return);
        QVERIFY(sheet->progressIndicator()->isVisibleTo(sheet));
        QVERIFY(sheet->publishButton()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!watched || !watched->isVisible(), 20000);

        QCOMPARE(m_server->review(QStringLiteral("r-1"))->response->body, QStringLiteral("Thanks a lot\nThe team"));
        QCOMPARE(m_list->reviewModel()->reviewAt(0)->responseBody(), QStringLiteral("Thanks a lot\nThe team"));
        QCOMPARE(fixture::savedRow(ids.first()).responseText, QStringLiteral("Thanks a lot\nThe team"));
        QTRY_VERIFY(m_list->reviewRect(ids.first()).height() > heightBefore);
        card = m_list->openCard();
        QVERIFY(card);
        QVERIFY(!card->button(Button::write)->isVisible());
        QVERIFY(card->button(Button::edit)->isVisible() && card->button(Button::remove)->isVisible());
        QCOMPARE(card->findChild<ReviewCardText *>(QStringLiteral("responseText"))->text(),
                 QStringLiteral("Thanks a lot\nThe team"));
        QCOMPARE(card->geometry(), m_list->reviewRect(ids.first()));
    }

    void publishFailureShowsTheStatusTextInTheSheet()
    {
        const fakes::FakeAccount key = m_server->addAccount();
        fixture::ReviewStore store(key.credentials());
        // The service knows no such review: 404, "Unknown error".
        const QList<ObjectId> ids = show(store, {Seed{.identifier = QStringLiteral("r-unknown")}});
        ReviewView *card = hover(ids.first());
        QVERIFY(card);
        QTest::mouseClick(card->button(Button::write), Qt::LeftButton);
        ResponseEditorDialog *sheet = m_list->editorDialog();
        QVERIFY(sheet);
        QTest::keyClicks(sheet->responseField(), QStringLiteral("Hello"));
        QTest::mouseClick(sheet->publishButton(), Qt::LeftButton);
        QWidget *alert = waitForAlert(sheet);
        QVERIFY(alert);
        QCOMPARE(static_cast<QMessageBox *>(alert)->text(), QStringLiteral("Unknown error. Please contact support."));
        QVERIFY(sheet->isVisible());
        QCOMPARE(sheet->responseField()->toPlainText(), QStringLiteral("Hello"));
        QTest::keyClick(alert, Qt::Key_Escape);
        QTRY_VERIFY(!sheet->responder()->showPublishErrorAlert());

        // Cancel closes the sheet and keeps the draft until the next edit replaces it.
        QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
        QTRY_VERIFY(!m_list->editorDialog());
        QCOMPARE(card->review()->responseUncommitedBody(), QStringLiteral("Hello"));
        QTest::mouseClick(card->button(Button::write), Qt::LeftButton);
        QVERIFY(m_list->editorDialog());
        QCOMPARE(m_list->editorDialog()->responseField()->toPlainText(), QString());
        m_list->editorDialog()->reject();
    }

    void deleteWithoutKeyShowsTheAlertOnTheList()
    {
        fixture::ReviewStore store;  // no key
        const QList<ObjectId> ids = show(store, {Seed{.responseText = QStringLiteral("Answer"),
                                                      .responseIdentifier = QStringLiteral("resp")}});
        ReviewView *card = hover(ids.first());
        QVERIFY(card);
        QTest::mouseClick(card->button(Button::remove), Qt::LeftButton);
        auto *alert = static_cast<QMessageBox *>(waitForAlert(m_list));
        QVERIFY(alert);
        QCOMPARE(alert->text(), QStringLiteral("Unable to obtain credentials."));
        QCOMPARE(alert->buttons().size(), 1);
        QCOMPARE(m_server->requestCount(), 0);
        QVERIFY(card->button(Button::remove)->isVisible());
        QTest::mouseClick(alert->buttons().first(), Qt::LeftButton);
        QTRY_VERIFY(!card->responder()->showDeletionErrorAlert());
    }

    // A request that fails leaves the keyboard where typing on sends nothing: in the response
    // text, its cursor where it was, or on the card in the list; never on the button that sent it.
    void typingAfterAFailedRequestSendsNothing_data()
    {
        QTest::addColumn<bool>("publish");  // else the card's response is deleted
        QTest::addColumn<bool>("byKeyboard");  // Space on the button, else a click
        QTest::newRow("publish clicked") << true << false;
        QTest::newRow("publish by Space") << true << true;
        QTest::newRow("delete clicked") << false << false;
        QTest::newRow("delete by Space") << false << true;
    }
    void typingAfterAFailedRequestSendsNothing()
    {
        QFETCH(bool, publish);
        QFETCH(bool, byKeyboard);
        const fakes::FakeAccount key = m_server->addAccount();
        m_server->setOverride(publish ? QByteArrayLiteral("/v1/customerReviewResponses")
                                      : QByteArrayLiteral("/v1/customerReviewResponses/resp"),
                              fakes::Override{.status = 500, .delayMs = 0, .body = fakes::Override::Body::normal,
                                              .replacement = {}});
        fixture::ReviewStore store(key.credentials());
        Seed seed{.identifier = QStringLiteral("r-1")};
        if (!publish) {
            seed.responseText = QStringLiteral("Answer");
            seed.responseIdentifier = QStringLiteral("resp");
        }
        const QList<ObjectId> ids = show(store, {Seed{}, seed});
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        const auto press = [&](QAbstractButton *button) {
            if (byKeyboard) {
                button->setFocus(Qt::TabFocusReason);
                QTest::keyClick(button, Qt::Key_Space);
            } else {
                QTest::mouseClick(button, Qt::LeftButton);
            }
        };

        ReviewView *card = hover(ids.at(1));
        QVERIFY(card);
        ResponseEditorDialog *sheet = nullptr;
        if (publish) {
            QTest::mouseClick(card->button(Button::write), Qt::LeftButton);
            sheet = m_list->editorDialog();
            QVERIFY(sheet);
            QVERIFY(QTest::qWaitForWindowActive(sheet));
            QTest::keyClicks(sheet->responseField(), QStringLiteral("Thanks lot"));
            for (int i = 0; i < 3; ++i)
                QTest::keyClick(sheet->responseField(), Qt::Key_Left);
            press(sheet->publishButton());
        } else {
            press(card->button(Button::remove));
        }
        QWidget *owner = publish ? static_cast<QWidget *>(sheet) : m_list;
        QPointer<QWidget> alert = waitForAlert(owner);
        QVERIFY(alert);
        QCOMPARE(m_server->requestCount(), 1);
        QWidget *alertFocus = QApplication::focusWidget();
        QVERIFY(alertFocus && alert->isAncestorOf(alertFocus));
        QTest::keyClick(alertFocus, Qt::Key_Return);
        QTRY_VERIFY(!alert);
        // A window manager activates the window under the alert again; offscreen, nothing does.
        if (!QApplication::activeWindow())
            owner->window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(owner->window()));
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus);

        QTest::keyClicks(focus, publish ? QStringLiteral("a ") : QStringLiteral(" "));
        QVERIFY(!QTest::qWaitFor([&] { return m_server->requestCount() > 1; }, 1000));
        QCOMPARE(m_server->requestCount(), 1);
        if (publish) {
            QVERIFY(!sheet->responder()->isPublishing());
            QCOMPARE(focus, sheet->responseField());
            QCOMPARE(sheet->responseField()->toPlainText(), QStringLiteral("Thanks a lot"));
            sheet->reject();
        } else {
            QCOMPARE(focus, m_list);
            QCOMPARE(m_list->currentIndex().row(), 1);
            QVERIFY(m_list->openCard() && m_list->openCard()->isMarked());
            QCOMPARE(m_list->openCard()->review()->id(), ids.at(1));
        }
    }

    void shareMenuCopiesAndMails()
    {
        fixture::ReviewStore store;
        const QList<ObjectId> ids =
            show(store, {Seed{.title = QStringLiteral("Great & fine"), .body = QStringLiteral("Works well #1"),
                              .language = QStringLiteral("de"), .translatedBody = QStringLiteral("Geht gut")}});
        ReviewView *card = hover(ids.first());
        QVERIFY(card);
        QCOMPARE(card->shareButton()->toolTip(), QStringLiteral("Share this review"));
        const QString expected = QStringLiteral("4 star review for Demo:\n\nGreat & fine\n\nWorks well #1");
        card->shareMenu()->findChild<QAction *>(QStringLiteral("shareCopyAction"))->trigger();
        QCOMPARE(QApplication::clipboard()->text(), expected);

        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "open");
        card->shareMenu()->findChild<QAction *>(QStringLiteral("shareMailAction"))->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(catcher.urls.first().scheme(), QStringLiteral("mailto"));
        QCOMPARE(catcher.urls.first().path(), QString());
        const QUrlQuery query(catcher.urls.first());
        QCOMPARE(query.queryItems(QUrl::FullyDecoded).size(), 1);
        QCOMPARE(query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded), expected);
    }

    void mailWithoutAMailProgramSaysSo_data()
    {
        QTest::addColumn<QString>("launcher");  // a shell script's body; empty: through QDesktopServices
        QTest::addColumn<bool>("alert");
        // Offscreen, the platform opens no links at all.
        QTest::newRow("the platform refuses") << QString() << true;
        QTest::newRow("xdg-open finds no program")
            << QStringLiteral("echo 'xdg-open: no method available for opening' >&2; exit 3") << true;
        QTest::newRow("xdg-open fails at once") << QStringLiteral("exit 4") << true;
        QTest::newRow("no xdg-open") << QStringLiteral("missing") << true;
        QTest::newRow("a mail program opens it") << QStringLiteral("exit 0") << false;
        // Without a desktop session xdg-open runs the mail program and ends with it, much later.
        QTest::newRow("the mail program ends well") << QStringLiteral("sleep 2; exit 0") << false;
        QTest::newRow("the mail program ends with 3") << QStringLiteral("sleep 2; exit 3") << false;
        QTest::newRow("the mail program ends with 4") << QStringLiteral("sleep 2; exit 4") << false;
    }
    void mailWithoutAMailProgramSaysSo()
    {
        QFETCH(QString, launcher);
        QFETCH(bool, alert);
        QTemporaryDir folder;
        QString program;
        const QString ended = folder.filePath(QStringLiteral("ended"));
        if (launcher == QStringLiteral("missing")) {
            program = folder.filePath(QStringLiteral("no-such-program"));
        } else if (!launcher.isEmpty()) {
            program = folder.filePath(QStringLiteral("xdg-open"));
            QFile script(program);
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write("#!/bin/sh\ntrap 'touch \"" + ended.toUtf8() + "\"' EXIT\n" + launcher.toUtf8() + "\n");
            script.close();
            script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        }
        // A grace time of one second, which the sleeping launchers outlive by one more.
        setLinkLauncherForTesting(program, std::chrono::milliseconds(1000));
        const auto reset = qScopeGuard([] { setLinkLauncherForTesting(QString()); });

        fixture::ReviewStore store;
        const QList<ObjectId> ids = show(store, {Seed{.title = QStringLiteral("Great & fine")}});
        ReviewView *card = hover(ids.first());
        QVERIFY(card);
        card->shareMenu()->findChild<QAction *>(QStringLiteral("shareMailAction"))->trigger();
        // How the launcher ended reaches the program after that; give it time to show an alert.
        if (!alert && !launcher.isEmpty())
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(ended), 10000);
        QMessageBox *box = nullptr;
        const bool shown = QTest::qWaitFor([&] {
            box = m_window->findChild<QMessageBox *>(QStringLiteral("linkAlert"));
            return box && box->isVisible();
        }, alert ? 5000 : 1000);
        QCOMPARE(shown, alert);
        if (!alert)
            return;
        QCOMPARE(box->text(), QStringLiteral("No program could open this link."));
        // The link itself, to be copied by hand.
        QCOMPARE(QUrl(box->informativeText()), ReviewView::mailtoUrl(ReviewResponder::shareText(*card->review())));
        auto *link = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"));
        QVERIFY(link);
        QVERIFY(link->textInteractionFlags() & Qt::TextSelectableByMouse);
        QVERIFY(link->textInteractionFlags() & Qt::TextSelectableByKeyboard);
        saveScreenshot(box, QStringLiteral("link-alert"));
        box->accept();
    }

    void newReviewsAreMarkedEachTimeTheyComeOnScreen()
    {
        fixture::ReviewStore store;
        QList<Seed> seeds;
        for (int i = 0; i < 40; ++i)
            seeds.append(Seed{.body = QStringLiteral("Body %1").arg(i), .isNew = i == 0 || i == 39});
        QList<ObjectId> seen;
        m_list->setSeenHandler([&](const StoreReview &review) {
            ReviewResponder::markSeen(review);
            if (review.isNew())
                seen.append(review.id());
        });
        const QList<ObjectId> ids = show(store, seeds);
        QTRY_COMPARE(seen, QList<ObjectId>{ids.first()});
        m_list->scrollToBottom();
        QTRY_COMPARE(seen, (QList<ObjectId>{ids.first(), ids.last()}));
        m_list->scrollToTop();
        QTRY_COMPARE(seen.size(), 3);
        QCOMPARE(seen.last(), ids.first());
        // Scrolling within the screen does not show it again; hiding and showing the list does.
        m_list->verticalScrollBar()->setValue(2);
        QTest::qWait(20);
        QCOMPARE(seen.size(), 3);
        m_list->hide();
        m_list->show();
        QTRY_COMPARE(seen.size(), 4);
        // The record keeps its badge.
        QVERIFY(m_list->reviewModel()->reviewAt(0)->isNew());
    }

    void reloadKeepsTheTopReviewInPlace()
    {
        fixture::ReviewStore store;
        QList<Seed> seeds;
        for (int i = 0; i < 200; ++i)
            seeds.append(Seed{.body = QStringLiteral("Review %1 ").arg(i).repeated(1 + i % 9)});
        const QList<ObjectId> ids = show(store, seeds);
        // Far down, perhaps before the batches of the layout got there.
        m_list->scrollToReview(ids.at(120));
        QTRY_COMPARE(m_list->topReviewId(), ids.at(120));
        QTRY_VERIFY(m_list->reviewRect(ids.last()).isValid());
        m_list->verticalScrollBar()->setValue(m_list->verticalScrollBar()->value() + 17);
        QCOMPARE(m_list->topReviewId(), ids.at(120));
        const int offset = m_list->reviewRect(ids.at(120)).top();
        QCOMPARE(offset, -17);

        // A reload with new reviews in front of it and one removed behind it.
        ReviewList reloaded;
        reloaded.append(fixture::record(store.add(Seed{.title = QStringLiteral("Newer")})));
        for (int i = 0; i < ids.size(); ++i) {
            if (i != 150)
                reloaded.append(fixture::record(ids.at(i)));
        }
        m_list->setReviews(reloaded);
        QCOMPARE(m_list->topReviewId(), ids.at(120));
        QCOMPARE(m_list->reviewRect(ids.at(120)).top(), offset);

        // A resize re-measures every card and still keeps the place.
        m_window->resize(560, 700);
        QTRY_COMPARE(m_list->cardWidth(), 560 - m_list->verticalScrollBar()->width());
        QTRY_COMPARE(m_list->topReviewId(), ids.at(120));
        QTest::qWait(200);
        QCOMPARE(m_list->topReviewId(), ids.at(120));

        // At the very top the list stays at the top, showing what is new.
        m_list->scrollToTop();
        reloaded.prepend(fixture::record(store.add(Seed{.title = QStringLiteral("Newest")})));
        m_list->setReviews(reloaded);
        QCOMPARE(m_list->verticalScrollBar()->value(), 0);
        QCOMPARE(m_list->topReviewId(), reloaded.first()->id());
    }

    void translationSwitchRedrawsWithoutReload()
    {
        fixture::ReviewStore store;
        const QList<ObjectId> ids = show(store, {Seed{.language = QStringLiteral("de")}});
        ReviewView *card = hover(ids.first());
        QVERIFY(card);
        QVERIFY(card->button(Button::translate)->isVisible());
        setTranslation(false);
        m_list->refreshCards();
        QVERIFY(!card->button(Button::translate)->isVisible());
        setTranslation(true);
        m_list->viewport()->repaint();  // read again when drawn
        QVERIFY(card->button(Button::translate)->isVisible());
    }

    void longTextsLayOutWithoutClipping_data()
    {
        QTest::addColumn<QString>("body");
        QString hundredKilobytes;
        while (hundredKilobytes.size() < 100 * 1024)
            hundredKilobytes += QStringLiteral("This is a very long review that goes on and on. ");
        QTest::newRow("100 KB") << hundredKilobytes;
        QTest::newRow("one word of 20 KB") << QString(20 * 1024, QLatin1Char('x'));
        QTest::newRow("right to left") << arabic.repeated(40);
        QTest::newRow("CJK") << chinese.repeated(60);
        QTest::newRow("emoji") << emoji.repeated(80);
        QTest::newRow("mixed lines") << (arabic + QLatin1Char('\n') + chinese + QStringLiteral("\r\n") + emoji)
                                             .repeated(10);
    }
    void longTextsLayOutWithoutClipping()
    {
        QFETCH(QString, body);
        fixture::ReviewStore store;
        const QList<ObjectId> ids = show(store, {Seed{.title = body.left(300), .body = body,
                                                      .responseText = body.left(2000),
                                                      .responseIdentifier = QStringLiteral("resp")},
                                                 Seed{}});
        const StoreReview &review = *m_list->reviewModel()->reviewAt(0);
        const auto layout = m_list->cardDelegate()->layoutFor(review, m_list->cardWidth(), true);
        for (const ReviewCardLayout::Text *text : {&layout->title, &layout->body, &layout->response}) {
            QTextLayout &lines = *text->layout;
            QVERIFY(lines.lineCount() > 0);
            qreal bottom = 0;
            for (int i = 0; i < lines.lineCount(); ++i) {
                const QTextLine line = lines.lineAt(i);
                // Every line fits the width, and the lines follow each other inside the box.
                QVERIFY2(line.naturalTextWidth() <= text->rect.width() + 0.5,
                         qPrintable(QStringLiteral("line %1 is %2 wide in %3")
                                        .arg(i)
                                        .arg(line.naturalTextWidth())
                                        .arg(text->rect.width())));
                QVERIFY(line.y() >= bottom - 0.01);
                bottom = line.y() + line.height();
            }
            QVERIFY(bottom <= text->rect.height() + 0.01);
            // Nothing is lost: the lines cover the whole text.
            const QTextLine last = lines.lineAt(lines.lineCount() - 1);
            QCOMPARE(last.textStart() + last.textLength(), int(lines.text().size()));
        }
        QVERIFY(layout->response.rect.bottom() < layout->responseBox.bottom());
        QVERIFY(layout->responseBox.bottom() < layout->dividerRect.top());
        QCOMPARE(m_list->reviewRect(ids.first()).height(), layout->height());
        // The second card follows right below the first, whatever its height.
        QCOMPARE(m_list->reviewRect(ids.at(1)).top(), m_list->reviewRect(ids.first()).bottom() + 1);
        QVERIFY(hover(ids.first()));
        const QString name = QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
        saveScreenshot(m_list->viewport(), QStringLiteral("long-text-") + name);
    }

    void scriptsHaveFonts()
    {
        // Offscreen, a missing font paints boxes that pass for text: the screenshots of the long
        // texts mean something only with fonts for these scripts.
        QVERIFY(!QFontDatabase::families(QFontDatabase::Arabic).isEmpty());
        if (QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty())
            QSKIP("No font with Chinese glyphs is installed (fonts-noto-cjk)");
        const QRawFont chineseFont = QRawFont::fromFont(QFont(QFontDatabase::families(QFontDatabase::SimplifiedChinese).first()));
        for (const uint point : chinese.toUcs4())
            QVERIFY(chineseFont.supportsCharacter(point));
    }
};

VANTOREL_TEST_MAIN_WITH(QApplication, ReviewListViewTest)
#include "tst_review_list_view.moc"
