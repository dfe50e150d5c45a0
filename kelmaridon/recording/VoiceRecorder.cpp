#include "recording/VoiceRecorder.h"

#include "common/FileUtils.h"
#include "common/TextUtils.h"

#include <QObject>

#include <SDL.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

const char kHeaderTemplate[] =
    "524946461C00000057415645666D74201000000001000100401F0000803E0000020010006461746100000000";

const int kSampleRate = 48000;
const int kBytesPerFrame = 2;

void putU32(std::string& bytes, size_t offset, uint64_t value)
{
    uint32_t v = uint32_t(std::min<uint64_t>(value, 0xFFFFFFFFu));
    for (int i = 0; i < 4; ++i)
        bytes[offset + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}

QString errnoText(int err)
{
    return QString::fromUtf8(std::strerror(err));
}

} // namespace

VoiceRecorder::VoiceRecorder() = default;

VoiceRecorder::~VoiceRecorder()
{
    // Once the device is closed no block can arrive any more.
    closeDevice();
    std::lock_guard<std::mutex> lock(mutex);
    resultCallback = nullptr;
    finishTake();
}

void VoiceRecorder::writeWavHeader(std::ostream& take, uint32_t sampleRate, uint32_t bytesPerFrame)
{
    std::streampos end = take.tellp();
    if (end == std::streampos(-1)) {
        take.flush();
        return;
    }
    uint64_t pos = uint64_t(std::streamoff(end));
    take.seekp(0);
    if (!take.bad()) {
        std::string header = hexToBytes(kHeaderTemplate, int(sizeof(kHeaderTemplate) - 1));
        putU32(header, 4, pos >= 8 ? pos - 8 : 0);
        putU32(header, 24, sampleRate);
        putU32(header, 28, uint64_t(sampleRate) * bytesPerFrame);
        putU32(header, 40, pos >= 44 ? pos - 44 : 0);
        take.write(header.data(), std::streamsize(header.size()));
        take.seekp(end);
    }
    take.flush();
}

void VoiceRecorder::report(bool ok, const QString& message)
{
    if (!resultCallback)
        return;
    ResultCallback cb = std::move(resultCallback);
    resultCallback = nullptr;
    cb(ok, message);
}

void VoiceRecorder::finishTake()
{
    if (file) {
        int err = 0;
        writeWavHeader(*file, kSampleRate, kBytesPerFrame);
        if (!*file)
            err = errno;
        file->close();
        if (file->fail() && err == 0)
            err = errno ? errno : EIO;
        bool ok = !file->fail();
        file.reset();
        // A take whose end could not be written is no good take.
        if (!ok) {
            report(false, errnoText(err));
            return;
        }
    }
    report(true, QString());
}

void VoiceRecorder::onData(void* userdata, uint8_t* stream, int len)
{
    auto* self = static_cast<VoiceRecorder*>(userdata);
    std::lock_guard<std::mutex> lock(self->mutex);
    if (!self->file || !stream || len <= 0 || self->file->bad())
        return;
    self->file->write(reinterpret_cast<const char*>(stream), len);
    if (!*self->file)
        self->report(false, errnoText(errno));
}

bool VoiceRecorder::openDevice()
{
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = kSampleRate;
    want.format = AUDIO_S16LSB;
    want.channels = 1;
    want.samples = kSampleRate / 10;
    want.callback = &VoiceRecorder::onData;
    want.userdata = this;
    SDL_AudioSpec have;
    // No changes allowed: SDL converts whatever the microphone delivers.
    device = SDL_OpenAudioDevice(nullptr, 1, &want, &have, 0);
    if (device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    return true;
}

void VoiceRecorder::pauseDevice()
{
    if (device)
        SDL_PauseAudioDevice(device, 1);
}

void VoiceRecorder::closeDevice()
{
    if (!device)
        return;
    SDL_CloseAudioDevice(device);
    device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void VoiceRecorder::start(const std::string& takePath, ResultCallback callback)
{
    // Pausing waits for a running block, and a block waits for the lock:
    // pause first, then finish the take under the lock.
    pauseDevice();
    {
        std::lock_guard<std::mutex> lock(mutex);
        finishTake();
    }
    if (!device && !openDevice()) {
        if (callback)
            callback(false, QObject::tr("Please check your computer's microphone."));
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        resultCallback = std::move(callback);
        auto take = std::make_unique<std::fstream>(utf8ToPath(takePath), std::ios::out | std::ios::binary);
        if (take->is_open())
            take->seekp(44);
        if (!take->is_open() || !take->good()) {
            report(false, errnoText(errno));
            return;
        }
        file = std::move(take);
    }
    SDL_PauseAudioDevice(device, 0);
    if (SDL_GetAudioDeviceStatus(device) != SDL_AUDIO_PLAYING) {
        closeDevice();
        std::lock_guard<std::mutex> lock(mutex);
        report(false, QStringLiteral("Start capture device failed."));
    }
}

void VoiceRecorder::stop()
{
    pauseDevice();
    std::lock_guard<std::mutex> lock(mutex);
    finishTake();
}
