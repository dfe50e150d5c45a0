#include "training/TrainedVoice.h"

#include "common/FileUtils.h"
#include "common/JsonRef.h"
#include "common/TextUtils.h"
#include "training/TrainingRecord.h"
#include "voices/VoiceFolder.h"
#include "voices/VoiceStore.h"

#include <json-c/json.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <regex>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool fail(const fs::path& dir, int err, std::string& error)
{
    error = std::strerror(err);
    removeAll(dir);
    return false;
}

std::string uidFor(const std::string& name)
{
    return sanitizeFileName(formatString("custom_%s", name.c_str()));
}

// A voice this program made ("custom_" folder) that shows name.
bool isTrainedVoiceNamed(const LocalVoice& v, const std::string& name)
{
    return v.uid.rfind("custom_", 0) == 0 && v.name == name;
}

bool renameTree(const fs::path& from, const fs::path& to, std::error_code& ec)
{
    std::lock_guard<std::mutex> lock(treeChangeMutex());
    fs::rename(from, to, ec);
    return !ec;
}

} // namespace

int trainedVoiceQuality(int epochs)
{
    if (epochs <= 500)
        return -2;
    if (epochs <= 1000)
        return -1;
    if (epochs <= 2000)
        return 1;
    if (epochs <= 4000)
        return 2;
    return 3;
}

std::string trainedSpeakerJson(const std::string& uid, const std::string& name, int quality, const PromptLang& lang)
{
    JsonRef obj(json_object_new_object());
    auto addText = [&](const char* key, const std::string& v) {
        json_object_object_add(obj.get(), key, json_object_new_string_len(v.data(), int(v.size())));
    };
    auto addInt = [&](const char* key, int v) { json_object_object_add(obj.get(), key, json_object_new_int(v)); };
    addText("uid", uid);
    addInt("spk", 0);
    addText("name", name);
    addInt("quality", quality);
    addInt("sex", 0);
    addText("lang", lang.lang);
    addText("eng", lang.name);
    addText("native", lang.native);
    return json_object_to_json_string(obj.get());
}

fs::path voiceBuildRoot()
{
    return voicesDir() / ".building";
}

namespace {

// The uid of a voice set aside in dir, empty when dir is no such voice.
std::string setAsideUid(const fs::path& dir)
{
    std::error_code ec;
    if (dir.extension() != ".old" || !fs::is_directory(fs::symlink_status(dir, ec)))
        return std::string();
    // A voice whose own name ends in ".old", built here.
    if (fs::exists(fs::symlink_status(dir / utf8ToPath(pathToUtf8(dir.filename()) + ".onnx.json"), ec)))
        return std::string();
    std::string uid = pathToUtf8(dir.stem());
    // "<uid>(n).old" when an earlier one was still here; the configuration names the voice.
    static const std::regex numbered(R"(^(.+)\(\d+\)$)");
    std::smatch m;
    if (!fs::exists(fs::symlink_status(dir / utf8ToPath(uid + ".onnx.json"), ec)) && std::regex_match(uid, m, numbered)
        && fs::exists(fs::symlink_status(dir / utf8ToPath(m[1].str() + ".onnx.json"), ec)))
        uid = m[1].str();
    return uid;
}

} // namespace

void clearVoiceBuildRoot()
{
    const fs::path root = voiceBuildRoot();
    std::error_code ec;
    std::vector<fs::path> left;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
        left.push_back(it->path());
    for (const fs::path& p : left) {
        // A voice set aside by a replace that never ended goes back to its
        // place; while that place is taken it stays here, whole.
        const std::string uid = setAsideUid(p);
        if (uid.empty()) {
            removeAll(p);
            continue;
        }
        const fs::path target = voicesDir() / utf8ToPath(uid);
        std::error_code statusError;
        if (fs::symlink_status(target, statusError).type() == fs::file_type::not_found)
            renameTree(p, target, ec);
    }
}

std::vector<LocalVoice> trainedVoicesNamed(const std::string& name)
{
    std::vector<LocalVoice> all, named;
    listInstalledVoices(all);
    for (const LocalVoice& v : all)
        if (isTrainedVoiceNamed(v, name))
            named.push_back(v);
    return named;
}

std::string keepBothName(const std::string& name)
{
    std::vector<LocalVoice> all;
    listInstalledVoices(all);
    for (int n = 2;; ++n) {
        std::string candidate = formatString("%s (%d)", name.c_str(), n);
        bool shown = std::any_of(all.begin(), all.end(),
                                 [&](const LocalVoice& v) { return isTrainedVoiceNamed(v, candidate); });
        if (!shown && !pathExists(voicesDir() / utf8ToPath(uidFor(candidate))))
            return candidate;
    }
}

TrainedVoicePlan planTrainedVoice(const std::string& name, bool replace, std::string& error)
{
    TrainedVoicePlan plan;
    plan.name = name;
    if (replace) {
        plan.uid = uidFor(name);
        for (const LocalVoice& v : trainedVoicesNamed(name))
            if (std::find(plan.replaced.begin(), plan.replaced.end(), v.dir) == plan.replaced.end())
                plan.replaced.push_back(v.dir);
        return plan;
    }
    fs::path dir = uniquePath(voicesDir() / utf8ToPath(uidFor(name)));
    if (dir.empty())
        error = std::strerror(errno ? errno : EIO);
    else
        plan.uid = pathToUtf8(dir.filename());
    return plan;
}

bool buildTrainedVoice(const TrainingRecord& record, const TrainedVoicePlan& plan, fs::path& built,
                       std::string& error)
{
    built = voiceBuildRoot() / utf8ToPath(plan.uid);
    removeAll(built);
    // A failure here shows in the copy below.
    createDirs(VoiceFolder::speakersDir(built));

    std::error_code ec;
    {
        std::lock_guard<std::mutex> lock(treeChangeMutex());
        fs::copy_file(utf8ToPath(record.dir) / "config.json", built / utf8ToPath(plan.uid + ".onnx.json"),
                      fs::copy_options::none, ec);
    }
    if (ec)
        return fail(built, ec.value(), error);

    int epochs = record.epochs() - record.initEpochs();
    std::string json = trainedSpeakerJson(plan.uid, plan.name, trainedVoiceQuality(epochs), record.recordingLang());
    if (!writeFreshFile(VoiceFolder::speakerFilePath(built, 0), json, false))
        return fail(built, errno, error);
    return true;
}

bool installTrainedVoice(const fs::path& built, const TrainedVoicePlan& plan, std::string& error)
{
    const fs::path target = voicesDir() / utf8ToPath(plan.uid);
    std::error_code ec;
    // A voice in the way steps aside first, and comes back should the new one not get in.
    fs::path old;
    if (fs::exists(fs::symlink_status(target, ec))) {
        old = uniquePath(voiceBuildRoot() / utf8ToPath(plan.uid + ".old"));
        if (old.empty() || !renameTree(target, old, ec)) {
            error = std::strerror(ec ? ec.value() : (errno ? errno : EIO));
            return false;
        }
    }
    if (!renameTree(built, target, ec)) {
        error = std::strerror(ec.value());
        std::error_code back;
        if (!old.empty())
            renameTree(old, target, back);
        return false;
    }
    if (!old.empty()) {
        // Renamed first: what a cut-short removal leaves is never taken for a voice set aside.
        fs::path gone = uniquePath(voiceBuildRoot() / utf8ToPath(plan.uid + ".replaced"));
        removeAll(!gone.empty() && renameTree(old, gone, ec) ? gone : old);
    }
    for (const fs::path& dir : plan.replaced)
        if (dir != target)
            removeAll(dir);
    return true;
}
