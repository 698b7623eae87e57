#pragma once

#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObject.h"

namespace Fennick {

class ManagedAccount;
class ManagedApp;
class ManagedAppVersion;

// Entity "Review": one customer review of an app version, with the developer's response.
class ManagedReview : public platform::store::ManagedObject {
public:
    static constexpr const char entityName[] = "Review";
    static platform::store::EntityDescription description();
    static platform::store::FetchRequest<ManagedReview> fetchRequest() { return {}; }

    struct Keys {
        static inline const platform::store::AttributeKey<QString> body{"body"};
        static inline const platform::store::AttributeKey<QDateTime> created{"created"};
        static inline const platform::store::AttributeKey<QString> identifier{"identifier"};
        static inline const platform::store::AttributeKey<bool> isNew{"isNew"};
        static inline const platform::store::AttributeKey<qint64> rating{"rating"};
        static inline const platform::store::AttributeKey<QString> responseIdentifier{"responseIdentifier"};
        static inline const platform::store::AttributeKey<QString> title{"title"};
        static inline const platform::store::RelationshipKey account{"account"};
        static inline const platform::store::RelationshipKey app{"app"};
        static inline const platform::store::RelationshipKey version{"version"};
    };

    std::optional<QString> body() const { return stringValue(Body); }
    void setBody(const std::optional<QString> &value) { setStringValue(Body, value); }
    std::optional<QDateTime> created() const { return dateValue(Created); }
    void setCreated(const std::optional<QDateTime> &value) { setDateValue(Created, value); }
    std::optional<QString> identifier() const { return stringValue(Identifier); }
    void setIdentifier(const std::optional<QString> &value) { setStringValue(Identifier, value); }
    bool isNew() const { return boolValue(IsNew); }
    void setIsNew(bool value) { setBoolValue(IsNew, value); }
    std::optional<QString> language() const { return stringValue(Language); }
    void setLanguage(const std::optional<QString> &value) { setStringValue(Language, value); }
    std::optional<QString> nickname() const { return stringValue(Nickname); }
    void setNickname(const std::optional<QString> &value) { setStringValue(Nickname, value); }
    qint64 rating() const { return intValue(Rating); }
    void setRating(qint64 value) { setIntValue(Rating, value); }
    std::optional<QString> responseIdentifier() const { return stringValue(ResponseIdentifier); }
    void setResponseIdentifier(const std::optional<QString> &value) { setStringValue(ResponseIdentifier, value); }
    std::optional<QString> responseText() const { return stringValue(ResponseText); }
    void setResponseText(const std::optional<QString> &value) { setStringValue(ResponseText, value); }
    std::optional<QString> territory() const { return stringValue(Territory); }
    void setTerritory(const std::optional<QString> &value) { setStringValue(Territory, value); }
    std::optional<QDateTime> timestamp() const { return dateValue(Timestamp); }
    void setTimestamp(const std::optional<QDateTime> &value) { setDateValue(Timestamp, value); }
    std::optional<QString> title() const { return stringValue(Title); }
    void setTitle(const std::optional<QString> &value) { setStringValue(Title, value); }
    std::optional<QString> translatedBody() const { return stringValue(TranslatedBody); }
    void setTranslatedBody(const std::optional<QString> &value) { setStringValue(TranslatedBody, value); }
    std::optional<QString> translatedTitle() const { return stringValue(TranslatedTitle); }
    void setTranslatedTitle(const std::optional<QString> &value) { setStringValue(TranslatedTitle, value); }

    ManagedAccount *account() const;
    void setAccount(ManagedAccount *account);
    ManagedApp *app() const;
    void setApp(ManagedApp *app);
    ManagedAppVersion *version() const;
    void setVersion(ManagedAppVersion *version);

private:
    enum Attribute {
        Body, Created, Identifier, IsNew, Language, Nickname, Rating, ResponseIdentifier,
        ResponseText, Territory, Timestamp, Title, TranslatedBody, TranslatedTitle,
    };
    enum ToOne { AccountLink, AppLink, VersionLink };
};

}  // namespace Fennick
