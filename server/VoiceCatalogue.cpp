#include "server/VoiceCatalogue.h"

#include "common/JsonRef.h"
#include "server/VoicePackageFile.h"

#include <json-c/json.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string readText(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string toJson(json_object* o)
{
    std::string text = json_object_to_json_string_ext(o, JSON_C_TO_STRING_PLAIN);
    json_object_put(o);
    return text;
}

} // namespace

bool VoiceCatalogue::isPlainName(const std::string& name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    for (char c : name) {
        if (c == '/' || c == '\\' || c == '\0')
            return false;
    }
    return true;
}

bool VoiceCatalogue::load(const fs::path& dir, std::vector<std::string>& warnings)
{
    root = dir;
    list.clear();
    index.clear();
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return false;

    std::vector<fs::path> packages;
    for (fs::directory_iterator it(dir / "packages", ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && it->path().extension() == ".orvelin")
            packages.push_back(it->path());
    }
    std::sort(packages.begin(), packages.end());

    for (const fs::path& p : packages) {
        std::string header, error;
        if (!VoicePackageFile::readHeader(p, header, error)) {
            warnings.push_back(error);
            continue;
        }
        JsonRef h = JsonRef::parse(header);
        Speaker s;
        s.uid = h.get("uid").toString();
        if (!h.isObject() || !isPlainName(s.uid)) {
            warnings.push_back("no usable header in " + p.u8string());
            continue;
        }
        s.spk = h.get("spk").toInt();
        s.lang = h.get("lang").toString();
        s.eng = h.get("eng").toString();
        s.native = h.get("native").toString();
        s.name = h.get("name").toString();
        s.user_name = h.get("user_name").toString();
        s.sex = h.get("sex").toInt();
        s.quality = h.get("quality").toInt();
        s.downloaded = h.get("downloaded").toInt();
        s.clicked = h.get("clicked").toInt();
        s.fav_amount = h.get("fav_amount").toInt();
        s.fav_persons = h.get("fav_persons").toInt();
        s.package = p;
        auto key = std::make_pair(s.uid, s.spk);
        if (index.count(key)) {
            warnings.push_back("second package for " + s.uid + " speaker " + std::to_string(s.spk) + ": "
                               + p.u8string());
            continue;
        }
        index[key] = list.size();
        list.push_back(std::move(s));
    }
    std::stable_sort(list.begin(), list.end(), [](const Speaker& a, const Speaker& b) {
        return a.uid != b.uid ? a.uid < b.uid : a.spk < b.spk;
    });
    index.clear();
    for (size_t i = 0; i < list.size(); ++i)
        index[{list[i].uid, list[i].spk}] = i;
    return true;
}

std::string VoiceCatalogue::langsJson() const
{
    std::map<std::string, const Speaker*> langs;
    for (const Speaker& s : list) {
        if (!s.lang.empty() && !langs.count(s.lang))
            langs[s.lang] = &s;
    }
    std::vector<const Speaker*> sorted;
    for (const auto& [code, s] : langs)
        sorted.push_back(s);
    std::stable_sort(sorted.begin(), sorted.end(), [](const Speaker* a, const Speaker* b) { return a->eng < b->eng; });
    json_object* arr = json_object_new_array();
    for (const Speaker* s : sorted) {
        json_object* o = json_object_new_object();
        json_object_object_add(o, "lang", json_object_new_string(s->lang.c_str()));
        json_object_object_add(o, "name", json_object_new_string(s->eng.c_str()));
        json_object_object_add(o, "native", json_object_new_string(s->native.c_str()));
        json_object_array_add(arr, o);
    }
    return toJson(arr);
}

std::string VoiceCatalogue::voicesJson(const std::string& lang) const
{
    static const char* const cols[] = {"uid",  "spk",     "lang",    "eng",        "native",     "name",
                                       "user_name", "sex", "quality", "downloaded", "clicked", "fav_amount",
                                       "fav_persons"};
    json_object* doc = json_object_new_object();
    json_object* colArr = json_object_new_array();
    for (const char* c : cols)
        json_object_array_add(colArr, json_object_new_string(c));
    json_object_object_add(doc, "cols", colArr);
    json_object* rows = json_object_new_array();
    for (const Speaker& s : list) {
        if (s.lang != lang)
            continue;
        json_object* row = json_object_new_array();
        json_object_array_add(row, json_object_new_string(s.uid.c_str()));
        json_object_array_add(row, json_object_new_int(s.spk));
        json_object_array_add(row, json_object_new_string(s.lang.c_str()));
        json_object_array_add(row, json_object_new_string(s.eng.c_str()));
        json_object_array_add(row, json_object_new_string(s.native.c_str()));
        json_object_array_add(row, json_object_new_string(s.name.c_str()));
        json_object_array_add(row, json_object_new_string(s.user_name.c_str()));
        for (int v : {s.sex, s.quality, s.downloaded, s.clicked, s.fav_amount, s.fav_persons})
            json_object_array_add(row, json_object_new_int(v));
        json_object_array_add(rows, row);
    }
    json_object_object_add(doc, "rows", rows);
    return toJson(doc);
}

fs::path VoiceCatalogue::existingFile(const fs::path& p) const
{
    std::error_code ec;
    return fs::is_regular_file(p, ec) ? p : fs::path();
}

fs::path VoiceCatalogue::packagePath(const std::string& uid, int spk) const
{
    auto it = index.find({uid, spk});
    return it == index.end() ? fs::path() : existingFile(list[it->second].package);
}

fs::path VoiceCatalogue::samplePath(const std::string& uid, int spk) const
{
    if (!index.count({uid, spk}))
        return fs::path();
    return existingFile(root / "samples" / fs::u8path(uid + "-spk" + std::to_string(spk) + ".mp3"));
}

std::string VoiceCatalogue::checkpointLangsJson() const
{
    fs::path p = existingFile(root / "ckpt" / "langs.json");
    if (p.empty())
        return std::string();
    JsonRef doc = JsonRef::parse(readText(p));
    return doc.isObject() ? json_object_to_json_string_ext(doc.get(), JSON_C_TO_STRING_PLAIN) : std::string();
}

fs::path VoiceCatalogue::checkpointPath(const std::string& lang) const
{
    std::string langs = checkpointLangsJson();
    if (langs.empty())
        return fs::path();
    JsonRef file = JsonRef::parse(langs).get(lang.c_str());
    if (!file.isString() || !isPlainName(file.toString()))
        return fs::path();
    return existingFile(root / "ckpt" / fs::u8path(file.toString()));
}

fs::path VoiceCatalogue::downloadPath(const std::string& name) const
{
    if (!isPlainName(name))
        return fs::path();
    return existingFile(root / "download" / fs::u8path(name));
}
