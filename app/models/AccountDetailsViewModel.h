#pragma once

#include "Fennick/Account.h"
#include "platform/store/ObjectId.h"

#include <QFuture>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <memory>
#include <optional>

namespace Vantorel {

// The sign-in form of one account: reads the key file, tests the key by listing the account's
// apps and, when at least one comes back, saves the account (name in the store, key material in
// the keychain only). GUI thread only; the request and the keychain write run on a pool, the
// store write on a background context.
class AccountDetailsViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canSignIn READ canSignIn NOTIFY canSignInChanged)
    Q_PROPERTY(bool isSigningIn READ isSigningIn NOTIFY isSigningInChanged)

public:
    // Key files are a few hundred bytes; anything larger than this is not one.
    static constexpr qint64 maximumKeyFileSize = 1024 * 1024;

    explicit AccountDetailsViewModel(std::shared_ptr<Fennick::Account> account, QObject *parent = nullptr);
    ~AccountDetailsViewModel() override;

    const std::shared_ptr<Fennick::Account> &account() const { return m_account; }

    // Name, issuer id and key id filled, key bytes read (of any length) and no sign-in running.
    bool canSignIn() const;
    bool isSigningIn() const { return m_isSigningIn; }

    // Reads the chosen key file into the account. A file that cannot be read, or is larger than
    // maximumKeyFileSize, leaves the key bytes as they were and the reason goes to standard
    // output. The bytes are not checked here: a file that holds no usable key fails at sign-in.
    void importKeyFile(const QString &path);

    // Tests the key and saves the account. Without key bytes it does nothing. On success a new
    // account posts "reviews.storeAccountAdded" and asks to be dismissed, a stored one posts
    // "reviews.storeAccountUpdated"; a key without apps saves nothing, and neither does an account
    // removed before the key was tested. Finishes when all is done, which may be after this model
    // is gone.
    QFuture<void> signIn();

    // The App Store Connect page on which API keys are made.
    static QUrl keysPageUrl();

signals:
    void canSignInChanged();
    void isSigningInChanged();
    // A sign-in failed with this (never empty) text.
    void alertRequested(const QString &description);
    // A new account has signed in and is stored: the form has done its work.
    void dismissRequested();

private:
    // Writes the store row on a background context, then the keychain items of the tested key
    // on a pool. Nothing is written for an account that was removed meanwhile.
    static QFuture<void> saveAccount(const std::shared_ptr<Fennick::Account> &account,
                                     const Fennick::Credentials &tested, const QPointer<AccountDetailsViewModel> &self);
    // The keychain step of saveAccount(), then the announcement unless the account was removed.
    static QFuture<void> saveKeys(const std::shared_ptr<Fennick::Account> &account, const Fennick::Credentials &tested,
                                  const QPointer<AccountDetailsViewModel> &self);
    static QFuture<void> deleteRow(const platform::store::ObjectId &row);
    static void fail(const QPointer<AccountDetailsViewModel> &self, const std::exception &error);
    void setSigningIn(bool value);
    void updateCanSignIn();

    std::shared_ptr<Fennick::Account> m_account;
    bool m_isSigningIn = false;
    bool m_canSignIn = false;
};

}  // namespace Vantorel
