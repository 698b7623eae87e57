#include "platform/store/ObjectId.h"

#include <QRegularExpression>
#include <atomic>

namespace platform::store {

namespace {
const QString scheme = QStringLiteral("x-vantorel-store://");
std::atomic<qint64> nextTemporaryKey{1};
}  // namespace

ObjectId::ObjectId(QUuid store, QString entity, qint64 key)
    : m_store(store), m_entity(std::move(entity)), m_key(key)
{
}

ObjectId ObjectId::temporary(const QString &entity)
{
    return ObjectId(QUuid(), entity.isEmpty() ? QStringLiteral("Object") : entity,
                    nextTemporaryKey.fetch_add(1));
}

QString ObjectId::uriString() const
{
    if (isNull())
        return {};
    if (isTemporary())
        return scheme + QStringLiteral("temporary/%1/t%2").arg(m_entity).arg(m_key);
    return scheme + QStringLiteral("%1/%2/p%3")
                        .arg(m_store.toString(QUuid::WithoutBraces), m_entity)
                        .arg(m_key);
}

ObjectId ObjectId::fromUriString(const QString &uri)
{
    static const QRegularExpression pattern(
        QStringLiteral("^x-vantorel-store://([0-9a-f-]{36})/([A-Za-z_][A-Za-z0-9_]*)/p([1-9][0-9]*)$"));
    const QRegularExpressionMatch match = pattern.match(uri);
    if (!match.hasMatch())
        return {};
    const QUuid store = QUuid::fromString(match.captured(1));
    bool ok = false;
    const qint64 key = match.captured(3).toLongLong(&ok);
    if (store.isNull() || !ok)
        return {};
    return ObjectId(store, match.captured(2), key);
}

}  // namespace platform::store
