// Descriptions and relationship accessors of the four entities. The attribute lists follow the
// order of each class's Attribute enumeration, which the accessors index by. Within its parent,
// an app, a version or a review is one row per server identifier; the index that holds them to
// it also serves look-ups by identifier alone.
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/ManagedAppVersion.h"
#include "Fennick/Persistence/ManagedReview.h"

namespace Fennick {

using platform::store::Attribute;
using platform::store::AttributeType;
using platform::store::EntityDescription;
using platform::store::Relationship;
using platform::store::UniqueConstraint;

namespace {
Relationship owner(const char *name, const char *target, bool indexed = true)
{
    return {QString::fromLatin1(name), Relationship::ToOne, QString::fromLatin1(target), {}, indexed};
}
Relationship children(const char *name, const char *target, const char *inverse)
{
    return {QString::fromLatin1(name), Relationship::ToMany, QString::fromLatin1(target), QString::fromLatin1(inverse), false};
}
Attribute attribute(const char *name, AttributeType type, bool indexed = false, bool searchable = false)
{
    return {QString::fromLatin1(name), type, indexed, searchable};
}
}  // namespace

EntityDescription ManagedAccount::description()
{
    return {QString::fromLatin1(entityName),
            {attribute("issuerId", AttributeType::String), attribute("keyBlob", AttributeType::Data),
             attribute("keyId", AttributeType::String), attribute("name", AttributeType::String),
             attribute("timestamp", AttributeType::Date)},
            {children("apps", "App", "account")},
            [] { return new ManagedAccount; },
            std::nullopt};
}

QList<ManagedApp *> ManagedAccount::apps() const
{
    return toManyAs<ManagedApp>(Apps);
}

EntityDescription ManagedApp::description()
{
    return {QString::fromLatin1(entityName),
            {attribute("hasSyncedOnce", AttributeType::Bool), attribute("identifier", AttributeType::String),
             attribute("isHidden", AttributeType::Bool), attribute("name", AttributeType::String),
             attribute("timestamp", AttributeType::Date)},
            {owner("account", "Account"), children("versions", "AppVersion", "app")},
            [] { return new ManagedApp; },
            UniqueConstraint{QStringLiteral("identifier"), QStringLiteral("account")}};
}

ManagedAccount *ManagedApp::account() const
{
    return toOneAs<ManagedAccount>(AccountLink);
}

void ManagedApp::setAccount(ManagedAccount *account)
{
    setToOne(AccountLink, account);
}

QList<ManagedAppVersion *> ManagedApp::versions() const
{
    return toManyAs<ManagedAppVersion>(Versions);
}

EntityDescription ManagedAppVersion::description()
{
    return {QString::fromLatin1(entityName),
            {attribute("identifier", AttributeType::String), attribute("timestamp", AttributeType::Date),
             attribute("version", AttributeType::String)},
            {owner("account", "Account"), owner("app", "App"), children("reviews", "Review", "version")},
            [] { return new ManagedAppVersion; },
            UniqueConstraint{QStringLiteral("identifier"), QStringLiteral("app")}};
}

ManagedAccount *ManagedAppVersion::account() const
{
    return toOneAs<ManagedAccount>(AccountLink);
}

void ManagedAppVersion::setAccount(ManagedAccount *account)
{
    setToOne(AccountLink, account);
}

ManagedApp *ManagedAppVersion::app() const
{
    return toOneAs<ManagedApp>(AppLink);
}

void ManagedAppVersion::setApp(ManagedApp *app)
{
    setToOne(AppLink, app);
}

QList<ManagedReview *> ManagedAppVersion::reviews() const
{
    return toManyAs<ManagedReview>(Reviews);
}

// The newest reviews of an account, or of an app, come straight from an index in date order;
// the same indexes serve look-ups by account or app alone. The newest reviews of all apps come
// from the date index. Ratings and responses are filters over many rows, read with the rows
// and not indexed.
EntityDescription ManagedReview::description()
{
    return {QString::fromLatin1(entityName),
            {attribute("body", AttributeType::String, false, true), attribute("created", AttributeType::Date, true),
             attribute("identifier", AttributeType::String), attribute("isNew", AttributeType::Bool),
             attribute("language", AttributeType::String), attribute("nickname", AttributeType::String),
             attribute("rating", AttributeType::Int64), attribute("responseIdentifier", AttributeType::String),
             attribute("responseText", AttributeType::String), attribute("territory", AttributeType::String),
             attribute("timestamp", AttributeType::Date), attribute("title", AttributeType::String, false, true),
             attribute("translatedBody", AttributeType::String), attribute("translatedTitle", AttributeType::String)},
            {owner("account", "Account", false), owner("app", "App", false), owner("version", "AppVersion")},
            [] { return new ManagedReview; },
            UniqueConstraint{QStringLiteral("identifier"), QStringLiteral("version")},
            {{{QStringLiteral("account"), QStringLiteral("created")}}, {{QStringLiteral("app"), QStringLiteral("created")}}}};
}

ManagedAccount *ManagedReview::account() const
{
    return toOneAs<ManagedAccount>(AccountLink);
}

void ManagedReview::setAccount(ManagedAccount *account)
{
    setToOne(AccountLink, account);
}

ManagedApp *ManagedReview::app() const
{
    return toOneAs<ManagedApp>(AppLink);
}

void ManagedReview::setApp(ManagedApp *app)
{
    setToOne(AppLink, app);
}

ManagedAppVersion *ManagedReview::version() const
{
    return toOneAs<ManagedAppVersion>(VersionLink);
}

void ManagedReview::setVersion(ManagedAppVersion *version)
{
    setToOne(VersionLink, version);
}

}  // namespace Fennick
