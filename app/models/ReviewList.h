#pragma once

#include "Fennick/Records/StoreReview.h"

#include <QList>
#include <memory>

namespace Vantorel {

// A list of review records as a summary shows it. The records live on the GUI thread; the
// review card changes their observable fields in place.
using ReviewList = QList<std::shared_ptr<Fennick::StoreReview>>;

}  // namespace Vantorel
