#include "platform/store/Model.h"

namespace platform::store {

int EntityDescription::attributeIndex(const QString &attribute) const
{
    for (int i = 0; i < attributes.size(); ++i) {
        if (attributes[i].name == attribute)
            return i;
    }
    return -1;
}

int EntityDescription::relationshipIndex(const QString &relationship) const
{
    for (int i = 0; i < relationships.size(); ++i) {
        if (relationships[i].name == relationship)
            return i;
    }
    return -1;
}

int EntityDescription::toOneIndex(const QString &relationship) const
{
    int index = 0;
    for (const Relationship &r : relationships) {
        if (r.kind != Relationship::ToOne)
            continue;
        if (r.name == relationship)
            return index;
        ++index;
    }
    return -1;
}

QList<const Relationship *> EntityDescription::toOneRelationships() const
{
    QList<const Relationship *> result;
    for (const Relationship &r : relationships) {
        if (r.kind == Relationship::ToOne)
            result.append(&r);
    }
    return result;
}

const EntityDescription *Model::entity(const QString &name) const
{
    for (const EntityDescription &e : entities) {
        if (e.name == name)
            return &e;
    }
    return nullptr;
}

}  // namespace platform::store
