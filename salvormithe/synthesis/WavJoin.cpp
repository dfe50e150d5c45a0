#include "WavJoin.h"

#include "FileUtils.h"
#include "PiperHelper.h"

#include <cerrno>
#include <cstring>
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
                   double* seconds, std::string* error)
{
    std::ofstream out(utf8ToPath(output), std::ios::binary | std::ios::trunc);
    out.seekp(headerSize);
    if (!out.good())
        return fail(error, output);

    std::vector<char> buffer(0x40000);
    for (const std::string& input : inputs) {
        std::ifstream in(utf8ToPath(input), std::ios::binary);
        in.seekg(headerSize);
        if (!in.good())
            return fail(error, input);
        for (;;) {
            in.read(buffer.data(), std::streamsize(buffer.size()));
            std::streamsize n = in.gcount();
            if (n > 0) {
                out.write(buffer.data(), n);
                if (!out.good())
                    return fail(error, output);
            }
            if (!in)
                break;
        }
        if (in.bad())
            return fail(error, input);
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
        return fail(error, output);
    return true;
}
