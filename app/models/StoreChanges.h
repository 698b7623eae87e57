#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

namespace Vantorel {

// The in-process names that keep every list in step with the store.
namespace StoreChange {
inline const QString accountRemoved = QStringLiteral("reviews.storeAccountRemoved");
inline const QString accountAdded = QStringLiteral("reviews.storeAccountAdded");
inline const QString accountUpdated = QStringLiteral("reviews.storeAccountUpdated");
inline const QString dataRefreshed = QStringLiteral("reviews.storeDataRefreshed");

// Posts `name` on the default notification centre.
void post(const QString &name);
}  // namespace StoreChange

// A live subscription to the four store-change names; destroying it ends the subscription.
class StoreChangeSubscription : public QObject {
    Q_OBJECT
public:
    static constexpr int debounceMilliseconds = 500;

    explicit StoreChangeSubscription(std::function<void(const QString &name)> handler);

private:
    std::function<void(const QString &)> m_handler;
    QTimer m_debounce;
    QString m_last;
};

// Delivers, on the GUI thread, the last store-change name of each burst once no other name has
// followed for 0.5 s. Keep the returned token for as long as the handler should run.
std::unique_ptr<StoreChangeSubscription> observeStoreChanges(std::function<void(const QString &name)> handler);

}  // namespace Vantorel
