#pragma once

#include <filesystem>
#include <string>

// The folder of one installed voice model: the model (".onnx"), its
// configuration (".onnx.json") and the "speakers" folder of speaker files.
class VoiceFolder
{
public:
    static constexpr const char* speakersDirName = "speakers";

    static std::filesystem::path speakersDir(const std::filesystem::path& voiceDir);
    // voiceDir/"speakers"/"spk-%d.json".
    static std::filesystem::path speakerFilePath(const std::filesystem::path& voiceDir, int spk);
    // The speaker file of spk as it exists on disk: the exact name when present, else an
    // entry whose name matches "spk-<spk>.json" without regard to case; empty when none.
    static std::filesystem::path findSpeakerFile(const std::filesystem::path& voiceDir, int spk);
};

// The model and configuration files directly in voiceDir (last match wins);
// true when both were found.
bool findModelFiles(const std::filesystem::path& voiceDir, std::filesystem::path& model,
                    std::filesystem::path& config);

// The most speakers a voice configuration may give.
constexpr int maxVoiceSpeakers = 10000;

// Checks a voice configuration as the synthesizer reads it: a JSON object whose
// fields the synthesizer reads have their types (objects "audio", "espeak",
// "inference" and "speech"; a text "espeak"/"voice"; numbers for the rest),
// whose sample rate ("audio"/"sample_rate", 22050 when missing) is a whole number
// between 8000 and 192000 Hz and whose speaker count ("num_speakers", 1 when
// missing, else a whole number from 1 to maxVoiceSpeakers) covers spk. False with
// error set (prefix followed by the reason) otherwise.
bool checkVoiceConfig(const std::filesystem::path& config, int spk, std::string& error,
                      const std::string& prefix = "Invalid orvelin file(config). ");
