#include "synthesis/SpeechSynthesis.h"

#include "common/FileUtils.h"
#include "common/JsonRef.h"
#include "platform/PiperHelper.h"
#include "synthesis/SpeechWav.h"
#include "synthesis/WavResampler.h"
#include "voices/VoiceStore.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct SynthesisState
{
    bool failed = false;
    bool tooLong = false; // the audio would not fit in one WAV file
    std::string errorText;
    PiperHelper piper;
    WavResampler resampler;
    FILE* out = nullptr;
    std::string path;
    unsigned written = 0; // samples at 22050 Hz in the file

    void writeSamples(const int16_t* samples, int count)
    {
        if (failed || count <= 0)
            return;
        if (written + uint64_t(count) > SpeechWav::maxSamples) {
            failed = tooLong = true;
            errorText = SpeechWav::tooLongError(path);
            return;
        }
        if (std::fwrite(samples, 2, size_t(count), out) != size_t(count) || std::ferror(out)) {
            failed = true;
            errorText = std::string(std::strerror(errno)) + "(" + path + ")";
            return;
        }
        written += unsigned(count);
    }

    WavResampler::Writer writer()
    {
        return [this](const int16_t* s, int n) { writeSamples(s, n); };
    }
};

void onPiperSamples(SynthesisState& st, const std::vector<short>& samples)
{
    if (st.failed)
        return;
    if (!st.resampler.hasContext()) {
        piper::SynthesisConfig conf = st.piper.voiceConf();
        if (!st.resampler.setup(conf.sampleRate, conf.sampleWidth, conf.channels)) {
            st.failed = true;
            st.errorText = "Init resampler failed.";
            return;
        }
    }
    bool fed = st.resampler.feed(reinterpret_cast<const uint8_t*>(samples.data()), samples.size() * 2, st.writer());
    if (st.tooLong)
        return;
    if (!fed || st.failed) {
        st.errorText = "Resample failed. " + st.errorText;
        st.failed = true;
        return;
    }
    if (!st.resampler.convertHeld(st.writer()) && !st.failed) {
        st.failed = true;
        st.errorText = "Resample failed. ";
    }
}

std::string systemError(const std::string& path)
{
    return std::string(std::strerror(errno)) + "(" + path + ")";
}

// True when path names nothing, or a regular file: only then may a new file
// take its place. errno tells why not.
bool replaceable(const std::filesystem::path& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT && !path.empty();
    errno = EEXIST;
    return S_ISREG(st.st_mode);
}

// Opens a new file for writing, never through a link, a device or a pipe.
FILE* createRegularFile(const std::filesystem::path& path)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EEXIST;
        return nullptr;
    }
    FILE* f = ::fdopen(fd, "wb");
    if (!f)
        ::close(fd);
    return f;
}

} // namespace

std::optional<float> lengthScaleForRate(float rate)
{
    if (std::isnan(rate))
        return std::nullopt;
    if (rate == 1.0f)
        return 1.0f;
    if (rate < 1.0f)
        return float((1.0f - rate) * 0.5 + 1);
    return float(1 - (rate - 1.0f) * 0.5);
}

bool voiceIsArabic(const LocalVoice& voice)
{
    auto isArabic = [](const std::string& code) {
        return code.size() >= 2 && std::tolower(static_cast<unsigned char>(code[0])) == 'a' &&
               std::tolower(static_cast<unsigned char>(code[1])) == 'r' &&
               (code.size() == 2 || code[2] == '_' || code[2] == '-');
    };
    if (isArabic(voice.lang))
        return true;
    std::string text;
    readWholeFile(voice.config, text);
    return isArabic(JsonRef::parse(text).get("espeak").get("voice").toString());
}

namespace {

// The synthesizer's settings for the voice; false with the message when the
// data it needs are not there.
bool runConfigFor(const LocalVoice& voice, float rate, PiperHelper::RunConfig& config, std::string& message)
{
    std::filesystem::path espeakDir = espeakDataDir();
    if (!pathExists(espeakDir)) {
        message = "Invalid eSpeakDataPath." + pathToUtf8(espeakDir);
        return false;
    }
    // Only Arabic voices use the diacritics model.
    bool arabic = voiceIsArabic(voice);
    std::filesystem::path tashkeel = tashkeelModelPath();
    if (arabic && !pathExists(tashkeel)) {
        message = "Invalid tashkeelModelPath." + pathToUtf8(tashkeel);
        return false;
    }
    config.modelPath = voice.model;
    config.modelConfigPath = voice.config;
    config.speakerId = voice.spk;
    config.lengthScale = lengthScaleForRate(rate);
    config.eSpeakDataPath = espeakDir;
    if (arabic)
        config.tashkeelModelPath = tashkeel;
    return true;
}

} // namespace

