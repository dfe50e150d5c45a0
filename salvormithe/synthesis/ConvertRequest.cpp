#include "synthesis/ConvertRequest.h"

#include "common/JsonRef.h"
#include "voices/LocalVoice.h"

#include <json-c/json.h>

#include <cstdint>

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

bool ConvertRequest::decode(const char* text, size_t length, ConvertRequest& out)
{
    JsonRef doc = JsonRef::parse(text, length);
    if (!doc.isObject())
        return false;
    out.srate = float(doc.get("srate").toDouble());
    out.wav = doc.get("wav").toString();
    JsonRef list = doc.get("sentences");
    int count = (list.isArray() || list.isObject()) ? list.size() : 0;
    out.sentences.clear();
    out.sentences.reserve(size_t(count));
    // An object yields that many empty sentences.
    for (int i = 0; i < count; ++i)
        out.sentences.push_back(list.isArray() ? list.at(i).toString() : JsonRef().toString());
    out.voiceUid = doc.get("voice_uid").toString();
    out.voiceSpk = doc.get("voice_spk").toInt();
    return true;
}
