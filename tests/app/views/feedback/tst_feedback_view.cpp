#include "FakeEmailServer.h"
#include "Fennick/Endpoints.h"
#include "app/models/FeedbackViewModel.h"
#include "app/views/FeedbackView.h"
#include "support/TestHome.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

using Vantorel::FeedbackView;
using Fennick::Endpoints::Service;

class FeedbackViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<fakes::FakeEmailServer> server;
    QPointer<FeedbackView> view;

    template <class T>
    T *child(const char *name) const
    {
        return view->findChild<T *>(QString::fromLatin1(name));
    }

    void typeMessage(const QString &text)
    {
        // keyClicks takes Latin-1 only; the editor's own insertion is what typing does too.
        auto *editor = child<QPlainTextEdit>("message");
        editor->moveCursor(QTextCursor::End);
        editor->insertPlainText(text);
    }

private slots:
    void init()
    {
        server = std::make_unique<fakes::FakeEmailServer>();
        Fennick::Endpoints::setBaseUrl(Service::email, server->baseUrl());
        view = new FeedbackView(QStringLiteral("5c3a1f0e-8d2b-4a7c-9e61-2f4b8d0c7a35"), QStringLiteral("Vantorel"),
                                QStringLiteral("support@example.com"));
        view->setAttribute(Qt::WA_DeleteOnClose);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view));
    }

    void cleanup()
    {
        delete view;
        server.reset();
    }

    void keysCloseTheWindow_data()
    {
        QTest::addColumn<QKeySequence>("keys");
        QTest::newRow("Esc") << QKeySequence(Qt::Key_Escape);
        for (const QKeySequence &close : QKeySequence::keyBindings(QKeySequence::Close))
            QTest::newRow(qPrintable(close.toString())) << close;
    }
    void keysCloseTheWindow()
    {
        QFETCH(QKeySequence, keys);
        QVERIFY(QTest::qWaitForWindowActive(view));
        // From the message being written, too.
        auto *editor = child<QPlainTextEdit>("message");
        editor->setFocus();
        QTest::keySequence(editor, keys);
        QTRY_VERIFY(!view);
    }

    void formShowsItsFieldsAndSendWaitsForElevenCharacters()
    {
        QCOMPARE(view->windowTitle(), QStringLiteral("Send Feedback"));
        QStringList labels;
        for (QLabel *label : view->findChildren<QLabel *>())
            labels << label->text();
        QVERIFY(labels.contains(QStringLiteral("Name:")));
        QVERIFY(labels.contains(QStringLiteral("Email:")));
        QVERIFY(labels.contains(QStringLiteral("Message:")));
        QCOMPARE(child<QLineEdit>("name")->placeholderText(), QStringLiteral("optional"));
        QCOMPARE(child<QLineEdit>("email")->placeholderText(), QStringLiteral("if you want a response"));

        auto *send = child<QPushButton>("send");
        QCOMPARE(send->text(), QStringLiteral("Send"));
        QVERIFY(!send->isEnabled());
        typeMessage(QStringLiteral("0123456789"));
        QVERIFY(!send->isEnabled());
        typeMessage(QStringLiteral("\U0001F600"));
        QVERIFY(send->isEnabled());
        QTest::keyClick(child<QPlainTextEdit>("message"), Qt::Key_Backspace);
        QVERIFY(!send->isEnabled());
        view->grab().save(QStringLiteral(SCREENSHOT_DIR "/feedback-form.png"));
    }

    void successClosesTheWindowAndSendingLocksTheForm()
    {
        QTest::keyClicks(child<QLineEdit>("name"), QStringLiteral("Ann"));
        typeMessage(QStringLiteral("Please add a dark mode."));
        server->hold();
        QTest::mouseClick(child<QPushButton>("send"), Qt::LeftButton);
        QVERIFY(server->waitForRequests(1, 5000));
        for (const char *name : {"name", "email", "message", "send"})
            QVERIFY2(!child<QWidget>(name)->isEnabled(), name);
        server->release();
        QTRY_VERIFY(view.isNull());  // closed and deleted
        QVERIFY(server->requests().first().body.contains("Ann wrote:\\n\\nPlease add a dark mode."));
    }

    void failureShowsTheAlertAndKeepsTheTexts()
    {
        server->setReply(200, R"({"ErrorCode":300,"Message":"Invalid 'To' address."})");
        QTest::keyClicks(child<QLineEdit>("email"), QStringLiteral("me@example.org"));
        typeMessage(QStringLiteral("Something went wrong."));
        QTest::mouseClick(child<QPushButton>("send"), Qt::LeftButton);
        QTRY_VERIFY(view->alert());
        QCOMPARE(view->alert()->text(), QStringLiteral("Your feedback could not be sent."));
        QVERIFY(view->isVisible());
        QCOMPARE(child<QLineEdit>("email")->text(), QStringLiteral("me@example.org"));
        QCOMPARE(child<QPlainTextEdit>("message")->toPlainText(), QStringLiteral("Something went wrong."));
        QVERIFY(child<QPlainTextEdit>("message")->isEnabled());
        QVERIFY(child<QPushButton>("send")->isEnabled());
        view->grab().save(QStringLiteral(SCREENSHOT_DIR "/feedback-alert.png"));

        view->alert()->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(!view->alert());
        QVERIFY(!view->model().didFail());
        // Sending again works and closes the window.
        server->setReply(200, fakes::FakeEmailServer::successBody());
        QTest::mouseClick(child<QPushButton>("send"), Qt::LeftButton);
        QTRY_VERIFY(view.isNull());
        QCOMPARE(server->requests().size(), 2);
    }
};

VANTOREL_TEST_MAIN_WITH(QApplication, FeedbackViewTest)
#include "tst_feedback_view.moc"
