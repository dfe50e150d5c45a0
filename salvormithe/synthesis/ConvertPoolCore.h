#pragma once

#include <QList>
#include <QMutex>
#include <QSemaphore>
#include <QString>

#include <functional>
#include <set>
#include <string>

using ConvertCallback = std::function<void(bool ok, std::string error, double seconds)>;

// What a conversion pool and its jobs share; it outlives the pool while children run.
struct ConvertPoolCore
{
    explicit ConvertPoolCore(int count) : workerCount(count), permits(count) {}
    const int workerCount;
    QSemaphore permits;
    QMutex mutex;                           // guards the fields below
    QList<std::function<void()>> pending;   // start functions, oldest first
    std::set<qint64> running;               // process ids of running children
    bool closed = false;                    // the pool is gone
    bool dispatching = false;               // a dispatch loop runs
    QString program;                        // the worker program
};
