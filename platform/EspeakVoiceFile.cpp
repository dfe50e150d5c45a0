#include "platform/EspeakVoiceFile.h"

#include <strings.h>

namespace fs = std::filesystem;

fs::path findEspeakVoiceFile(const fs::path& dataDir, const std::string& name)
{
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of("/+") != std::string::npos)
        return {};
    // espeak-ng lists the voices of both folders and matches a name against the
    // last part of each file's path (a voice whose own "name" were the code would
    // win there, but voices are named after languages, never by codes).
    fs::path found;
    int matches = 0;
    for (const char* sub : {"voices", "lang"}) {
        std::error_code ec;
        fs::recursive_directory_iterator it(dataDir / sub, fs::directory_options::follow_directory_symlink, ec);
        if (ec == std::errc::no_such_file_or_directory)
            continue;
        for (fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
            if (::strcasecmp(it->path().filename().c_str(), name.c_str()) != 0)
                continue;
            std::error_code fec;
            if (!it->is_regular_file(fec) || it->file_size(fec) == 0 || fec)
                continue;
            found = it->path();
            ++matches;
        }
        // A folder that could not be read may hide a second match.
        if (ec)
            return {};
    }
    return matches == 1 ? found : fs::path();
}
