#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// One project of the project list.
struct ProjectListItem
{
    std::string name;
    std::filesystem::path path;
    int64_t created = 0;
    // The folder's last-write time, seconds since 1970.
    int64_t modified = 0;
};
