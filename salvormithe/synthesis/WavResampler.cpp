#include "synthesis/WavResampler.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

WavResampler::~WavResampler()
{
    swr_free(&ctx);
}

bool WavResampler::setup(int rate, int sampleWidth, int channelCount)
{
    swr_free(&ctx);
    held.clear();
    inRate = rate;
    int perChannel = channelCount > 0 ? sampleWidth / channelCount : 0;
    switch (perChannel) {
    case 1: inFormat = AV_SAMPLE_FMT_U8; break;
    case 2: inFormat = AV_SAMPLE_FMT_S16; break;
    case 4: inFormat = AV_SAMPLE_FMT_S32; break;
    default: inFormat = AV_SAMPLE_FMT_NONE; break;
    }
    if (inFormat == AV_SAMPLE_FMT_NONE || rate <= 0)
        return false;
    AVChannelLayout inLayout, outLayout;
    av_channel_layout_default(&inLayout, inChannels);
    av_channel_layout_default(&outLayout, outChannels);
    if (swr_alloc_set_opts2(&ctx, &outLayout, outFormat, outRate, &inLayout, inFormat, inRate, 0, nullptr) < 0 ||
        !ctx || swr_init(ctx) < 0) {
        swr_free(&ctx);
        return false;
    }
    blockSamples = inRate;
    return true;
}

int WavResampler::bytesPerSample() const
{
    return av_get_bytes_per_sample(inFormat) * inChannels;
}

bool WavResampler::convert(const uint8_t* input, int samples, const Writer& writer)
{
    uint8_t* inPlanes[1] = {nullptr};
    int linesize = 0;
    if (input && av_samples_fill_arrays(inPlanes, &linesize, input, inChannels, samples, inFormat, 0) < 0)
        return false;
    int capacity = swr_get_out_samples(ctx, input ? samples : 0);
    if (capacity <= 0)
        return capacity == 0;
    uint8_t** out = nullptr;
    if (av_samples_alloc_array_and_samples(&out, &linesize, outChannels, capacity, outFormat, 0) < 0 || !out)
        return false;
    int n = swr_convert(ctx, out, capacity, input ? const_cast<const uint8_t**>(inPlanes) : nullptr,
                        input ? samples : 0);
    if (n > 0)
        writer(reinterpret_cast<const int16_t*>(out[0]), n);
    av_freep(&out[0]);
    av_freep(&out);
    return n >= 0;
}

bool WavResampler::feed(const uint8_t* bytes, size_t count, const Writer& writer)
{
    if (!ctx)
        return false;
    held.append(reinterpret_cast<const char*>(bytes), count);
    int blockBytes = av_samples_get_buffer_size(nullptr, inChannels, blockSamples, inFormat, 0);
    if (blockBytes <= 0)
        return false;
    if (held.size() < size_t(blockBytes))
        return true;
    if (!convert(reinterpret_cast<const uint8_t*>(held.data()), blockSamples, writer))
        return false;
    held.erase(0, size_t(blockBytes));
    return true;
}

bool WavResampler::convertHeld(const Writer& writer)
{
    if (!ctx)
        return false;
    bool ok = true;
    int n = int(held.size() / size_t(bytesPerSample()));
    if (n > 0)
        ok = convert(reinterpret_cast<const uint8_t*>(held.data()), n, writer);
    held.clear();
    return ok;
}

bool WavResampler::drain(const Writer& writer)
{
    if (!ctx)
        return true;
    return convert(nullptr, 0, writer);
}
