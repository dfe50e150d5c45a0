#include "projects/ProjectFolder.h"

#include "common/FileUtils.h"
#include "common/TextUtils.h"
#include "voices/LocalVoice.h"

#include <json-c/json.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace fs = std::filesystem;

namespace {

const char* const kPalette[55] = {
    "#A22A2B", "#010101", "#0000FD", "#006301", "#FF68B5", "#20B2A8", "#32CD34", "#020183",
    "#FF4503", "#DB71D6", "#A01EF0", "#FE0002", "#426AE4", "#FB7F73", "#2F8A58", "#FF8248",
    "#88CEE8", "#708290", "#00FD80", "#4583B4", "#D0B38B", "#D7BFD7", "#FF6349", "#02878C",
    "#8B7F65", "#BF00FE", "#FF3F95", "#8AB92A", "#BFBFBF", "#CB5E5B", "#FFD700", "#218C22",
    "#B42222", "#2090FF", "#6A6A6A", "#01BEFF", "#FF1496", "#9500D2", "#03CECF", "#2F4D4D",
    "#493C8C", "#9A31CC", "#566931", "#B9870C", "#00FEFE", "#6294ED", "#FF8051", "#D4681F",
    "#81FE02", "#5D9CA1", "#DFB98A", "#8B2CE2", "#FFEBD0", "#C2CCCE", "#81FFD5",
};

// A manifest is a few hundred bytes; anything far larger is not one of ours.
constexpr uint64_t kManifestMaxBytes = 64 * 1024;

// The manifest of folder; none unless "manifest" is a regular file of sane size.
JsonRef readManifest(const fs::path& folder)
{
    std::string text;
    if (!readWholeFile(folder / "manifest", text, kManifestMaxBytes))
        return {};
    return JsonRef(json_tokener_parse(text.c_str()));
}

// The integer rule for 64-bit values: integers as they are, booleans 0 or
// 1, doubles truncated, decimal strings parsed, anything else 0.
int64_t toInt64(const JsonRef& v)
{
    json_object* o = v.get();
    if (!o)
        return 0;
    switch (json_object_get_type(o)) {
    case json_type_int:
        return json_object_get_int64(o);
    case json_type_boolean:
        return json_object_get_boolean(o) ? 1 : 0;
    case json_type_double: {
        double d = json_object_get_double(o);
        if (!(d > -9.2e18 && d < 9.2e18))
            return 0;
        return static_cast<int64_t>(d);
    }
    case json_type_string:
        try {
            return std::stoll(json_object_get_string(o), nullptr, 10);
        } catch (const std::logic_error&) {
            return 0;
        }
    default:
        return 0;
    }
}

} // namespace

ProjectFolder::ProjectFolder() = default;

ProjectFolder::~ProjectFolder()
{
    manifest = JsonRef();
}

bool ProjectFolder::create(const fs::path& dir, const std::string& name, const LocalVoice& defaultVoice,
                           float srate)
{
    folder = dir;
    // "." and ".." would put the project into a folder that holds other things.
    for (const fs::path& part : dir) {
        if (part == "." || part == "..") {
            lastError = formatString("Invalid project folder (%s).", pathToUtf8(dir).c_str());
            return false;
        }
    }
    createDirs(folder);
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        // A name too long for the file system, or a file in the way: asking
        // again gives the reason.
        std::error_code why;
        fs::create_directories(folder, why);
        lastError = formatString("Cannot create the project folder. %s (%s)",
                                 why ? why.message().c_str() : std::strerror(ENOTDIR), pathToUtf8(folder).c_str());
        return false;
    }
    if (!database.openProjectDb(pathToUtf8(folder / "ttsdata"))) {
        lastError = database.lastError();
        return false;
    }
    json_object* obj = json_object_new_object();
    json_object_object_add(obj, "project_name", json_object_new_string(name.c_str()));
    json_object_object_add(obj, "created", json_object_new_int64(static_cast<int64_t>(std::time(nullptr))));
    manifest = JsonRef(obj);
    if (!saveManifest()) {
        lastError = "Save manifest failed. " + lastError;
        return false;
    }
    if (!database.saveDefaultVoice(defaultVoice, srate, voiceColor(0))) {
        lastError = "set_default_voice failed. " + database.lastError();
        return false;
    }
    return true;
}

