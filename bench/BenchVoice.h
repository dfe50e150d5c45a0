#pragma once

// The stand-in voice the benchmarks speak with, their sample text and their folder.

#include "common/FileUtils.h"
#include "common/Platform.h"
#include "voices/VoiceStore.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace bench {

// A private folder for one run: the voice store (and, when asked, the home
// folder) of the benchmark and of its children live below it. Empty on failure.
inline std::string privateRoot(bool withHome)
{
    char tmpl[] = "/tmp/qvbench.XXXXXX";
    const char* root = ::mkdtemp(tmpl);
    if (!root)
        return std::string();
    platform::setEnv("XDG_DATA_HOME", std::string(root) + "/data");
    if (withHome)
        platform::setEnv("HOME", std::string(root) + "/home");
    return root;
}

// Installs "bench_en" (espeak-ng's en-us behind a model file that is no network).
inline LocalVoice installBenchVoice()
{
    namespace fs = std::filesystem;
    fs::path dir = voicesDir() / "bench_en";
    fs::create_directories(dir / "speakers");
    writeFreshFile(dir / "bench_en.onnx", "weights", false);
    writeFreshFile(dir / "bench_en.onnx.json",
                   R"({"audio":{"sample_rate":22050},"espeak":{"voice":"en-us"},"num_speakers":1})", false);
    LocalVoice v;
    v.uid = "bench_en";
    v.spk = 0;
    v.name = "Bench";
    std::string err;
    writeFileAtomic(dir / "speakers" / "spk-0.json", SpeakerFile::toJson(v), err);
    LocalVoice found;
    if (!findInstalledVoice("bench_en", 0, found)) {
        std::fprintf(stderr, "cannot install the bench voice\n");
        std::exit(1);
    }
    return found;
}

// The sentences of a text, one a line of speech.
inline std::vector<std::string> splitSentences(const QString& text)
{
    std::vector<std::string> out;
    QString flat = text;
    flat.replace(QRegularExpression("\\s+"), " ");
    const QStringList parts = flat.split(QRegularExpression("(?<=[.!?])[\"')]*\\s+"), Qt::SkipEmptyParts);
    for (const QString& p : parts) {
        QString s = p.trimmed();
        if (!s.isEmpty())
            out.push_back(s.toStdString());
    }
    return out;
}

} // namespace bench
