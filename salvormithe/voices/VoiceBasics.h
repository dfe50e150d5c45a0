#pragma once

#include <functional>
#include <string>

// Progress of a download or an installation: percent and a text.
using VoiceProgress = std::function<void(int percent, std::string text)>;

// A uid usable as the name of a voice folder: not empty, not beginning with
// a dot (".", "..", ".tmp"), without path separators.
bool isSafeVoiceUid(const std::string& uid);
