#pragma once

#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObject.h"

namespace Fennick {

class ManagedApp;

// Entity "Account": one App Store Connect API key under a name. The key fields are stored empty;
// the real values live in the keychain under the row's object URI.
class ManagedAccount : public platform::store::ManagedObject {
public:
    static constexpr const char entityName[] = "Account";
    static platform::store::EntityDescription description();
    static platform::store::FetchRequest<ManagedAccount> fetchRequest() { return {}; }

    struct Keys {
        static inline const platform::store::AttributeKey<QString> name{"name"};
        static inline const platform::store::RelationshipKey apps{"apps"};
    };

    std::optional<QString> issuerId() const { return stringValue(IssuerId); }
    void setIssuerId(const std::optional<QString> &value) { setStringValue(IssuerId, value); }
    std::optional<QByteArray> keyBlob() const { return dataValue(KeyBlob); }
    void setKeyBlob(const std::optional<QByteArray> &value) { setDataValue(KeyBlob, value); }
    std::optional<QString> keyId() const { return stringValue(KeyId); }
    void setKeyId(const std::optional<QString> &value) { setStringValue(KeyId, value); }
    std::optional<QString> name() const { return stringValue(Name); }
    void setName(const std::optional<QString> &value) { setStringValue(Name, value); }
    std::optional<QDateTime> timestamp() const { return dateValue(Timestamp); }
    void setTimestamp(const std::optional<QDateTime> &value) { setDateValue(Timestamp, value); }

    QList<ManagedApp *> apps() const;

private:
    enum Attribute { IssuerId, KeyBlob, KeyId, Name, Timestamp };
    enum RelationshipIndex { Apps };
};

}  // namespace Fennick
