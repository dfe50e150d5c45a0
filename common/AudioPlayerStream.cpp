#include "common/AudioPlayerStream.h"

#include "common/AudioPlayerFile.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatALaw = 6;
constexpr uint16_t kFormatMuLaw = 7;
constexpr uint16_t kFormatExtensible = 0xFFFE;

// The header walk reads at most this much and looks at this many chunks.
constexpr int kMaxChunks = 64;
constexpr size_t kMaxHeaderBytes = 4096;
// Bytes read from the file at a time.
constexpr size_t kBlockBytes = 65536;

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

// The SDL sample format the converter takes, and how the stored samples
// become it; 0 for a layout that is not played.
SDL_AudioFormat sdlFormat(const WavFormat& f, AudioPlayerStream::Samples& samples)
{
    using Samples = AudioPlayerStream::Samples;
    samples = Samples::AsStored;
    if (f.channels < 1 || f.channels > 8 || f.rate < AudioPlayerStream::minRate
        || f.rate > AudioPlayerStream::maxRate || f.blockAlign % f.channels != 0)
        return 0;
    // Samples of fewer bits sit in the high bits of their container.
    const int container = f.blockAlign / f.channels;
    if (f.bits < 1 || f.bits > container * 8)
        return 0;
    switch (f.tag) {
    case kFormatPcm:
        switch (container) {
        case 1: return AUDIO_U8;
        case 2: return AUDIO_S16LSB;
        case 3: samples = Samples::Int24; return AUDIO_S32SYS;
        case 4: return AUDIO_S32LSB;
        default: return 0;
        }
    case kFormatFloat:
        if (container == 8) {
            samples = Samples::Float64;
            return AUDIO_F32SYS;
        }
        return container == 4 ? AUDIO_F32LSB : 0;
    case kFormatALaw:
    case kFormatMuLaw:
        if (container != 1)
            return 0;
        samples = f.tag == kFormatALaw ? Samples::ALaw : Samples::MuLaw;
        return AUDIO_S16SYS;
    default:
        return 0;
    }
}

int16_t aLaw(uint8_t a)
{
    a ^= 0x55;
    int t = (a & 0x0F) << 4;
    const int segment = (a & 0x70) >> 4;
    t += segment == 0 ? 8 : 0x108;
    if (segment > 1)
        t <<= segment - 1;
    return int16_t((a & 0x80) ? t : -t);
}

int16_t muLaw(uint8_t u)
{
    u = uint8_t(~u);
    int t = ((u & 0x0F) << 3) + 0x84;
    t <<= (u & 0x70) >> 4;
    return int16_t((u & 0x80) ? (0x84 - t) : (t - 0x84));
}

// The converter's input for `count` stored samples.
void convertSamples(AudioPlayerStream::Samples kind, const Uint8* in, size_t count, std::vector<Uint8>& out)
{
    using Samples = AudioPlayerStream::Samples;
    switch (kind) {
    case Samples::Int24: {
        out.resize(count * 4);
        auto* o = reinterpret_cast<int32_t*>(out.data());
        for (size_t i = 0; i < count; ++i, in += 3)
            o[i] = int32_t(uint32_t(in[0]) << 8 | uint32_t(in[1]) << 16 | uint32_t(in[2]) << 24);
        break;
    }
    case Samples::Float64: {
        out.resize(count * 4);
        auto* o = reinterpret_cast<float*>(out.data());
        for (size_t i = 0; i < count; ++i, in += 8) {
            uint64_t bits = 0;
            for (int b = 7; b >= 0; --b)
                bits = bits << 8 | in[b];
            double v;
            std::memcpy(&v, &bits, sizeof v);
            o[i] = float(v);
        }
        break;
    }
    case Samples::ALaw:
    case Samples::MuLaw: {
        out.resize(count * 2);
        auto* o = reinterpret_cast<int16_t*>(out.data());
        for (size_t i = 0; i < count; ++i)
            o[i] = kind == Samples::ALaw ? aLaw(in[i]) : muLaw(in[i]);
        break;
    }
    case Samples::AsStored:
        break;
    }
}

bool isWave(AudioPlayerFile& file)
{
    unsigned char head[12];
    return file.seek(0) && file.read(head, 12) == 12 && std::memcmp(head, "RIFF", 4) == 0
           && std::memcmp(head + 8, "WAVE", 4) == 0;
}

// Walks the RIFF chunks up to "data": the format, where the samples start and
// how many bytes of them the file holds. A header of more chunks or bytes
// than any writer makes is no header.
bool readHeader(AudioPlayerFile& file, WavFormat& fmt, qint64& dataStart, qint64& dataBytes)
{
    const qint64 size = file.length();
    bool haveFormat = false;
    size_t readBytes = 12;
    qint64 at = 12;
    for (int chunks = 0; at + 8 <= size && chunks < kMaxChunks && readBytes < kMaxHeaderBytes; ++chunks) {
        unsigned char chunk[8];
        if (!file.seek(at) || file.read(chunk, 8) != 8)
            return false;
        readBytes += 8;
        const qint64 bytes = le32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            unsigned char f[40] = {};
            const size_t want = size_t(std::min<qint64>(bytes, 40));
            if (bytes < 16 || file.read(f, want) != want)
                return false;
            readBytes += want;
            fmt.tag = le16(f);
            fmt.channels = le16(f + 2);
            fmt.rate = int(std::min<uint32_t>(le32(f + 4), INT32_MAX));
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
                                                           SDL_AudioFormat format, int channels, bool& wave)
{
    WavFormat fmt;
    qint64 start = 0, bytes = 0;
    Samples samples = Samples::AsStored;
    wave = isWave(*file);
    const bool pcm = wave && readHeader(*file, fmt, start, bytes);
    const SDL_AudioFormat in = pcm ? sdlFormat(fmt, samples) : 0;
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
    s->samples = samples;
    s->dataStart = start;
    s->frameBytes = fmt.blockAlign;
    s->dataBytes = bytes - bytes % fmt.blockAlign;
    s->rate = fmt.rate;
    s->outBytesPerSecond = qint64(rate) * channels * (SDL_AUDIO_BITSIZE(format) / 8);
    s->silence = format == AUDIO_U8 ? 0x80 : 0;
    s->remaining = s->dataBytes;
    // About a quarter of a second a read, and never much more than 64 kB.
    const size_t frames = std::max<size_t>(1, std::min<size_t>(size_t(fmt.rate / 4), kBlockBytes / size_t(fmt.blockAlign)));
    s->block.resize(frames * size_t(fmt.blockAlign));
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
    const Uint8* put = block.data();
    size_t putBytes = whole;
    if (samples != Samples::AsStored) {
        const size_t stored = samples == Samples::Int24 ? 3 : (samples == Samples::Float64 ? 8 : 1);
        convertSamples(samples, block.data(), whole / stored, converted);
        put = converted.data();
        putBytes = converted.size();
    }
    if (whole > 0 && SDL_AudioStreamPut(converter, put, int(putBytes)) == 0)
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
