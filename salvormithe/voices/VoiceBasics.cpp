#include "voices/VoiceBasics.h"

#include "common/TextUtils.h"

bool isSafeVoiceUid(const std::string& uid)
{
    if (uid.empty() || uid.size() > maxVoiceUidBytes || !isValidUtf8(uid))
        return false;
    // A leading dot would also reach the store's own ".tmp" area.
    if (uid.front() == '.')
        return false;
    for (size_t i = 0; i < uid.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(uid[i]);
        if (c < 0x20 || c == 0x7f || c == '/' || c == '\\')
            return false;
        // C1 control characters, U+0080 to U+009F.
        if (c == 0xc2 && static_cast<unsigned char>(uid[i + 1]) < 0xa0)
            return false;
    }
    return true;
}
