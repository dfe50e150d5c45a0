#include "synthesis/ConvertPool.h"

#include "common/Platform.h"
#include "synthesis/ConvertJob.h"

#include <QThreadPool>

#include <algorithm>
#include <csignal>

int convertWorkerCount()
{
    uint64_t bytes = platform::physicalMemoryBytes();
    int a = int(double(bytes >> 30) * 0.5);
    int b = int(QThreadPool::globalInstance()->maxThreadCount() * 0.8);
    return std::max(1, std::min(a, b));
}

ConvertPool::ConvertPool() : core(std::make_shared<Core>(convertWorkerCount())) {}

ConvertPool::~ConvertPool()
{
    QMutexLocker lock(&core->mutex);
    core->closed = true;
    core->pending.clear();
    // The children's ends arrive in their own thread later; nothing waits for them here.
    for (qint64 pid : core->running)
        ::kill(pid_t(pid), SIGKILL);
}

void ConvertPool::setWorkerProgram(const QString& path)
{
    QMutexLocker lock(&core->mutex);
    core->program = path;
}

void ConvertPool::enqueue(ConvertRequest request, ConvertCallback callback)
{
    std::weak_ptr<Core> weak = core;
    ConvertJob job;
    job.pool = core;
    job.request = std::move(request);
    job.callback = [weak, callback = std::move(callback)](bool ok, std::string error, double seconds) {
        std::shared_ptr<Core> c = weak.lock();
        if (!c)
            return;
        c->permits.release(1);
        dispatch(c);
        bool closed;
        {
            QMutexLocker lock(&c->mutex);
            closed = c->closed;
        }
        if (!closed && callback)
            callback(ok, std::move(error), seconds);
    };
    {
        QMutexLocker lock(&core->mutex);
        core->pending.append([job]() mutable { job.start(); });
    }
    dispatch();
}

void ConvertPool::dispatch()
{
    dispatch(core);
}

void ConvertPool::dispatch(const std::shared_ptr<Core>& core)
{
    std::shared_ptr<Core> c = core; // a callback may destroy the pool
    {
        QMutexLocker lock(&c->mutex);
        // A start that fails at once completes inside fn and dispatches again:
        // this loop takes the next job instead, so the calls do not nest.
        if (c->dispatching)
            return;
        c->dispatching = true;
    }
    for (;;) {
        std::function<void()> fn;
        {
            QMutexLocker lock(&c->mutex);
            if (c->closed || c->pending.isEmpty() || !c->permits.tryAcquire(1)) {
                c->dispatching = false;
                return;
            }
            fn = c->pending.takeFirst();
        }
        fn();
    }
}

void ConvertPool::dropPending()
{
    QMutexLocker lock(&core->mutex);
    core->pending.clear();
}

bool ConvertPool::isIdle()
{
    if (!core->permits.tryAcquire(core->workerCount))
        return false;
    core->permits.release(core->workerCount);
    return true;
}
