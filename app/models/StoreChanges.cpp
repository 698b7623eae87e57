#include "app/models/StoreChanges.h"

#include "platform/NotificationCenter.h"

namespace Vantorel {

void StoreChange::post(const QString &name)
{
    platform::NotificationCenter::defaultCenter().post(name);
}

StoreChangeSubscription::StoreChangeSubscription(std::function<void(const QString &)> handler)
    : m_handler(std::move(handler))
{
    m_debounce.setSingleShot(true);
    m_debounce.setInterval(debounceMilliseconds);
    // A coarse timer may fire up to 5 % early, and a name that follows 480 ms after
    // "reviews.storeAccountAdded" must still replace it.
    m_debounce.setTimerType(Qt::PreciseTimer);
    connect(&m_debounce, &QTimer::timeout, this, [this] { m_handler(m_last); });
    auto &center = platform::NotificationCenter::defaultCenter();
    for (const QString &name : {StoreChange::accountRemoved, StoreChange::accountAdded, StoreChange::accountUpdated,
                                StoreChange::dataRefreshed}) {
        center.subscribe(name, this, [this](const QString &posted) {
            m_last = posted;
            m_debounce.start();  // restarts: only the last name of a burst is delivered
        });
    }
}

std::unique_ptr<StoreChangeSubscription> observeStoreChanges(std::function<void(const QString &)> handler)
{
    return std::make_unique<StoreChangeSubscription>(std::move(handler));
}

}  // namespace Vantorel

#include "moc_StoreChanges.cpp"
