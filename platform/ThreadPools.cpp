#include "platform/ThreadPools.h"

#include <QDeadlineTimer>
#include <QList>
#include <QMutex>
#include <QThreadPool>
#include <QWaitCondition>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace platform {
namespace {

QMutex poolsMutex;
QList<QThreadPool *> &pools()
{
    static QList<QThreadPool *> *list = new QList<QThreadPool *>;
    return *list;
}

QMutex tasksMutex;
QWaitCondition tasksDone;
int pendingTasks = 0;

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

void backgroundTaskPosted()
{
    const QMutexLocker lock(&tasksMutex);
    ++pendingTasks;
}

void backgroundTasksDone(int count)
{
    const QMutexLocker lock(&tasksMutex);
    pendingTasks -= count;
    if (pendingTasks == 0)
        tasksDone.wakeAll();
}

void joinWhenEnded(std::thread thread)
{
    static QThreadPool *joiner = newLongLivedPool(QStringLiteral("Thread joiner"), 2);
    auto held = std::make_shared<std::thread>(std::move(thread));
    joiner->start([held] { held->join(); });
}

namespace {

bool tasksDoneBy(const QDeadlineTimer &deadline)
{
    const QMutexLocker lock(&tasksMutex);
    while (pendingTasks > 0) {
        if (!tasksDone.wait(&tasksMutex, deadline))
            return false;
    }
    return true;
}

}  // namespace

bool waitForBackgroundWork(std::chrono::milliseconds limit)
{
    const QDeadlineTimer deadline(limit);
    // Work in one pool may start work in another (a finished download releases its store context
    // on the global pool), so go round until a pass ends with every pool idle.
    for (;;) {
        if (!tasksDoneBy(deadline))
            return false;
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
        const QMutexLocker lock(&tasksMutex);
        if (pendingTasks == 0
            && std::all_of(all.cbegin(), all.cend(), [](QThreadPool *pool) { return pool->activeThreadCount() == 0; }))
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
