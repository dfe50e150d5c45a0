#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <regex>
#include <string>

// Well-known folders.
std::filesystem::path homeDir();
std::filesystem::path roamingDir();
std::filesystem::path appDataDir();
std::filesystem::path espeakDataDir();
std::filesystem::path tashkeelModelPath();

// Last write time in seconds since 1970; 0 when it cannot be read.
int64_t lastWriteTime(const std::filesystem::path& p);

// File-system calls serialised by this module's mutex.
bool pathExists(const std::filesystem::path& p);
bool createDirs(const std::filesystem::path& p);

// p itself when it does not exist, else the first free "stem(n)ext" beside it.
// Returns an empty path when the folder cannot be examined.
std::filesystem::path uniquePath(const std::filesystem::path& p);

// Longest name sanitizeFileName gives, in bytes: a file name's limit (255)
// less room for the "(n)" that uniquePath may add.
constexpr size_t maxSanitizedNameBytes = 247;

// Turns user text into a file name that is safe and, unless it had to be
// shortened to maxSanitizedNameBytes, reversible.
std::string sanitizeFileName(const std::string& name);

std::string regexReplace(const std::string& text, const std::regex& re,
                         const std::function<std::string(const std::smatch&)>& fn);

// The whole content of a regular file; false for anything else (folders,
// FIFOs, devices), read errors and files longer than maxBytes.
bool readWholeFile(const std::filesystem::path& p, std::string& out, uint64_t maxBytes = UINT64_MAX);

// Bytes of the disk that holds dir free for this user; -1 when unknown.
int64_t freeSpace(const std::filesystem::path& dir);
// What a download or an installation always leaves free of a disk.
constexpr int64_t freeSpaceReserve = int64_t(64) << 20;

// Writes all of data to the open descriptor fd, going on after interruptions;
// false with errno set when a write fails.
bool writeFully(int fd, const char* data, size_t length);

// Closes a stream whose writing failed or was stopped and removes its file,
// which holds only part of what was meant; errno is kept.
void dropUnfinished(std::ofstream& out, const std::filesystem::path& p);

// Writes a new file at p: whatever stands there is removed first and the file
// is created exclusively, so a link at p is never followed. With sync the data
// reaches the disk before this returns. False with errno set on failure; a
// file that could not be written in full is removed.
bool writeFreshFile(const std::filesystem::path& p, const std::string& data, bool sync);

// UTF-8 text of a path, and a path from UTF-8 text.
std::string pathToUtf8(const std::filesystem::path& p);
std::filesystem::path utf8ToPath(const std::string& s);

// Removes a file or a whole tree; the number of entries removed, 0 when the path does
// not exist, -1 on error.
int removeAll(const std::filesystem::path& path);
// removeAll for callers that show the reason: true when nothing is left at path
// (also when nothing was there), else error holds the C library's text.
bool removeAll(const std::filesystem::path& path, std::string& error);
// Removes one file; true when a file was removed.
bool removeFile(const std::filesystem::path& path);
// Removes a folder that holds nothing; true when it was removed.
bool removeEmptyDir(const std::filesystem::path& path);
// Writes a new file through path + ".tmp" and a rename; an existing file is kept as it is.
bool writeFileAtomic(const std::filesystem::path& path, const std::string& text, std::string& error);

// Writes path through path + ".tmp", synced and renamed over whatever was
// there; on failure the old file stays and error holds the C library's text.
bool replaceFileAtomic(const std::filesystem::path& path, const std::string& data, std::string& error);

// Process-wide mutexes of the helpers above: tree changes (removeAll, the rename of
// writeFileAtomic) and single-file removal. Never held together.
std::mutex& treeChangeMutex();
std::mutex& fileRemoveMutex();
