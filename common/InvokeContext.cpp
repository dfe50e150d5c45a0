#include "common/InvokeContext.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>

#include <atomic>

QThread* guiThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app ? app->thread() : QThread::currentThread();
}

void postToThread(std::function<void()> fn, QObject* context, QThread* thread)
{
    QObject* receiver = context;
    if (!receiver && thread)
        receiver = QAbstractEventDispatcher::instance(thread);
    else if (receiver && thread && receiver->thread() != thread)
        receiver->moveToThread(thread);

    QObject sender;
    if (receiver) {
        QObject::connect(&sender, &QObject::destroyed, receiver,
                         [fn = std::move(fn)]() { fn(); }, Qt::QueuedConnection);
    } else {
        // The thread has no event loop yet: a relay object waits in it.
        auto* relay = new QObject;
        relay->moveToThread(thread);
        QObject::connect(&sender, &QObject::destroyed, relay,
                         [relay, fn = std::move(fn)]() {
                             delete relay;
                             fn();
                         },
                         Qt::QueuedConnection);
    }
}

void postMovedToThread(std::function<void()> fn, QThread* thread)
{
    postToThread(std::move(fn), nullptr, thread);
}

void invokeAfter(int msec, QObject* context, std::function<void()> fn)
{
    QTimer::singleShot(msec, context, [fn = std::move(fn)]() { fn(); });
}

void runInWorkerThread(QThread* thread, std::function<void()> fn, QObject* context)
{
    if (!thread->isRunning())
        thread->start(QThread::InheritPriority);
    postToThread(
        [fn = std::move(fn)]() {
            if (fn)
                fn();
        },
        context, thread);
}

void quitThreadThen(QThread* thread, std::function<void()> fn)
{
    if (!fn)
        throw std::bad_function_call();
    if (thread->isRunning()) {
        QObject::connect(thread, &QThread::finished, thread, [thread, fn = std::move(fn)]() {
            // Copy first: disconnecting destroys this functor and its captures.
            auto call = fn;
            // Only `finished`: the receivers of InvokeContext watch `destroyed`.
            QObject::disconnect(thread, &QThread::finished, nullptr, nullptr);
            call();
        });
        // Quit from inside the thread's own queue, after every call posted so far;
        // a quit that arrives before the loop starts would drop them.
        postToThread([thread]() { thread->quit(); }, nullptr, thread);
    } else {
        fn();
    }
}

InvokeContext::InvokeContext() : alive(std::make_shared<std::atomic<bool>>(true)) {}

InvokeContext::~InvokeContext()
{
    QMutexLocker lock(&mutex);
    alive->store(false);
    for (auto& [thread, r] : contexts) {
        QObject::disconnect(r.threadGone);
        // A receiver in a running foreign thread may be delivering a call right
        // now: let that thread delete it. The flag above stops its pending calls.
        if (thread != QThread::currentThread() && thread->isRunning())
            r.obj->deleteLater();
        else
            delete r.obj;
    }
    contexts.clear();
}

QObject* InvokeContext::contextLocked(QThread* thread)
{
    auto it = contexts.find(thread);
    if (it != contexts.end())
        return it->second.obj;
    auto* obj = new QObject;
    if (obj->thread() != thread)
        obj->moveToThread(thread);
    // A receiver dies with its thread's QThread object, never after it.
    auto gone = QObject::connect(thread, &QObject::destroyed, [this, thread]() {
        QMutexLocker l(&mutex);
        auto found = contexts.find(thread);
        if (found != contexts.end()) {
            delete found->second.obj;
            contexts.erase(found);
        }
    });
    contexts.emplace(thread, Receiver{obj, gone});
    return obj;
}

QObject* InvokeContext::context(QThread* thread)
{
    QMutexLocker lock(&mutex);
    return contextLocked(thread);
}

std::function<void()> InvokeContext::guarded(std::function<void()> fn) const
{
    return [flag = alive, fn = std::move(fn)]() {
        if (flag->load())
            fn();
    };
}

void InvokeContext::post(std::function<void()> fn, QThread* thread)
{
    QMutexLocker lock(&mutex);
    postToThread(guarded(std::move(fn)), contextLocked(thread), thread);
}

void InvokeContext::postDelayed(std::function<void()> fn, int msec, QThread* thread)
{
    QMutexLocker lock(&mutex);
    QObject* obj = contextLocked(thread);
    auto call = guarded(std::move(fn));
    if (thread == QThread::currentThread()) {
        invokeAfter(msec, obj, std::move(call));
    } else {
        // A timer must be started in the thread that owns its receiver.
        postToThread([msec, obj, call = std::move(call)]() mutable { invokeAfter(msec, obj, std::move(call)); },
                     obj, thread);
    }
}
