#include "synthesis/ConvertJob.h"

#include "common/FileUtils.h"
#include "synthesis/SpeechWav.h"

#include <QCoreApplication>

#include <cstring>

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
    process->start(program, QStringList{QStringLiteral("--convert")}, QIODevice::ReadWrite);
    if (!process->waitForStarted(1000)) {
        // A child that starts late must not report a second time: cut it off first.
        QObject::disconnect(process, nullptr, nullptr, nullptr);
        std::string error = process->errorString().toStdString();
        if (process->state() != QProcess::NotRunning)
            process->kill();
        process->deleteLater();
        report(false, error, 0.0);
        return;
    }
    {
        QMutexLocker lock(&pool->mutex);
        *pid = process->processId();
        pool->running.insert(*pid);
        if (pool->closed)
            process->kill();
    }
    std::string bytes = request.encode();
    process->write(bytes.data(), 4);
    process->write(bytes.data() + 4, qint64(bytes.size()) - 4);
}

void ConvertJob::onFinished(QProcess* process, int exitCode, QProcess::ExitStatus status)
{
    {
        QMutexLocker lock(&pool->mutex);
        pool->running.erase(*pid);
    }
    std::string err = process->readAllStandardError().toStdString();
    process->deleteLater();
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
