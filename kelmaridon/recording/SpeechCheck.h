#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Whether 16-bit mono samples at 48000 Hz hold speech. The samples are judged
// in frames of 20 ms, each without its own DC offset, against the quiet floor
// of the samples themselves: speech needs enough frames well above that floor,
// and a level that rises and falls with the syllables. A steady hum, tone or
// noise, an offset, a click or one short burst is no speech. Samples may come
// in blocks of any size.
class SpeechCheck
{
public:
    enum class Verdict { Speech, Silent, NoSpeech };

    // 20 ms at 48000 Hz.
    static constexpr int kFrameSamples = 960;
    // No frame reaches -60 dBFS: the input gave no sound.
    static constexpr double kSilentDb = -60.0;
    // The floor is the level that a twentieth of the frames stay under (the
    // pauses, or the dips between syllables), but never taken below -70 dBFS,
    // the noise of a quiet room and microphone.
    static constexpr double kLowestFloorDb = -70.0;
    // A frame carries speech when it is this far above the floor.
    static constexpr double kAboveFloorDb = 12.0;
    // A spoken sentence, even of two words, holds this much speech.
    static constexpr double kMinSpeechSeconds = 0.3;
    // The level rises and falls by this much from one syllable to the next...
    static constexpr double kSwingDb = 8.0;
    // ...at least twice, and once a second of speech.
    static constexpr int kMinRises = 2;
    static constexpr double kMinRisesPerSecond = 1.0;

    struct Result
    {
        Verdict verdict = Verdict::Silent;
        // The loudest frame and the floor, in dBFS.
        double loudestDb = -100.0;
        double floorDb = kLowestFloorDb;
        // Time of the frames well above the floor, and the syllable-like peaks among them.
        double speechSeconds = 0.0;
        int rises = 0;
    };

    void reset();
    void add(const int16_t* samples, size_t count);
    // The judgement of the whole frames added so far.
    Result result() const;
    Verdict verdict() const { return result().verdict; }

private:
    void endFrame();

    // The level of each whole frame in dBFS.
    std::vector<float> levels;
    // The frame being filled.
    int filled = 0;
    int64_t sum = 0;
    int64_t sumSquares = 0;
};
