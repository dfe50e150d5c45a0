#pragma once

#include "common/ProjectSeg.h"
#include "common/ProjectVoice.h"
#include "common/Sqlite3DB.h"

#include <functional>
#include <string>
#include <vector>

struct LocalVoice;
class Sqlite3Cursor;

// A project's database file "ttsdata": its segments and voices.
class ProjectDb
{
public:
    ProjectDb();
    // Folds the write-ahead log into the file, then closes it.
    ~ProjectDb();
    ProjectDb(const ProjectDb&) = delete;
    ProjectDb& operator=(const ProjectDb&) = delete;

    // Opens the file at path (UTF-8), creating it with the schema when missing.
    bool openProjectDb(const std::string& path);
    bool isOpen() const { return db.isOpen(); }
    const std::string& lastError() const { return error; }

    // Segments in display order.
    bool loadSegs(const std::function<void(const ProjectSeg&)>& onSeg);
    // The stored row of one segment; found tells whether there is one.
    bool loadSeg(int id, ProjectSeg& seg, bool& found);
    // Voice rows; a negative id loads all of them.
    bool loadVoices(const std::function<void(const ProjectVoice&)>& onVoice, int id);
    // Id of the non-default row of voice's uid and speaker; 0 when none, -1 on failure.
    int findVoiceId(const LocalVoice& voice);
    // Largest voice id (0 for none), -1 on failure.
    int maxVoiceId();
    // Adds a voice row; its new id, or 0 on failure.
    int addVoice(const LocalVoice& voice, const std::string& color);
    // Writes voice row 0 and marks the default voice's segments modified.
    bool saveDefaultVoice(const LocalVoice& voice, float srate, const std::string& color);
    bool markDefaultVoiceSegsModified();

    // Inserts segs[start .. start+count) after segment afterId (at the end when
    // there is no such segment); count < 1 or too large means all the rest.
    // Sets each inserted record's id and modified time.
    bool insertSegsAfter(int afterId, std::vector<ProjectSeg>& segs, int start, int count);
    // Saves voice, rate and text, and stamps modified.
    bool updateSeg(ProjectSeg& seg);
    // Stores the result of a conversion.
    bool updateSegResult(ProjectSeg& seg, double seconds, int sentences);
    // Deletes a segment; onDeleted gets its id once the row is gone.
    bool deleteSeg(int id, const std::function<void(int)>& onDeleted);

    // Runs body in one transaction: committed when it returns true, else (or when
    // the commit fails) rolled back, keeping the error.
    bool inTransaction(const std::function<bool()>& body);

    // Joins text to seg and removes segment removedId, both or neither.
    bool mergeSegText(ProjectSeg& seg, int removedId, const std::string& text,
                      const std::function<void(int)>& onDeleted);
    // Makes segments of the lines of text: appended when base.id is 0, else
    // written over segment base.id and the segments after it.
    bool splitTextToSegs(const ProjectSeg& base, const std::string& text, std::vector<ProjectSeg>& out);

private:
    bool fail();
    bool run(const char* sql);
    // Whether the open file holds the tables and columns of a project database.
    bool checkSchema();
    bool readSingle(Sqlite3Cursor& c, bool& hasRow);

    Sqlite3DB db;
    std::string error;
};
