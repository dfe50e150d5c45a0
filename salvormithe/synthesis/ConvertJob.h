#pragma once

#include "synthesis/ConvertPoolCore.h"
#include "synthesis/ConvertRequest.h"

#include <memory>
#include <string>

class WorkerProcess;

// One conversion: a child process that receives the request and writes one WAV.
struct ConvertJob
{
    std::shared_ptr<ConvertPoolCore> pool;
    ConvertRequest request;
    QString program; // the worker program
    ConvertCallback callback; // the pool's completion around the caller's callback
    std::shared_ptr<bool> reported = std::make_shared<bool>(false);
    std::shared_ptr<qint64> pid = std::make_shared<qint64>(0);

    // Starts the child and sends the request.
    void start();
    // The child has ended.
    void onFinished(WorkerProcess* process, int exitCode, bool crashed);

private:
    void report(bool ok, const std::string& error, double seconds);
};
