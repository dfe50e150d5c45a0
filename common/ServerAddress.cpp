#include "common/ServerAddress.h"

#include "common/Platform.h"

std::string voiceServerBase()
{
    std::string base = platform::getEnv(voiceServerEnvVar);
    if (base.empty())
        base = "http://127.0.0.1:" + std::to_string(defaultVoiceServerPort) + "/";
    if (base.back() != '/')
        base += '/';
    return base;
}
