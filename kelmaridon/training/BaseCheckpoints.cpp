#include "training/BaseCheckpoints.h"

#include "common/FileDownloader.h"
#include "common/FileUtils.h"
#include "common/JsonRef.h"
#include "training/CheckpointServer.h"

#include <json-c/json.h>

#include <system_error>

namespace fs = std::filesystem;

namespace {

// The list is a few hundred bytes; anything much larger is not ours.
constexpr uint64_t kListMaxBytes = 1 << 20;

std::map<std::string, std::string> remembered()
{
    std::map<std::string, std::string> langs;
    std::string text;
    if (!readWholeFile(baseCheckpointDir() / "langs.json", text, kListMaxBytes))
        return langs;
    for (const auto& [lang, file] : jsonObjectFields(JsonRef::parse(text)))
        if (file.isString())
            langs[lang] = file.toString();
    return langs;
}

} // namespace

fs::path baseCheckpointDir()
{
    return appDataDir() / "ckpt";
}

void rememberBaseCheckpoints(const std::map<std::string, std::string>& langs)
{
    std::map<std::string, std::string> all = remembered();
    bool changed = false;
    for (const auto& [lang, file] : langs) {
        if (!isPlainFileName(file) || all[lang] == file)
            continue;
        all[lang] = file;
        changed = true;
    }
    if (!changed)
        return;
    JsonRef obj(json_object_new_object());
    for (const auto& [lang, file] : all)
        json_object_object_add(obj.get(), lang.c_str(), json_object_new_string_len(file.data(), int(file.size())));
    createDirs(baseCheckpointDir());
    std::string error;
    replaceFileAtomic(baseCheckpointDir() / "langs.json", json_object_to_json_string(obj.get()), error);
}

std::map<std::string, std::string> keptBaseCheckpoints()
{
    std::map<std::string, std::string> kept;
    for (const auto& [lang, file] : remembered()) {
        if (!isPlainFileName(file))
            continue;
        std::error_code ec;
        const fs::path p = baseCheckpointDir() / utf8ToPath(file);
        if (isDownloadedFile(p) && fs::file_size(p, ec) > 0 && !ec)
            kept[lang] = file;
    }
    return kept;
}

bool isPlainFileName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}
