#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
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
// Of a member named twice, the last one counts. A reader keeps its parsed document alive.
class ObjectReader {
public:
    // The whole body as one JSON object, or DecodingError (dataCorrupted).
    static ObjectReader parse(const QByteArray &body);
    // The whole body as a JSON array whose elements must be objects; decode(reader) makes each
    // element's value ("[2].translations" names a member in errors).
    template<typename Decode>
    static auto parseArray(const QByteArray &body, Decode decode)
    {
        QList<Decoded<Decode>> result;
        visitRootArray(body, collector(result, decode));
        return result;
    }

    const QString &path() const noexcept { return m_path; }

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
        QList<Decoded<Decode>> result;
        visitArray(key, true, collector(result, decode));
        return result;
    }
    template<typename Decode>
    auto optionalArray(const QString &key, Decode decode) const
    {
        QList<Decoded<Decode>> result;
        if (!visitArray(key, false, collector(result, decode)))
            return std::optional<decltype(result)>();
        return std::optional<decltype(result)>(std::move(result));
    }

private:
    struct Document;
    // The parser's handle of one object in the document: plain bytes here, so that the parser's
    // large header stays out of this one.
    using Handle = std::array<std::byte, 2 * sizeof(void *)>;
    // Called for each element, with the array's size.
    using Visit = std::function<void(const ObjectReader &element, qsizetype count)>;

    template<typename Decode>
    using Decoded = decltype(std::declval<Decode &>()(std::declval<const ObjectReader &>()));
    template<typename Decode>
    static Visit collector(QList<Decoded<Decode>> &result, Decode &decode)
    {
        return [&result, &decode](const ObjectReader &element, qsizetype count) {
            if (result.isEmpty())
                result.reserve(count);
            result.append(decode(element));
        };
    }

    ObjectReader(std::shared_ptr<const Document> document, const Handle &handle, QString path);

    std::optional<ObjectReader> optionalOrRequiredObject(const QString &key, bool required) const;
    static void visitRootArray(const QByteArray &body, const Visit &visit);
    // False for an optional array that is missing or null.
    bool visitArray(const QString &key, bool required, const Visit &visit) const;
    QString memberPath(const QString &key) const;

    std::shared_ptr<const Document> m_document;
    Handle m_handle{};
    QString m_path;
};

}  // namespace platform::json
