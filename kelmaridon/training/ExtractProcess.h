#pragma once

#include "training/GroupedProcess.h"

#include <QByteArray>
#include <QString>

#include <functional>

// One run of the 7z program unpacking an archive: its percent progress from
// standard output, its standard error kept as the error text, and its end.
class ExtractProcess
{
public:
    ExtractProcess();
    ~ExtractProcess();
    ExtractProcess(const ExtractProcess&) = delete;
    ExtractProcess& operator=(const ExtractProcess&) = delete;

    // Ends a running 7z with everything it started, and waits for it; the
    // callbacks are not called any more.
    void kill();

    // Characters of standard error kept: the last ones.
    static constexpr int maxErrorText = 16384;

    GroupedProcess process;
    QString errorText;
    // Digits that ended the last chunk of standard output.
    QString pendingDigits;
    // Called on the process's thread.
    std::function<void(int percent)> progress;
    std::function<void(bool success)> finished;
};

// Starts "7z" from PATH unpacking archive into outDir, overwriting what is
// there; false with the error text set when it has not started within 500 ms.
bool start7z(ExtractProcess& p, const QString& archive, const QString& outDir);

// Handles a chunk of output: channel 2 (standard error) is added to the error
// text, anything else reports the last number followed by "%" as progress
// (a number cut by the chunk's end is completed by the next chunk).
void parse7zProgress(ExtractProcess& p, int channel, const QByteArray& data);
