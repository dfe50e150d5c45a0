#pragma once

#include "common/Sqlite3DB.h"
#include "recording/RecordedPrompt.h"

#include <cstdint>
#include <string>
#include <vector>

// A recording project's "recording.db": its sentences and their states
// (0 to read, 1 recorded, -1 removed) and its language.
class RecordingDb
{
public:
    RecordingDb();
    ~RecordingDb();
    RecordingDb(const RecordingDb&) = delete;
    RecordingDb& operator=(const RecordingDb&) = delete;

    // Makes a new file at path (UTF-8) holding the prompts of lang.
    bool create(const std::string& path, const std::string& lang);
    // Opens an existing file.
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return db.isOpen(); }

    // Id of the next sentence to read and its text; 0 when none is left, -1 on failure.
    int64_t nextPrompt(std::string& text);
    // The recorded sentences, newest id first.
    bool recordedPrompts(std::vector<RecordedPrompt>& rows);
    bool setStatus(int64_t id, int32_t status);
    bool setRecorded(int64_t id);
    // Marks a sentence removed; one that came from no prompt is deleted.
    bool removePrompt(int64_t id);

    const std::string& lastError() const { return error; }
    const std::string& lang() const { return language; }

private:
    bool fail();
    bool failWith(const std::string& text);
    bool noHandle();

    std::string error;
    Sqlite3DB db;
    std::string language;
};
