#include "recording/SpeechCheck.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kFullScaleSquared = 32768.0 * 32768.0;
constexpr float kNothingDb = -100.0f;

// Syllable-like peaks of the levels: each peak reaches threshold and the level
// falls by swing after it; a peak still held at the end counts too.
int countRises(const std::vector<float>& levels, double threshold, double swing)
{
    int rises = 0;
    bool climbing = true;
    double high = -std::numeric_limits<double>::infinity();
    double low = std::numeric_limits<double>::infinity();
    for (float v : levels) {
        if (climbing) {
            high = std::max(high, double(v));
            if (high >= threshold && v <= high - swing) {
                ++rises;
                climbing = false;
                low = v;
            }
        } else {
            low = std::min(low, double(v));
            if (v >= low + swing) {
                climbing = true;
                high = v;
            }
        }
    }
    if (climbing && high >= threshold)
        ++rises;
    return rises;
}

} // namespace

void SpeechCheck::reset()
{
    levels.clear();
    // Ten minutes of frames: a take's frames are added without allocating.
    levels.reserve(size_t(10 * 60 * 48000 / kFrameSamples));
    filled = 0;
    sum = 0;
    sumSquares = 0;
}

void SpeechCheck::add(const int16_t* samples, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        int64_t s = samples[i];
        sum += s;
        sumSquares += s * s;
        if (++filled == kFrameSamples)
            endFrame();
    }
}

void SpeechCheck::endFrame()
{
    // The energy around the frame's own mean: its DC offset does not count.
    double n = kFrameSamples;
    double energy = (double(sumSquares) - double(sum) * double(sum) / n) / n;
    float db = energy > 0.5 ? float(10.0 * std::log10(energy / kFullScaleSquared)) : kNothingDb;
    levels.push_back(std::max(db, kNothingDb));
    filled = 0;
    sum = 0;
    sumSquares = 0;
}

SpeechCheck::Result SpeechCheck::result() const
{
    Result r;
    if (levels.empty())
        return r;
    r.loudestDb = *std::max_element(levels.begin(), levels.end());
    if (r.loudestDb < kSilentDb)
        return r;
    std::vector<float> sorted(levels);
    auto quiet = sorted.begin() + std::ptrdiff_t(sorted.size() / 20);
    std::nth_element(sorted.begin(), quiet, sorted.end());
    r.floorDb = std::max(double(*quiet), kLowestFloorDb);
    double threshold = r.floorDb + kAboveFloorDb;
    size_t speechFrames = size_t(std::count_if(levels.begin(), levels.end(), [&](float v) { return v >= threshold; }));
    r.speechSeconds = double(speechFrames) * kFrameSamples / 48000.0;
    r.rises = countRises(levels, threshold, kSwingDb);
    bool speech = r.speechSeconds >= kMinSpeechSeconds && r.rises >= kMinRises &&
                  r.rises >= r.speechSeconds * kMinRisesPerSecond;
    r.verdict = speech ? Verdict::Speech : Verdict::NoSpeech;
    return r;
}
