#pragma once

#include <cstdint>
#include <string>

// One recording project of the list.
struct RecordingInfo
{
    std::string path; // folder, UTF-8
    std::string name;
    std::string lang;
    int64_t modified = 0; // folder's last write time, seconds since 1970
};
