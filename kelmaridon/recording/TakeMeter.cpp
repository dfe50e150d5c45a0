#include "recording/TakeMeter.h"

#include <cmath>

void TakeMeter::reset()
{
    count = 0;
    maxAbs = 0;
    sumSquares = 0;
}

void TakeMeter::add(const uint8_t* data, size_t len)
{
    size_t frames = len / 2;
    int peakHere = maxAbs;
    uint64_t squares = 0;
    for (size_t i = 0; i < frames; ++i) {
        int s = int16_t(uint16_t(data[2 * i]) | uint16_t(data[2 * i + 1]) << 8);
        int a = s < 0 ? -s : s;
        if (a > peakHere)
            peakHere = a;
        squares += uint64_t(int64_t(s) * s);
    }
    maxAbs = peakHere;
    sumSquares += double(squares);
    count += frames;
}

double TakeMeter::rms() const
{
    return count ? std::sqrt(sumSquares / double(count)) : 0.0;
}

TakeMeter::Verdict TakeMeter::verdict() const
{
    if (count < kMinFrames)
        return Verdict::TooShort;
    if (maxAbs < kSilentPeak || rms() < kSilentRms)
        return Verdict::Silent;
    return Verdict::Keep;
}
