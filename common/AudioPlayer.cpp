#include "common/AudioPlayer.h"

#include "common/AudioPlayerFile.h"
#include "common/AudioPlayerProbe.h"
#include "common/AudioPlayerStream.h"

#include <QMutex>
#include <QUrl>

#include <SDL.h>
#include <SDL_mixer.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

// The mixer is one per process; every player holds one channel of it.
QMutex mixerMutex;
int mixerUsers = 0;
std::vector<bool> channelsInUse;

std::optional<int> acquireChannel()
{
    QMutexLocker lock(&mixerMutex);
    if (mixerUsers == 0) {
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            return std::nullopt;
        Mix_Init(MIX_INIT_FLAC | MIX_INIT_MP3 | MIX_INIT_OGG);
        if (Mix_OpenAudioDevice(MIX_DEFAULT_FREQUENCY, AUDIO_F32SYS, 2, 1024, nullptr,
                                SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE) != 0) {
            Mix_Quit();
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return std::nullopt;
        }
        channelsInUse.clear();
    }
    int ch = 0;
    while (ch < int(channelsInUse.size()) && channelsInUse[ch])
        ++ch;
    if (ch == int(channelsInUse.size()))
        channelsInUse.push_back(false);
    if (Mix_AllocateChannels(-1) <= ch)
        Mix_AllocateChannels(ch + 8);
    channelsInUse[ch] = true;
    ++mixerUsers;
    Mix_HaltChannel(ch);
    Mix_Volume(ch, MIX_MAX_VOLUME);
    return ch;
}

void releaseChannel(int ch)
{
    QMutexLocker lock(&mixerMutex);
    Mix_HaltChannel(ch);
    Mix_UnregisterAllEffects(ch);
    if (ch < int(channelsInUse.size()))
        channelsInUse[ch] = false;
    if (--mixerUsers == 0) {
        Mix_CloseAudio();
        Mix_Quit();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
}

// Bytes of one second of the mixer's output; 0 when it is closed.
qint64 bytesPerSecond()
{
    int freq = 0, channels = 0;
    Uint16 format = 0;
    if (!Mix_QuerySpec(&freq, &format, &channels))
        return 0;
    return qint64(freq) * channels * (SDL_AUDIO_BITSIZE(format) / 8);
}

// Linear up to the knee, then bends towards full scale without reaching it.
inline float roundOff(float x)
{
    constexpr float knee = 0.5f;
    float a = std::fabs(x);
    if (a <= knee)
        return x;
    float y = knee + (1.0f - knee) * std::tanh((a - knee) / (1.0f - knee));
    return x < 0 ? -y : y;
}

// Sounds other than PCM WAV are decoded whole: only MP3, FLAC and Ogg Vorbis,
// from a file of at most this size, to at most this many bytes.
constexpr qint64 kMaxWholeFileBytes = qint64(4) << 20;
constexpr qint64 kMaxDecodedBytes = qint64(24) << 20;

Mix_Chunk* loadWhole(AudioPlayerFile& file)
{
    const qint64 size = file.length();
    if (size < 4 || size > kMaxWholeFileBytes || !file.seek(0))
        return nullptr;
    QByteArray bytes(int(size), Qt::Uninitialized);
    if (file.read(reinterpret_cast<unsigned char*>(bytes.data()), size_t(size)) != size_t(size))
        return nullptr;
    // Formats SDL takes apart from their header alone are not played whole.
    for (const char* magic : {"RIFF", "WAVE", "FORM", "Crea"}) {
        if (bytes.startsWith(magic))
            return nullptr;
    }
    // The decoder the mixer would choose for these bytes.
    SDL_RWops* rw = SDL_RWFromConstMem(bytes.constData(), bytes.size());
    Mix_Music* music = rw ? Mix_LoadMUS_RW(rw, 0) : nullptr;
    const Mix_MusicType type = music ? Mix_GetMusicType(music) : MUS_NONE;
    if (music)
        Mix_FreeMusic(music);
    if (rw)
        SDL_RWclose(rw);
    AudioPlayerProbe::Kind kind;
    switch (type) {
    case MUS_MP3: kind = AudioPlayerProbe::Kind::Mp3; break;
    case MUS_FLAC: kind = AudioPlayerProbe::Kind::Flac; break;
    case MUS_OGG: kind = AudioPlayerProbe::Kind::OggVorbis; break;
    default: return nullptr;
    }
    const double seconds = AudioPlayerProbe::maxSeconds(kind, bytes);
    const qint64 rate = bytesPerSecond();
    if (seconds < 0 || rate <= 0 || seconds * double(rate) > double(kMaxDecodedBytes))
        return nullptr;
    rw = SDL_RWFromConstMem(bytes.constData(), bytes.size());
    return rw ? Mix_LoadWAV_RW(rw, 1) : nullptr;
}

// QFile reads resources as ":/..."; QML hands them over as "qrc:/...".
QString filePath(const QString& path)
{
    if (path.startsWith(QLatin1String("qrc:"), Qt::CaseInsensitive))
        return QLatin1Char(':') + QUrl(path).path();
    return path;
}

} // namespace

