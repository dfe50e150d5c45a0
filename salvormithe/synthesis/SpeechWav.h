#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>

// The one audio format salvormithe writes: a 44-byte PCM header followed by
// signed 16-bit little-endian mono samples at 22050 Hz.
class SpeechWav
{
public:
    static constexpr int headerSize = 44;
    static constexpr int sampleRate = 22050;
    static constexpr int sampleWidth = 2;
    static constexpr int channels = 1;

    // The most samples a file can hold: the header's size fields are 32 bits wide.
    static constexpr uint64_t maxSamples = (0xFFFFFFFFull - 36) / sampleWidth;
    // The error of audio for path that would pass maxSamples.
    static std::string tooLongError(const std::string& path);

    static std::string header(unsigned sampleCount);
    // Seconds of audio in a file of that size (0 below the header size).
    static double secondsOfSize(int64_t fileSize);
    // Seconds of audio in the file; -1 when its size cannot be read.
    static double secondsOfFile(const std::filesystem::path& path);
    // The unfinished file that the process pid writes for path: beside it, so that
    // a rename puts it in place, and known to the parent of a conversion worker.
    static std::string partPath(const std::string& path, long pid);
    // Held while this process creates its unfinished file or puts it in place,
    // so that removing it when a signal ends the process never races either.
    static std::mutex& partMutex();
};
