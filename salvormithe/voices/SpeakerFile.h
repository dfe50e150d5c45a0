#pragma once

#include "voices/LocalVoice.h"

#include <filesystem>
#include <string>

// One installed speaker: "speakers"/"spk-%d.json" in a voice folder, a JSON object
// with "uid", "spk", "lang", "eng", "native", "name", "user_name", "sex", "quality",
// "downloaded", "clicked", "fav_amount", "fav_persons".
class SpeakerFile
{
public:
    // "spk-%d.json".
    static std::string fileName(int spk);
    // Whether a file name matches "^spk-(\d+)\.json$" without regard to case; the number
    // goes to spk when it fits in an int.
    static bool matchName(const std::string& name, int* spk = nullptr);
    // The JSON text that a server install writes: the first nine keys in order.
    static std::string toJson(const LocalVoice& voice);
};

// Parses one speaker file into the first fourteen fields and `installed`;
// false when it does not parse, is not an object or its "uid" is empty.
bool readSpeakerFile(const std::filesystem::path& path, LocalVoice& out);
