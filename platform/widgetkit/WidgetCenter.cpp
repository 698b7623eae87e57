#include "platform/widgetkit/WidgetCenter.h"

#include <QDir>
#include <QCoreApplication>
#include <QLocalSocket>
#include <QTimer>

namespace platform::widgetkit {

QString WidgetCenter::serverName()
{
    const QByteArray home = QFile::encodeName(QDir::homePath());
    return QStringLiteral("vantorel-widgets-%1").arg(qHash(home), 0, 16);
}

void WidgetCenter::reloadAllTimelines()
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application)
        return;
    QMetaObject::invokeMethod(application, [] {
        auto *socket = new QLocalSocket(QCoreApplication::instance());
        QObject::connect(socket, &QLocalSocket::connected, socket, [socket] {
            socket->write(reloadMessage);
            socket->disconnectFromServer();  // after the message has gone out
        });
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // No host (no socket file, nobody listening) ends here.
        QObject::connect(socket, &QLocalSocket::errorOccurred, socket, &QObject::deleteLater);
        // A host that accepts and never reads must not keep the socket for ever.
        QTimer::singleShot(2000, socket, &QObject::deleteLater);
        socket->connectToServer(serverName(), QIODevice::WriteOnly);
    });
}

}  // namespace platform::widgetkit
