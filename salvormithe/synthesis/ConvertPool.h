#pragma once

#include "synthesis/ConvertPoolCore.h"
#include "synthesis/ConvertRequest.h"

#include <QString>

#include <memory>

// How many conversion children may run at once: half the whole GiB of memory,
// at most 0.8 times the logical processors, at least 1.
int convertWorkerCount();

// Runs conversion jobs in child processes ("--convert"), a bounded number at once.
// Jobs are started, and their ends handled, in the thread that enqueues them (or
// in which an earlier job ended); that thread must run an event loop.
class ConvertPool
{
public:
    using Core = ConvertPoolCore;

    ConvertPool();
    // Stops the running children and drops every job; no callback is called afterwards.
    // Never waits for the children's ends.
    ~ConvertPool();
    ConvertPool(const ConvertPool&) = delete;
    ConvertPool& operator=(const ConvertPool&) = delete;

    // Queues a job; its callback is called exactly once unless the job is dropped.
    void enqueue(ConvertRequest request, ConvertCallback callback);
    // Starts the oldest pending job when a permit is free.
    void dispatch();
    // Discards the pending jobs without calling them.
    void dropPending();
    // True when no child runs.
    bool isIdle();

    int workerCount() const { return core->workerCount; }
    // The program started with "--convert" (this program when empty).
    void setWorkerProgram(const QString& path);

    static void dispatch(const std::shared_ptr<Core>& core);

private:
    std::shared_ptr<Core> core;
};
