#pragma once

#include "Fennick/Account.h"
#include "platform/store/ObjectId.h"

#include <QImage>
#include <QString>
#include <memory>

namespace Fennick {

// An app as the sidebar lists it.
struct StoreApp {
    platform::store::ObjectId id;
    QString storeIdentifier;
    QString name;
    QImage icon;  // null when the app has no readable icon file
    bool isHidden = false;

    bool hasIcon() const { return !icon.isNull(); }

    // A record made before the icon arrived differs from one made after it.
    friend bool operator==(const StoreApp &a, const StoreApp &b)
    {
        return a.id == b.id && a.hasIcon() == b.hasIcon();
    }
};

inline size_t qHash(const StoreApp &app, size_t seed = 0)
{
    return qHash(app.id, seed);
}

// An entry of the version picker.
struct StoreAppVersion {
    platform::store::ObjectId id;
    QString name;

    friend bool operator==(const StoreAppVersion &a, const StoreAppVersion &b) { return a.id == b.id; }
};

inline size_t qHash(const StoreAppVersion &version, size_t seed = 0)
{
    return qHash(version.id, seed);
}

// One sidebar section: an account with the apps listed under it.
struct AccountWithApps {
    int index = 0;
    std::shared_ptr<Account> account;
    QList<StoreApp> apps;

    std::optional<platform::store::ObjectId> id() const
    {
        return account ? account->objectId() : std::nullopt;
    }
};

}  // namespace Fennick
