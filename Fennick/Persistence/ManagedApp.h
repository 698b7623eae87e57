#pragma once

#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObject.h"

namespace Fennick {

class ManagedAccount;
class ManagedAppVersion;

// Entity "App": an app of an account, as App Store Connect lists it.
class ManagedApp : public platform::store::ManagedObject {
public:
    static constexpr const char entityName[] = "App";
    static platform::store::EntityDescription description();
    static platform::store::FetchRequest<ManagedApp> fetchRequest() { return {}; }

    struct Keys {
        static inline const platform::store::AttributeKey<QString> identifier{"identifier"};
        static inline const platform::store::AttributeKey<QString> name{"name"};
        static inline const platform::store::AttributeKey<bool> isHidden{"isHidden"};
        static inline const platform::store::AttributeKey<bool> hasSyncedOnce{"hasSyncedOnce"};
        static inline const platform::store::RelationshipKey account{"account"};
        static inline const platform::store::RelationshipKey versions{"versions"};
    };

    bool hasSyncedOnce() const { return boolValue(HasSyncedOnce); }
    void setHasSyncedOnce(bool value) { setBoolValue(HasSyncedOnce, value); }
    std::optional<QString> identifier() const { return stringValue(Identifier); }
    void setIdentifier(const std::optional<QString> &value) { setStringValue(Identifier, value); }
    bool isHidden() const { return boolValue(IsHidden); }
    void setIsHidden(bool value) { setBoolValue(IsHidden, value); }
    std::optional<QString> name() const { return stringValue(Name); }
    void setName(const std::optional<QString> &value) { setStringValue(Name, value); }
    std::optional<QDateTime> timestamp() const { return dateValue(Timestamp); }
    void setTimestamp(const std::optional<QDateTime> &value) { setDateValue(Timestamp, value); }

    ManagedAccount *account() const;
    void setAccount(ManagedAccount *account);
    QList<ManagedAppVersion *> versions() const;

private:
    enum Attribute { HasSyncedOnce, Identifier, IsHidden, Name, Timestamp };
    enum ToOne { AccountLink };
    enum RelationshipIndex { AccountRelationship, Versions };
};

}  // namespace Fennick
