#include "ConvertJob.h"

#include "FileUtils.h"
#include "JsonRef.h"
#include "SpeechWav.h"

#include <QCoreApplication>

#include <json-c/json.h>

#include <cstring>

QByteArray ConvertJob::request(const LocalVoice& voice, float srate, const std::vector<std::string>& sentences,
                               const std::string& wav)
{
    JsonRef obj(json_object_new_object());
    json_object_object_add(obj.get(), "voice_uid",
                           json_object_new_string_len(voice.uid.data(), int(voice.uid.size())));
    json_object_object_add(obj.get(), "voice_spk", json_object_new_int(voice.spk));
    json_object_object_add(obj.get(), "srate", json_object_new_double(double(srate)));
    json_object_object_add(obj.get(), "wav", json_object_new_string_len(wav.data(), int(wav.size())));
    json_object* list = json_object_new_array();
    for (const std::string& s : sentences)
        json_object_array_add(list, json_object_new_string_len(s.data(), int(s.size())));
    json_object_object_add(obj.get(), "sentences", list);
    size_t len = 0;
    const char* text = json_object_to_json_string_length(obj.get(), JSON_C_TO_STRING_SPACED, &len);
    int32_t n = int32_t(len);
    QByteArray bytes(reinterpret_cast<const char*>(&n), 4);
    bytes.append(text, int(len));
    return bytes;
}

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
    QByteArray bytes = request(voice, srate, sentences, wav);
    process->write(bytes.constData(), 4);
    process->write(bytes.constData() + 4, bytes.size() - 4);
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
        double seconds = SpeechWav::secondsOfFile(utf8ToPath(wav));
        report(true, "", seconds < 0 ? 0.0 : seconds);
    }
}
