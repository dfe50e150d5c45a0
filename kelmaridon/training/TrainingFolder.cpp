#include "training/TrainingFolder.h"

#include "common/FileUtils.h"

namespace fs = std::filesystem;

std::mutex& trainingFsMutex()
{
    static std::mutex m;
    return m;
}

fs::path trainingRoot()
{
    fs::path root = homeDir() / "quorvine_salvormithe_training";
    if (!pathExists(root))
        createDirs(root);
    return root;
}

bool isPreprocessed(const std::string& folder)
{
    fs::path dir = utf8ToPath(folder);
    return pathExists(dir / "config.json") && pathExists(dir / "dataset.jsonl");
}

void removePreprocessOutput(const std::string& folder)
{
    fs::path dir = utf8ToPath(folder);
    for (const char* name : {"config.json", "dataset.jsonl"}) {
        std::lock_guard<std::mutex> lock(trainingFsMutex());
        std::error_code ec;
        fs::remove(dir / name, ec);
    }
}
