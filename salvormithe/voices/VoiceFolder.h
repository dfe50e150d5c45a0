#pragma once

#include <filesystem>

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
