#pragma once

#include <cstdint>
#include <functional>
#include <string>

extern "C" {
#include <libavutil/samplefmt.h>
}

struct ResampleLibrary;
struct SwrContext;

// Converts the synthesizer's samples to 16-bit mono at 22050 Hz, one second
// of input at a time. Input already in that format is copied straight through,
// without loading the resampling libraries.
class WavResampler
{
public:
    using Writer = std::function<void(const int16_t* samples, int count)>;

    WavResampler() = default;
    ~WavResampler();
    WavResampler(const WavResampler&) = delete;
    WavResampler& operator=(const WavResampler&) = delete;

    // Sets up the conversion from the input's rate, sample width (bytes, all channels)
    // and channel count; false when the format cannot be converted.
    bool setup(int inRate, int sampleWidth, int channelCount);
    // Whether setup succeeded.
    bool hasContext() const { return ctx != nullptr || passThrough; }

    // Holds the bytes and converts one block once a whole block is held.
    bool feed(const uint8_t* bytes, size_t count, const Writer& writer);
    // Converts every held byte.
    bool convertHeld(const Writer& writer);
    // Hands out what the converter still holds back at the end of the input.
    bool drain(const Writer& writer);

    int bytesPerSample() const;

private:
    bool convert(const uint8_t* input, int samples, const Writer& writer);

    const ResampleLibrary* av = nullptr;
    SwrContext* ctx = nullptr;
    bool passThrough = false;
    int inChannels = 1;
    AVSampleFormat inFormat = AV_SAMPLE_FMT_NONE;
    int inRate = 0;
    int outChannels = 1;
    AVSampleFormat outFormat = AV_SAMPLE_FMT_S16;
    int outRate = 22050;
    std::string held;
    int blockSamples = 0;
};
