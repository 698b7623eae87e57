#include "Fennick/RequestError.h"

#include <QCoreApplication>

namespace Fennick {

// The code is the case's position, as the platform numbers a thrown enumeration.
RequestError::RequestError(Kind kind, int status)
    : platform::Error(errorDomain, static_cast<qint64>(kind), description(kind, status)), m_kind(kind),
      m_status(status)
{
}

QString RequestError::description(Kind kind, int status)
{
    switch (kind) {
    case Kind::noSuccess:
        if (status == 401)
            return QCoreApplication::translate(
                "RequestError", "Unable to authenticate. Please ensure your account credentials are correct.");
        if (status == 403)
            return QCoreApplication::translate(
                "RequestError",
                "Unable to access resource. Please make sure your API keys have access to apps ('App "
                "Manager'). To respond to reviews, you need 'Admin' access.");
        return QCoreApplication::translate("RequestError", "Unknown error. Please contact support.");
    case Kind::badResponse:
        return QCoreApplication::translate(
            "RequestError", "Unexpected response. Please make sure you have a working Internet connection.");
    case Kind::noCredentials:
        return QCoreApplication::translate("RequestError", "Unable to obtain credentials.");
    }
    return {};
}

}  // namespace Fennick
