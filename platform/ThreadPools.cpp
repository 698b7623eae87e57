#include "platform/ThreadPools.h"

#include <QThreadPool>

namespace platform {

QThreadPool *newLongLivedPool(const QString &name, int maxThreads)
{
    auto *pool = new QThreadPool;
    pool->setObjectName(name);
    pool->setMaxThreadCount(maxThreads);
    return pool;
}

}  // namespace platform
