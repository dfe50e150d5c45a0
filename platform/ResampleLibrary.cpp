#include "platform/ResampleLibrary.h"

#include "platform/SharedLibrary.h"

extern "C" {
#include <libavutil/version.h>
#include <libswresample/version_major.h>
}

#include <mutex>

#define QV_STR2(x) #x
#define QV_STR(x) QV_STR2(x)

namespace {

std::mutex logMutex;
bool quiet = false;
decltype(&av_log_set_level) loadedSetLogLevel = nullptr;

struct Loaded
{
    SharedLibrary avutil{"libavutil.so." QV_STR(LIBAVUTIL_VERSION_MAJOR)};
    SharedLibrary swresample{"libswresample.so." QV_STR(LIBSWRESAMPLE_VERSION_MAJOR)};
    ResampleLibrary api;
    bool ok = false;
    std::string error;

    Loaded()
    {
        decltype(&av_log_set_level) setLogLevel = nullptr;
        bool util = avutil.resolve("av_log_set_level", setLogLevel) &&
                    avutil.resolve("av_channel_layout_default", api.channelLayoutDefault) &&
                    avutil.resolve("av_samples_fill_arrays", api.samplesFillArrays) &&
                    avutil.resolve("av_samples_alloc_array_and_samples", api.samplesAllocArrayAndSamples) &&
                    avutil.resolve("av_freep", api.freep);
        bool swr = util && swresample.resolve("swr_alloc_set_opts2", api.allocSetOpts2) &&
                   swresample.resolve("swr_init", api.init) && swresample.resolve("swr_free", api.freeContext) &&
                   swresample.resolve("swr_get_out_samples", api.getOutSamples) &&
                   swresample.resolve("swr_convert", api.convert);
        ok = util && swr;
        if (!util)
            error = avutil.error();
        else if (!swr)
            error = swresample.error();
        if (util) {
            std::lock_guard<std::mutex> lock(logMutex);
            loadedSetLogLevel = setLogLevel;
            if (quiet)
                setLogLevel(AV_LOG_QUIET);
        }
    }
};

} // namespace

const ResampleLibrary* ResampleLibrary::get(std::string& error)
{
    static const Loaded loaded;
    if (!loaded.ok) {
        error = "Cannot load the resampler: " + loaded.error;
        return nullptr;
    }
    return &loaded.api;
}

void ResampleLibrary::silenceLog()
{
    std::lock_guard<std::mutex> lock(logMutex);
    quiet = true;
    if (loadedSetLogLevel)
        loadedSetLogLevel(AV_LOG_QUIET);
}
