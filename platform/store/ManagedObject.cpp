#include "platform/store/ManagedObject.h"

#include "platform/store/Context.h"

namespace platform::store {

ManagedObject::~ManagedObject() = default;

void ManagedObject::access() const
{
    m_context->checkThread();
    m_usedIn = m_context->m_generation;
    if (m_isFault)
        m_context->fulfil(this);
}

const QVariant &ManagedObject::value(int attribute) const
{
    access();
    return m_values[attribute];
}

void ManagedObject::markChanged(int bit)
{
    if (m_state == State::Inserted)
        return;  // an inserted object is written whole
    m_context->markUpdated(this);
    m_changed |= quint64(1) << bit;
}

void ManagedObject::setValue(int attribute, QVariant value)
{
    access();
    if (isDeleted())
        throw StoreError(StoreError::InvalidRequest, QStringLiteral("The request is not valid for this store"),
                         QStringLiteral("changing a deleted object"));
    markChanged(attribute);
    m_values[attribute] = std::move(value);
}

std::optional<QString> ManagedObject::stringValue(int attribute) const
{
    const QVariant &value = this->value(attribute);
    if (!value.isValid())
        return std::nullopt;
    return value.toString();
}

void ManagedObject::setStringValue(int attribute, const std::optional<QString> &value)
{
    if (!value)
        setValue(attribute, QVariant());
    else
        setValue(attribute, value->isNull() ? QStringLiteral("") : *value);
}

std::optional<QByteArray> ManagedObject::dataValue(int attribute) const
{
    const QVariant &value = this->value(attribute);
    if (!value.isValid())
        return std::nullopt;
    return value.toByteArray();
}

void ManagedObject::setDataValue(int attribute, const std::optional<QByteArray> &value)
{
    if (!value)
        setValue(attribute, QVariant());
    else
        setValue(attribute, value->isNull() ? QByteArray("") : *value);
}

std::optional<QDateTime> ManagedObject::dateValue(int attribute) const
{
    const QVariant &value = this->value(attribute);
    if (!value.isValid())
        return std::nullopt;
    return value.toDateTime();
}

void ManagedObject::setDateValue(int attribute, const std::optional<QDateTime> &value)
{
    // Stored with millisecond precision in UTC; keep the object's copy the same as the row's.
    if (!value || !value->isValid())
        setValue(attribute, QVariant());
    else
        setValue(attribute, QDateTime::fromMSecsSinceEpoch(value->toMSecsSinceEpoch(), Qt::UTC));
}

bool ManagedObject::boolValue(int attribute) const
{
    return value(attribute).toBool();
}

void ManagedObject::setBoolValue(int attribute, bool value)
{
    setValue(attribute, value);
}

qint64 ManagedObject::intValue(int attribute) const
{
    return value(attribute).toLongLong();
}

void ManagedObject::setIntValue(int attribute, qint64 value)
{
    setValue(attribute, value);
}

ManagedObject *ManagedObject::toOne(int index) const
{
    access();
    return m_context->existingObject(m_toOne[index]);
}

void ManagedObject::setToOne(int index, ManagedObject *target)
{
    access();
    if (target && target->m_context != m_context)
        throw StoreError(StoreError::InvalidRequest, QStringLiteral("The request is not valid for this store"),
                         QStringLiteral("relationships join objects of one context only"));
    if (isDeleted())
        throw StoreError(StoreError::InvalidRequest, QStringLiteral("The request is not valid for this store"),
                         QStringLiteral("changing a deleted object"));
    markChanged(int(m_values.size()) + index);
    m_toOne[index] = target ? target->m_id : ObjectId();
}

QList<ManagedObject *> ManagedObject::toMany(int relationship) const
{
    access();
    return m_context->relatedObjects(this, relationship);
}

}  // namespace platform::store
