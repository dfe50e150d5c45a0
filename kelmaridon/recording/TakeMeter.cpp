#include "recording/TakeMeter.h"

#include <algorithm>

void TakeMeter::reset()
{
    count = 0;
    check.reset();
}

void TakeMeter::add(const uint8_t* data, size_t len)
{
    int16_t samples[1024];
    size_t frames = len / 2;
    for (size_t done = 0; done < frames;) {
        size_t n = std::min(frames - done, sizeof samples / sizeof samples[0]);
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* p = data + 2 * (done + i);
            samples[i] = int16_t(uint16_t(p[0]) | uint16_t(p[1]) << 8);
        }
        check.add(samples, n);
        done += n;
    }
    count += frames;
}

TakeMeter::Verdict TakeMeter::verdict() const
{
    if (count < kMinFrames)
        return Verdict::TooShort;
    switch (check.verdict()) {
    case SpeechCheck::Verdict::Speech:
        return Verdict::Keep;
    case SpeechCheck::Verdict::Silent:
        return Verdict::Silent;
    case SpeechCheck::Verdict::NoSpeech:
        break;
    }
    return Verdict::NoSpeech;
}
