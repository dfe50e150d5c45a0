#pragma once

#include <filesystem>
#include <string>
#include <vector>

// A voice package (".orvelin"): header length (4 bytes, little-endian), the
// header JSON text, then an archive with the voice's top folder.
class VoicePackageFile
{
public:
    struct Entry
    {
        std::string name;    // path inside the archive, "/" separated
        std::string data;    // file content
        bool folder = false; // a folder entry (no data)
    };

    // Reads the header text of a package.
    static bool readHeader(const std::filesystem::path& path, std::string& header, std::string& error);

    // Writes a package holding a gzip-compressed tar archive of the entries.
    static bool write(const std::filesystem::path& path, const std::string& header,
                      const std::vector<Entry>& entries, std::string& error);

    // Builds the package bytes from a header and raw archive bytes.
    static std::string compose(const std::string& header, const std::string& archive);
};
