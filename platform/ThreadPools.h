#pragma once

#include <QString>

class QThreadPool;

namespace platform {

// A pool of its own for work that waits (on the network, or on another pool's work), so that it
// never takes the threads of the global pool or of the store's contexts. Made for the life of the
// process and never destroyed: quitting does not wait for a request still in flight.
QThreadPool *newLongLivedPool(const QString &name, int maxThreads);

}  // namespace platform
