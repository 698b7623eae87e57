#include "platform/json/JsonDecoding.h"

#include <QAnyStringView>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonParseError>

#include <simdjson.h>

#include <cmath>
#include <cstring>
#include <type_traits>

namespace platform::json {

namespace dom = simdjson::dom;

// The parsed tape and strings that every reader of one reply points into.
struct ObjectReader::Document {
    dom::document parsed;

    // Copied in and out as bytes, so alignment does not matter.
    static_assert(std::is_trivially_copyable_v<dom::object> && sizeof(dom::object) <= sizeof(Handle));

    static Handle handleOf(dom::object object)
    {
        Handle handle;
        std::memcpy(handle.data(), &object, sizeof object);
        return handle;
    }

    static dom::object objectOf(const Handle &handle)
    {
        dom::object object;
        std::memcpy(&object, handle.data(), sizeof object);
        return object;
    }

    // The reply's root, parsed into this document, or DecodingError naming what is wrong.
    dom::element parse(const QByteArray &body);

    // The member's value, of the JSON type that `accepts` takes; absent (only when optional) for a
    // missing or null member.
    static std::optional<dom::element> member(const ObjectReader &reader, const QString &key, bool required,
                                              bool (dom::element::*accepts)() const noexcept, const char *expected);

    // A reader of each element, which must be an object, named "base[index]".
    static void visitElements(const std::shared_ptr<const Document> &document, dom::array array, const QString &base,
                              const Visit &visit);
};

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

QString typeName(dom::element_type type)
{
    switch (type) {
    case dom::element_type::NULL_VALUE: return QStringLiteral("null");
    case dom::element_type::BOOL: return QStringLiteral("a boolean");
    case dom::element_type::INT64:
    case dom::element_type::UINT64:
    case dom::element_type::DOUBLE: return QStringLiteral("a number");
    case dom::element_type::STRING: return QStringLiteral("a string");
    case dom::element_type::ARRAY: return QStringLiteral("an array");
    case dom::element_type::OBJECT: return QStringLiteral("an object");
    }
    return QStringLiteral("nothing");
}

DecodingError mismatch(const QString &path, const char *expected, dom::element found)
{
    return DecodingError(DecodingError::Kind::typeMismatch, path,
                         text("expected %1 but found %2").arg(text(expected), typeName(found.type())));
}

DecodingError corrupted(const QString &detail)
{
    return DecodingError(DecodingError::Kind::dataCorrupted, QString(), detail);
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The UTF-16 unit of a "\uXXXX" escape at `at`, or -1.
int escapedUnit(const QByteArray &json, qsizetype at)
{
    if (at + 6 > json.size() || json[at] != '\\' || json[at + 1] != 'u')
        return -1;
    int unit = 0;
    for (qsizetype i = at + 2; i < at + 6; ++i) {
        const int digit = hexDigit(json[i]);
        if (digit < 0)
            return -1;
        unit = unit * 16 + digit;
    }
    return unit;
}

// Text cut between the halves of a surrogate pair can reach a reply as a lone "\ud83d"; the
// parser refuses it, so it becomes U+FFFD, as it would when stored. Every backslash of valid
// JSON starts an escape inside a string, so no tracking of strings is needed.
std::optional<QByteArray> withoutLoneSurrogates(const QByteArray &json)
{
    QByteArray fixed;
    for (qsizetype at = json.indexOf('\\'); at >= 0 && at + 1 < json.size(); at = json.indexOf('\\', at)) {
        const int unit = escapedUnit(json, at);
        if (unit < 0xD800 || unit > 0xDFFF) {
            at += 2;  // another escape, or "\u" of a unit outside the surrogates
            continue;
        }
        if (unit <= 0xDBFF) {
            if (const int next = escapedUnit(json, at + 6); next >= 0xDC00 && next <= 0xDFFF) {
                at += 12;
                continue;
            }
        }
        if (fixed.isEmpty())
            fixed = json;
        fixed.replace(at, 6, "\\ufffd", 6);
        at += 6;
    }
    if (fixed.isEmpty())
        return std::nullopt;
    return fixed;
}

}  // namespace

dom::element ObjectReader::Document::parse(const QByteArray &body)
{
    // Each thread keeps its parser's buffers; the parsed values live in the document.
    thread_local dom::parser parser;
    // A byte-order mark is not JSON, but some servers send one.
    const qsizetype start = body.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    auto root = parser.parse_into_document(parsed, body.constData() + start, size_t(body.size() - start));
    if (root.error() == simdjson::STRING_ERROR) {
        if (const std::optional<QByteArray> fixed = withoutLoneSurrogates(body))
            root = parser.parse_into_document(parsed, fixed->constData() + start, size_t(fixed->size() - start));
    }
    if (!root.error())
        return root.value_unsafe();
    // Qt's reader says where the fault is; what it takes but ours refuses (a raw tab in a
    // string, an integer past 64 bits) keeps our parser's reason.
    QJsonParseError error;
    QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        throw corrupted(text("the reply is not valid JSON (%1 at offset %2)").arg(error.errorString()).arg(error.offset));
    throw corrupted(text("the reply is not valid JSON (%1)").arg(QString::fromUtf8(simdjson::error_message(root.error()))));
}

namespace {

QString stringOf(dom::element value)
{
    const std::string_view string = value.get_string().value_unsafe();
    return QString::fromUtf8(string.data(), qsizetype(string.size()));
}

}  // namespace

DecodingError::DecodingError(Kind kind, QString codingPath, const QString &detail)
    : Error(errorDomain, codeOf(kind),
            codingPath.isEmpty() ? text("The data couldn’t be read: %1.").arg(detail)
                                 : text("The data couldn’t be read: \"%1\": %2.").arg(codingPath, detail)),
      m_kind(kind), m_path(std::move(codingPath))
{
}

ObjectReader::ObjectReader(std::shared_ptr<const Document> document, const Handle &handle, QString path)
    : m_document(std::move(document)), m_handle(handle), m_path(std::move(path))
{
}

ObjectReader ObjectReader::parse(const QByteArray &body)
{
    auto document = std::make_shared<Document>();
    const dom::element root = document->parse(body);
    if (!root.is_object())
        throw corrupted(text("the reply is not a JSON object"));
    const Handle handle = Document::handleOf(root.get_object().value_unsafe());
    return ObjectReader(std::move(document), handle, QString());
}

QString ObjectReader::memberPath(const QString &key) const
{
    return m_path.isEmpty() ? key : m_path + u'.' + key;
}

std::optional<dom::element> ObjectReader::Document::member(const ObjectReader &reader, const QString &key,
                                                          bool required, bool (dom::element::*accepts)() const noexcept,
                                                          const char *expected)
{
    std::optional<dom::element> found;
    for (const dom::key_value_pair field : Document::objectOf(reader.m_handle)) {
        if (QAnyStringView::equal(key, QUtf8StringView(field.key.data(), qsizetype(field.key.size()))))
            found = field.value;
    }
    if (!found) {
        if (required)
            throw DecodingError(DecodingError::Kind::keyNotFound, reader.memberPath(key), text("the member is missing"));
        return std::nullopt;
    }
    if (found->is_null()) {
        if (required)
            throw DecodingError(DecodingError::Kind::valueNotFound, reader.memberPath(key), text("the value is null"));
        return std::nullopt;
    }
    if (!((*found).*accepts)())
        throw mismatch(reader.memberPath(key), expected, *found);
    return found;
}

QString ObjectReader::requiredString(const QString &key) const
{
    return stringOf(*Document::member(*this, key, true, &dom::element::is_string, "a string"));
}

std::optional<QString> ObjectReader::optionalString(const QString &key) const
{
    const std::optional<dom::element> value = Document::member(*this, key, false, &dom::element::is_string, "a string");
    if (!value)
        return std::nullopt;
    return stringOf(*value);
}

qint64 ObjectReader::requiredInteger(const QString &key) const
{
    const dom::element value = *Document::member(*this, key, true, &dom::element::is_number, "an integer");
    const auto notAnInteger = [&](double number) {
        return DecodingError(DecodingError::Kind::typeMismatch, memberPath(key),
                             text("expected an integer but found %1").arg(number));
    };
    switch (value.type()) {
    case dom::element_type::INT64: return value.get_int64().value_unsafe();
    case dom::element_type::UINT64: throw notAnInteger(double(value.get_uint64().value_unsafe()));
    default: {
        const double number = value.get_double().value_unsafe();
        // 2^63 is the first double beyond qint64; anything with a fraction is not an integer.
        if (std::trunc(number) != number || number < -9223372036854775808.0 || number >= 9223372036854775808.0)
            throw notAnInteger(number);
        return qint64(number);
    }
    }
}

ObjectReader ObjectReader::requiredObject(const QString &key) const
{
    return *optionalOrRequiredObject(key, true);
}

std::optional<ObjectReader> ObjectReader::optionalObject(const QString &key) const
{
    return optionalOrRequiredObject(key, false);
}

std::optional<ObjectReader> ObjectReader::optionalOrRequiredObject(const QString &key, bool required) const
{
    const std::optional<dom::element> value = Document::member(*this, key, required, &dom::element::is_object, "an object");
    if (!value)
        return std::nullopt;
    return ObjectReader(m_document, Document::handleOf(value->get_object().value_unsafe()), memberPath(key));
}

void ObjectReader::Document::visitElements(const std::shared_ptr<const Document> &document, dom::array array,
                                           const QString &base, const Visit &visit)
{
    const auto count = qsizetype(array.size());
    qsizetype index = 0;
    for (const dom::element element : array) {
        QString path = base + u'[' + QString::number(index++) + u']';
        if (!element.is_object())
            throw mismatch(path, "an object", element);
        visit(ObjectReader(document, handleOf(element.get_object().value_unsafe()), std::move(path)), count);
    }
}

void ObjectReader::visitRootArray(const QByteArray &body, const Visit &visit)
{
    auto document = std::make_shared<Document>();
    const dom::element root = document->parse(body);
    if (!root.is_array())
        throw corrupted(text("the reply is not a JSON array"));
    Document::visitElements(document, root.get_array().value_unsafe(), QString(), visit);
}

bool ObjectReader::visitArray(const QString &key, bool required, const Visit &visit) const
{
    const std::optional<dom::element> value = Document::member(*this, key, required, &dom::element::is_array, "an array");
    if (!value)
        return false;
    Document::visitElements(m_document, value->get_array().value_unsafe(), memberPath(key), visit);
    return true;
}

}  // namespace platform::json
