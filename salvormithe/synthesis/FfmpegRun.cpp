#include "synthesis/FfmpegRun.h"

#include "platform/FfmpegCmd.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdio>

namespace {

constexpr size_t maxLogBytes = 65536;

int stopRequested(void* flag)
{
    return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0;
}

} // namespace

std::string& ffmpegLogBuffer()
{
    thread_local std::string buffer;
    return buffer;
}

std::string& ffmpegRunError()
{
    thread_local std::string error;
    return error;
}

void formatFfmpegLog(void*, int level, const char* format, va_list arguments)
{
    if (level > av_log_get_level())
        return;
    va_list copy;
    va_copy(copy, arguments);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0)
        return;
    std::string line(size_t(n), '\0');
    std::vsnprintf(line.data(), line.size() + 1, format, arguments);
    std::printf("%s", line.c_str());

    if (level <= AV_LOG_ERROR) {
        std::string& error = ffmpegRunError();
        error = line;
        while (!error.empty() && (error.back() == '\n' || error.back() == '\r'))
            error.pop_back();
    }

    std::string& buffer = ffmpegLogBuffer();
    buffer += line;
    if (buffer.size() > maxLogBytes)
        buffer.erase(0, buffer.size() - maxLogBytes);
}

void ffmpegLogCallback(void* context, int level, const char* format, va_list arguments)
{
    formatFfmpegLog(context, level, format, arguments);
}

void ffmpegExitHook(int code)
{
    throw code;
}

int runFfmpeg(std::vector<const char*> arguments, std::string* log, const std::atomic<bool>* stop)
{
    ffmpegRunError().clear();
    if (log) {
        ffmpegLogBuffer().clear();
        av_log_set_callback(ffmpegLogCallback);
    }
    register_toexit(ffmpegExitHook);
    register_interrupt(stop ? stopRequested : nullptr, const_cast<std::atomic<bool>*>(stop));

    int code = 0;
    try {
        arguments.insert(arguments.begin(), "");
        int argc = int(arguments.size());
        arguments.push_back(nullptr);
        code = ffmpeg_main(argc, const_cast<char**>(arguments.data()));
    } catch (int exitCode) {
        code = exitCode;
    } catch (...) {
        // Nothing else may leave here: the caller is a worker thread.
        code = -1;
    }

    register_interrupt(nullptr, nullptr);
    if (log) {
        *log = ffmpegLogBuffer();
        av_log_set_callback(av_log_default_callback);
    }
    return code;
}
