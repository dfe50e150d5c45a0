#pragma once

#include <SDL_audio.h>

#include <QtGlobal>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class AudioPlayerFile;

// A PCM WAV file read from disk as the mixer asks for it and converted to the
// mixer's format a block at a time, so an hour of sound costs no more memory
// than a second of it. The mixer's thread calls fill(); the others come from
// the GUI thread.
class AudioPlayerStream
{
public:
    ~AudioPlayerStream();
    AudioPlayerStream(const AudioPlayerStream&) = delete;
    AudioPlayerStream& operator=(const AudioPlayerStream&) = delete;

    // Null when the file is not a PCM WAV this class can read; `wave` tells
    // whether it is a WAV file at all. The file is back at its start then.
    // The header walk reads a few hundred bytes at most.
    static std::unique_ptr<AudioPlayerStream> open(std::shared_ptr<AudioPlayerFile> file, int rate,
                                                   SDL_AudioFormat format, int channels, bool& wave);

    // Writes len bytes in the mixer's format; silence once the sound is through.
    void fill(Uint8* out, int len);
    // Every sample has been handed out.
    bool ended() const { return finished.load(); }
    // Seconds handed out, counted from the start of the sound.
    double position() const;
    double duration() const;
    // To a second of the sound; at or past its end the sound is through.
    void seek(double seconds);

    // Sample rates played; others are refused (far from the mixer's rate
    // the converter's work grows without bound).
    static constexpr int minRate = 1000;
    static constexpr int maxRate = 768000;

    // How the samples of the file reach the converter.
    enum class Samples { AsStored, Int24, Float64, ALaw, MuLaw };

private:
    AudioPlayerStream() = default;
    // With the lock held: moves the next block of the file into the converter.
    bool readBlock();

    std::shared_ptr<AudioPlayerFile> file;
    SDL_AudioStream* converter = nullptr;
    qint64 dataStart = 0;
    qint64 dataBytes = 0;
    int frameBytes = 0;
    int rate = 0;
    qint64 outBytesPerSecond = 0;
    Uint8 silence = 0;

    std::mutex lock;
    // Guarded by lock.
    qint64 remaining = 0;
    bool flushed = false;
    std::vector<Uint8> block;
    std::vector<Uint8> converted;
    Samples samples = Samples::AsStored;

    std::atomic<double> base{0};
    std::atomic<qint64> delivered{0};
    std::atomic<bool> finished{false};
};
