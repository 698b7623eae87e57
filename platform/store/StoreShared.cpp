#include "platform/store/StoreShared.h"

#include "platform/store/Context.h"
#include "platform/store/ViewContextEvents.h"
#include "platform/ThreadPools.h"

#include <condition_variable>
#include <cstdlib>
#include <deque>

namespace platform::store {

void StoreShared::didSave(const Context *sender, const ChangeSet &changes)
{
    std::lock_guard lock(viewMutex);
    if (!viewEvents || sender == viewContext)
        return;
    Context *target = viewContext;
    // Queued on the view context's own object: dropped with it when the view context goes first.
    QMetaObject::invokeMethod(viewEvents, [target, changes] { target->merge(changes); }, Qt::QueuedConnection);
}

namespace {

// Every StoreShared alive, for closing their idle connections at exit. Never destroyed: stores
// may be destroyed during the exit itself.
struct LiveStores {
    std::mutex mutex;
    std::vector<StoreShared *> stores;

    static LiveStores &instance()
    {
        static LiveStores *live = [] {
            std::atexit([] {
                LiveStores &all = *live;
                std::lock_guard lock(all.mutex);
                for (StoreShared *store : all.stores)
                    store->closeIdleConnections();
            });
            return new LiveStores;
        }();
        return *live;
    }
};

}  // namespace

StoreShared::StoreShared()
{
    LiveStores &live = LiveStores::instance();
    std::lock_guard lock(live.mutex);
    live.stores.push_back(this);
}

StoreShared::~StoreShared()
{
    LiveStores &live = LiveStores::instance();
    std::lock_guard lock(live.mutex);
    std::erase(live.stores, this);
}

void StoreShared::closeIdleConnections()
{
    std::vector<std::shared_ptr<Connection>> closing;
    {
        std::lock_guard lock(idleMutex);
        closing.swap(idleConnections);
    }
}

std::shared_ptr<Connection> StoreShared::takeIdleConnection()
{
    std::lock_guard lock(idleMutex);
    if (idleConnections.empty())
        return nullptr;
    std::shared_ptr<Connection> connection = std::move(idleConnections.back());
    idleConnections.pop_back();
    return connection;
}

void StoreShared::keepIdleConnection(std::shared_ptr<Connection> connection)
{
    std::unique_lock lock(idleMutex);
    if (idleConnections.size() < maxIdleConnections)
        idleConnections.push_back(std::move(connection));
    lock.unlock();
    // A connection not kept closes here, outside the lock.
}

struct SerialExecutor::Queue {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> tasks;
    bool stopping = false;
};

void SerialExecutor::runTasks(Queue &queue)
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(queue.mutex);
            queue.wake.wait(lock, [&] { return queue.stopping || !queue.tasks.empty(); });
            if (queue.stopping)
                break;
            task = std::move(queue.tasks.front());
            queue.tasks.pop_front();
        }
        task();
        task = nullptr;
        platform::backgroundTasksDone(1);
    }
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(queue.mutex);
        dropped.swap(queue.tasks);
    }
    const auto count = int(dropped.size());
    dropped.clear();
    platform::backgroundTasksDone(count);
}

SerialExecutor::SerialExecutor() : m_queue(std::make_shared<Queue>())
{
    // The loop holds the queue itself, so that it may outlive this object when the object is
    // destroyed by a task running on the thread.
    m_thread = std::thread([queue = m_queue] { runTasks(*queue); });
    m_threadId = m_thread.get_id();
}

void SerialExecutor::post(std::function<void()> task)
{
    {
        std::lock_guard lock(m_queue->mutex);
        if (m_queue->stopping)
            return;
        m_queue->tasks.push_back(std::move(task));
        platform::backgroundTaskPosted();
    }
    m_queue->wake.notify_one();
}

void SerialExecutor::stop()
{
    {
        std::lock_guard lock(m_queue->mutex);
        m_queue->stopping = true;
    }
    m_queue->wake.notify_one();
    if (!m_thread.joinable())
        return;
    if (isCurrent())
        platform::joinWhenEnded(std::move(m_thread));
    else
        m_thread.join();
}

}  // namespace platform::store
