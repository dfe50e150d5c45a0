#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace piper {

// What the loaded voice produces, and the settings it speaks with.
struct SynthesisConfig
{
    int sampleRate = 22050;
    int sampleWidth = 2; // bytes per sample, all channels
    int channels = 1;
    float noiseScale = 0.667f;
    float lengthScale = 1.0f;
    float noiseW = 0.8f;
    float sentenceSilenceSeconds = 0.2f;
    std::optional<int64_t> speakerId;
};

} // namespace piper

// Speech synthesis of one voice. The voice's ".onnx.json" gives the language
// ("espeak"/"voice"), the sample rate ("audio"/"sample_rate") and the number of
// speakers; the speech itself comes from espeak-ng, each speaker of a voice
// with its own espeak-ng variant. A configuration whose "speech" object holds
// "pitch_hz" (the speaker's median pitch) and "speaking_rate" (the speaker's
// pace, 1 = espeak-ng's normal pace) is spoken at that pitch and pace. The
// model file must exist and be readable.
class PiperHelper
{
public:
    struct RunConfig
    {
        std::filesystem::path modelPath;
        std::filesystem::path modelConfigPath;
        std::optional<int64_t> speakerId;
        std::optional<float> noiseScale;
        std::optional<float> lengthScale;
        std::optional<float> noiseW;
        std::optional<float> sentenceSilenceSeconds;
        std::optional<std::filesystem::path> eSpeakDataPath;
        std::optional<std::filesystem::path> tashkeelModelPath;
    };
    using SamplesCallback = std::function<void(const std::vector<short>&)>;

    PiperHelper();
    ~PiperHelper();
    PiperHelper(const PiperHelper&) = delete;
    PiperHelper& operator=(const PiperHelper&) = delete;

    // Loads the voice; false with lastErr() set when it cannot be used.
    bool load(const RunConfig& config, SamplesCallback callback);
    // Speaks one sentence; its samples reach the callback before this returns.
    bool update(const std::string& sentence);
    // Samples delivered since load.
    int totalSamples() const;
    const std::string& lastErr() const;
    piper::SynthesisConfig voiceConf() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The 44-byte RIFF/WAVE header of 16-bit-style PCM data.
std::string pp_wavheader(int sampleRate, int sampleWidth, int channels, unsigned sampleCount);
