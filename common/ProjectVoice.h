#pragma once

#include <cstdint>
#include <string>

// One row of a project's voice table.
struct ProjectVoice
{
    int32_t id = 0;
    std::string uid;
    int32_t spk = 0;
    std::string name;
    std::string color;
    std::string lang;
    std::string eng;
    std::string native;
    int32_t quality = 0;
    int32_t sex = 0;
    float srate = 0;
};
