#pragma once

#include <filesystem>
#include <string>

// The voice file that espeak-ng's search by name picks for a voice name such as
// "en-us" ("lang/gmw/en-US" below the data folder), found from the folder
// listings alone instead of reading every voice file. Empty when no file or more
// than one has that name (case ignored), or when the name is a path or carries a
// variant: the caller then lets espeak-ng search.
std::filesystem::path findEspeakVoiceFile(const std::filesystem::path& dataDir, const std::string& name);
