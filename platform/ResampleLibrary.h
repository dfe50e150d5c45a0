#pragma once

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <string>

// libswresample and libavutil, loaded on first use: only a voice whose sample
// rate differs from the output's needs them.
struct ResampleLibrary
{
    decltype(&swr_alloc_set_opts2) allocSetOpts2 = nullptr;
    decltype(&swr_init) init = nullptr;
    decltype(&swr_free) freeContext = nullptr;
    decltype(&swr_get_out_samples) getOutSamples = nullptr;
    decltype(&swr_convert) convert = nullptr;
    decltype(&av_channel_layout_default) channelLayoutDefault = nullptr;
    decltype(&av_samples_fill_arrays) samplesFillArrays = nullptr;
    decltype(&av_samples_alloc_array_and_samples) samplesAllocArrayAndSamples = nullptr;
    decltype(&av_freep) freep = nullptr;

    // The libraries, loaded once per process; null with error set when they cannot be used.
    static const ResampleLibrary* get(std::string& error);
    // The libraries log nothing from now on, loaded or not (a worker's standard error
    // carries its one message only).
    static void silenceLog();
};
