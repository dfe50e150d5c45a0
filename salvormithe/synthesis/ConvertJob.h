#pragma once

#include "synthesis/ConvertPoolCore.h"
#include "synthesis/ConvertRequest.h"

#include <QProcess>

#include <memory>
#include <string>
#include <vector>

// One conversion: a child process that receives the request and writes one WAV.
struct ConvertJob
{
    std::shared_ptr<ConvertPoolCore> pool;
    ConvertRequest request;
    ConvertCallback callback; // the pool's completion around the caller's callback
    std::shared_ptr<bool> reported = std::make_shared<bool>(false);
    std::shared_ptr<qint64> pid = std::make_shared<qint64>(0);

    // The longest a child may take to start.
    static constexpr int startLimitMs = 1000;

    // Starts the child; the request follows once it runs. Returns without waiting
    // for the child's start.
    void start();
    // The child runs: it gets the request.
    void onStarted(QProcess* process);
    // The child could not be started, or did not start in time.
    void onStartFailed(QProcess* process, const std::string& error);
    // The child has ended.
    void onFinished(QProcess* process, int exitCode, QProcess::ExitStatus status);

private:
    void report(bool ok, const std::string& error, double seconds);
};
