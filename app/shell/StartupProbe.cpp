#include "app/shell/StartupProbe.h"

#include "app/shell/VantorelApp.h"
#include "app/views/MainWindow.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

namespace Vantorel {

namespace {
qint64 residentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}
}  // namespace

void installStartupProbe(VantorelApp &app)
{
    if (qEnvironmentVariableIsEmpty("VANTOREL_STARTUP_PROBE"))
        return;
    QObject::connect(&app, &VantorelApp::started, &app, [&app] {
        QObject::connect(app.mainWindow(), &MainWindow::firstFilledFramePainted, &app, [] {
            std::printf("startup-probe: first-filled-frame rss_kb=%lld\n", static_cast<long long>(residentKilobytes()));
            std::fflush(stdout);
            QCoreApplication::quit();
        });
    });
}

}  // namespace Vantorel
