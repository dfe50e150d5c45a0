#pragma once

#include "recording/TakeMeter.h"

#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>

// Records the default microphone into one take at a time: a 44-byte WAV
// header and 16-bit mono samples at 48000 Hz. A take is written into its part
// file beside the take, with a header kept valid as blocks arrive, and renamed
// over the take only when it ended well and is worth keeping (a second or
// more of speech): until then the old take stays as it was. start and stop
// run on the owner's thread; the samples arrive on the audio thread.
class VoiceRecorder
{
public:
    // Called once at the end of each take: true and an empty text when it ended
    // normally and was put in place, false and the reason when it could not
    // start, a write failed, the microphone was lost or the take was refused
    // as too short, silent or holding no speech. It runs with the recorder's lock held and must
    // not call the recorder.
    using ResultCallback = std::function<void(bool ok, QString message)>;

    VoiceRecorder();
    // Finishes a running take (put in place when good) without calling its callback.
    ~VoiceRecorder();
    VoiceRecorder(const VoiceRecorder&) = delete;
    VoiceRecorder& operator=(const VoiceRecorder&) = delete;

    // Ends a running take, then records into takePath (UTF-8).
    void start(const std::string& takePath, ResultCallback resultCallback);
    // Ends the running take; nothing happens without one. A refused take
    // leaves the old take in place.
    void stop();

    // (Re)writes the header in front of the data written so far.
    static void writeWavHeader(std::ostream& take, uint32_t sampleRate, uint32_t bytesPerFrame);

private:
    static void onData(void* userdata, uint8_t* stream, int len);
    bool openDevice();
    // Pauses the device; true when it had been lost during a running take.
    bool pauseDevice();
    void closeDevice();
    // With the lock held: a new part file for the take, its header written.
    bool createPart(const std::filesystem::path& take);
    // With the lock held: writes one block and the sizes of the header.
    int writeBlock(const uint8_t* data, size_t len);
    // With the lock held: closes the part file, puts it in place when the take
    // ended well and is worth keeping (else removes it) and reports.
    void finishTake(const QString& failure = QString());
    // With the lock held: calls and drops the callback.
    void report(bool ok, const QString& message);
    // Why the finished take is not kept, empty when it is.
    QString refusal() const;

    // The part file being written, -1 between takes.
    int fd = -1;
    std::filesystem::path take;
    uint64_t dataBytes = 0;
    TakeMeter meter;
    // errno of the first failed write: the take is lost.
    int writeError = 0;
    ResultCallback resultCallback;
    // The capture device; used on the owner's thread only.
    uint32_t device = 0;
    std::mutex mutex;
};
