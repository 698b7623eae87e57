#pragma once

#include "platform/store/ObjectId.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <initializer_list>
#include <optional>

namespace platform::store {

class ManagedObject;
class Predicate;
struct SortDescriptor;

// One condition of a fetch. Built through the key types below, never written by hand.
struct Condition {
    enum Kind { Equals, In, IsNull, IsNotNull, RelatedTo, ContainsText };
    Kind kind = Equals;
    QStringList keys;       // one key, or the searched attributes of ContainsText
    QVariantList values;    // Equals: one value; In: the set
    ObjectId related;       // RelatedTo
    QString text;           // ContainsText
};

// All of its conditions must hold; an empty predicate matches every row.
class Predicate {
public:
    Predicate() = default;
    explicit Predicate(Condition condition) { m_conditions.append(std::move(condition)); }

    const QList<Condition> &conditions() const { return m_conditions; }
    bool isEmpty() const { return m_conditions.isEmpty(); }

    friend Predicate operator&&(Predicate a, const Predicate &b)
    {
        a.m_conditions.append(b.m_conditions);
        return a;
    }

private:
    QList<Condition> m_conditions;
};

struct SortDescriptor {
    QString key;
    bool ascending = true;
};

// An attribute of value type V (QString, QByteArray, QDateTime, bool or qint64).
template <class V>
class AttributeKey {
public:
    explicit AttributeKey(const char *name) : m_name(QString::fromLatin1(name)) {}
    const QString &name() const { return m_name; }

    Predicate operator==(const V &value) const
    {
        return Predicate(Condition{Condition::Equals, {m_name}, {QVariant::fromValue(value)}, {}, {}});
    }
    Predicate in(const QList<V> &set) const
    {
        QVariantList values;
        for (const V &value : set)
            values.append(QVariant::fromValue(value));
        return Predicate(Condition{Condition::In, {m_name}, values, {}, {}});
    }
    Predicate isNull() const { return Predicate(Condition{Condition::IsNull, {m_name}, {}, {}, {}}); }
    Predicate isNotNull() const
    {
        return Predicate(Condition{Condition::IsNotNull, {m_name}, {}, {}, {}});
    }
    SortDescriptor ascending() const { return {m_name, true}; }
    SortDescriptor descending() const { return {m_name, false}; }

private:
    QString m_name;
};

// A relationship: compared with an object id (to-one only), prefetched, or grouped by in counts.
class RelationshipKey {
public:
    explicit RelationshipKey(const char *name) : m_name(QString::fromLatin1(name)) {}
    const QString &name() const { return m_name; }

    Predicate operator==(const ObjectId &id) const
    {
        return Predicate(Condition{Condition::RelatedTo, {m_name}, {}, id, {}});
    }
    Predicate operator==(const ManagedObject *object) const;

private:
    QString m_name;
};

// True when any of the text attributes contains `text`, ignoring case and diacritics. The
// attributes must be declared searchable.
Predicate containsText(std::initializer_list<AttributeKey<QString>> attributes, const QString &text);

class FetchRequestBase {
public:
    explicit FetchRequestBase(QString entity) : m_entity(std::move(entity)) {}

    const QString &entity() const { return m_entity; }
    const Predicate &predicate() const { return m_predicate; }
    const QList<SortDescriptor> &sortDescriptors() const { return m_sort; }
    std::optional<int> fetchLimit() const { return m_limit; }
    const QStringList &prefetchedRelationships() const { return m_prefetch; }

protected:
    QString m_entity;
    Predicate m_predicate;
    QList<SortDescriptor> m_sort;
    std::optional<int> m_limit;
    QStringList m_prefetch;
};

// A fetch of the rows of entity T. Conditions added with where() all must hold.
template <class T>
class FetchRequest : public FetchRequestBase {
public:
    FetchRequest() : FetchRequestBase(QString::fromLatin1(T::entityName)) {}

    FetchRequest &where(const Predicate &predicate)
    {
        m_predicate = m_predicate && predicate;
        return *this;
    }
    FetchRequest &sortedBy(SortDescriptor sort)
    {
        m_sort.append(std::move(sort));
        return *this;
    }
    FetchRequest &limit(int count)
    {
        m_limit = count;
        return *this;
    }
    FetchRequest &prefetch(const RelationshipKey &relationship)
    {
        m_prefetch.append(relationship.name());
        return *this;
    }
};

}  // namespace platform::store
