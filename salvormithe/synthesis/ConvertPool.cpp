#include "synthesis/ConvertPool.h"

#include "common/Platform.h"
#include "synthesis/ConvertJob.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
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

ConvertPool::ConvertPool() : core(std::make_shared<Core>(convertWorkerCount()))
{
    core->ownProgram = QCoreApplication::applicationFilePath();
    core->home = new QObject;
    core->thread = new QThread;
    core->thread->setObjectName(QStringLiteral("ConvertPool"));
    core->runner = new QObject;
    core->runner->moveToThread(core->thread);
    // A child still there when the thread ends goes with the runner: stopped and reaped.
    QObject::connect(core->thread, &QThread::finished, core->runner, &QObject::deleteLater, Qt::DirectConnection);
    core->thread->start();
}

ConvertPool::~ConvertPool()
{
    {
        QMutexLocker lock(&core->mutex);
        core->closed = true;
        core->pending.clear();
        for (qint64 pid : core->running)
            ::kill(pid_t(pid), SIGKILL);
    }
    // Behind the starts already posted: the thread ends once the ends of the
    // stopped children are handled (their unfinished files removed).
    std::shared_ptr<Core> c = core;
    QMetaObject::invokeMethod(core->runner, [c] { c->endIfClosed(); }, Qt::QueuedConnection);
    core->thread->wait();
    delete core->thread;
    // Results posted meanwhile go with it.
    delete core->home;
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
    // On the pool's thread: the permit goes back and the next job starts
    // there; the result goes to the owner's thread.
    job.callback = [weak, callback = std::move(callback)](bool ok, std::string error, double seconds) {
        std::shared_ptr<Core> c = weak.lock();
        if (!c)
            return;
        c->permits.release(1);
        dispatch(c);
        {
            QMutexLocker lock(&c->mutex);
            if (c->closed || !callback)
                return;
        }
        QMetaObject::invokeMethod(
            c->home,
            [weak, callback, ok, error = std::move(error), seconds]() {
                std::shared_ptr<Core> c = weak.lock();
                if (!c)
                    return;
                {
                    QMutexLocker lock(&c->mutex);
                    if (c->closed)
                        return;
                }
                callback(ok, error, seconds);
            },
            Qt::QueuedConnection);
    };
    {
        QMutexLocker lock(&core->mutex);
        core->pending.append([job](const QString& program) mutable {
            job.program = program;
            job.start();
        });
    }
    dispatch();
}

void ConvertPool::dispatch()
{
    dispatch(core);
}

void ConvertPool::dispatch(const std::shared_ptr<Core>& core)
{
    std::shared_ptr<Core> c = core;
    const bool onPoolThread = QThread::currentThread() == c->thread;
    {
        QMutexLocker lock(&c->mutex);
        // A start that fails at once completes inside fn and dispatches again:
        // this loop takes the next job instead, so the calls do not nest.
        if (c->dispatching)
            return;
        c->dispatching = true;
    }
    for (;;) {
        std::function<void(const QString&)> fn;
        QString program;
        {
            QMutexLocker lock(&c->mutex);
            if (c->closed || c->pending.isEmpty() || !c->permits.tryAcquire(1)) {
                c->dispatching = false;
                return;
            }
            fn = c->pending.takeFirst();
            program = c->program.isEmpty() ? c->ownProgram : c->program;
        }
        if (onPoolThread)
            fn(program);
        else
            QMetaObject::invokeMethod(
                c->runner, [fn = std::move(fn), program]() { fn(program); }, Qt::QueuedConnection);
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
