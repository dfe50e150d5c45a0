#pragma once

#include <filesystem>
#include <functional>

// Where an export finds a project's audio: each segment's joined file, and the
// file that joins all segments.
struct ExportSources
{
    std::function<std::filesystem::path(int segId)> segWav;
    std::filesystem::path merged;
};
