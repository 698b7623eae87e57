#pragma once

#include <QString>

#include <chrono>
#include <thread>

class QThreadPool;

namespace platform {

// A pool of its own for work that waits (on the network, or on another pool's work), so that it
// never takes the threads of the global pool or of the store's contexts. Made for the life of the
// process and never destroyed.
QThreadPool *newLongLivedPool(const QString &name, int maxThreads);

// Tasks run on threads of our own outside the pools (a store context's) count as background work
// from backgroundTaskPosted() until backgroundTasksDone(), called once they have run, or were
// dropped, and have been destroyed.
void backgroundTaskPosted();
void backgroundTasksDone(int count);

// For such a thread that is ended by its own task and so cannot be joined by its owner: joined on
// a pool of its own, so that the process does not leave while the thread takes itself down.
void joinWhenEnded(std::thread thread);

// Waits until the long-lived pools, the global pool and the threads above have no work left, for at most `limit`.
// True when they all ran dry. Call it before main() returns: work that runs on into the exit
// handlers meets Qt's globals (the SQL connection list, the loggers) already torn down.
bool waitForBackgroundWork(std::chrono::milliseconds limit);

// For a program's main(), once its windows are gone: returns `code` after the background work has
// ended, or ends the process at once with `code` when it has not within `limit` (a server that
// stopped answering). Store writes are transactions, so cutting them off loses nothing saved.
int leaveAfterBackgroundWork(int code, std::chrono::milliseconds limit);

}  // namespace platform
