#include "platform/widgetkit/WidgetCenter.h"

#include <QDir>
#include <QLocalSocket>

namespace platform::widgetkit {

QString WidgetCenter::serverName()
{
    const QByteArray home = QFile::encodeName(QDir::homePath());
    return QStringLiteral("vantorel-widgets-%1").arg(qHash(home), 0, 16);
}

void WidgetCenter::reloadAllTimelines()
{
    QLocalSocket socket;
    socket.connectToServer(serverName(), QIODevice::WriteOnly);
    if (!socket.waitForConnected(200))
        return;  // no widget is running
    socket.write(reloadMessage);
    socket.waitForBytesWritten(200);
    socket.disconnectFromServer();
}

}  // namespace platform::widgetkit
