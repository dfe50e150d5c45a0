#pragma once

#include <filesystem>
#include <string>

// Writes a demo catalogue for our voice server from what is on this machine:
// one voice of two speakers for each of several languages, packaged as
// ".orvelin" files, and an MP3 sample per speaker, spoken by the converter's
// "--convert" worker and encoded by ffmpeg.
class DemoCatalogue
{
public:
    // converter: the salvormithe program. The voices are installed into a
    // private data folder below outDir while the samples are spoken.
    static bool build(const std::filesystem::path& outDir, const std::filesystem::path& converter, std::string& error);
};
