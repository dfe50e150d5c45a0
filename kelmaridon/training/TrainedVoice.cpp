#include "training/TrainedVoice.h"

#include "common/FileUtils.h"
#include "common/JsonRef.h"
#include "common/TextUtils.h"
#include "training/TrainingRecord.h"
#include "voices/VoiceFolder.h"
#include "voices/VoiceStore.h"

#include <json-c/json.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool fail(const fs::path& voiceDir, int err, std::string& error)
{
    error = std::strerror(err);
    removeAll(voiceDir);
    return false;
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

bool createTrainedVoiceFolder(const TrainingRecord& record, fs::path& voiceDir, std::string& uid, std::string& error)
{
    const std::string name = record.name();
    const std::string uid0 = sanitizeFileName(formatString("custom_%s", name.c_str()));
    voiceDir = uniquePath(voicesDir() / utf8ToPath(uid0));
    if (voiceDir.empty()) {
        error = std::strerror(errno ? errno : EIO);
        return false;
    }
    uid = pathToUtf8(voiceDir.filename());

    // A failure here shows in the copy below.
    createDirs(VoiceFolder::speakersDir(voiceDir));

    std::error_code ec;
    {
        std::lock_guard<std::mutex> lock(treeChangeMutex());
        fs::copy_file(utf8ToPath(record.dir) / "config.json", voiceDir / utf8ToPath(uid + ".onnx.json"),
                      fs::copy_options::none, ec);
    }
    if (ec)
        return fail(voiceDir, ec.value(), error);

    int epochs = record.epochs() - record.initEpochs();
    std::string json = trainedSpeakerJson(uid, name, trainedVoiceQuality(epochs), record.recordingLang());
    if (!writeFreshFile(VoiceFolder::speakerFilePath(voiceDir, 0), json, false))
        return fail(voiceDir, errno, error);
    return true;
}
