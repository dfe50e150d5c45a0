#pragma once

#include <filesystem>
#include <string>

// The training part of a catalogue folder for our voice server:
//   download/tenv_gpu_win64.7z   the training environment archive
//   ckpt/langs.json              language code -> base checkpoint file name
//   ckpt/<lang>-epoch=E-step=S.ckpt   one base checkpoint per language
class TrainingCatalogue
{
public:
    // Adds the environment archive and the base checkpoints to outDir.
    static bool build(const std::filesystem::path& outDir, const std::filesystem::path& envArchive,
                      std::string& error);

    // Writes a checkpoint: a zip archive with "checkpoint/meta.json" (language,
    // epoch, global step) and "checkpoint/weights.bin" of weightBytes bytes.
    static bool writeCheckpoint(const std::filesystem::path& path, const std::string& lang, int epoch, int step,
                                size_t weightBytes, std::string& error);
};
