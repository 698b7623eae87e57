#include "platform/NotificationCenter.h"

#include <QCoreApplication>
#include <QThread>

namespace platform {

NotificationCenter &NotificationCenter::defaultCenter()
{
    // Lives on the thread that first asked for it; handlers run on their context's thread anyway.
    static NotificationCenter *center = new NotificationCenter;
    return *center;
}

QMetaObject::Connection NotificationCenter::subscribe(const QString &name, QObject *context,
                                                      std::function<void(const QString &)> handler)
{
    return connect(this, &NotificationCenter::posted, context,
                   [name, handler = std::move(handler)](const QString &posted) {
                       if (posted == name)
                           handler(posted);
                   });
}

void NotificationCenter::post(const QString &name)
{
    emit posted(name);
}

}  // namespace platform
