#pragma once

#include "platform/store/Model.h"
#include "platform/store/ObjectId.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QVariant>
#include <optional>

namespace platform::store {

class Context;

// One row as an object of one context. It is used only on its context's thread and lives as
// long as its context; a row deleted in the store leaves the object behind with isDeleted() true.
// An object the context released is a fault: its next read loads the row again (and finds it
// deleted when the row is gone; a failed read throws StoreError). Entity classes derive from it
// and offer typed accessors built on the protected calls below.
class ManagedObject {
public:
    virtual ~ManagedObject();
    ManagedObject(const ManagedObject &) = delete;
    ManagedObject &operator=(const ManagedObject &) = delete;

    const ObjectId &objectId() const { return m_id; }
    Context *context() const { return m_context; }
    const EntityDescription &entity() const { return *m_entity; }

    bool isInserted() const { return m_state == State::Inserted; }
    bool isDeleted() const { return m_state == State::Deleted || m_state == State::Gone; }
    bool hasChanges() const { return m_state == State::Inserted || m_changed != 0 || m_state == State::Deleted; }

protected:
    ManagedObject() = default;

    std::optional<QString> stringValue(int attribute) const;
    void setStringValue(int attribute, const std::optional<QString> &value);
    std::optional<QByteArray> dataValue(int attribute) const;
    void setDataValue(int attribute, const std::optional<QByteArray> &value);
    std::optional<QDateTime> dateValue(int attribute) const;
    void setDateValue(int attribute, const std::optional<QDateTime> &value);
    bool boolValue(int attribute) const;
    void setBoolValue(int attribute, bool value);
    qint64 intValue(int attribute) const;
    void setIntValue(int attribute, qint64 value);

    // `toOne` counts the to-one relationships of the entity in their declared order.
    ManagedObject *toOne(int toOne) const;
    void setToOne(int toOne, ManagedObject *target);
    // `relationship` is the index among all relationships of the entity.
    QList<ManagedObject *> toMany(int relationship) const;

    template <class T>
    T *toOneAs(int index) const
    {
        return dynamic_cast<T *>(toOne(index));
    }
    template <class T>
    QList<T *> toManyAs(int relationship) const
    {
        QList<T *> result;
        for (ManagedObject *object : toMany(relationship)) {
            if (T *typed = dynamic_cast<T *>(object))
                result.append(typed);
        }
        return result;
    }

private:
    friend class Context;
    enum class State { Clean, Inserted, Deleted, Gone };

    void setValue(int attribute, QVariant value);
    const QVariant &value(int attribute) const;
    void markChanged(int bit);
    // Every access: on the context's thread, counted as a use, a fault loaded first.
    void access() const;

    Context *m_context = nullptr;
    const EntityDescription *m_entity = nullptr;
    ObjectId m_id;
    State m_state = State::Clean;
    QVariantList m_values;          // by attribute index; an invalid variant is "absent"
    QList<ObjectId> m_toOne;        // by to-one index; a null id is "none"
    quint64 m_changed = 0;          // bits: attributes, then to-one relationships
    bool m_isFault = false;         // values and to-one ids not loaded
    mutable quint64 m_usedIn = 0;   // the context's generation of the last access
    mutable QHash<int, QList<ObjectId>> m_toManyCache;
};

}  // namespace platform::store