AudioPlayer::AudioPlayer() = default;

AudioPlayer::~AudioPlayer()
{
    onResult = nullptr;
    if (engine)
        haltChannel();
    handle.reset();
    releaseSound();
    if (engine)
        releaseChannel(*engine);
    engine.reset();
}

void AudioPlayer::tapEffect(int, void* stream, int len, void* udata)
{
    auto* t = static_cast<Tap*>(udata);
    if (AudioPlayerStream* source = t->source.load())
        source->fill(static_cast<Uint8*>(stream), len);
    else
        t->played.fetch_add(len, std::memory_order_relaxed);
    if (t->mute.load()) {
        std::memset(stream, 0, size_t(len));
        return;
    }
    if (!t->floatSamples)
        return;
    float* s = static_cast<float*>(stream);
    int n = len / int(sizeof(float));
    for (int i = 0; i < n; ++i)
        s[i] = roundOff(s[i] * Gain);
}

void AudioPlayer::play(const QString& path, ResultFn onResult, std::function<void()> onStart)
{
    invoker.post([this, path, onResult = std::move(onResult),
                  onStart = std::move(onStart)]() { playJob(path, onResult, onStart); },
                 guiThread());
}

void AudioPlayer::stop()
{
    invoker.post([this]() { finishJob(std::nullopt); }, guiThread());
}

void AudioPlayer::postResult(const ResultFn& fn, bool ok, const QString& message)
{
    invoker.post([fn, ok, message]() { fn(ok, message); }, guiThread());
}

void AudioPlayer::playJob(const QString& path, ResultFn onResult, std::function<void()> onStart)
{
    if (!engine) {
        engine = acquireChannel();
        if (!engine) {
            if (onResult)
                postResult(onResult, false, QStringLiteral("Player init failed!"));
            return;
        }
    }
    if (handle) {
        haltChannel();
        handle.reset();
        releaseSound();
        ResultFn replaced = std::move(this->onResult);
        this->onResult = nullptr;
        if (replaced)
            postResult(replaced, true, QString());
    }
    if (onStart)
        invoker.post(onStart, guiThread());

    // The stream keeps the file; a sound decoded whole needs it no more.
    auto file = std::make_shared<AudioPlayerFile>();
    QString error;
    if (!file->open(filePath(path), error)) {
        if (onResult)
            postResult(onResult, false, QStringLiteral("Can not open WAV File!") + error);
        return;
    }
    int freq = 0, channels = 0;
    Uint16 format = 0;
    Mix_QuerySpec(&freq, &format, &channels);
    // A WAV file plays from the file or not at all.
    bool wave = false;
    stream = AudioPlayerStream::open(file, freq, format, channels, wave);
    if (!stream) {
        wav = wave ? nullptr : loadWhole(*file);
        if (!wav) {
            if (onResult)
                postResult(onResult, false, QStringLiteral("Can not open WAV File!"));
            return;
        }
    }

    tap.floatSamples = format == AUDIO_F32SYS;
    paused = false;
    if (!(stream ? startStream() : startChannel(0))) {
        releaseSound();
        if (onResult)
            postResult(onResult, false, QStringLiteral("Player init failed!"));
        return;
    }
    unsigned id = ++nextHandle;
    handle = id;
    this->onResult = std::move(onResult);
    invoker.post([this, id]() { endCheck(id); }, guiThread());
}

