#include "recording/TakeWav.h"

#include "common/TextUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kHeaderTemplate[] =
    "524946461C00000057415645666D74201000000001000100401F0000803E0000020010006461746100000000";

void putU32(std::string& bytes, size_t offset, uint64_t value)
{
    uint32_t v = uint32_t(std::min<uint64_t>(value, 0xFFFFFFFFu));
    for (int i = 0; i < 4; ++i)
        bytes[offset + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}

bool fail(std::string* why, const std::string& text)
{
    if (why)
        *why = text;
    return false;
}

} // namespace

std::string TakeWav::header(uint64_t dataBytes, uint32_t sampleRate, uint32_t bytesPerFrame)
{
    std::string bytes = hexToBytes(kHeaderTemplate, int(sizeof(kHeaderTemplate) - 1));
    putU32(bytes, 4, dataBytes + kHeaderBytes - 8);
    putU32(bytes, 24, sampleRate);
    putU32(bytes, 28, uint64_t(sampleRate) * bytesPerFrame);
    putU32(bytes, 40, dataBytes);
    return bytes;
}

std::filesystem::path TakeWav::partPath(const std::filesystem::path& take)
{
    std::filesystem::path part = take;
    part += ".tmp";
    return part;
}

bool TakeWav::check(const std::filesystem::path& take, std::string* why)
{
    // The status of the entry itself: a FIFO, a device or a link is never opened.
    struct stat st;
    if (::lstat(take.c_str(), &st) != 0)
        return fail(why, std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return fail(why, "not a regular file");
    if (uint64_t(st.st_size) > kMaxBytes)
        return fail(why, std::strerror(EFBIG));
    if (uint64_t(st.st_size) <= kHeaderBytes)
        return fail(why, "no audio");
    int fd = ::open(take.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(why, std::strerror(errno));
    char head[kHeaderBytes];
    ssize_t n = -1;
    // The entry may have been replaced since its status was read.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) <= kMaxBytes) {
        do
            n = ::pread(fd, head, sizeof head, 0);
        while (n < 0 && errno == EINTR);
    }
    int err = errno;
    ::close(fd);
    if (n < 0)
        return fail(why, std::strerror(err));
    uint64_t data = uint64_t(st.st_size) - kHeaderBytes;
    if (n != ssize_t(sizeof head) || data % kBytesPerFrame != 0 ||
        std::string(head, sizeof head) != header(data))
        return fail(why, "not a 48000 Hz mono 16-bit WAV file");
    return true;
}
