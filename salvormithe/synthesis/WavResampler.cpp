#include "synthesis/WavResampler.h"

#include "platform/ResampleLibrary.h"

WavResampler::~WavResampler()
{
    if (av)
        av->freeContext(&ctx);
}

bool WavResampler::setup(int rate, int sampleWidth, int channelCount)
{
    if (av)
        av->freeContext(&ctx);
    passThrough = false;
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
    blockSamples = inRate;
    if (inFormat == outFormat && inRate == outRate && inChannels == outChannels) {
        passThrough = true;
        return true;
    }
    std::string error;
    if (!av && !(av = ResampleLibrary::get(error)))
        return false;
    AVChannelLayout inLayout, outLayout;
    av->channelLayoutDefault(&inLayout, inChannels);
    av->channelLayoutDefault(&outLayout, outChannels);
    if (av->allocSetOpts2(&ctx, &outLayout, outFormat, outRate, &inLayout, inFormat, inRate, 0, nullptr) < 0 ||
        !ctx || av->init(ctx) < 0) {
        av->freeContext(&ctx);
        return false;
    }
    return true;
}

int WavResampler::bytesPerSample() const
{
    switch (inFormat) {
    case AV_SAMPLE_FMT_U8: return inChannels;
    case AV_SAMPLE_FMT_S16: return 2 * inChannels;
    case AV_SAMPLE_FMT_S32: return 4 * inChannels;
    default: return 0;
    }
}

bool WavResampler::convert(const uint8_t* input, int samples, const Writer& writer)
{
    if (passThrough) {
        if (input && samples > 0)
            writer(reinterpret_cast<const int16_t*>(input), samples);
        return true;
    }
    uint8_t* inPlanes[1] = {nullptr};
    int linesize = 0;
    if (input && av->samplesFillArrays(inPlanes, &linesize, input, inChannels, samples, inFormat, 0) < 0)
        return false;
    int capacity = av->getOutSamples(ctx, input ? samples : 0);
    if (capacity <= 0)
        return capacity == 0;
    uint8_t** out = nullptr;
    if (av->samplesAllocArrayAndSamples(&out, &linesize, outChannels, capacity, outFormat, 0) < 0 || !out)
        return false;
    int n = av->convert(ctx, out, capacity, input ? const_cast<const uint8_t**>(inPlanes) : nullptr,
                        input ? samples : 0);
    if (n > 0)
        writer(reinterpret_cast<const int16_t*>(out[0]), n);
    av->freep(&out[0]);
    av->freep(&out);
    return n >= 0;
}

bool WavResampler::feed(const uint8_t* bytes, size_t count, const Writer& writer)
{
    if (!hasContext())
        return false;
    held.append(reinterpret_cast<const char*>(bytes), count);
    // The size of a block as the libraries count it: whole samples, their number
    // rounded up to 32.
    int blockBytes = ((blockSamples + 31) / 32 * 32) * bytesPerSample();
    if (blockBytes <= 0)
        return false;
    if (held.size() < size_t(blockBytes))
        return true;
    if (!convert(reinterpret_cast<const uint8_t*>(held.data()), blockSamples, writer))
        return false;
    held.erase(0, size_t(blockSamples) * size_t(bytesPerSample()));
    return true;
}

bool WavResampler::convertHeld(const Writer& writer)
{
    if (!hasContext())
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
