#pragma once

#include <cstddef>
#include <functional>
#include <string>

// Progress of a download or an installation: percent and a text.
using VoiceProgress = std::function<void(int percent, std::string text)>;

// Longest uid in bytes: it becomes part of file names with suffixes such as
// ".orvelin.downloading" and "quorvine_voice_...-spkN.mp3".
constexpr size_t maxVoiceUidBytes = 200;

// A uid usable as the name of a voice folder: valid UTF-8 of at most
// maxVoiceUidBytes, not empty, not beginning with a dot (".", "..", ".tmp"),
// without path separators or control characters.
bool isSafeVoiceUid(const std::string& uid);
