#include "Fennick/Account.h"

#include "Fennick/AccountRow.h"
#include "Fennick/Analytics.h"
#include "Fennick/Log.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/PersistenceController.h"
#include "Fennick/WorkerPools.h"
#include "platform/keychain/Keychain.h"

#include <QCoreApplication>
#include <QMutex>
#include <QSet>

namespace Fennick {
namespace {
// The rows whose accounts were removed in this process. A row key is never given out twice, so
// an id here can name no later account.
struct RemovedRows {
    QMutex mutex;
    QSet<platform::store::ObjectId> ids;
};

RemovedRows &removedRows()
{
    static RemovedRows rows;
    return rows;
}

QString issuerKey(const QString &id) { return QStringLiteral("issuer.") + id; }
QString keyIdKey(const QString &id) { return QStringLiteral("key.") + id; }
QString blobKey(const QString &id) { return QStringLiteral("blob.") + id; }
}  // namespace

Account::Account(std::optional<platform::store::ObjectId> objectId, QString name, QString issuerId, QString keyId,
                 std::optional<QByteArray> keyBlob, QObject *parent)
    : QObject(parent), m_objectId(std::move(objectId)), m_name(std::move(name)), m_issuerId(std::move(issuerId)),
      m_keyId(std::move(keyId)), m_keyBlob(std::move(keyBlob))
{
    if (m_objectId)
        loadFromKeychain(m_objectId->uriString());
}

Account::Account(const AccountRow &row, QObject *parent)
    : Account(row.id, row.name, row.issuerId, row.keyId, row.keyBlob, parent)
{
}

Account::Account(const ManagedAccount &managed, QObject *parent) : Account(AccountRow::of(managed), parent) {}

QFuture<std::shared_ptr<Account>> Account::load(const platform::store::ObjectId &id)
{
    using Row = std::optional<AccountRow>;
    try {
        // The row on a background context, the keychain on a pool of its own.
        return PersistenceController::shared()
            .container()
            .performBackgroundTask([id](platform::store::Context &context) -> Row {
                const auto *row = context.existingObject<ManagedAccount>(id);
                return row ? Row(AccountRow::of(*row)) : std::nullopt;
            })
            .then(&WorkerPools::keychainReads(), [](const Row &row) -> std::shared_ptr<Account> {
                if (!row)
                    return nullptr;
                std::shared_ptr<Account> account = row->account();
                if (QCoreApplication::instance())
                    account->moveToThread(QCoreApplication::instance()->thread());
                return account;
            });
    } catch (...) {
        return QtFuture::makeExceptionalFuture<std::shared_ptr<Account>>(std::current_exception());
    }
}

QString Account::id() const
{
    return m_objectId ? m_objectId->uriString() : m_localUuid.toString(QUuid::WithoutBraces).toUpper();
}

void Account::adoptObjectId(const platform::store::ObjectId &id)
{
    if (m_objectId)
        return;
    emit objectWillChange();
    m_objectId = id;
}

bool Account::isRemoved() const
{
    if (m_isRemoved)
        return true;
    if (!m_objectId)
        return false;
    RemovedRows &removed = removedRows();
    const QMutexLocker lock(&removed.mutex);
    return removed.ids.contains(*m_objectId);
}

void Account::markRemoved()
{
    m_isRemoved = true;
    if (!m_objectId)
        return;
    RemovedRows &removed = removedRows();
    const QMutexLocker lock(&removed.mutex);
    removed.ids.insert(*m_objectId);
}

template <class T>
void Account::change(T &field, const T &value, void (Account::*changed)())
{
    if (field == value)
        return;
    emit objectWillChange();
    field = value;
    emit(this->*changed)();
}

void Account::setIsNew(bool value) { change(m_isNew, value, &Account::isNewChanged); }
void Account::setName(const QString &value) { change(m_name, value, &Account::nameChanged); }
void Account::setIssuerId(const QString &value) { change(m_issuerId, value, &Account::issuerIdChanged); }
void Account::setKeyId(const QString &value) { change(m_keyId, value, &Account::keyIdChanged); }
void Account::setKeyBlob(const std::optional<QByteArray> &value) { change(m_keyBlob, value, &Account::keyBlobChanged); }

std::optional<Credentials> Account::credentials() const
{
    if (!m_keyBlob)
        return std::nullopt;
    return Credentials{m_keyId, m_issuerId, *m_keyBlob};
}

bool Account::saveToKeychain(const QString &id)
{
    const platform::Keychain keychain(keychainService);
    try {
        keychain.setText(issuerKey(id), m_issuerId);
        keychain.setText(keyIdKey(id), m_keyId);
        if (m_keyBlob)  // without bytes, an earlier "blob." item keeps its value
            keychain.setData(blobKey(id), *m_keyBlob);
        return true;
    } catch (const std::exception &error) {
        qCCritical(Log::model(), "Could not save Keychain item: %s",
                   qUtf8Printable(platform::Error::from(error).localizedDescription()));
        TrackError(error, QStringLiteral("KeychainSave"));
        return false;
    }
}

void Account::loadFromKeychain(const QString &id)
{
    const platform::Keychain keychain(keychainService);
    try {
        if (const auto issuer = keychain.text(issuerKey(id)); issuer && !issuer->isEmpty())
            setIssuerId(*issuer);
        if (const auto key = keychain.text(keyIdKey(id)); key && !key->isEmpty())
            setKeyId(*key);
        if (const auto blob = keychain.data(blobKey(id)); blob && !blob->isEmpty())
            setKeyBlob(*blob);
    } catch (const std::exception &error) {
        qCCritical(Log::model(), "Could not load Keychain item: %s",
                   qUtf8Printable(platform::Error::from(error).localizedDescription()));
        TrackError(error, QStringLiteral("KeychainLoad"));
    }
}

}  // namespace Fennick
