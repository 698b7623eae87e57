#pragma once

#include "platform/store/Model.h"
#include "platform/store/ObjectId.h"

#include <QObject>
#include <QString>
#include <QUuid>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform::store {

class Context;
class ViewContextEvents;
struct Connection;

// One row as a save wrote it, handed to the view context so that its objects follow. `written`
// has a bit for each attribute, then each to-one relationship, that the save wrote.
struct SavedRow {
    ObjectId id;
    QVariantList values;
    QList<ObjectId> toOne;
    quint64 written = 0;
    bool inserted = false;
};
struct ChangeSet {
    QList<SavedRow> saved;
    QList<ObjectId> deleted;
    bool isEmpty() const { return saved.isEmpty() && deleted.isEmpty(); }
};

// What the contexts of one container share. Internal to the store layer.
struct StoreShared {
    StoreShared();
    ~StoreShared();
    StoreShared(const StoreShared &) = delete;
    StoreShared &operator=(const StoreShared &) = delete;

    QString path;
    std::shared_ptr<const Model> model;
    QUuid storeId;

    std::mutex viewMutex;
    Context *viewContext = nullptr;
    ViewContextEvents *viewEvents = nullptr;

    std::atomic<int> nextConnection{0};

    // Connections of background contexts that have ended, kept for the next ones: a new
    // connection starts with an empty page cache, and a search over many rows would read all of
    // its pages from the file again. A few are enough; contexts rarely run side by side. They
    // close when the program ends normally, also for a container that is never destroyed, so
    // that the last connection out folds the log into the file and removes it.
    std::shared_ptr<Connection> takeIdleConnection();
    void keepIdleConnection(std::shared_ptr<Connection> connection);
    void closeIdleConnections();
    static constexpr std::size_t maxIdleConnections = 2;
    std::mutex idleMutex;
    std::vector<std::shared_ptr<Connection>> idleConnections;

    // Hands a background save to the view context, on the view context's thread.
    void didSave(const Context *sender, const ChangeSet &changes);
};

// Runs tasks one after another on a thread of its own.
class SerialExecutor {
public:
    SerialExecutor();
    ~SerialExecutor() { stop(); }
    SerialExecutor(const SerialExecutor &) = delete;
    SerialExecutor &operator=(const SerialExecutor &) = delete;
    void post(std::function<void()> task);
    bool isCurrent() const { return std::this_thread::get_id() == m_threadId; }
    std::thread::id threadId() const { return m_threadId; }
    // Ends the thread once the running task returns; pending tasks are dropped. Waits for the
    // thread unless called from it.
    void stop();

private:
    struct Queue;
    static void runTasks(Queue &queue);
    std::shared_ptr<Queue> m_queue;
    std::thread m_thread;
    std::thread::id m_threadId;
};

}  // namespace platform::store
