#include "voices/VoiceFolder.h"

#include "common/FileUtils.h"
#include "common/JsonRef.h"
#include "common/TextUtils.h"
#include "voices/SpeakerFile.h"

#include <json-c/json.h>

#include <algorithm>
#include <cctype>

namespace fs = std::filesystem;

namespace {

bool endsWithNoCase(const std::string& s, const char* suffix)
{
    std::string suf(suffix);
    if (s.size() < suf.size())
        return false;
    return std::equal(suf.begin(), suf.end(), s.end() - suf.size(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

// Configurations of real voices are a few kilobytes; a large speaker map stays far below this.
constexpr uint64_t kConfigMaxBytes = 16 * 1024 * 1024;

} // namespace

fs::path VoiceFolder::speakersDir(const fs::path& voiceDir)
{
    return voiceDir / speakersDirName;
}

fs::path VoiceFolder::speakerFilePath(const fs::path& voiceDir, int spk)
{
    return speakersDir(voiceDir) / SpeakerFile::fileName(spk);
}

fs::path VoiceFolder::findSpeakerFile(const fs::path& voiceDir, int spk)
{
    fs::path exact = speakerFilePath(voiceDir, spk);
    std::error_code ec;
    if (fs::is_regular_file(exact, ec))
        return exact;
    fs::path found;
    for (fs::directory_iterator it(speakersDir(voiceDir), ec), end; !ec && it != end; it.increment(ec)) {
        int n = -1;
        if (SpeakerFile::matchName(pathToUtf8(it->path().filename()), &n) && n == spk &&
            it->is_regular_file(ec))
            found = it->path();
    }
    return found;
}

bool findModelFiles(const fs::path& voiceDir, fs::path& model, fs::path& config)
{
    model.clear();
    config.clear();
    std::error_code ec;
    for (fs::directory_iterator it(voiceDir, ec), end; !ec && it != end; it.increment(ec)) {
        // Folders named like a model are no model.
        std::error_code typeEc;
        if (it->is_directory(typeEc))
            continue;
        std::string p = pathToUtf8(it->path());
        if (endsWithNoCase(p, ".onnx"))
            model = it->path();
        else if (endsWithNoCase(p, ".onnx.json"))
            config = it->path();
    }
    return !model.empty() && !config.empty();
}

bool checkVoiceConfig(const fs::path& config, int spk, std::string& error, const std::string& prefix)
{
    std::string text;
    if (!readWholeFile(config, text, kConfigMaxBytes)) {
        error = prefix + "The voice configuration cannot be read.";
        return false;
    }
    JsonRef doc = JsonRef::parse(text);
    if (!doc.isObject()) {
        error = prefix + "The voice configuration is not a JSON object.";
        return false;
    }
    // Every field the synthesizer reads has the type it reads it as.
    struct Field
    {
        const char* group;
        const char* name;
        json_type type;
    };
    const Field fields[] = {
        {"audio", nullptr, json_type_object},          {"audio", "sample_rate", json_type_int},
        {"espeak", nullptr, json_type_object},         {"espeak", "voice", json_type_string},
        {"inference", nullptr, json_type_object},      {"inference", "noise_scale", json_type_double},
        {"inference", "length_scale", json_type_double}, {"inference", "noise_w", json_type_double},
        {"speech", nullptr, json_type_object},         {"speech", "pitch_hz", json_type_double},
        {"speech", "speaking_rate", json_type_double},
    };
    for (const Field& f : fields) {
        JsonRef value = f.name ? doc.get(f.group).get(f.name) : doc.get(f.group);
        if (value.isNull())
            continue;
        const json_type type = json_object_get_type(value.get());
        const bool number = f.type == json_type_double && type == json_type_int;
        if (type != f.type && !number) {
            const char* expected = f.type == json_type_object ? "an object"
                                   : f.type == json_type_int  ? "a whole number"
                                   : f.type == json_type_string ? "a text"
                                                                : "a number";
            error = prefix + formatString("Invalid %s%s%s %s: %s is expected.", f.group, f.name ? "." : "",
                                          f.name ? f.name : "", json_object_to_json_string(value.get()), expected);
            return false;
        }
    }
    JsonRef rateValue = doc.get("audio").get("sample_rate");
    int rate = rateValue.isNull() ? 22050 : rateValue.toInt();
    if (rate < 8000 || rate > 192000) {
        error = prefix + formatString("Unsupported sample rate %d.", rate);
        return false;
    }
    JsonRef speakersValue = doc.get("num_speakers");
    int64_t speakers = 1;
    if (!speakersValue.isNull()) {
        bool whole = json_object_get_type(speakersValue.get()) == json_type_int;
        speakers = whole ? json_object_get_int64(speakersValue.get()) : 0;
        if (speakers < 1 || speakers > maxVoiceSpeakers) {
            error = prefix + formatString("Invalid number of speakers %s: a whole number from 1 to %d is expected.",
                                          json_object_to_json_string(speakersValue.get()), maxVoiceSpeakers);
            return false;
        }
    }
    if (spk < 0 || spk >= speakers) {
        error = prefix + (speakers == 1
                              ? formatString("Speaker %d is out of range: the voice has one speaker.", spk)
                              : formatString("Speaker %d is out of range: the voice has %d speakers.", spk,
                                             int(speakers)));
        return false;
    }
    return true;
}
