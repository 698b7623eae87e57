#pragma once

#include "platform/Error.h"

namespace Fennick {

// The failure of a web request made by the core; its text is what alerts and reports show.
class RequestError : public platform::Error {
public:
    enum class Kind { noSuccess, badResponse, noCredentials };

    static RequestError noSuccess(int status) { return RequestError(Kind::noSuccess, status); }
    static RequestError badResponse() { return RequestError(Kind::badResponse, 0); }
    static RequestError noCredentials() { return RequestError(Kind::noCredentials, 0); }

    static inline const QString errorDomain = QStringLiteral("Fennick.RequestError");

    Kind kind() const noexcept { return m_kind; }
    // The HTTP status of a noSuccess error; 0 otherwise.
    int status() const noexcept { return m_status; }

    void raise() const override { throw *this; }
    RequestError *clone() const override { return new RequestError(*this); }

    static QString description(Kind kind, int status);

private:
    RequestError(Kind kind, int status);

    Kind m_kind;
    int m_status;
};

}  // namespace Fennick
