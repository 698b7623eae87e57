#include "Fennick/AccountRow.h"

#include "Fennick/Account.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "platform/store/Context.h"

namespace Fennick {

AccountRow AccountRow::of(const ManagedAccount &row)
{
    return {row.objectId(), row.name().value_or(QStringLiteral("Untitled")), row.issuerId().value_or(QString()),
            row.keyId().value_or(QString()), row.keyBlob()};
}

std::optional<AccountRow> AccountRow::ofReview(platform::store::Context &context, const platform::store::ObjectId &review)
{
    const auto *row = context.existingObject<ManagedReview>(review);
    const ManagedAccount *account = row ? row->account() : nullptr;
    if (!account)
        return std::nullopt;
    return of(*account);
}

std::shared_ptr<Account> AccountRow::account() const
{
    return std::make_shared<Account>(id, name, issuerId, keyId, keyBlob);
}

}  // namespace Fennick
