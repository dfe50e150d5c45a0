#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// The file of one take: a 44-byte WAV header and 16-bit mono samples at
// 48000 Hz. A take is recorded into its part file beside it and renamed over
// the take only once it ended well.
class TakeWav
{
public:
    static constexpr uint32_t kHeaderBytes = 44;
    static constexpr uint32_t kSampleRate = 48000;
    static constexpr uint32_t kBytesPerFrame = 2;
    // The largest take, header included: over an hour and a half of speech.
    static constexpr uint64_t kMaxBytes = uint64_t(512) << 20;

    // The header in front of dataBytes of samples.
    static std::string header(uint64_t dataBytes, uint32_t sampleRate = kSampleRate,
                              uint32_t bytesPerFrame = kBytesPerFrame);
    // Where a take is recorded until it ends: its name plus ".tmp".
    static std::filesystem::path partPath(const std::filesystem::path& take);

    // Whether take is a finished take: a regular file (not a link) of at most
    // kMaxBytes whose header is ours and matches its size, with samples
    // behind it. Otherwise why gets the reason. Reads 44 bytes at most.
    static bool check(const std::filesystem::path& take, std::string* why = nullptr);
};
