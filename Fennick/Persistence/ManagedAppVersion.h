#pragma once

#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObject.h"

namespace Fennick {

class ManagedAccount;
class ManagedApp;
class ManagedReview;

// Entity "AppVersion": an App Store version of an app.
class ManagedAppVersion : public platform::store::ManagedObject {
public:
    static constexpr const char entityName[] = "AppVersion";
    static platform::store::EntityDescription description();
    static platform::store::FetchRequest<ManagedAppVersion> fetchRequest() { return {}; }

    struct Keys {
        static inline const platform::store::AttributeKey<QString> identifier{"identifier"};
        static inline const platform::store::AttributeKey<QString> version{"version"};
        static inline const platform::store::RelationshipKey account{"account"};
        static inline const platform::store::RelationshipKey app{"app"};
        static inline const platform::store::RelationshipKey reviews{"reviews"};
    };

    std::optional<QString> identifier() const { return stringValue(Identifier); }
    void setIdentifier(const std::optional<QString> &value) { setStringValue(Identifier, value); }
    std::optional<QDateTime> timestamp() const { return dateValue(Timestamp); }
    void setTimestamp(const std::optional<QDateTime> &value) { setDateValue(Timestamp, value); }
    std::optional<QString> version() const { return stringValue(Version); }
    void setVersion(const std::optional<QString> &value) { setStringValue(Version, value); }

    ManagedAccount *account() const;
    void setAccount(ManagedAccount *account);
    ManagedApp *app() const;
    void setApp(ManagedApp *app);
    QList<ManagedReview *> reviews() const;

private:
    enum Attribute { Identifier, Timestamp, Version };
    enum ToOne { AccountLink, AppLink };
    enum RelationshipIndex { AccountRelationship, AppRelationship, Reviews };
};

}  // namespace Fennick
