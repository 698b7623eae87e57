#pragma once

#include "Fennick/Credentials.h"
#include "platform/store/ObjectId.h"

#include <QFuture>
#include <QObject>
#include <QUuid>
#include <memory>
#include <optional>

namespace Fennick {

class ManagedAccount;
struct AccountRow;

// One App Store Connect API key under a name. The key material lives in the keychain under the
// account row's object URI; the row itself keeps the key fields empty.
class Account : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isNew READ isNew WRITE setIsNew NOTIFY isNewChanged)
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(QString issuerId READ issuerId WRITE setIssuerId NOTIFY issuerIdChanged)
    Q_PROPERTY(QString keyId READ keyId WRITE setKeyId NOTIFY keyIdChanged)

public:
    static inline const QString keychainService = QStringLiteral("com.Vantorel.Vantorel");

    // With a row id, the keychain items of that row replace the values passed in.
    Account(std::optional<platform::store::ObjectId> objectId, QString name, QString issuerId, QString keyId,
            std::optional<QByteArray> keyBlob, QObject *parent = nullptr);
    // Reads the row on its context's thread: "Untitled" for a missing name, empty texts for
    // missing ids, the key bytes as stored. Reads the keychain there too: for worker threads.
    explicit Account(const ManagedAccount &managed, QObject *parent = nullptr);
    explicit Account(const AccountRow &row, QObject *parent = nullptr);

    // The account of a stored row with its key, for the GUI thread: the row is read on a
    // background context and the keychain on a pool (it may be locked and prompting), and the
    // account is handed over living on the GUI thread; null when the row is gone. The call never
    // throws; when the store cannot be read, the future carries the error.
    static QFuture<std::shared_ptr<Account>> load(const platform::store::ObjectId &id);

    const std::optional<platform::store::ObjectId> &objectId() const { return m_objectId; }
    // The row's object URI, or the local UUID for an account not saved yet.
    QString id() const;
    // The row that the first save of a new account made; an account that has a row keeps it.
    void adoptObjectId(const platform::store::ObjectId &id);

    // The user removed this account: a sign-in that is still running must not store it again.
    // A stored account's removal counts for every Account of its row in the process, so that a
    // sign-in started in one list hears of a removal made in another.
    bool isRemoved() const;
    void markRemoved();

    bool isNew() const { return m_isNew; }
    void setIsNew(bool value);
    const QString &name() const { return m_name; }
    void setName(const QString &value);
    const QString &issuerId() const { return m_issuerId; }
    void setIssuerId(const QString &value);
    const QString &keyId() const { return m_keyId; }
    void setKeyId(const QString &value);
    const std::optional<QByteArray> &keyBlob() const { return m_keyBlob; }
    void setKeyBlob(const std::optional<QByteArray> &value);

    // Absent when there are no key bytes; present (even if empty) otherwise.
    std::optional<Credentials> credentials() const;

    // Writes the issuer id, key id and (when present) key bytes under `id`; false after the
    // first failed write, which is logged and reported.
    bool saveToKeychain(const QString &id);
    // Reads the items of `id`; values that are missing or empty leave the property as it is.
    void loadFromKeychain(const QString &id);

    friend bool operator==(const Account &a, const Account &b) { return a.id() == b.id(); }

signals:
    // Sent before any observable property changes.
    void objectWillChange();
    void isNewChanged();
    void nameChanged();
    void issuerIdChanged();
    void keyIdChanged();
    void keyBlobChanged();

private:
    template <class T>
    void change(T &field, const T &value, void (Account::*changed)());

    std::optional<platform::store::ObjectId> m_objectId;
    const QUuid m_localUuid = QUuid::createUuid();
    bool m_isNew = false;
    bool m_isRemoved = false;
    QString m_name;
    QString m_issuerId;
    QString m_keyId;
    std::optional<QByteArray> m_keyBlob;
};

inline size_t qHash(const Account &account, size_t seed = 0)
{
    return qHash(account.id(), seed);
}

}  // namespace Fennick
