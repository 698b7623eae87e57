#pragma once

#include <QObject>
#include <QString>
#include <functional>

namespace platform {

// Named in-process notifications without payload. post() may be called from any thread;
// handlers run on the thread of their context object (the GUI thread for every view model):
// at once when the post comes from that thread, through its event loop otherwise.
class NotificationCenter : public QObject {
    Q_OBJECT
public:
    static NotificationCenter &defaultCenter();

    // `handler` runs for every post of `name` until `context` is destroyed or the returned
    // connection is disconnected.
    QMetaObject::Connection subscribe(const QString &name, QObject *context,
                                      std::function<void(const QString &name)> handler);
    void post(const QString &name);

signals:
    void posted(const QString &name);

private:
    NotificationCenter() = default;
};

}  // namespace platform
