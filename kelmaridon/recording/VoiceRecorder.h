#pragma once

#include <QString>

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>

// Records the default microphone into one take at a time: a 44-byte WAV
// header and 16-bit mono samples at 48000 Hz. start and stop run on the
// owner's thread; the samples arrive on the audio thread.
class VoiceRecorder
{
public:
    // Called once at the end of each take: true and an empty text when it ended
    // normally, false and the reason when it could not start or a write failed.
    // It runs with the recorder's lock held and must not call the recorder.
    using ResultCallback = std::function<void(bool ok, QString message)>;

    VoiceRecorder();
    // Finishes a running take (its header is written) without calling its callback.
    ~VoiceRecorder();
    VoiceRecorder(const VoiceRecorder&) = delete;
    VoiceRecorder& operator=(const VoiceRecorder&) = delete;

    // Ends a running take, then records into takePath (UTF-8).
    void start(const std::string& takePath, ResultCallback resultCallback);
    // Ends the running take; nothing happens without one.
    void stop();

    // (Re)writes the header in front of the data written so far.
    static void writeWavHeader(std::ostream& take, uint32_t sampleRate, uint32_t bytesPerFrame);

private:
    static void onData(void* userdata, uint8_t* stream, int len);
    bool openDevice();
    void pauseDevice();
    void closeDevice();
    // With the lock held: writes the header, closes the file and reports.
    void finishTake();
    // With the lock held: calls and drops the callback.
    void report(bool ok, const QString& message);

    std::unique_ptr<std::fstream> file;
    ResultCallback resultCallback;
    // The capture device; used on the owner's thread only.
    uint32_t device = 0;
    std::mutex mutex;
};
