#pragma once

#include "ConvertPool.h"
#include "LocalVoice.h"

#include <QProcess>

#include <memory>
#include <string>
#include <vector>

// One conversion: a child process that receives the request and writes one WAV.
struct ConvertJob
{
    std::shared_ptr<ConvertPool::Core> pool;
    LocalVoice voice;
    float srate = 1.0f;
    std::vector<std::string> sentences;
    std::string wav;
    ConvertCallback callback; // the pool's completion around the caller's callback
    std::shared_ptr<bool> reported = std::make_shared<bool>(false);
    std::shared_ptr<qint64> pid = std::make_shared<qint64>(0);

    // Starts the child and sends the request.
    void start();
    // The child has ended.
    void onFinished(QProcess* process, int exitCode, QProcess::ExitStatus status);

    // The request bytes: the text's length as a 32-bit little-endian word, then the JSON text.
    static QByteArray request(const LocalVoice& voice, float srate, const std::vector<std::string>& sentences,
                              const std::string& wav);

private:
    void report(bool ok, const std::string& error, double seconds);
};
