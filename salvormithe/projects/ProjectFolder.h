#pragma once

#include "common/JsonRef.h"
#include "projects/ProjectDb.h"
#include "projects/ProjectListItem.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct LocalVoice;

// One opened project: its folder, manifest, database and audio file names.
class ProjectFolder
{
public:
    ProjectFolder();
    ~ProjectFolder();
    ProjectFolder(const ProjectFolder&) = delete;
    ProjectFolder& operator=(const ProjectFolder&) = delete;

    // Makes a new project in folder with its database, manifest and default voice.
    bool create(const std::filesystem::path& folder, const std::string& name,
                const LocalVoice& defaultVoice, float srate);
    // Opens an existing project; a missing manifest leaves the name empty.
    bool open(const std::filesystem::path& folder);

    // Reads folder's "manifest"; true when it holds a JSON object.
    bool loadManifest(const std::filesystem::path& folder);
    // Writes the manifest, replacing the file only once the new text is complete.
    bool saveManifest();

    std::string projectName() const;
    void setProjectName(const std::string& name);
    int64_t created() const;

    const std::filesystem::path& path() const { return folder; }
    std::filesystem::path audioDir() const;
    std::filesystem::path segWavPath(int segId) const;
    std::filesystem::path segSentencesDir(int segId) const;
    std::filesystem::path sentenceWavPath(int segId, int index) const;
    std::filesystem::path mergedWavPath() const;
    // Deletes the joined audio and everything of one segment's audio.
    void removeSegAudio(int segId);

    ProjectDb& db() { return database; }
    const std::string& error() const { return lastError; }

    // Longest project name, in UTF-16 units, that the pages accept: its
    // manifest stays far below what the project list reads.
    static constexpr int maxNameLength = 1000;

    // The folder that holds every project.
    static std::filesystem::path projectsDir();
    // Every project with a manifest, newest first. Folders that hold a manifest
    // or a database but whose manifest cannot be read go to unreadable.
    static void listProjects(std::vector<ProjectListItem>& items,
                             std::vector<std::filesystem::path>* unreadable = nullptr);
    // Display colour n of the voice palette.
    static std::string voiceColor(int n);

private:
    std::string lastError;
    std::filesystem::path folder;
    ProjectDb database;
    JsonRef manifest;
};
