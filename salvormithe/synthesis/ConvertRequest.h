#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct LocalVoice;

// One conversion: what a pool job sends to a "--convert" worker on its standard input.
struct ConvertRequest
{
    std::string voiceUid;
    int voiceSpk = 0;
    float srate = 1.0f;                 // speech rate, 1 = normal
    std::string wav;                    // UTF-8 path of the WAV to write
    std::vector<std::string> sentences; // UTF-8, spoken in order into the one WAV

    // The longest request text a worker accepts (64 MiB).
    static constexpr int maxTextBytes = 64 * 1024 * 1024;

    static ConvertRequest make(const LocalVoice& voice, float srate, std::vector<std::string> sentences,
                               std::string wav);

    // The bytes on the worker's standard input: the JSON text's byte count as a
    // 32-bit little-endian word, then the text.
    std::string encode() const;
    // Reads a request's JSON text; false when it is not a JSON object. Members that
    // are missing or of another type read leniently (null, 0, empty).
    static bool decode(const char* text, size_t length, ConvertRequest& out);
};
