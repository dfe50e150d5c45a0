#include "synthesis/SpeechWav.h"

#include "platform/PiperHelper.h"

std::string SpeechWav::header(unsigned sampleCount)
{
    return pp_wavheader(sampleRate, sampleWidth, channels, sampleCount);
}

double SpeechWav::secondsOfSize(int64_t fileSize)
{
    if (fileSize <= headerSize)
        return 0;
    return double((fileSize - headerSize) / sampleWidth) / sampleRate;
}

double SpeechWav::secondsOfFile(const std::filesystem::path& path)
{
    std::error_code ec;
    auto size = std::filesystem::file_size(path, ec);
    if (ec)
        return -1;
    return secondsOfSize(int64_t(size));
}

std::string SpeechWav::tooLongError(const std::string& path)
{
    return "The audio would pass the 4 GiB a WAV file can hold(" + path + ")";
}

std::string SpeechWav::partPath(const std::string& path, long pid)
{
    return path + "." + std::to_string(pid) + ".part";
}

std::mutex& SpeechWav::partMutex()
{
    static std::mutex m;
    return m;
}
