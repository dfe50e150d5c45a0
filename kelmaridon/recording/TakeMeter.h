#pragma once

#include <cstddef>
#include <cstdint>

// The length and loudness of a take as its samples arrive, and whether the
// take is worth keeping: a take under a second, or one whose peak or level is
// far below speech (a muted or wrong input device), is not.
class TakeMeter
{
public:
    enum class Verdict { Keep, TooShort, Silent };

    // One second of 48000 Hz samples.
    static constexpr uint64_t kMinFrames = 48000;
    // -40 dBFS: the loudest sample of speech is far above it.
    static constexpr int kSilentPeak = 328;
    // -60 dBFS over the whole take, pauses included.
    static constexpr double kSilentRms = 33.0;

    void reset();
    // 16-bit little-endian mono samples; a trailing odd byte is ignored.
    void add(const uint8_t* data, size_t len);

    uint64_t frames() const { return count; }
    int peak() const { return maxAbs; }
    double rms() const;
    Verdict verdict() const;

private:
    uint64_t count = 0;
    int maxAbs = 0;
    double sumSquares = 0;
};
