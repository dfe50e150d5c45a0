#include "synthesis/ConvertWorker.h"

#include "common/Platform.h"
#include "platform/ResampleLibrary.h"
#include "synthesis/ConvertRequest.h"
#include "synthesis/SpeechSynthesis.h"
#include "voices/VoiceStore.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
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

} // namespace

int convertMain()
{
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
    if (!ConvertRequest::decode(buffer.data(), size_t(length), request))
        return fail("Invalid input(2).");

    LocalVoice voice;
    if (!findInstalledVoice(request.voiceUid, request.voiceSpk, voice))
        return fail("Invalid voice: " + request.voiceUid + "(" + std::to_string(request.voiceSpk) + ").");

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
