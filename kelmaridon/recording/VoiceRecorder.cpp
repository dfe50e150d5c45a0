#include "recording/VoiceRecorder.h"

#include "common/FileUtils.h"
#include "recording/TakeWav.h"

#include <QCoreApplication>
#include <QObject>

#include <SDL.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

QString errnoText(int err)
{
    return QString::fromUtf8(std::strerror(err));
}

// 0 or the errno of the failure.
int writeAll(int fd, const char* data, size_t len, off_t offset = -1)
{
    while (len > 0) {
        ssize_t n = offset < 0 ? ::write(fd, data, len) : ::pwrite(fd, data, len, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        data += n;
        len -= size_t(n);
        if (offset >= 0)
            offset += n;
    }
    return 0;
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
        uint64_t data = pos >= TakeWav::kHeaderBytes ? pos - TakeWav::kHeaderBytes : 0;
        std::string header = TakeWav::header(data, sampleRate, bytesPerFrame);
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

bool VoiceRecorder::createPart(const fs::path& takePath)
{
    fs::path part = TakeWav::partPath(takePath);
    // Made afresh: a link or a part left by a crash is removed, never followed.
    ::unlink(part.c_str());
    int f = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (f < 0) {
        int err = errno;
        std::error_code ec;
        if (err == EEXIST && fs::is_directory(fs::symlink_status(part, ec)))
            err = EISDIR;
        report(false, errnoText(err));
        return false;
    }
    std::string header = TakeWav::header(0);
    if (int err = writeAll(f, header.data(), header.size())) {
        ::close(f);
        ::unlink(part.c_str());
        report(false, errnoText(err));
        return false;
    }
    fd = f;
    take = takePath;
    dataBytes = 0;
    meter.reset();
    writeError = 0;
    return true;
}

int VoiceRecorder::writeBlock(const uint8_t* data, size_t len)
{
    if (dataBytes + len > TakeWav::kMaxBytes - TakeWav::kHeaderBytes)
        return EFBIG;
    if (int err = writeAll(fd, reinterpret_cast<const char*>(data), len))
        return err;
    dataBytes += len;
    meter.add(data, len);
    // The header follows the samples, so a take cut off here is still a WAV file.
    std::string header = TakeWav::header(dataBytes);
    if (int err = writeAll(fd, header.data() + 4, 4, 4))
        return err;
    return writeAll(fd, header.data() + 40, 4, 40);
}

void VoiceRecorder::finishTake(const QString& failure)
{
    if (fd < 0) {
        report(true, QString());
        return;
    }
    QString why = failure;
    int err = writeError;
    // The take must be on the disk before it replaces the old one.
    if (!err && why.isEmpty() && dataBytes > 0 && ::fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && !err)
        err = errno;
    fd = -1;
    if (err && why.isEmpty())
        why = errnoText(err);
    if (why.isEmpty())
        why = refusal();
    fs::path part = TakeWav::partPath(take);
    bool keep = why.isEmpty();
    if (keep && ::rename(part.c_str(), take.c_str()) != 0) {
        why = errnoText(errno);
        keep = false;
    }
    if (!keep)
        ::unlink(part.c_str());
    if (why.isEmpty())
        report(true, QString());
    else
        report(false, why);
}

QString VoiceRecorder::refusal() const
{
    QString why;
    switch (meter.verdict()) {
    case TakeMeter::Verdict::Keep:
        return QString();
    case TakeMeter::Verdict::TooShort:
        why = QCoreApplication::translate("VoiceRecorder",
                                          "The take was not kept: it is shorter than one second. "
                                          "Please read the whole sentence before you stop.");
        break;
    case TakeMeter::Verdict::Silent:
        why = QCoreApplication::translate("VoiceRecorder",
                                          "The take was not kept: it is silent (the microphone gave no "
                                          "sound, or almost none). Please check your computer's "
                                          "microphone and its volume.");
        break;
    case TakeMeter::Verdict::NoSpeech:
        why = QCoreApplication::translate("VoiceRecorder",
                                          "The take was not kept: no speech was heard in it (only a short sound, "
                                          "or a steady hum, tone or noise). Please read the whole sentence aloud.");
        break;
    }
    struct stat st;
    if (::lstat(take.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        why += QLatin1Char(' ') +
               QCoreApplication::translate("VoiceRecorder", "Your previous take of this sentence is unchanged.");
    return why;
}

void VoiceRecorder::onData(void* userdata, uint8_t* stream, int len)
{
    auto* self = static_cast<VoiceRecorder*>(userdata);
    std::lock_guard<std::mutex> lock(self->mutex);
    if (self->fd < 0 || self->writeError || !stream || len <= 0)
        return;
    if (int err = self->writeBlock(stream, size_t(len))) {
        // Reported once; later blocks are dropped and the take is never put in place.
        self->writeError = err;
        self->report(false, errnoText(err));
    }
}

bool VoiceRecorder::openDevice()
{
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = TakeWav::kSampleRate;
    want.format = AUDIO_S16LSB;
    want.channels = 1;
    want.samples = TakeWav::kSampleRate / 10;
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

bool VoiceRecorder::pauseDevice()
{
    if (!device)
        return false;
    // A device that went away during the take (unplugged, taken by the system) stops.
    bool lost = fd >= 0 && SDL_GetAudioDeviceStatus(device) == SDL_AUDIO_STOPPED;
    SDL_PauseAudioDevice(device, 1);
    return lost;
}

void VoiceRecorder::closeDevice()
{
    if (!device)
        return;
    SDL_CloseAudioDevice(device);
    device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

namespace {

QString lostMicrophoneText()
{
    return QCoreApplication::translate("VoiceRecorder", "The microphone stopped during the take.") +
           QLatin1Char(' ') + QObject::tr("Please check your computer's microphone.");
}

} // namespace

void VoiceRecorder::start(const std::string& takePath, ResultCallback callback)
{
    // Pausing waits for a running block, and a block waits for the lock:
    // pause first, then finish the take under the lock.
    bool lost = pauseDevice();
    {
        std::lock_guard<std::mutex> lock(mutex);
        finishTake(lost ? lostMicrophoneText() : QString());
    }
    // A lost device is opened again for the next take.
    if (lost)
        closeDevice();
    if (!device && !openDevice()) {
        if (callback)
            callback(false, QObject::tr("Please check your computer's microphone."));
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        resultCallback = std::move(callback);
        if (!createPart(utf8ToPath(takePath)))
            return;
    }
    SDL_PauseAudioDevice(device, 0);
    if (SDL_GetAudioDeviceStatus(device) != SDL_AUDIO_PLAYING) {
        closeDevice();
        std::lock_guard<std::mutex> lock(mutex);
        finishTake(QCoreApplication::translate("VoiceRecorder", "Start capture device failed."));
    }
}

void VoiceRecorder::stop()
{
    bool lost = pauseDevice();
    {
        std::lock_guard<std::mutex> lock(mutex);
        finishTake(lost ? lostMicrophoneText() : QString());
    }
    if (lost)
        closeDevice();
}
