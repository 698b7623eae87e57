#include "platform/store/FetchRequest.h"

#include "platform/store/ManagedObject.h"

namespace platform::store {

Predicate RelationshipKey::operator==(const ManagedObject *object) const
{
    return *this == (object ? object->objectId() : ObjectId());
}

Predicate containsText(std::initializer_list<AttributeKey<QString>> attributes, const QString &text)
{
    Condition condition{Condition::ContainsText, {}, {}, {}, text};
    for (const AttributeKey<QString> &attribute : attributes)
        condition.keys.append(attribute.name());
    return Predicate(std::move(condition));
}

}  // namespace platform::store