bool AudioPlayer::startChannel(qint64 offset)
{
    int ch = *engine;
    if (!view)
        view = std::make_unique<Mix_Chunk>();
    view->allocated = 0;
    view->abuf = wav->abuf + offset;
    view->alen = Uint32(wav->alen - offset);
    view->volume = MIX_MAX_VOLUME;
    tap.base.store(offset);
    tap.played.store(0);
    registerTap();
    // A seek while paused must not sound before the pause takes hold again.
    tap.mute.store(paused);
    bool ok = Mix_PlayChannel(ch, view.get(), 0) >= 0;
    if (ok && paused)
        Mix_Pause(ch);
    tap.mute.store(false);
    return ok;
}

bool AudioPlayer::startStream()
{
    int freq = 0, channels = 0;
    Uint16 format = 0;
    Mix_QuerySpec(&freq, &format, &channels);
    const size_t frame = size_t(channels) * (SDL_AUDIO_BITSIZE(format) / 8);
    if (silenceBytes.size() != frame * 1024) {
        silenceBytes.assign(frame * 1024, format == AUDIO_U8 ? 0x80 : 0);
        silence = std::make_unique<Mix_Chunk>();
        silence->allocated = 0;
        silence->abuf = silenceBytes.data();
        silence->alen = Uint32(silenceBytes.size());
        silence->volume = MIX_MAX_VOLUME;
    }
    tap.source.store(stream.get());
    registerTap();
    tap.mute.store(false);
    // The silence loops until the end check halts the channel; the tap writes
    // the stream's sound over it.
    return Mix_PlayChannel(*engine, silence.get(), -1) >= 0;
}

void AudioPlayer::registerTap()
{
    // The channel is halted, so no effect of a previous sound is left on it
    // unless it never played.
    Mix_UnregisterEffect(*engine, &AudioPlayer::tapEffect);
    Mix_RegisterEffect(*engine, &AudioPlayer::tapEffect, nullptr, &tap);
}

void AudioPlayer::haltChannel()
{
    // Halting also removes the channel's effect, under the mixer's lock.
    Mix_HaltChannel(*engine);
    tap.source.store(nullptr);
}

void AudioPlayer::releaseSound()
{
    // The channel is halted: the mixer no longer reads the stream.
    stream.reset();
    if (wav) {
        Mix_FreeChunk(wav);
        wav = nullptr;
    }
}

void AudioPlayer::endCheck(unsigned id)
{
    if (!engine || !handle || *handle != id)
        return;
    if (!Mix_Playing(*engine) || (stream && stream->ended())) {
        invoker.post([this, id]() { finishJob(id); }, guiThread());
        return;
    }
    invoker.postDelayed(
        [this, id]() {
            if (engine && handle && *handle == id)
                invoker.post([this, id]() { endCheck(id); }, guiThread());
        },
        500, guiThread());
}

void AudioPlayer::finishJob(std::optional<unsigned> id)
{
    if (!handle || (id && *handle != *id))
        return;
    haltChannel();
    handle.reset();
    releaseSound();
    ResultFn done = std::move(onResult);
    onResult = nullptr;
    if (done)
        postResult(done, true, QString());
}

double AudioPlayer::position() const
{
    if (!engine || !handle)
        return 0;
    if (stream)
        return stream->position();
    qint64 bps = bytesPerSecond();
    if (bps <= 0)
        return 0;
    return double(tap.base.load() + tap.played.load()) / double(bps);
}

void AudioPlayer::seek(int seconds)
{
    if (!engine || !handle)
        return;
    if (stream) {
        // Past the end the end check reports the sound as ended.
        stream->seek(std::max(0, seconds));
        return;
    }
    if (!wav)
        return;
    qint64 offset = qint64(std::max(0, seconds)) * bytesPerSecond();
    haltChannel();
    if (offset >= qint64(wav->alen)) {
        // Past the end: the end check reports the sound as ended.
        tap.base.store(wav->alen);
        tap.played.store(0);
        return;
    }
    startChannel(offset);
}

void AudioPlayer::setPause(bool pause)
{
    if (!engine || !handle)
        return;
    paused = pause;
    if (pause)
        Mix_Pause(*engine);
    else
        Mix_Resume(*engine);
}
