#include "platform/store/StoreError.h"

namespace platform::store {

StoreError::StoreError(Code code, const QString &description, QString details)
    : Error(errorDomain, code, description), m_details(std::move(details))
{
}

}  // namespace platform::store
