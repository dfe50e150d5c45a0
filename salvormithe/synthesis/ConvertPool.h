#pragma once

#include "LocalVoice.h"

#include <QList>
#include <QMutex>
#include <QSemaphore>
#include <QString>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

using ConvertCallback = std::function<void(bool ok, std::string error, double seconds)>;

// How many conversion children may run at once: half the whole GiB of memory,
// at most 0.8 times the logical processors, at least 1.
int convertWorkerCount();

// Runs conversion jobs in child processes ("--convert"), a bounded number at once.
// Jobs are started, and their ends handled, in the thread that enqueues them (or
// in which an earlier job ended); that thread must run an event loop.
class ConvertPool
{
public:
    // What the pool and its jobs share; it outlives the pool while children run.
    struct Core
    {
        explicit Core(int count) : workerCount(count), permits(count) {}
        const int workerCount;
        QSemaphore permits;
        QMutex mutex;                           // guards the fields below
        QList<std::function<void()>> pending;   // start functions, oldest first
        std::set<qint64> running;               // process ids of running children
        bool closed = false;                    // the pool is gone
        bool dispatching = false;               // a dispatch loop runs
        QString program;                        // the worker program
    };

    ConvertPool();
    // Stops the running children and drops every job; no callback is called afterwards.
    // Never waits for the children's ends.
    ~ConvertPool();
    ConvertPool(const ConvertPool&) = delete;
    ConvertPool& operator=(const ConvertPool&) = delete;

    // Queues a job; its callback is called exactly once unless the job is dropped.
    void enqueue(const LocalVoice& voice, float srate, std::vector<std::string> sentences, std::string wav,
                 ConvertCallback callback);
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
