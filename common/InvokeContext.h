#pragma once

#include <QMutex>
#include <QObject>
#include <QThread>

#include <functional>
#include <map>
#include <memory>

// The thread of the application object; the current thread when there is none.
QThread* guiThread();

// Runs fn once in thread. With a context, the call goes to that object and
// is dropped when the object is deleted first; without one, to the thread's
// event dispatcher (or a relay object when the thread has not started yet).
void postToThread(std::function<void()> fn, QObject* context, QThread* thread);

// postToThread without a context.
void postMovedToThread(std::function<void()> fn, QThread* thread);

// Single-shot timer call in the context's thread.
void invokeAfter(int msec, QObject* context, std::function<void()> fn);

// Starts thread when it is not running, then posts fn to it.
void runInWorkerThread(QThread* thread, std::function<void()> fn, QObject* context = nullptr);

// Ends a worker thread and calls fn in the thread that owns the QThread object
// once the worker has finished; calls fn at once when the thread is not running.
void quitThreadThen(QThread* thread, std::function<void()> fn);

// The posting end of an object that hands calls to other threads. Each target
// thread gets one receiver object that lives in that thread and is never moved;
// destroying the holder drops every call that has not run yet.
class InvokeContext
{
public:
    InvokeContext();
    ~InvokeContext();
    InvokeContext(const InvokeContext&) = delete;
    InvokeContext& operator=(const InvokeContext&) = delete;

    void post(std::function<void()> fn, QThread* thread);
    void postDelayed(std::function<void()> fn, int msec, QThread* thread);

    // The receiver for thread, created on first use.
    QObject* context(QThread* thread);

private:
    QObject* contextLocked(QThread* thread);
    std::function<void()> guarded(std::function<void()> fn) const;

    QMutex mutex;
    struct Receiver {
        QObject* obj;
        QMetaObject::Connection threadGone;
    };
    std::map<QThread*, Receiver> contexts;
    std::shared_ptr<std::atomic<bool>> alive;
};
