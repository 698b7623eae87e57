#include "support/TestHome.h"

#include <QDir>
#include <QStandardPaths>
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
}

}  // namespace testsupport
