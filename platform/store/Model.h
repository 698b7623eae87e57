#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace platform::store {

class ManagedObject;
class MigrationStep;

enum class AttributeType {
    String,  // optional text
    Data,    // optional bytes
    Date,    // optional point in time, stored as milliseconds since 1970 (UTC)
    Bool,    // scalar, false when never set
    Int64,   // scalar, 0 when never set
};

struct Attribute {
    QString name;
    AttributeType type = AttributeType::String;
    bool indexed = false;
    // Text that case- and diacritic-insensitive search looks at; a folded copy is stored with it.
    bool searchable = false;
};

// A to-one relationship names the row's owner: deleting the owner deletes the row (in the same
// transaction, also when another process deletes it). A to-many relationship is the inverse view
// of a to-one relationship of its target entity and stores nothing of its own.
struct Relationship {
    enum Kind { ToOne, ToMany };
    QString name;
    Kind kind = ToOne;
    QString target;
    QString inverse;  // for ToMany: the to-one relationship of `target` that points back
    bool indexed = false;
};

// No two rows share a value of `attribute` under one target of the to-one relationship
// `within`; rows without the value, or without that owner, are not bound by it.
struct UniqueConstraint {
    QString attribute;
    QString within;
};

// An index over several keys (attributes or to-one relationships), in order. It finds the rows
// with given values of its leading keys and hands them over in the order of the next key, so a
// fetch with those conditions, sorted by that key, reads no other row and sorts nothing. It
// also serves every look-up by its first key alone.
struct CompoundIndex {
    QStringList keys;
};

struct EntityDescription {
    QString name;
    QList<Attribute> attributes;
    QList<Relationship> relationships;
    std::function<ManagedObject *()> make;
    std::optional<UniqueConstraint> unique = std::nullopt;
    QList<CompoundIndex> compoundIndexes = {};

    int attributeIndex(const QString &attribute) const;
    int relationshipIndex(const QString &relationship) const;
    // Position among the to-one relationships only (the order in which objects keep them).
    int toOneIndex(const QString &relationship) const;
    QList<const Relationship *> toOneRelationships() const;
};

// A schema step from `fromVersion` to `fromVersion + 1`, run inside the opening transaction
// (see Migration.h for what a step can do).
struct Migration {
    int fromVersion = 0;
    std::function<void(MigrationStep &)> run;
};

// Entities are listed owners first: an entity's to-one targets come before it.
struct Model {
    int version = 1;
    QList<EntityDescription> entities;
    QList<Migration> migrations;

    const EntityDescription *entity(const QString &name) const;
};

}  // namespace platform::store
