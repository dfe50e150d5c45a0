#include "common/AudioPlayerStream.h"

#include "common/AudioPlayerFile.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;

uint16_t le16(const unsigned char* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

uint32_t le32(const unsigned char* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

struct WavFormat
{
    uint16_t tag = 0;
    int channels = 0;
    int rate = 0;
    int blockAlign = 0;
    int bits = 0;
};

// The SDL sample format of a PCM layout; 0 for one SDL cannot convert.
SDL_AudioFormat sdlFormat(const WavFormat& f)
{
    if (f.channels < 1 || f.channels > 8 || f.rate <= 0 || f.blockAlign != f.channels * f.bits / 8)
        return 0;
    if (f.tag == kFormatFloat)
        return f.bits == 32 ? AUDIO_F32LSB : 0;
    if (f.tag != kFormatPcm)
        return 0;
    switch (f.bits) {
    case 8: return AUDIO_U8;
    case 16: return AUDIO_S16LSB;
    case 32: return AUDIO_S32LSB;
    default: return 0;
    }
}

// Walks the RIFF chunks up to "data": the format, where the samples start and
// how many bytes of them the file holds.
bool readHeader(AudioPlayerFile& file, WavFormat& fmt, qint64& dataStart, qint64& dataBytes)
{
    unsigned char head[12];
    if (file.read(head, 12) != 12 || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
        return false;
    const qint64 size = file.length();
    bool haveFormat = false;
    qint64 at = 12;
    while (at + 8 <= size) {
        unsigned char chunk[8];
        if (!file.seek(at) || file.read(chunk, 8) != 8)
            return false;
        const qint64 bytes = le32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            unsigned char f[40] = {};
            const size_t want = size_t(std::min<qint64>(bytes, 40));
            if (bytes < 16 || file.read(f, want) != want)
                return false;
            fmt.tag = le16(f);
            fmt.channels = le16(f + 2);
            fmt.rate = int(le32(f + 4));
            fmt.blockAlign = le16(f + 12);
            fmt.bits = le16(f + 14);
            // The extensible layout names its sample format in the first two
            // bytes of the sub-format.
            if (fmt.tag == kFormatExtensible)
                fmt.tag = want >= 26 ? le16(f + 24) : 0;
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat)
                return false;
            dataStart = at + 8;
            // Writers that stream leave the size at 0 or at its largest value;
            // the file's end is the end of the samples then.
            const qint64 inFile = size - dataStart;
            dataBytes = bytes == 0 || bytes == 0xFFFFFFFF ? inFile : std::min(bytes, inFile);
            return true;
        }
        at += 8 + bytes + (bytes & 1);
    }
    return false;
}

} // namespace

std::unique_ptr<AudioPlayerStream> AudioPlayerStream::open(std::shared_ptr<AudioPlayerFile> file, int rate,
                                                           SDL_AudioFormat format, int channels)
{
    WavFormat fmt;
    qint64 start = 0, bytes = 0;
    const bool pcm = readHeader(*file, fmt, start, bytes);
    const SDL_AudioFormat in = pcm ? sdlFormat(fmt) : 0;
    SDL_AudioStream* converter =
        in ? SDL_NewAudioStream(in, Uint8(fmt.channels), fmt.rate, format, Uint8(channels), rate) : nullptr;
    if (!converter || !file->seek(start)) {
        if (converter)
            SDL_FreeAudioStream(converter);
        file->seek(0);
        return nullptr;
    }
    std::unique_ptr<AudioPlayerStream> s(new AudioPlayerStream);
    s->file = std::move(file);
    s->converter = converter;
    s->dataStart = start;
    s->frameBytes = fmt.blockAlign;
    s->dataBytes = bytes - bytes % fmt.blockAlign;
    s->rate = fmt.rate;
    s->outBytesPerSecond = qint64(rate) * channels * (SDL_AUDIO_BITSIZE(format) / 8);
    s->silence = format == AUDIO_U8 ? 0x80 : 0;
    s->remaining = s->dataBytes;
    // About a quarter of a second a read.
    s->block.resize(size_t(std::max(1, fmt.rate / 4)) * size_t(fmt.blockAlign));
    return s;
}

AudioPlayerStream::~AudioPlayerStream()
{
    if (converter)
        SDL_FreeAudioStream(converter);
}

bool AudioPlayerStream::readBlock()
{
    if (flushed)
        return false;
    const size_t want = size_t(std::min<qint64>(remaining, qint64(block.size())));
    const size_t got = want ? file->read(block.data(), want) : 0;
    const size_t whole = got - got % size_t(frameBytes);
    if (whole > 0 && SDL_AudioStreamPut(converter, block.data(), int(whole)) == 0)
        remaining -= qint64(whole);
    else
        remaining = 0; // a read or convert error ends the sound where it is
    if (remaining == 0) {
        SDL_AudioStreamFlush(converter);
        flushed = true;
    }
    return true;
}

void AudioPlayerStream::fill(Uint8* out, int len)
{
    std::lock_guard<std::mutex> guard(lock);
    while (len > 0) {
        if (SDL_AudioStreamAvailable(converter) < len && readBlock())
            continue;
        const int got = SDL_AudioStreamGet(converter, out, len);
        if (got <= 0)
            break;
        out += got;
        len -= got;
        delivered.fetch_add(got);
    }
    if (len > 0) {
        std::memset(out, silence, size_t(len));
        if (flushed && SDL_AudioStreamAvailable(converter) == 0)
            finished.store(true);
    }
}

double AudioPlayerStream::position() const
{
    return outBytesPerSecond > 0 ? base.load() + double(delivered.load()) / double(outBytesPerSecond) : 0;
}

double AudioPlayerStream::duration() const
{
    return double(dataBytes / frameBytes) / double(rate);
}

void AudioPlayerStream::seek(double seconds)
{
    std::lock_guard<std::mutex> guard(lock);
    const qint64 frames = dataBytes / frameBytes;
    const qint64 frame = std::min(frames, qint64(std::max(0.0, seconds) * rate));
    SDL_AudioStreamClear(converter);
    remaining = (frames - frame) * frameBytes;
    flushed = false;
    if (remaining == 0 || !file->seek(dataStart + frame * frameBytes)) {
        remaining = 0;
        flushed = true;
    }
    base.store(double(frame) / double(rate));
    delivered.store(0);
    finished.store(flushed);
}
