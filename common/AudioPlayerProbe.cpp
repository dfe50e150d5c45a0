#include "common/AudioPlayerProbe.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

uint32_t le32(const unsigned char* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

uint8_t crc8(const unsigned char* p, size_t n)
{
    uint8_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int b = 0; b < 8; ++b)
            crc = uint8_t((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

} // namespace

double AudioPlayerProbe::maxSeconds(Kind kind, const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto n = size_t(bytes.size());
    switch (kind) {
    case Kind::Mp3:
        return mp3Seconds(p, n);
    case Kind::Flac:
        return flacSeconds(p, n);
    case Kind::OggVorbis:
        return vorbisSeconds(p, n);
    }
    return -1;
}

double AudioPlayerProbe::mp3Seconds(const unsigned char* p, size_t n)
{
    // Every valid frame header counts, also one inside another frame: a
    // decoder that loses its place may resume there.
    static const int rates[3] = {44100, 48000, 32000};
    double seconds = 0;
    for (size_t i = 0; i + 4 <= n; ++i) {
        if (p[i] != 0xFF || (p[i + 1] & 0xE0) != 0xE0)
            continue;
        const int version = (p[i + 1] >> 3) & 3; // 0: MPEG 2.5, 2: MPEG 2, 3: MPEG 1
        const int layer = (p[i + 1] >> 1) & 3;   // 1: III, 2: II, 3: I
        const int bitrate = p[i + 2] >> 4;
        const int rateIndex = (p[i + 2] >> 2) & 3;
        if (version == 1 || layer == 0 || bitrate == 15 || rateIndex == 3)
            continue;
        const int rate = rates[rateIndex] >> (version == 3 ? 0 : (version == 2 ? 1 : 2));
        const int samples = layer == 3 ? 384 : (layer == 2 || version == 3 ? 1152 : 576);
        seconds += double(samples) / rate;
    }
    return seconds;
}

double AudioPlayerProbe::flacSeconds(const unsigned char* p, size_t n)
{
    static const int rates[12] = {0, 88200, 176400, 192000, 8000, 16000, 22050, 24000, 32000, 44100, 48000, 96000};
    // The stream's own rate, for frames that refer to it.
    int streamRate = 0;
    if (n >= 21 && std::memcmp(p, "fLaC", 4) == 0 && (p[4] & 0x7F) == 0)
        streamRate = int(uint32_t(p[18]) << 12 | uint32_t(p[19]) << 4 | p[20] >> 4);
    double seconds = 0;
    // Every frame header whose checksum holds counts.
    for (size_t i = 0; i + 6 <= n; ++i) {
        if (p[i] != 0xFF || (p[i + 1] & 0xFE) != 0xF8)
            continue;
        const int sizeCode = p[i + 2] >> 4;
        const int rateCode = p[i + 2] & 15;
        if (sizeCode == 0 || rateCode == 15)
            continue;
        size_t h = i + 4;
        // The frame or sample number: one to seven bytes.
        const unsigned char first = p[h];
        int more = 0;
        while (more < 7 && (first & (0x80 >> more)))
            ++more;
        if (more == 1 || first == 0xFF)
            continue;
        h += more == 0 ? 1 : size_t(more);
        long blockSize = 0;
        if (sizeCode == 1)
            blockSize = 192;
        else if (sizeCode <= 5)
            blockSize = 576L << (sizeCode - 2);
        else if (sizeCode >= 8)
            blockSize = 256L << (sizeCode - 8);
        size_t extra = (sizeCode == 6 ? 1 : sizeCode == 7 ? 2 : 0) + (rateCode == 12 ? 1 : rateCode >= 13 ? 2 : 0);
        if (h + extra >= n)
            continue;
        if (sizeCode == 6)
            blockSize = p[h++] + 1;
        else if (sizeCode == 7) {
            blockSize = (long(p[h]) << 8 | p[h + 1]) + 1;
            h += 2;
        }
        long rate = rateCode < 12 ? rates[rateCode] : 0;
        if (rateCode == 0)
            rate = streamRate;
        else if (rateCode == 12)
            rate = long(p[h++]) * 1000;
        else if (rateCode >= 13) {
            rate = (long(p[h]) << 8 | p[h + 1]) * (rateCode == 14 ? 10 : 1);
            h += 2;
        }
        if (crc8(p + i, h - i) != p[h])
            continue;
        if (rate <= 0)
            return -1;
        seconds += double(blockSize) / double(rate);
    }
    return seconds;
}

double AudioPlayerProbe::vorbisSeconds(const unsigned char* p, size_t n)
{
    // The lowest rate and the longest block of every identification header
    // (a file may chain several streams).
    static const unsigned char ident[7] = {1, 'v', 'o', 'r', 'b', 'i', 's'};
    uint32_t minRate = 0;
    long longest = 0;
    for (size_t i = 0; i + 30 <= n; ++i) {
        if (std::memcmp(p + i, ident, 7) != 0)
            continue;
        const uint32_t rate = le32(p + i + 12);
        if (rate == 0)
            return -1;
        minRate = minRate == 0 ? rate : std::min(minRate, rate);
        longest = std::max(longest, 1L << (p[i + 28] >> 4));
    }
    if (minRate == 0)
        return -1;
    // Every packet a page can end gives at most half a long block.
    double packets = 0;
    for (size_t i = 0; i + 27 <= n; ++i) {
        if (std::memcmp(p + i, "OggS", 4) != 0)
            continue;
        const size_t segments = p[i + 26];
        for (size_t s = 0; s < segments && i + 27 + s < n; ++s) {
            if (p[i + 27 + s] < 255)
                packets += 1;
        }
    }
    return packets * double(longest / 2) / double(minRate);
}
