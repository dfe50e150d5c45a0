#include "recording/RecordingProject.h"

#include "common/FileUtils.h"
#include "common/TextUtils.h"
#include "recording/TakeWav.h"

#include <json-c/json.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// A manifest holds a name and a language code.
constexpr uint64_t kManifestMaxBytes = 64 * 1024;

bool isFile(const fs::path& p)
{
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

} // namespace

RecordingProject::RecordingProject() = default;

RecordingProject::~RecordingProject() = default;

fs::path RecordingProject::rootDir()
{
    return homeDir() / "quorvine_salvormithe_recording";
}

bool RecordingProject::failCreate(bool madeFolder)
{
    database.close();
    fs::path dbPath = folder / "recording.db";
    removeFile(dbPath);
    removeFile(fs::path(dbPath) += "-journal");
    if (madeFolder)
        removeAll(folder);
    manifest = JsonRef();
    return false;
}

bool RecordingProject::open(const std::string& dir, const std::string& name, const std::string& lang)
{
    folder = utf8ToPath(dir);
    bool madeFolder = false;
    if (!pathExists(folder)) {
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec || !pathExists(folder)) {
            error = ec ? ec.message() : std::strerror(ENOENT);
            return false;
        }
        madeFolder = true;
    }
    readManifest(dir);

    fs::path dbPath = folder / "recording.db";
    if (pathExists(dbPath)) {
        if (!database.open(pathToUtf8(dbPath))) {
            error = database.lastError();
            return false;
        }
    } else {
        if (!database.create(pathToUtf8(dbPath), lang)) {
            error = database.lastError();
            return failCreate(madeFolder);
        }
        json_object_object_add(manifest.get(), "name", json_object_new_string(name.c_str()));
        json_object_object_add(manifest.get(), "lang", json_object_new_string(lang.c_str()));
        // Without its manifest the project would not be listed.
        if (!writeManifest())
            return failCreate(madeFolder);
    }
    modifiedTime = lastWriteTime(folder);
    noteIdentity();
    return true;
}

bool RecordingProject::openExisting(const std::string& dir)
{
    folder = utf8ToPath(dir);
    fs::path dbPath = folder / "recording.db";
    if (!isFile(dbPath)) {
        error = std::string(std::strerror(ENOENT)) + " (" + pathToUtf8(dbPath) + ")";
        return false;
    }
    readManifest(dir);
    if (!database.open(pathToUtf8(dbPath))) {
        error = database.lastError();
        return false;
    }
    modifiedTime = lastWriteTime(folder);
    noteIdentity();
    return true;
}

void RecordingProject::noteIdentity()
{
    struct stat st;
    if (::stat((folder / "recording.db").c_str(), &st) == 0) {
        dbDevice = uint64_t(st.st_dev);
        dbInode = uint64_t(st.st_ino);
    }
}

bool RecordingProject::stillThere() const
{
    struct stat st;
    return ::stat((folder / "recording.db").c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           uint64_t(st.st_dev) == dbDevice && uint64_t(st.st_ino) == dbInode;
}

void RecordingProject::readManifest(const std::string& dir)
{
    std::string text;
    if (!readWholeFile(utf8ToPath(dir) / "manifest", text, kManifestMaxBytes))
        text.clear();
    manifest = JsonRef::parse(text);
    if (!manifest.isObject())
        manifest = JsonRef(json_object_new_object());
}

bool RecordingProject::writeManifest()
{
    const char* text = manifest ? json_object_to_json_string(manifest.get()) : "";
    return replaceFileAtomic(folder / "manifest", text, error);
}

std::string RecordingProject::name() const
{
    return manifest.get("name").toString();
}

std::string RecordingProject::lang() const
{
    return manifest.get("lang").toString();
}

fs::path RecordingProject::wavDir() const
{
    fs::path dir = folder / "wav";
    // One level only: a project folder that is gone is not made again.
    if (!pathExists(dir)) {
        std::error_code ec;
        fs::create_directory(dir, ec);
    }
    return dir;
}

fs::path RecordingProject::takePath(int id) const
{
    return wavDir() / formatString("%d.wav", id);
}

void RecordingProject::removeUnfinishedTakes() const
{
    std::error_code ec;
    fs::directory_iterator it(folder / "wav", ec);
    std::vector<fs::path> parts;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const fs::path& p = it->path();
        if (p.extension() == ".tmp" && p.stem().extension() == ".wav" &&
            TakeWav::partPath(p.parent_path() / p.stem()) == p)
            parts.push_back(p);
    }
    for (const fs::path& p : parts)
        removeFile(p);
}

std::vector<RecordingInfo> listRecordings()
{
    std::vector<RecordingInfo> list;
    fs::path root = RecordingProject::rootDir();
    std::error_code ec;
    fs::create_directories(root, ec);
    fs::directory_iterator it(root, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeEc;
        if (!it->is_directory(typeEc) || typeEc)
            continue;
        const fs::path& dir = it->path();
        if (!isFile(dir / "manifest") || !isFile(dir / "recording.db"))
            continue;
        RecordingProject project;
        project.readManifest(pathToUtf8(dir));
        list.push_back({pathToUtf8(dir), project.name(), project.lang(), lastWriteTime(dir)});
    }
    std::sort(list.begin(), list.end(), [](const RecordingInfo& a, const RecordingInfo& b) {
        return a.modified != b.modified ? a.modified > b.modified : a.path < b.path;
    });
    return list;
}
