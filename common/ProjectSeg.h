#pragma once

#include <QMetaType>

#include <cstdint>
#include <string>

// One row of a project's seg table.
struct ProjectSeg
{
    int32_t id = 0;
    int32_t voice_id = 0;
    float srate = 0;
    std::string text;
    int64_t modified = 0;
    int64_t converted = 0;
    double seconds = 0;
    int32_t sentences = 0;
};

Q_DECLARE_METATYPE(ProjectSeg)