bool loadVoice(const LocalVoice& voice, std::string& message)
{
    PiperHelper::RunConfig config;
    if (!runConfigFor(voice, 1.0f, config, message))
        return false;
    PiperHelper piper;
    if (!piper.load(config, nullptr)) {
        message = "Load failed. " + piper.lastErr();
        return false;
    }
    return true;
}

void synthesizeToWav(const LocalVoice& voice, float rate, const std::vector<std::string>& sentences,
                     const std::string& path, const SynthesisCallback& callback)
{
    PiperHelper::RunConfig config;
    std::string configError;
    if (!runConfigFor(voice, rate, config, configError)) {
        callback(false, configError, 0);
        return;
    }

    SynthesisState st;
    st.path = path;
    // The WAV is written under a name of its own beside the output and put in
    // place when complete: a failure, or the end of the process, never leaves a
    // half-written file or removes one that was there before.
    std::filesystem::path outPath = utf8ToPath(path);
    if (!replaceable(outPath)) {
        callback(false,
                 "Create file failed. " + (errno == EEXIST ? "Not a regular file(" + path + ")" : systemError(path)),
                 0);
        return;
    }
    std::filesystem::path partPath = utf8ToPath(SpeechWav::partPath(path, long(::getpid())));
    {
        std::lock_guard<std::mutex> lock(SpeechWav::partMutex());
        st.out = createRegularFile(partPath);
    }
    if (!st.out) {
        callback(false, "Create file failed. " + systemError(path), 0);
        return;
    }
    auto fail = [&](const std::string& message) {
        std::fclose(st.out);
        st.out = nullptr;
        removeFile(partPath);
        callback(false, message, 0);
    };
    if (std::fseek(st.out, SpeechWav::headerSize, SEEK_SET) != 0) {
        fail("Convert sentence failed. " + systemError(path));
        return;
    }

    if (!st.piper.load(config, [&st](const std::vector<short>& samples) { onPiperSamples(st, samples); })) {
        fail("Load failed. " + st.piper.lastErr());
        return;
    }
    for (const std::string& sentence : sentences) {
        // A sentence the synthesizer could not speak is a failure, not a silent gap.
        if (!st.piper.update(sentence) && !st.failed) {
            st.failed = true;
            st.errorText = st.piper.lastErr();
        }
        if (st.failed) {
            fail("Convert sentence failed. " + st.errorText);
            return;
        }
    }
    // The converter holds back a few samples: the tail of the last sentence.
    if (st.resampler.hasContext() && !st.resampler.drain(st.writer()) && !st.failed) {
        st.failed = true;
        st.errorText = "Resample failed. ";
    }
    if (st.failed) {
        fail("Convert sentence failed. " + st.errorText);
        return;
    }

    std::string header = SpeechWav::header(st.written);
    bool ok = std::fseek(st.out, 0, SEEK_SET) == 0 &&
              std::fwrite(header.data(), 1, header.size(), st.out) == header.size() && std::fflush(st.out) == 0;
    int err = errno;
    if (std::fclose(st.out) != 0 && ok) {
        ok = false;
        err = errno;
    }
    st.out = nullptr;
    // Whatever took the output's place meanwhile is not replaced either.
    if (ok && !replaceable(outPath)) {
        ok = false;
        err = errno;
    }
    if (ok) {
        std::lock_guard<std::mutex> lock(SpeechWav::partMutex());
        if (std::rename(partPath.c_str(), outPath.c_str()) != 0) {
            ok = false;
            err = errno;
        }
    }
    if (!ok) {
        errno = err;
        std::string message = "Write file failed. " +
                              (err == EEXIST ? "Not a regular file(" + path + ")" : systemError(path));
        removeFile(partPath);
        callback(false, message, 0);
        return;
    }
    callback(true, "", st.written / double(SpeechWav::sampleRate));
}
