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
    // A request ("load_only": true, written by the voice installer) that only
    // loads the voice and writes nothing: the installed voice of voiceUid, or the
    // voice folder "voice_dir" when given.
    bool loadOnly = false;
    std::string voiceDir;

    // The longest request text a worker accepts (64 MiB).
    static constexpr int maxTextBytes = 64 * 1024 * 1024;
    // The speech rates the pages offer.
    static constexpr float minRate = 0.1f;
    static constexpr float maxRate = 2.0f;

    static ConvertRequest make(const LocalVoice& voice, float srate, std::vector<std::string> sentences,
                               std::string wav);

    // The bytes on the worker's standard input: the JSON text's byte count as a
    // 32-bit little-endian word, then the text.
    std::string encode() const;
    // Reads a request's JSON text. False with error set when it is not a JSON
    // object ("Invalid input(2).") or a member is missing, of another type or out
    // of range: a text "voice_uid", a whole "voice_spk", a number "srate" within
    // the pages' rates, an absolute path "wav" and a non-empty list of texts
    // "sentences". A load-only request needs only the voice.
    static bool decode(const char* text, size_t length, ConvertRequest& out, std::string& error);
};
