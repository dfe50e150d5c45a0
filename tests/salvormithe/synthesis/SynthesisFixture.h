#pragma once

// Test voices built on the spot and a reader for the speech WAV files.

#include "common/FileUtils.h"
#include "voices/VoiceStore.h"

#include "TestUtil.h"

#include <QByteArray>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace synthtest {

// Writes a voice folder into the store: a model file (not a real network), a
// configuration with the given language, rate and speaker count, and speaker files.
inline LocalVoice installVoice(const std::string& uid, const std::vector<int>& spks, int sampleRate = 22050,
                               const std::string& espeakVoice = "en-us", int numSpeakers = 1,
                               const std::string& lang = "en_US")
{
    namespace fs = std::filesystem;
    fs::path dir = voicesDir() / uid;
    fs::create_directories(dir / "speakers");
    testutil::writeFile(dir / (uid + ".onnx"), QByteArray("test model weights"));
    std::string config = "{\"audio\":{\"sample_rate\":" + std::to_string(sampleRate) +
                         ",\"quality\":\"medium\"},\"espeak\":{\"voice\":\"" + espeakVoice +
                         "\"},\"inference\":{\"noise_scale\":0.667,\"length_scale\":1,\"noise_w\":0.8},"
                         "\"num_speakers\":" + std::to_string(numSpeakers) + ",\"speaker_id_map\":{}}";
    testutil::writeFile(dir / (uid + ".onnx.json"), QByteArray::fromStdString(config));
    for (int spk : spks) {
        LocalVoice v;
        v.uid = uid;
        v.spk = spk;
        v.lang = lang;
        v.name = uid + " speaker " + std::to_string(spk);
        std::string err;
        writeFileAtomic(dir / "speakers" / SpeakerFile::fileName(spk), SpeakerFile::toJson(v), err);
    }
    LocalVoice out;
    if (!spks.empty())
        findInstalledVoice(uid, spks.front(), out);
    return out;
}

struct Wav
{
    bool valid = false;
    int rate = 0;
    int channels = 0;
    int bits = 0;
    uint32_t riffSize = 0;
    uint32_t dataSize = 0;
    int64_t fileSize = 0;
    std::vector<int16_t> samples;

    double seconds() const { return rate ? double(samples.size()) / rate : 0; }
    double rms() const
    {
        double sum = 0;
        for (int16_t s : samples)
            sum += double(s) * s;
        return samples.empty() ? 0 : std::sqrt(sum / samples.size());
    }
    // Zero crossings a second: a rough pitch measure.
    double crossingRate() const
    {
        int n = 0;
        for (size_t i = 1; i < samples.size(); ++i)
            n += (samples[i - 1] < 0) != (samples[i] < 0);
        return seconds() > 0 ? n / seconds() : 0;
    }
};

inline uint32_t le32(const char* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline uint16_t le16(const char* p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline Wav readWav(const std::filesystem::path& p)
{
    Wav w;
    QByteArray b = testutil::readFile(p);
    w.fileSize = b.size();
    if (b.size() < 44 || std::memcmp(b.constData(), "RIFF", 4) != 0 || std::memcmp(b.constData() + 8, "WAVE", 4) != 0 ||
        std::memcmp(b.constData() + 12, "fmt ", 4) != 0 || std::memcmp(b.constData() + 36, "data", 4) != 0)
        return w;
    const char* d = b.constData();
    w.riffSize = le32(d + 4);
    w.channels = le16(d + 22);
    w.rate = int(le32(d + 24));
    w.bits = le16(d + 34);
    w.dataSize = le32(d + 40);
    w.samples.resize(size_t(b.size() - 44) / 2);
    if (!w.samples.empty())
        std::memcpy(w.samples.data(), d + 44, w.samples.size() * 2);
    w.valid = le16(d + 20) == 1 && le32(d + 16) == 16;
    return w;
}

// The header is consistent with the file: sizes and the one format.
inline bool isSpeechWav(const Wav& w)
{
    return w.valid && w.rate == 22050 && w.channels == 1 && w.bits == 16 && w.dataSize == w.fileSize - 44 &&
           w.riffSize == w.fileSize - 8;
}

} // namespace synthtest
