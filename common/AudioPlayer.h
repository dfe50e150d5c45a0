#pragma once

#include "common/InvokeContext.h"

#include <QString>

#include <SDL_stdinc.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class AudioPlayerStream;
struct Mix_Chunk;

// Plays one sound file at a time (WAV, MP3, FLAC, Ogg) through the process's
// shared mixer; each player has a channel of its own, so players do not cut
// each other off. Only regular files and resources play. PCM WAV files play
// from the file as they go, whatever their length, and other WAV files not at
// all; MP3, FLAC and Ogg Vorbis files of bounded size and length are decoded
// whole first. Jobs and callbacks run on the GUI thread.
class AudioPlayer
{
public:
    using ResultFn = std::function<void(bool ok, QString message)>;

    AudioPlayer();
    ~AudioPlayer();
    AudioPlayer(const AudioPlayer&) = delete;
    AudioPlayer& operator=(const AudioPlayer&) = delete;

    // From any thread. onResult comes once: (true, "") when the sound ends, is
    // stopped or replaced; (false, message) when it cannot play. onStart comes
    // before the file is opened.
    void play(const QString& path, ResultFn onResult, std::function<void()> onStart);
    // From any thread; reports the current sound as ended.
    void stop();

    // Seconds played of the current sound; 0 when nothing plays.
    double position() const;
    void seek(int seconds);
    void setPause(bool pause);

    // The gain applied to every sound, rounded off softly towards full scale.
    static constexpr float Gain = 2.0f;

private:
    // What the mixer's thread sees of the current sound: the bytes played
    // since `base`, the offset the channel started from, or the stream that
    // writes the channel's sound.
    struct Tap {
        std::atomic<qint64> played{0};
        std::atomic<qint64> base{0};
        std::atomic<bool> mute{false};
        std::atomic<AudioPlayerStream*> source{nullptr};
        bool floatSamples = true;
    };
    static void tapEffect(int channel, void* stream, int len, void* udata);

    void playJob(const QString& path, ResultFn onResult, std::function<void()> onStart);
    void finishJob(std::optional<unsigned> id);
    void endCheck(unsigned id);
    bool startChannel(qint64 offset);
    bool startStream();
    void registerTap();
    void haltChannel();
    void releaseSound();
    void postResult(const ResultFn& fn, bool ok, const QString& message);

    InvokeContext invoker;
    // Channel of the shared mixer, held from the first successful start on.
    std::optional<int> engine;
    // Engaged while a sound is current.
    std::optional<unsigned> handle;
    Mix_Chunk* wav = nullptr;
    // The part of wav that plays from the last seek on.
    std::unique_ptr<Mix_Chunk> view;
    // A sound played from its file, over silence looping on the channel.
    std::unique_ptr<AudioPlayerStream> stream;
    std::vector<Uint8> silenceBytes;
    std::unique_ptr<Mix_Chunk> silence;
    ResultFn onResult;
    bool paused = false;
    unsigned nextHandle = 0;
    Tap tap;
};
