#pragma once

#include <filesystem>
#include <functional>
#include <regex>
#include <string>

// Well-known folders.
std::filesystem::path homeDir();
std::filesystem::path roamingDir();
std::filesystem::path appDataDir();
std::filesystem::path espeakDataDir();
std::filesystem::path tashkeelModelPath();

// File-system calls serialised by this module's mutex.
bool pathExists(const std::filesystem::path& p);
bool createDirs(const std::filesystem::path& p);

// p itself when it does not exist, else the first free "stem(n)ext" beside it.
// Returns an empty path when the folder cannot be examined.
std::filesystem::path uniquePath(const std::filesystem::path& p);

// Turns user text into a file name that is safe and reversible.
std::string sanitizeFileName(const std::string& name);

std::string regexReplace(const std::string& text, const std::regex& re,
                         const std::function<std::string(const std::smatch&)>& fn);

// The whole content of a regular file; false for folders and read errors.
bool readWholeFile(const std::filesystem::path& p, std::string& out);

// UTF-8 text of a path, and a path from UTF-8 text.
std::string pathToUtf8(const std::filesystem::path& p);
std::filesystem::path utf8ToPath(const std::string& s);
