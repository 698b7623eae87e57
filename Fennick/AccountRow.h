#pragma once

#include "platform/store/ObjectId.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

namespace platform::store {
class Context;
}

namespace Fennick {

class Account;
class ManagedAccount;

// The values of an "Account" row, read on its context's thread, from which an Account with its
// key is made elsewhere: reading the keychain may wait for the user, and must hold up neither
// the GUI thread nor a context.
struct AccountRow {
    platform::store::ObjectId id;
    QString name;
    QString issuerId;
    QString keyId;
    std::optional<QByteArray> keyBlob;

    // "Untitled" for a missing name, empty texts for missing ids, the key bytes as stored.
    static AccountRow of(const ManagedAccount &row);
    // The account of a review, when the review and its account are still there.
    static std::optional<AccountRow> ofReview(platform::store::Context &context, const platform::store::ObjectId &review);

    // The account with the keychain's values for the row; reads the keychain.
    std::shared_ptr<Account> account() const;
};

}  // namespace Fennick
