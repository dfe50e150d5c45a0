#pragma once

#include "recording/SpeechCheck.h"

#include <cstddef>
#include <cstdint>

// The length of a take as its samples arrive, and whether the take is worth
// keeping: a take under a second is not, nor one that holds no speech (a
// muted or wrong input device, a click, a cough, a hum or noise).
class TakeMeter
{
public:
    enum class Verdict { Keep, TooShort, Silent, NoSpeech };

    // One second of 48000 Hz samples.
    static constexpr uint64_t kMinFrames = 48000;

    void reset();
    // 16-bit little-endian mono samples; a trailing odd byte is ignored.
    void add(const uint8_t* data, size_t len);

    uint64_t frames() const { return count; }
    SpeechCheck::Result speech() const { return check.result(); }
    Verdict verdict() const;

private:
    uint64_t count = 0;
    SpeechCheck check;
};
