#pragma once

#include "platform/FfmpegCmd.h"

#include <atomic>
#include <cstdarg>
#include <string>
#include <vector>

// Runs one FFmpeg command line (without the program name) in this thread and
// returns FFmpeg's exit code. With a log, the run's log lines of this thread
// (at most the last 64 KiB) are copied into it. Once *stop is set the run
// ends within a fraction of a second, its output unfinished, with the code
// ffmpegStoppedCode.
int runFfmpeg(std::vector<const char*> arguments, std::string* log,
              const std::atomic<bool>* stop = nullptr);

// The av_log callback installed while runFfmpeg collects a log.
void ffmpegLogCallback(void* context, int level, const char* format, va_list arguments);
void formatFfmpegLog(void* context, int level, const char* format, va_list arguments);

// The exit hook handed to FFmpeg: throws the code as an int.
void ffmpegExitHook(int code);

// This thread's log of the current run.
std::string& ffmpegLogBuffer();

// The last error message (or worse) of this thread's latest run, without its
// line end; empty when the run logged none. FFmpeg may exit 0 after one, for
// example when the trailer of a full disk's file cannot be written.
std::string& ffmpegRunError();
