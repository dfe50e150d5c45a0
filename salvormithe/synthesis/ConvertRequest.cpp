#include "synthesis/ConvertRequest.h"

#include "common/JsonRef.h"
#include "common/TextUtils.h"
#include "voices/LocalVoice.h"

#include <json-c/json.h>

#include <climits>
#include <cmath>
#include <cstdint>

namespace {

bool isInteger(const JsonRef& v)
{
    return v && json_object_get_type(v.get()) == json_type_int;
}

bool isNumber(const JsonRef& v)
{
    return isInteger(v) || (v && json_object_get_type(v.get()) == json_type_double);
}

bool isAbsolutePath(const std::string& path)
{
    return !path.empty() && path.front() == '/' && path.find('\0') == std::string::npos;
}

bool readVoice(const JsonRef& doc, ConvertRequest& out, std::string& error)
{
    JsonRef uid = doc.get("voice_uid");
    JsonRef spk = doc.get("voice_spk");
    JsonRef dir = doc.get("voice_dir");
    if (out.loadOnly && dir) {
        std::string path = dir.isString() ? dir.toString() : std::string();
        if (!isAbsolutePath(path)) {
            error = "Invalid input(voice_dir): not an absolute path.";
            return false;
        }
        out.voiceDir = path;
    } else if (!uid.isString()) {
        error = "Invalid input(voice_uid): not a text.";
        return false;
    }
    out.voiceUid = uid.toString();
    int64_t n = isInteger(spk) ? json_object_get_int64(spk.get()) : -1;
    if (!isInteger(spk) || n < 0 || n > INT_MAX) {
        error = "Invalid input(voice_spk): not a speaker number.";
        return false;
    }
    out.voiceSpk = int(n);
    return true;
}

} // namespace

ConvertRequest ConvertRequest::make(const LocalVoice& voice, float srate, std::vector<std::string> sentences,
                                    std::string wav)
{
    ConvertRequest r;
    r.voiceUid = voice.uid;
    r.voiceSpk = voice.spk;
    r.srate = srate;
    r.wav = std::move(wav);
    r.sentences = std::move(sentences);
    return r;
}

std::string ConvertRequest::encode() const
{
    JsonRef obj(json_object_new_object());
    json_object_object_add(obj.get(), "voice_uid", json_object_new_string_len(voiceUid.data(), int(voiceUid.size())));
    json_object_object_add(obj.get(), "voice_spk", json_object_new_int(voiceSpk));
    json_object_object_add(obj.get(), "srate", json_object_new_double(double(srate)));
    json_object_object_add(obj.get(), "wav", json_object_new_string_len(wav.data(), int(wav.size())));
    json_object* list = json_object_new_array();
    for (const std::string& s : sentences)
        json_object_array_add(list, json_object_new_string_len(s.data(), int(s.size())));
    json_object_object_add(obj.get(), "sentences", list);
    size_t len = 0;
    const char* text = json_object_to_json_string_length(obj.get(), JSON_C_TO_STRING_SPACED, &len);
    int32_t n = int32_t(len);
    std::string bytes(reinterpret_cast<const char*>(&n), 4);
    bytes.append(text, len);
    return bytes;
}

bool ConvertRequest::decode(const char* text, size_t length, ConvertRequest& out, std::string& error)
{
    JsonRef doc = JsonRef::parse(text, length);
    if (!doc.isObject()) {
        error = "Invalid input(2).";
        return false;
    }
    JsonRef loadOnly = doc.get("load_only");
    out.loadOnly = loadOnly && json_object_get_type(loadOnly.get()) == json_type_boolean &&
                   json_object_get_boolean(loadOnly.get());
    if (!readVoice(doc, out, error))
        return false;
    if (out.loadOnly)
        return true;

    JsonRef rate = doc.get("srate");
    if (!isNumber(rate)) {
        error = "Invalid input(srate): not a number.";
        return false;
    }
    double r = rate.toDouble();
    // Compared as the float the pages send, widened.
    if (!std::isfinite(r) || float(r) < minRate || float(r) > maxRate) {
        error = formatString("Invalid input(srate): %g is not a speech rate from %.1f to %.1f.", r, double(minRate),
                             double(maxRate));
        return false;
    }
    out.srate = float(r);

    JsonRef wav = doc.get("wav");
    if (!wav.isString()) {
        error = "Invalid input(wav): not a text.";
        return false;
    }
    out.wav = wav.toString();
    if (!isAbsolutePath(out.wav)) {
        error = "Invalid input(wav): not an absolute path.";
        return false;
    }

    JsonRef list = doc.get("sentences");
    if (!list.isArray()) {
        error = "Invalid input(sentences): not a list.";
        return false;
    }
    if (list.size() == 0) {
        error = "Invalid input(sentences): the list is empty.";
        return false;
    }
    out.sentences.clear();
    out.sentences.reserve(size_t(list.size()));
    for (int i = 0; i < list.size(); ++i) {
        JsonRef s = list.at(i);
        if (!s.isString()) {
            error = formatString("Invalid input(sentences): item %d is not a text.", i);
            return false;
        }
        out.sentences.push_back(s.toString());
    }
    return true;
}
