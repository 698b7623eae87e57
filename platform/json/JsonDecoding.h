#pragma once

#include "platform/Error.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <optional>

namespace platform::json {

// A reply that does not have the expected shape. The description names the member and where it
// sits ("data[2].attributes.rating"); the codes are those the platform gives its decoder's errors.
class DecodingError : public Error {
public:
    enum class Kind { keyNotFound, valueNotFound, typeMismatch, dataCorrupted };

    static inline const QString errorDomain = QStringLiteral("NSCocoaErrorDomain");
    static constexpr qint64 valueNotFoundCode = 4865;
    static constexpr qint64 readCorruptCode = 4864;

    DecodingError(Kind kind, QString codingPath, const QString &detail);

    Kind kind() const noexcept { return m_kind; }
    const QString &codingPath() const noexcept { return m_path; }

    void raise() const override { throw *this; }
    DecodingError *clone() const override { return new DecodingError(*this); }

private:
    Kind m_kind;
    QString m_path;
};

// Strict reading of one JSON object: a required member must exist with the right JSON type; an
// optional member that is missing or null reads as absent; members not asked for are ignored.
class ObjectReader {
public:
    ObjectReader(QJsonObject object, QString path);

    // The whole body as one JSON object, or DecodingError (dataCorrupted).
    static ObjectReader parse(const QByteArray &body);
    // The whole body as a JSON array whose elements must be objects; decode(reader) makes each
    // element's value ("[2].translations" names a member in errors).
    template<typename Decode>
    static auto parseArray(const QByteArray &body, Decode decode)
    {
        return ObjectReader(QJsonObject(), QString()).decodeArray(parseDocument(body, true).array(), QString(), decode);
    }

    const QString &path() const noexcept { return m_path; }
    const QJsonObject &object() const noexcept { return m_object; }

    QString requiredString(const QString &key) const;
    std::optional<QString> optionalString(const QString &key) const;
    // A JSON number without a fraction that fits 64 bits; 4.5, "4" and true all fail.
    qint64 requiredInteger(const QString &key) const;
    ObjectReader requiredObject(const QString &key) const;
    std::optional<ObjectReader> optionalObject(const QString &key) const;

    // Each element must be an object; decode(reader) makes the element's value.
    template<typename Decode>
    auto requiredArray(const QString &key, Decode decode) const
    {
        return decodeArray(*arrayValue(key, true), key, decode);
    }
    template<typename Decode>
    auto optionalArray(const QString &key, Decode decode) const
    {
        using List = decltype(decodeArray(QJsonArray(), key, decode));
        const std::optional<QJsonArray> array = arrayValue(key, false);
        return array ? std::optional<List>(decodeArray(*array, key, decode)) : std::optional<List>();
    }

private:
    template<typename Decode>
    auto decodeArray(const QJsonArray &array, const QString &key, Decode decode) const
    {
        QList<decltype(decode(std::declval<const ObjectReader &>()))> result;
        result.reserve(array.size());
        const QString base = memberPath(key);
        for (qsizetype index = 0; index < array.size(); ++index)
            result.append(decode(elementReader(array.at(index), base + u'[' + QString::number(index) + u']')));
        return result;
    }

    static QJsonDocument parseDocument(const QByteArray &body, bool array);
    QString memberPath(const QString &key) const;
    // Absent (only when optional) for a missing or null member.
    std::optional<QJsonValue> member(const QString &key, bool required) const;
    std::optional<QJsonArray> arrayValue(const QString &key, bool required) const;
    ObjectReader elementReader(const QJsonValue &value, const QString &path) const;

    QJsonObject m_object;
    QString m_path;
};

}  // namespace platform::json
