#pragma once

#include <QTemporaryDir>
#include <QtTest>

namespace testsupport {

// Points HOME and the XDG folders at a fresh temporary folder and turns on Qt's test paths, so
// that no test reads or writes the user's own files. Create it before the application object.
class TemporaryHome {
public:
    TemporaryHome();
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// What main() returns after the tests: `code`, once the background work the tests started has
// ended. Work that ran on into the exit handlers would meet Qt's globals already torn down.
int afterTests(int code);

}  // namespace testsupport

#define VANTOREL_TEST_MAIN_WITH(AppClass, TestObject)                                            \
    int main(int argc, char **argv)                                                              \
    {                                                                                            \
        testsupport::TemporaryHome home;                                                         \
        AppClass app(argc, argv);                                                                \
        app.setOrganizationName(QStringLiteral("Vantorel"));                                     \
        app.setApplicationName(QStringLiteral(#TestObject));                                     \
        TestObject test;                                                                         \
        QTEST_SET_MAIN_SOURCE_PATH                                                               \
        return testsupport::afterTests(QTest::qExec(&test, argc, argv));                          \
    }

#define VANTOREL_TEST_MAIN(TestObject) VANTOREL_TEST_MAIN_WITH(QCoreApplication, TestObject)
