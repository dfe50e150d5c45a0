#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <atomic>
#include <cstdint>

// Remembers the training environment's folder, in memory and in the data
// folder's "tenv" file.
void saveTenvPath(const QString& folder);
// The environment's folder; empty when it was never set.
QString tenvPath();
// True when folder is a finished environment: a folder without the
// "installing" marker of an unpack that has not ended.
bool isInstalledTenv(const QString& folder);

// The environment a training child runs with: this program's own, with the
// environment's "Scripts" and "ffmpeg" folders in front of PATH.
QProcessEnvironment tenvProcessEnvironment(const QString& tenvRoot);

// Bytes of memory of CUDA device 0 as the environment's Python reports it; 0
// without a device, when the probe fails, or when it has not ended within
// timeoutMs or cancel was set (it is then killed; cancel is looked at every 50 ms).
uint64_t probeGpuMemory(int timeoutMs = 120000, const std::atomic<bool>* cancel = nullptr);
