#include "platform/ThreadPools.h"

#include <QDeadlineTimer>
#include <QList>
#include <QMutex>
#include <QThreadPool>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {

QMutex poolsMutex;
QList<QThreadPool *> &pools()
{
    static QList<QThreadPool *> *list = new QList<QThreadPool *>;
    return *list;
}

}  // namespace

QThreadPool *newLongLivedPool(const QString &name, int maxThreads)
{
    auto *pool = new QThreadPool;
    pool->setObjectName(name);
    pool->setMaxThreadCount(maxThreads);
    const QMutexLocker lock(&poolsMutex);
    pools().append(pool);
    return pool;
}

bool waitForBackgroundWork(std::chrono::milliseconds limit)
{
    const QDeadlineTimer deadline(limit);
    // Work in one pool may start work in another (a finished download releases its store context
    // on the global pool), so go round until a pass ends with every pool idle.
    for (;;) {
        QList<QThreadPool *> all;
        {
            const QMutexLocker lock(&poolsMutex);
            all = pools();
        }
        all.append(QThreadPool::globalInstance());
        for (QThreadPool *pool : std::as_const(all)) {
            if (!pool->waitForDone(int(deadline.remainingTime())))
                return false;
        }
        if (std::all_of(all.cbegin(), all.cend(), [](QThreadPool *pool) { return pool->activeThreadCount() == 0; }))
            return true;
    }
}

int leaveAfterBackgroundWork(int code, std::chrono::milliseconds limit)
{
    if (waitForBackgroundWork(limit))
        return code;
    std::fflush(nullptr);
    std::_Exit(code);
}

}  // namespace platform
