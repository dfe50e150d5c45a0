#include "synthesis/ConvertJob.h"

#include "common/FileUtils.h"
#include "synthesis/SpeechWav.h"

#include <QCoreApplication>
#include <QTimer>


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
    QString program;
    {
        QMutexLocker lock(&pool->mutex);
        program = pool->program;
    }
    if (program.isEmpty())
        program = QCoreApplication::applicationFilePath();

    auto* process = new QProcess;
    ConvertJob job = *this;
    QObject::connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), process,
                     [job, process](int exitCode, QProcess::ExitStatus status) mutable {
                         job.onFinished(process, exitCode, status);
                     });
    QObject::connect(process, &QProcess::started, process, [job, process]() mutable { job.onStarted(process); });
    QObject::connect(process, &QProcess::errorOccurred, process, [job, process](QProcess::ProcessError error) mutable {
        if (error == QProcess::FailedToStart)
            job.onStartFailed(process, process->errorString().toStdString());
    });
    // The start is not waited for here: the thread goes on while the child
    // starts, and the limit is a timer.
    QTimer::singleShot(startLimitMs, process, [job, process]() mutable {
        // A start whose notice has not been handled yet still counts.
        if (process->state() == QProcess::Starting && !process->waitForStarted(0) &&
            process->state() == QProcess::Starting)
            job.onStartFailed(process, process->errorString().toStdString());
    });
    process->start(program, QStringList{QStringLiteral("--convert")}, QIODevice::ReadWrite);
    if (process->state() != QProcess::NotRunning) {
        QMutexLocker lock(&pool->mutex);
        *pid = process->processId();
        pool->running.insert(*pid);
    }
}

void ConvertJob::onStarted(QProcess* process)
{
    {
        QMutexLocker lock(&pool->mutex);
        if (pool->closed)
            process->kill();
    }
    std::string bytes = request.encode();
    process->write(bytes.data(), 4);
    process->write(bytes.data() + 4, qint64(bytes.size()) - 4);
}

void ConvertJob::onStartFailed(QProcess* process, const std::string& error)
{
    // A child that starts late must not report a second time: cut it off first.
    QObject::disconnect(process, nullptr, nullptr, nullptr);
    {
        QMutexLocker lock(&pool->mutex);
        pool->running.erase(*pid);
    }
    if (process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(startLimitMs);
    }
    process->deleteLater();
    report(false, error, 0.0);
}

void ConvertJob::onFinished(QProcess* process, int exitCode, QProcess::ExitStatus status)
{
    {
        QMutexLocker lock(&pool->mutex);
        pool->running.erase(*pid);
    }
    std::string err = process->readAllStandardError().toStdString();
    process->deleteLater();
    // A child that failed or was stopped leaves its unfinished file behind.
    if (status == QProcess::CrashExit || exitCode != 0)
        removeFile(utf8ToPath(SpeechWav::partPath(request.wav, long(*pid))));
    if (status == QProcess::CrashExit) {
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
}
