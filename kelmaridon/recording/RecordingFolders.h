#pragma once

#include <QString>

#include <filesystem>
#include <string>

// The recording root, created with its parents when it is missing (a failure
// shows later, when something is made in it).
std::filesystem::path ensureRecordingRoot();

// A free folder in the recording root for a recording named name: the name
// made safe for a file name, numbered "(n)" when taken. Empty with error set
// when the root cannot be examined.
std::filesystem::path newRecordingFolder(const std::string& name, std::string& error);

// stem and today's date, e.g. "Recording20240131", numbered "(n)" when root
// already holds that name.
QString proposedFolderName(const std::filesystem::path& root, const QString& stem);
