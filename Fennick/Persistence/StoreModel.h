#pragma once

#include "platform/store/Model.h"

#include <memory>

namespace Fennick {

// The schema of "Vantorel.sqlite". Raise `version` and add a migration with every change.
std::shared_ptr<const platform::store::Model> storeModel();

}  // namespace Fennick
