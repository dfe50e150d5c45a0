#include "synthesis/ConvertJob.h"

#include "common/FileUtils.h"
#include "synthesis/SpeechWav.h"
#include "synthesis/WorkerProcess.h"

void ConvertJob::report(bool ok, const std::string& error, double seconds)
{
    if (*reported)
        return;
    *reported = true;
    if (callback)
        callback(ok, error, seconds);
}

void ConvertJob::start()
{
    bool closed;
    {
        QMutexLocker lock(&pool->mutex);
        closed = pool->closed;
    }
    if (closed) {
        report(false, std::string(), 0.0); // its permit goes back; no one hears of it
        return;
    }
    // The child runs when start returns: there is no start left to wait for.
    auto* process = new WorkerProcess;
    process->setParent(pool->runner);
    std::string error;
    if (!process->start(program, QStringList{QStringLiteral("--convert")}, error)) {
        delete process;
        report(false, error, 0.0);
        return;
    }
    ConvertJob job = *this;
    QObject::connect(process, &WorkerProcess::finished, process, [job, process](int exitCode, bool crashed) mutable {
        job.onFinished(process, exitCode, crashed);
    });
    {
        QMutexLocker lock(&pool->mutex);
        *pid = process->processId();
        pool->running.insert(*pid);
        if (pool->closed)
            process->kill();
    }
    process->write(QByteArray::fromStdString(request.encode()));
}

void ConvertJob::onFinished(WorkerProcess* process, int exitCode, bool crashed)
{
    {
        QMutexLocker lock(&pool->mutex);
        pool->running.erase(*pid);
    }
    process->reap();
    std::string err = process->readAllStandardError().toStdString();
    process->deleteLater();
    // A child that failed or was stopped leaves its unfinished file behind.
    if (crashed || exitCode != 0)
        removeFile(utf8ToPath(SpeechWav::partPath(request.wav, long(*pid))));
    if (crashed) {
        report(false, err.empty() ? "The conversion process crashed." : "The conversion process crashed. " + err,
               0.0);
    } else if (exitCode != 0) {
        report(false, err.empty() ? "The conversion process failed with exit code " + std::to_string(exitCode) + "."
                                  : err,
               0.0);
    } else {
        double seconds = SpeechWav::secondsOfFile(utf8ToPath(request.wav));
        report(true, "", seconds < 0 ? 0.0 : seconds);
    }
    pool->endIfClosed();
}
