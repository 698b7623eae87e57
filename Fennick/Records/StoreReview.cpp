#include "Fennick/Records/StoreReview.h"

#include "Fennick/Account.h"
#include "Fennick/AccountRow.h"
#include "Fennick/Log.h"
#include "platform/Error.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/ManagedAppVersion.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/Persistence/PersistenceController.h"
#include "Fennick/Translator.h"
#include "Fennick/WorkerPools.h"
#include "platform/store/Context.h"

#include <QCoreApplication>

namespace Fennick {
namespace {
// A review's key is optional to its callers: a failure to read it is logged, not thrown.
std::optional<Credentials> absentForFailure(const std::exception &error)
{
    qCCritical(Log::model(), "Could not read the review's account: %s",
               qUtf8Printable(platform::Error::from(error).localizedDescription()));
    return std::nullopt;
}

StoreReview::Fields fieldsOf(const ManagedReview &review)
{
    const ManagedApp *app = review.app();
    const ManagedAppVersion *version = review.version();
    const QString untitled = QStringLiteral("Untitled");
    return StoreReview::Fields{
        .id = review.objectId(),
        .reviewIdentifier = review.identifier().value_or(QString()),
        .app = app ? app->name().value_or(untitled) : untitled,
        .appIdentifier = app ? app->identifier() : std::nullopt,
        .version = version ? version->version().value_or(QString()) : QString(),
        .title = review.title().value_or(untitled),
        .body = review.body().value_or(QString()),
        .created = review.created().value_or(QDateTime::currentDateTimeUtc()),
        .nickname = review.nickname().value_or(QString()),
        .territory = review.territory().value_or(QString()),
        .rating = review.rating(),
        .isNew = review.isNew(),
        .language = review.language(),
        .translatedBody = review.translatedBody(),
        .translatedTitle = review.translatedTitle(),
        .responseBody = review.responseText(),
        .responseIdentifier = review.responseIdentifier(),
    };
}
}  // namespace

StoreReview::StoreReview(Fields fields, QObject *parent) : QObject(parent), m_fields(std::move(fields))
{
    // Once per record, where it is made (often a worker thread): the lists ask for it on every
    // layout of every row.
    const Fields &f = m_fields;
    m_fingerprint = qHashMulti(0, f.app, f.version, f.title, f.body, f.created, f.nickname, f.territory, f.rating,
                               f.isNew, f.language.has_value(), f.language.value_or(QString()));
    // Records are made on worker threads and live on the GUI thread.
    if (!parent && QCoreApplication::instance())
        moveToThread(QCoreApplication::instance()->thread());
}

StoreReview::StoreReview(const ManagedReview &review) : StoreReview(fieldsOf(review)) {}

QList<std::shared_ptr<StoreReview>> StoreReview::ofApp(platform::store::Context &context,
                                                       const platform::store::FetchRequest<ManagedReview> &request,
                                                       const platform::store::ObjectId &app)
{
    const QString untitled = QStringLiteral("Untitled");
    const ManagedApp *appRow = context.existingObject<ManagedApp>(app);
    const QString appName = appRow ? appRow->name().value_or(untitled) : untitled;
    const std::optional<QString> appIdentifier = appRow ? appRow->identifier() : std::nullopt;
    QHash<qint64, QString> versions;
    for (const auto &[id, text] : context.fetchValues(ManagedAppVersion::fetchRequest().where(ManagedAppVersion::Keys::app == app),
                                                      ManagedAppVersion::Keys::version))
        versions.insert(id.key(), text.value_or(QString()));

    enum Column { Identifier, Title, Body, Created, Nickname, Territory, Rating, IsNew, Language, TranslatedBody,
                  TranslatedTitle, ResponseText, ResponseIdentifier, Version };
    const QStringList columns{QStringLiteral("identifier"), QStringLiteral("title"),          QStringLiteral("body"),
                              QStringLiteral("created"),    QStringLiteral("nickname"),       QStringLiteral("territory"),
                              QStringLiteral("rating"),     QStringLiteral("isNew"),          QStringLiteral("language"),
                              QStringLiteral("translatedBody"), QStringLiteral("translatedTitle"),
                              QStringLiteral("responseText"), QStringLiteral("responseIdentifier"),
                              QStringLiteral("version")};
    QList<std::shared_ptr<StoreReview>> records;
    context.forEachRow(request, columns, [&](const platform::store::RowView &row) {
        const auto text = [&](Column column) -> std::optional<QString> {
            if (row.isNull(column))
                return std::nullopt;
            return QString::fromUtf8(row.bytes(column));
        };
        records.append(std::make_shared<StoreReview>(Fields{
            .id = row.id(),
            .reviewIdentifier = text(Identifier).value_or(QString()),
            .app = appName,
            .appIdentifier = appIdentifier,
            .version = row.isNull(Version) ? QString() : versions.value(row.integer(Version)),
            .title = text(Title).value_or(untitled),
            .body = text(Body).value_or(QString()),
            .created = row.isNull(Created) ? QDateTime::currentDateTimeUtc()
                                           : QDateTime::fromMSecsSinceEpoch(row.integer(Created), Qt::UTC),
            .nickname = text(Nickname).value_or(QString()),
            .territory = text(Territory).value_or(QString()),
            .rating = row.integer(Rating),
            .isNew = row.integer(IsNew) != 0,
            .language = text(Language),
            .translatedBody = text(TranslatedBody),
            .translatedTitle = text(TranslatedTitle),
            .responseBody = text(ResponseText),
            .responseIdentifier = text(ResponseIdentifier),
        }));
    });
    return records;
}

void StoreReview::setTranslation(const std::optional<QString> &title, const std::optional<QString> &body)
{
    if (title == m_fields.translatedTitle && body == m_fields.translatedBody)
        return;
    emit objectWillChange();
    m_fields.translatedTitle = title;
    m_fields.translatedBody = body;
    emit translationChanged();
}

void StoreReview::setResponse(const std::optional<QString> &body, const std::optional<QString> &identifier)
{
    if (body == m_fields.responseBody && identifier == m_fields.responseIdentifier)
        return;
    emit objectWillChange();
    m_fields.responseBody = body;
    m_fields.responseIdentifier = identifier;
    emit responseChanged();
}

void StoreReview::setResponseUncommitedBody(const QString &text)
{
    if (text == m_responseUncommitedBody)
        return;
    emit objectWillChange();
    m_responseUncommitedBody = text;
    emit responseUncommitedBodyChanged();
}

bool StoreReview::isLanguageForeign() const
{
    const QString userLanguage = Translator::userLanguage();
    if (userLanguage.isEmpty() || !m_fields.language)
        return false;
    return m_fields.language->compare(userLanguage, Qt::CaseInsensitive) != 0;
}

std::optional<Credentials> StoreReview::credentials() const
{
    try {
        auto &context = PersistenceController::shared().container().viewContext();
        const std::optional<AccountRow> row = AccountRow::ofReview(context, m_fields.id);
        return row ? row->account()->credentials() : std::nullopt;
    } catch (const std::exception &error) {
        return absentForFailure(error);
    }
}

QFuture<std::optional<Credentials>> StoreReview::loadCredentials() const
{
    using Row = std::optional<AccountRow>;
    try {
        // The rows on a background context, the keychain on a pool of its own.
        return PersistenceController::shared()
            .container()
            .performBackgroundTask([id = m_fields.id](platform::store::Context &context) { return AccountRow::ofReview(context, id); })
            .then(&WorkerPools::keychainReads(),
                  [](const Row &row) { return row ? row->account()->credentials() : std::nullopt; })
            .onFailed(&absentForFailure);
    } catch (const std::exception &error) {
        return QtFuture::makeReadyFuture(absentForFailure(error));
    }
}

}  // namespace Fennick
