#pragma once

#include "synthesis/ConvertPoolCore.h"
#include "synthesis/ConvertRequest.h"

#include <QString>

#include <memory>

// How many conversion children may run at once: half the whole GiB of memory,
// at most 0.8 times the logical processors, at least 1.
int convertWorkerCount();

// Runs conversion jobs in child processes ("--convert"), a bounded number at once.
// Children are started, and their ends handled, on a thread of the pool's own,
// so that they go on while the owner's thread is held (a window being drawn);
// each result is posted to the thread that made the pool, which must run an
// event loop. A job holds its permit from the moment it is taken out of the queue.
class ConvertPool
{
public:
    using Core = ConvertPoolCore;

    ConvertPool();
    // Stops the running children and drops every job; no callback is called
    // afterwards. Waits only for its thread, which ends once the stopped
    // children are reaped.
    ~ConvertPool();
    ConvertPool(const ConvertPool&) = delete;
    ConvertPool& operator=(const ConvertPool&) = delete;

    // Queues a job; its callback is called exactly once unless the job is dropped.
    void enqueue(ConvertRequest request, ConvertCallback callback);
    // Starts the oldest pending job when a permit is free.
    void dispatch();
    // Discards the pending jobs without calling them.
    void dropPending();
    // True when no job holds a permit: no child runs or is about to.
    bool isIdle();

    int workerCount() const { return core->workerCount; }
    // The program started with "--convert" (this program when empty).
    void setWorkerProgram(const QString& path);

    static void dispatch(const std::shared_ptr<Core>& core);

private:
    std::shared_ptr<Core> core;
};
