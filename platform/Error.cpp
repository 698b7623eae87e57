#include "platform/Error.h"

namespace platform {

Error::Error(QString domain, qint64 code, QString localizedDescription)
    : m_domain(std::move(domain)), m_code(code), m_description(std::move(localizedDescription)),
      m_what(m_description.toUtf8())
{
}

Error Error::from(const std::exception &exception)
{
    if (const auto *error = dynamic_cast<const Error *>(&exception))
        return *error;
    return Error(QStringLiteral("std::exception"), 1, QString::fromUtf8(exception.what()));
}

Error UrlError::make(Code code, const QString &description)
{
    return Error(domain, code, description);
}

}  // namespace platform
