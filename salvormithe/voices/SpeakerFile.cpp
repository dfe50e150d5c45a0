#include "voices/SpeakerFile.h"

#include "common/FileUtils.h"
#include "common/JsonRef.h"
#include "common/TextUtils.h"

#include <json-c/json.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sys/stat.h>

namespace {

// Package headers, stored as speaker files, are below 64 KiB.
constexpr uint64_t kSpeakerFileMaxBytes = 1024 * 1024;

} // namespace

std::string SpeakerFile::fileName(int spk)
{
    return formatString("spk-%d.json", spk);
}

bool SpeakerFile::matchName(const std::string& name, int* spk)
{
    static const std::regex re("^spk-(\\d+)\\.json$", std::regex::ECMAScript | std::regex::icase);
    std::smatch m;
    if (!std::regex_match(name, m, re))
        return false;
    if (spk) {
        errno = 0;
        long n = std::strtol(m.str(1).c_str(), nullptr, 10);
        *spk = (errno == ERANGE || n > INT_MAX) ? -1 : int(n);
    }
    return true;
}

std::string SpeakerFile::toJson(const LocalVoice& voice)
{
    JsonRef obj(json_object_new_object());
    auto addText = [&](const char* key, const std::string& v) {
        json_object_object_add(obj.get(), key, json_object_new_string_len(v.data(), int(v.size())));
    };
    auto addInt = [&](const char* key, int v) { json_object_object_add(obj.get(), key, json_object_new_int(v)); };
    addText("uid", voice.uid);
    addInt("spk", voice.spk);
    addText("lang", voice.lang);
    addText("eng", voice.eng);
    addText("native", voice.native);
    addText("name", voice.name);
    addText("user_name", voice.user_name);
    addInt("sex", voice.sex);
    addInt("quality", voice.quality);
    return json_object_to_json_string(obj.get());
}

bool readSpeakerFile(const std::filesystem::path& path, LocalVoice& out)
{
    std::string text;
    if (!readWholeFile(path, text, kSpeakerFileMaxBytes))
        return false;
    JsonRef doc = JsonRef::parse(text);
    if (!doc.isObject())
        return false;
    std::string uid = doc.get("uid").toString();
    if (uid.empty())
        return false;

    LocalVoice v;
    v.uid = uid;
    v.lang = doc.get("lang").toString();
    v.eng = doc.get("eng").toString();
    v.native = doc.get("native").toString();
    v.spk = doc.get("spk").toInt();
    v.name = doc.get("name").toString();
    v.user_name = doc.get("user_name").toString();
    v.sex = doc.get("sex").toInt();
    v.quality = doc.get("quality").toInt();
    v.downloaded = doc.get("downloaded").toInt();
    v.clicked = doc.get("clicked").toInt();
    v.fav_amount = doc.get("fav_amount").toInt();
    v.fav_persons = doc.get("fav_persons").toInt();
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
        v.installed = int64_t(st.st_mtime);
    v.speakerFile = path;
    out = v;
    return true;
}
