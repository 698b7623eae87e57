#include "support/TestHome.h"

#include "platform/ThreadPools.h"

#include <QDir>
#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>

namespace testsupport {

TemporaryHome::TemporaryHome() : m_dir(QDir::tempPath() + QStringLiteral("/vantorel-test-XXXXXX"))
{
    if (!m_dir.isValid())
        qFatal("cannot create a temporary home folder");
    const QByteArray home = QFile::encodeName(m_dir.path());
    qputenv("HOME", home);
    const char *xdg[][2] = {{"XDG_DATA_HOME", "/.local/share"},
                            {"XDG_CONFIG_HOME", "/.config"},
                            {"XDG_CACHE_HOME", "/.cache"},
                            {"XDG_STATE_HOME", "/.local/state"}};
    for (const auto &[variable, suffix] : xdg) {
        const QByteArray path = home + suffix;
        QDir().mkpath(QFile::decodeName(path));
        qputenv(variable, path);
    }
    QStandardPaths::setTestModeEnabled(true);
    // No test reaches the real services: a test that does not start a fake for one gets a
    // refused connection at once.
    for (const char *service : {"VANTOREL_CONNECT_URL", "VANTOREL_LOOKUP_URL", "VANTOREL_TRANSLATOR_URL",
                                "VANTOREL_EMAIL_URL"}) {
        if (!qEnvironmentVariableIsSet(service))
            qputenv(service, "http://127.0.0.1:1");
    }
}

int afterTests(int code)
{
    if (platform::waitForBackgroundWork(std::chrono::seconds(30)))
        return code;
    std::fprintf(stderr, "Background work was still running 30 s after the last test.\n");
    std::fflush(nullptr);
    std::_Exit(1);
}

}  // namespace testsupport
