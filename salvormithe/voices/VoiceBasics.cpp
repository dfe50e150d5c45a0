#include "voices/VoiceBasics.h"

bool isSafeVoiceUid(const std::string& uid)
{
    // A leading dot would also reach the store's own ".tmp" area.
    return !uid.empty() && uid.front() != '.' && uid.find('/') == std::string::npos
           && uid.find('\\') == std::string::npos && uid.find('\0') == std::string::npos;
}
