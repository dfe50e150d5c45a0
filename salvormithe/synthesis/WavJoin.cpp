#include "synthesis/WavJoin.h"

#include "common/FileUtils.h"
#include "platform/PiperHelper.h"
#include "synthesis/SpeechWav.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

constexpr std::streamoff headerSize = 44;

bool fail(std::string* error, const std::string& path)
{
    if (error)
        *error = std::string(std::strerror(errno)) + "(" + path + ")";
    return false;
}

} // namespace

bool mergeWavFiles(const std::vector<std::string>& inputs, const std::string& output,
                   double* seconds, std::string* error, const std::atomic<bool>* stop)
{
    const auto target = utf8ToPath(output);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.seekp(headerSize);
    if (!out.good())
        return fail(error, output);

    // Past this point a failure removes the unfinished output.
    auto failed = [&](const std::string& path) {
        fail(error, path);
        dropUnfinished(out, target);
        return false;
    };
    auto stopped = [&]() {
        if (!stop || !*stop)
            return false;
        dropUnfinished(out, target);
        if (error)
            error->clear();
        return true;
    };

    std::vector<char> buffer(0x40000);
    for (const std::string& input : inputs) {
        std::ifstream in(utf8ToPath(input), std::ios::binary);
        in.seekg(headerSize);
        if (!in.good())
            return failed(input);
        for (;;) {
            if (stopped())
                return false;
            in.read(buffer.data(), std::streamsize(buffer.size()));
            std::streamsize n = in.gcount();
            if (n > 0) {
                if (uint64_t(out.tellp() - headerSize) + uint64_t(n) > SpeechWav::maxSamples * SpeechWav::sampleWidth) {
                    failed(output);
                    if (error)
                        *error = SpeechWav::tooLongError(output);
                    return false;
                }
                out.write(buffer.data(), n);
                if (!out.good())
                    return failed(output);
            }
            if (!in)
                break;
        }
        if (in.bad())
            return failed(input);
    }

    const std::streamoff end = out.tellp();
    const unsigned samples = unsigned((end - headerSize) / 2);
    if (seconds)
        *seconds = samples / 22050.0;
    out.seekp(0);
    out << pp_wavheader(22050, 2, 1, samples);
    out.flush();
    // A header that did not reach the disk leaves the file unreadable.
    if (!out.good())
        return failed(output);
    return true;
}
