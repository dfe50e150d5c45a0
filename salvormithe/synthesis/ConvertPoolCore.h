#pragma once

#include <QList>
#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QThread>

#include <functional>
#include <set>
#include <string>

class QObject;

using ConvertCallback = std::function<void(bool ok, std::string error, double seconds)>;

// What a conversion pool and its jobs share; it outlives the pool while children run.
struct ConvertPoolCore
{
    explicit ConvertPoolCore(int count) : workerCount(count), permits(count) {}
    const int workerCount;
    QSemaphore permits;
    QMutex mutex;                           // guards the fields below
    // Start functions, oldest first; each is given the worker program as it is
    // when the job takes its permit.
    QList<std::function<void(const QString& program)>> pending;
    std::set<qint64> running;               // process ids of running children
    bool closed = false;                    // the pool is gone
    bool dispatching = false;               // a dispatch loop runs
    QString program;                        // the worker program (else ownProgram)
    QString ownProgram;                     // this program, found at construction
    // Set once at construction, valid until the pool's thread has ended.
    QThread* thread = nullptr;              // where children start and end
    QObject* runner = nullptr;              // lives in thread; the children's parent
    QObject* home = nullptr;                // lives in the owner's thread; callbacks go there

    // Ends the thread once the pool is gone and no child of it runs.
    void endIfClosed()
    {
        QMutexLocker lock(&mutex);
        if (closed && running.empty())
            thread->quit();
    }
};
