#pragma once

#include "common/JsonRef.h"
#include "recording/RecordingDb.h"
#include "recording/RecordingInfo.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// One recording project: a folder with its "manifest" (name and language),
// its "recording.db" and the takes in "wav".
class RecordingProject
{
public:
    RecordingProject();
    ~RecordingProject();
    RecordingProject(const RecordingProject&) = delete;
    RecordingProject& operator=(const RecordingProject&) = delete;

    // Opens the project in dir (UTF-8), creating it with name and lang when it
    // has no database yet. A creation that fails removes what it made.
    bool open(const std::string& dir, const std::string& name, const std::string& lang);
    // Opens a project that exists; creates nothing when it does not.
    bool openExisting(const std::string& dir);

    // Loads dir's "manifest"; an absent or damaged one reads as an empty object.
    void readManifest(const std::string& dir);
    // Writes the manifest into the project's folder, replacing the old one whole.
    bool writeManifest();

    std::string name() const;
    std::string lang() const;
    // Whether the opened project is still where it was opened: its folder
    // holds the same "recording.db" (not deleted, moved or made anew).
    bool stillThere() const;
    // The folder of the takes, created when missing; never the project's folder.
    std::filesystem::path wavDir() const;
    // The take of sentence id.
    std::filesystem::path takePath(int id) const;
    // Removes the part files of takes that were cut off (a crash, a kill).
    void removeUnfinishedTakes() const;

    const std::string& lastError() const { return error; }
    const std::filesystem::path& dir() const { return folder; }
    // The folder's last write time when it was opened, seconds since 1970.
    int64_t modified() const { return modifiedTime; }
    RecordingDb& db() { return database; }
    bool isOpen() const { return database.isOpen(); }

    // The folder that holds every recording project.
    static std::filesystem::path rootDir();

private:
    bool failCreate(bool madeFolder);
    void noteIdentity();

    std::string error;
    std::filesystem::path folder;
    int64_t modifiedTime = 0;
    // Device and inode of the opened "recording.db".
    uint64_t dbDevice = 0;
    uint64_t dbInode = 0;
    JsonRef manifest;
    RecordingDb database;
};

// Every recording project (a folder with "manifest" and "recording.db"),
// newest first. Entries that cannot be read are skipped.
std::vector<RecordingInfo> listRecordings();
