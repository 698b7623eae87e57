#pragma once

#include <QHash>
#include <QString>
#include <QUuid>
#include <functional>

namespace platform::store {

// Names one row of one entity in one store file. Stored ids carry the store's UUID (kept in the
// file), the entity name and the row key, so their URI string survives restarts. A temporary id
// names no stored row: objects inserted but not yet saved have one, and so can callers that need
// an id for something that never reaches the store.
class ObjectId {
public:
    ObjectId() = default;
    ObjectId(QUuid store, QString entity, qint64 key);
    static ObjectId temporary(const QString &entity);

    bool isNull() const { return m_entity.isEmpty(); }
    bool isTemporary() const { return !isNull() && m_store.isNull(); }
    const QUuid &storeId() const { return m_store; }
    const QString &entity() const { return m_entity; }
    qint64 key() const { return m_key; }

    // "x-vantorel-store://<store uuid>/<Entity>/p<key>"; temporary ids use "t" instead of "p"
    // and no store.
    QString uriString() const;
    // The id a string from uriString() stands for; a null id when the text is not one.
    static ObjectId fromUriString(const QString &uri);

    friend bool operator==(const ObjectId &a, const ObjectId &b)
    {
        return a.m_key == b.m_key && a.m_store == b.m_store && a.m_entity == b.m_entity;
    }
    friend bool operator!=(const ObjectId &a, const ObjectId &b) { return !(a == b); }

private:
    QUuid m_store;
    QString m_entity;
    qint64 m_key = 0;
};

inline size_t qHash(const ObjectId &id, size_t seed = 0)
{
    return qHashMulti(seed, id.storeId(), id.entity(), id.key());
}

}  // namespace platform::store

template <>
struct std::hash<platform::store::ObjectId> {
    size_t operator()(const platform::store::ObjectId &id) const noexcept { return qHash(id); }
};
