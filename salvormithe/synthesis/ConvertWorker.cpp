#include "synthesis/ConvertWorker.h"

#include "common/FileUtils.h"
#include "common/Platform.h"
#include "platform/ResampleLibrary.h"
#include "synthesis/ConvertRequest.h"
#include "synthesis/SpeechSynthesis.h"
#include "synthesis/SpeechWav.h"
#include "voices/VoiceStore.h"

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Reads exactly len bytes; false at end of input or on an error before that.
bool readExactly(char* buf, long len, long& got)
{
    got = 0;
    while (got < len) {
        long n = platform::readStdin(buf + got, static_cast<unsigned long>(len - got));
        if (n <= 0)
            return false;
        got += n;
    }
    return true;
}

int fail(const std::string& message)
{
    std::fputs(message.c_str(), stderr);
    std::fflush(stderr);
    return 1;
}

// The unfinished output of this process, guarded by SpeechWav::partMutex();
// never destroyed, as a signal may come while the process exits.
std::string& partFile()
{
    static auto* part = new std::string;
    return *part;
}

// The signals that end a worker, unless they are ignored.
sigset_t endingSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction now;
        if (::sigaction(sig, nullptr, &now) == 0 && now.sa_handler != SIG_IGN)
            sigaddset(&set, sig);
    }
    return set;
}

// Blocks the ending signals in every thread (those that libraries start later
// take the mask over) and takes them on one thread of its own: it removes the
// unfinished output, holding it against being created or put in place, and
// then lets the signal end the process as it would have. However many signals
// come, and to whichever thread, the file goes first.
void removePartOnSignals()
{
    const sigset_t set = endingSignals();
    if (sigisemptyset(&set))
        return;
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set] {
        int sig = 0;
        while (::sigwait(&set, &sig) != 0) {
        }
        // Held until the process ends.
        SpeechWav::partMutex().lock();
        if (!partFile().empty())
            ::unlink(partFile().c_str());
        std::signal(sig, SIG_DFL);
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, sig);
        ::pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
        ::raise(sig);
        ::_exit(128 + sig);
    }).detach();
}

// The voice a load-only request names: a voice folder, or an installed voice.
bool findRequestedVoice(const ConvertRequest& request, LocalVoice& voice)
{
    if (request.voiceDir.empty())
        return findInstalledVoice(request.voiceUid, request.voiceSpk, voice);
    voice.dir = utf8ToPath(request.voiceDir);
    if (!findModelFiles(voice.dir, voice.model, voice.config))
        return false;
    // Its language, when the speaker's file is there already.
    std::filesystem::path file = VoiceFolder::findSpeakerFile(voice.dir, request.voiceSpk);
    LocalVoice speaker;
    if (!file.empty() && readSpeakerFile(file, speaker))
        voice.lang = speaker.lang;
    voice.uid = request.voiceUid;
    voice.spk = request.voiceSpk;
    return true;
}

} // namespace

int convertMain()
{
    removePartOnSignals();
    // Library notices must not mix with the one error message on standard error.
    ResampleLibrary::silenceLog();
    platform::setStdinBinary();

    char word[4];
    long got = 0;
    if (!readExactly(word, 4, got))
        return fail("Invalid input(0).");
    int32_t length;
    std::memcpy(&length, word, 4);
    if (length < 0 || length > ConvertRequest::maxTextBytes)
        return fail("Invalid input(1).");

    std::vector<char> buffer(size_t(length) + 1, '\0');
    if (!readExactly(buffer.data(), length, got))
        return fail("Invalid input(1).");

    ConvertRequest request;
    std::string error;
    if (!ConvertRequest::decode(buffer.data(), size_t(length), request, error))
        return fail(error);

    auto invalidVoice = [&request](const std::string& name) {
        return fail("Invalid voice: " + name + "(" + std::to_string(request.voiceSpk) + ").");
    };
    if (request.loadOnly) {
        LocalVoice voice;
        if (!findRequestedVoice(request, voice))
            return invalidVoice(request.voiceDir.empty() ? request.voiceUid : request.voiceDir);
        return loadVoice(voice, error) ? 0 : fail(error);
    }

    LocalVoice voice;
    if (!findInstalledVoice(request.voiceUid, request.voiceSpk, voice))
        return invalidVoice(request.voiceUid);

    {
        std::lock_guard<std::mutex> lock(SpeechWav::partMutex());
        partFile() = SpeechWav::partPath(request.wav, long(::getpid()));
    }
    int code = 1;
    synthesizeToWav(voice, request.srate, request.sentences, request.wav, [&code](bool ok, std::string message, double) {
        if (ok) {
            code = 0;
        } else {
            std::fprintf(stderr, "%s", message.c_str());
            std::fflush(stderr);
            code = 1;
        }
    });
    return code;
}
