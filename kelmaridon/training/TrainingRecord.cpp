#include "training/TrainingRecord.h"

#include "common/FileUtils.h"
#include "common/JsonRef.h"
#include "common/TextUtils.h"
#include "recording/PromptsDb.h"
#include "recording/RecordingProject.h"
#include "training/TrainingFolder.h"

#include <json-c/json.h>

#include <cerrno>
#include <cstring>

namespace fs = std::filesystem;

namespace {

// A manifest is a few hundred bytes; anything far larger is not one of ours.
constexpr uint64_t kManifestMaxBytes = 64 * 1024;

// The language code in the manifest of the recording in folder; empty when none.
std::string recordingManifestLang(const std::string& folder)
{
    if (folder.empty())
        return std::string();
    RecordingProject project;
    project.readManifest(folder);
    return project.lang();
}

} // namespace

TrainingRecord::~TrainingRecord()
{
    if (manifest)
        json_object_put(manifest);
}

TrainingRecord::TrainingRecord(const TrainingRecord& other) : dir(other.dir), lastError(other.lastError)
{
    if (other.manifest)
        json_object_deep_copy(other.manifest, &manifest, nullptr);
}

TrainingRecord& TrainingRecord::operator=(const TrainingRecord& other)
{
    if (this != &other) {
        TrainingRecord copy(other);
        dir = copy.dir;
        lastError = copy.lastError;
        std::swap(manifest, copy.manifest);
    }
    return *this;
}

bool TrainingRecord::create(const std::string& folder, const std::string& name, const std::string& recording,
                            const std::string& baseon)
{
    dir = folder;
    fs::path path = utf8ToPath(folder);
    std::error_code ec;
    {
        std::lock_guard<std::mutex> lock(trainingFsMutex());
        if (!fs::exists(path, ec))
            fs::create_directories(path, ec);
    }
    if (manifest)
        json_object_put(manifest);
    manifest = json_object_new_object();
    json_object_object_add(manifest, "name", json_object_new_string(name.c_str()));
    json_object_object_add(manifest, "recording", json_object_new_string(recording.c_str()));
    json_object_object_add(manifest, "baseon", json_object_new_string(baseon.c_str()));
    json_object_object_add(manifest, "bs", json_object_new_int(0));
    json_object_object_add(manifest, "gpu", json_object_new_int(0));
    // The training keeps its language: the recording may be deleted later.
    std::string lang = recordingManifestLang(recording);
    if (!lang.empty())
        json_object_object_add(manifest, "lang", json_object_new_string(lang.c_str()));
    return save();
}

bool TrainingRecord::read(const std::string& folder)
{
    dir = folder;
    fs::path path = utf8ToPath(folder) / "manifest";
    // Only a regular file of sane size is read: a FIFO or a device there would
    // block the reader or never end.
    std::error_code ec;
    fs::file_status st = fs::status(path, ec);
    if (ec) {
        lastError = std::strerror(ec.value());
        return false;
    }
    std::string text;
    errno = 0;
    if (!fs::is_regular_file(st) || !readWholeFile(path, text, kManifestMaxBytes)) {
        lastError = fs::is_regular_file(st) && errno ? std::strerror(errno) : "invalid training.";
        return false;
    }
    JsonRef doc = JsonRef::parse(text);
    if (!doc.isObject()) {
        lastError = "invalid training.";
        return false;
    }
    if (manifest)
        json_object_put(manifest);
    manifest = doc.release();
    return true;
}

bool TrainingRecord::save()
{
    const char* text = manifest ? json_object_to_json_string(manifest) : "";
    return replaceFileAtomic(utf8ToPath(dir) / "manifest", text, lastError);
}

std::string TrainingRecord::title() const
{
    return formatString("%s - %s", name().c_str(), recordingLang().native.c_str());
}

PromptLang TrainingRecord::recordingLang() const
{
    std::string code = lang();
    if (code.empty())
        code = recordingManifestLang(recording());
    return code.empty() ? PromptLang() : findPromptLang(code);
}

bool TrainingRecord::keepLang()
{
    if (!lang().empty() || !manifest || !json_object_is_type(manifest, json_type_object))
        return true;
    std::string code = recordingManifestLang(recording());
    if (code.empty())
        return true;
    // The times of the manifest and its folder tell the training's last
    // change and order the list; this is no change of the training.
    const fs::path folder = utf8ToPath(dir), file = folder / "manifest";
    std::error_code fileError, folderError;
    const fs::file_time_type fileTime = fs::last_write_time(file, fileError);
    const fs::file_time_type folderTime = fs::last_write_time(folder, folderError);
    json_object_object_add(manifest, "lang", json_object_new_string(code.c_str()));
    if (!save())
        return false;
    if (!fileError)
        fs::last_write_time(file, fileTime, fileError);
    if (!folderError)
        fs::last_write_time(folder, folderTime, folderError);
    return true;
}

int64_t TrainingRecord::modifiedTime() const
{
    return lastWriteTime(utf8ToPath(dir) / "manifest");
}

void TrainingRecord::setInt(const char* key, int value)
{
    if (manifest && json_object_is_type(manifest, json_type_object))
        json_object_object_add(manifest, key, json_object_new_int(value));
}

int TrainingRecord::intValue(const char* key) const
{
    return manifest ? JsonRef(json_object_get(manifest)).get(key).toInt() : 0;
}

std::string TrainingRecord::textValue(const char* key) const
{
    return manifest ? JsonRef(json_object_get(manifest)).get(key).toString() : std::string();
}

void TrainingRecord::setBatchSize(int value) { setInt("bs", value); }
void TrainingRecord::setGpu(int value) { setInt("gpu", value); }
void TrainingRecord::setEpochs(int value) { setInt("epochs", value); }
void TrainingRecord::setInitEpochs(int value) { setInt("init_epochs", value); }
bool TrainingRecord::hasInitEpochs() const
{
    return manifest && json_object_is_type(manifest, json_type_object)
           && json_object_object_get_ex(manifest, "init_epochs", nullptr);
}

void TrainingRecord::clearEpochs()
{
    if (!manifest || !json_object_is_type(manifest, json_type_object))
        return;
    json_object_object_del(manifest, "init_epochs");
    json_object_object_del(manifest, "epochs");
}

int TrainingRecord::batchSize() const { return intValue("bs"); }
int TrainingRecord::gpu() const { return intValue("gpu"); }
int TrainingRecord::epochs() const { return intValue("epochs"); }
int TrainingRecord::initEpochs() const { return intValue("init_epochs"); }
std::string TrainingRecord::name() const { return textValue("name"); }
std::string TrainingRecord::recording() const { return textValue("recording"); }
std::string TrainingRecord::baseOn() const { return textValue("baseon"); }
std::string TrainingRecord::lang() const { return textValue("lang"); }

bool trainingNameExists(const std::string& name)
{
    fs::path root = homeDir() / "quorvine_salvormithe_training";
    if (!pathExists(root))
        return false;
    std::error_code ec;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_directory(typeError))
            continue;
        TrainingRecord record;
        if (record.read(pathToUtf8(it->path())) && json_object_object_get_ex(record.manifest, "name", nullptr)
            && record.name() == name)
            return true;
    }
    return false;
}