bool ProjectFolder::open(const fs::path& dir)
{
    folder = dir;
    if (!pathExists(folder / "ttsdata")) {
        lastError = "Invalid database.";
        return false;
    }
    if (!database.openProjectDb(pathToUtf8(folder / "ttsdata"))) {
        lastError = database.lastError();
        return false;
    }
    loadManifest(folder);
    return true;
}

bool ProjectFolder::loadManifest(const fs::path& dir)
{
    manifest = readManifest(dir);
    return manifest.isObject();
}

bool ProjectFolder::saveManifest()
{
    const char* text = manifest ? json_object_to_json_string(manifest.get()) : "";
    return replaceFileAtomic(folder / "manifest", text, lastError);
}

std::string ProjectFolder::projectName() const
{
    return manifest.get("project_name").toString();
}

void ProjectFolder::setProjectName(const std::string& name)
{
    if (!manifest.isObject())
        manifest = JsonRef(json_object_new_object());
    json_object_object_add(manifest.get(), "project_name", json_object_new_string(name.c_str()));
}

int64_t ProjectFolder::created() const
{
    return toInt64(manifest.get("created"));
}

fs::path ProjectFolder::audioDir() const
{
    fs::path dir = folder / "audio";
    if (!pathExists(dir))
        createDirs(dir);
    return dir;
}

fs::path ProjectFolder::segWavPath(int segId) const
{
    return audioDir() / formatString("seg%d.wav", segId);
}

fs::path ProjectFolder::segSentencesDir(int segId) const
{
    fs::path dir = audioDir() / formatString("seg%d-sentences", segId);
    if (!pathExists(dir))
        createDirs(dir);
    return dir;
}

fs::path ProjectFolder::sentenceWavPath(int segId, int index) const
{
    return segSentencesDir(segId) / formatString("%d.wav", index);
}

fs::path ProjectFolder::mergedWavPath() const
{
    return audioDir() / "audio.wav";
}

void ProjectFolder::removeSegAudio(int segId)
{
    fs::path audio = folder / "audio";
    removeFile(audio / "audio.wav");
    removeFile(audio / formatString("seg%d.wav", segId));
    removeAll(audio / formatString("seg%d-sentences", segId));
}

fs::path ProjectFolder::projectsDir()
{
    return homeDir() / "quorvine_salvormithe_projects";
}

void ProjectFolder::listProjects(std::vector<ProjectListItem>& items, std::vector<fs::path>* unreadable)
{
    items.clear();
    if (unreadable)
        unreadable->clear();
    fs::path root = projectsDir();
    if (!pathExists(root))
        createDirs(root);
    std::error_code ec;
    fs::directory_iterator it(root, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeEc;
        if (!it->is_directory(typeEc) || typeEc)
            continue;
        const fs::path& dir = it->path();
        JsonRef m = readManifest(dir);
        if (!m.isObject()) {
            // A project whose manifest is damaged, rather than a folder of something else.
            std::error_code statEc;
            if (unreadable && (fs::symlink_status(dir / "manifest", statEc).type() != fs::file_type::not_found ||
                               fs::symlink_status(dir / "ttsdata", statEc).type() != fs::file_type::not_found))
                unreadable->push_back(dir);
            continue;
        }
        ProjectListItem item;
        item.name = m.get("project_name").toString();
        item.path = dir;
        item.created = toInt64(m.get("created"));
        item.modified = lastWriteTime(dir);
        items.push_back(std::move(item));
    }
    std::sort(items.begin(), items.end(),
              [](const ProjectListItem& a, const ProjectListItem& b) { return a.created > b.created; });
    if (unreadable)
        std::sort(unreadable->begin(), unreadable->end());
}

std::string ProjectFolder::voiceColor(int n)
{
    return kPalette[static_cast<unsigned>(n) % 55u];
}
