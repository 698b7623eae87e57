#include "platform/json/JsonDecoding.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonParseError>

#include <cmath>

namespace platform::json {

namespace {

QString text(const char *source)
{
    return QCoreApplication::translate("platform::json", source);
}

qint64 codeOf(DecodingError::Kind kind)
{
    return kind == DecodingError::Kind::keyNotFound || kind == DecodingError::Kind::valueNotFound
               ? DecodingError::valueNotFoundCode
               : DecodingError::readCorruptCode;
}

QString typeName(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null: return QStringLiteral("null");
    case QJsonValue::Bool: return QStringLiteral("a boolean");
    case QJsonValue::Double: return QStringLiteral("a number");
    case QJsonValue::String: return QStringLiteral("a string");
    case QJsonValue::Array: return QStringLiteral("an array");
    case QJsonValue::Object: return QStringLiteral("an object");
    case QJsonValue::Undefined: break;
    }
    return QStringLiteral("nothing");
}

DecodingError mismatch(const QString &path, const char *expected, const QJsonValue &found)
{
    return DecodingError(DecodingError::Kind::typeMismatch, path,
                         text("expected %1 but found %2").arg(text(expected), typeName(found)));
}

}  // namespace

DecodingError::DecodingError(Kind kind, QString codingPath, const QString &detail)
    : Error(errorDomain, codeOf(kind),
            codingPath.isEmpty() ? text("The data couldn’t be read: %1.").arg(detail)
                                 : text("The data couldn’t be read: \"%1\": %2.").arg(codingPath, detail)),
      m_kind(kind), m_path(std::move(codingPath))
{
}

ObjectReader::ObjectReader(QJsonObject object, QString path) : m_object(std::move(object)), m_path(std::move(path)) {}

QJsonDocument ObjectReader::parseDocument(const QByteArray &body, bool array)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        throw DecodingError(DecodingError::Kind::dataCorrupted, QString(),
                            text("the reply is not valid JSON (%1 at offset %2)")
                                .arg(error.errorString())
                                .arg(error.offset));
    if (array && !document.isArray())
        throw DecodingError(DecodingError::Kind::dataCorrupted, QString(), text("the reply is not a JSON array"));
    if (!array && !document.isObject())
        throw DecodingError(DecodingError::Kind::dataCorrupted, QString(), text("the reply is not a JSON object"));
    return document;
}

ObjectReader ObjectReader::parse(const QByteArray &body)
{
    return ObjectReader(parseDocument(body, false).object(), QString());
}

QString ObjectReader::memberPath(const QString &key) const
{
    return m_path.isEmpty() ? key : m_path + u'.' + key;
}

std::optional<QJsonValue> ObjectReader::member(const QString &key, bool required) const
{
    const auto found = m_object.constFind(key);
    if (found == m_object.constEnd()) {
        if (required)
            throw DecodingError(DecodingError::Kind::keyNotFound, memberPath(key), text("the member is missing"));
        return std::nullopt;
    }
    if (found->isNull()) {
        if (required)
            throw DecodingError(DecodingError::Kind::valueNotFound, memberPath(key), text("the value is null"));
        return std::nullopt;
    }
    return *found;
}

QString ObjectReader::requiredString(const QString &key) const
{
    const QJsonValue value = *member(key, true);
    if (!value.isString())
        throw mismatch(memberPath(key), "a string", value);
    return value.toString();
}

std::optional<QString> ObjectReader::optionalString(const QString &key) const
{
    const std::optional<QJsonValue> value = member(key, false);
    if (!value)
        return std::nullopt;
    if (!value->isString())
        throw mismatch(memberPath(key), "a string", *value);
    return value->toString();
}

qint64 ObjectReader::requiredInteger(const QString &key) const
{
    const QJsonValue value = *member(key, true);
    if (!value.isDouble())
        throw mismatch(memberPath(key), "an integer", value);
    const double number = value.toDouble();
    // 2^63 is the first double beyond qint64; anything with a fraction is not an integer.
    if (std::trunc(number) != number || number < -9223372036854775808.0 || number >= 9223372036854775808.0)
        throw DecodingError(DecodingError::Kind::typeMismatch, memberPath(key),
                            text("expected an integer but found %1").arg(number));
    return value.toInteger();
}

ObjectReader ObjectReader::requiredObject(const QString &key) const
{
    const QJsonValue value = *member(key, true);
    if (!value.isObject())
        throw mismatch(memberPath(key), "an object", value);
    return ObjectReader(value.toObject(), memberPath(key));
}

std::optional<ObjectReader> ObjectReader::optionalObject(const QString &key) const
{
    const std::optional<QJsonValue> value = member(key, false);
    if (!value)
        return std::nullopt;
    if (!value->isObject())
        throw mismatch(memberPath(key), "an object", *value);
    return ObjectReader(value->toObject(), memberPath(key));
}

std::optional<QJsonArray> ObjectReader::arrayValue(const QString &key, bool required) const
{
    const std::optional<QJsonValue> value = member(key, required);
    if (!value)
        return std::nullopt;
    if (!value->isArray())
        throw mismatch(memberPath(key), "an array", *value);
    return value->toArray();
}

ObjectReader ObjectReader::elementReader(const QJsonValue &value, const QString &path) const
{
    if (!value.isObject())
        throw mismatch(path, "an object", value);
    return ObjectReader(value.toObject(), path);
}

}  // namespace platform::json
