#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

// What the voice server offers, read from a catalogue folder:
//   packages/*.orvelin          one package per speaker; its header names the
//                               speaker ("uid", "spk", "lang", "eng", ...)
//   samples/<uid>-spk<N>.mp3    the sample of a speaker
//   ckpt/langs.json             base checkpoints: language code -> file name in ckpt/
//   download/<name>             other downloads (the training environment)
class VoiceCatalogue
{
public:
    struct Speaker
    {
        std::string uid;
        int spk = 0;
        std::string lang, eng, native, name, user_name;
        int sex = 0, quality = 0, downloaded = 0, clicked = 0, fav_amount = 0, fav_persons = 0;
        std::filesystem::path package;
    };

    // Reads the folder; packages that cannot be read are skipped and named
    // in warnings. False when the folder does not exist.
    bool load(const std::filesystem::path& dir, std::vector<std::string>& warnings);

    const std::vector<Speaker>& speakers() const { return list; }
    const std::filesystem::path& dir() const { return root; }

    // The JSON replies of "langs.php" and "voices.php".
    std::string langsJson() const;
    std::string voicesJson(const std::string& lang) const;

    // Files for the download paths; empty when there is none.
    std::filesystem::path packagePath(const std::string& uid, int spk) const;
    std::filesystem::path samplePath(const std::string& uid, int spk) const;
    std::string checkpointLangsJson() const;
    std::filesystem::path checkpointPath(const std::string& lang) const;
    std::filesystem::path downloadPath(const std::string& name) const;

    // A name that is safe as one path component of the catalogue.
    static bool isPlainName(const std::string& name);

private:
    std::filesystem::path existingFile(const std::filesystem::path& p) const;

    std::filesystem::path root;
    std::vector<Speaker> list;
    std::map<std::pair<std::string, int>, size_t> index;
};
