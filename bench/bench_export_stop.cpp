// How soon an export job ends once its owner sets the stop flag: an hour of
// speech exported as MP3, AAC and WAV (joined and per segment) and the join of
// that hour, stopped as soon as the output file has begun to grow.
//
//   bench_export_stop [rounds] [minutes]
#include "platform/PiperHelper.h"
#include "synthesis/AudioExport.h"
#include "synthesis/WavJoin.h"

#include <QElapsedTimer>

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void writeSpeechLikeWav(const fs::path& p, uint32_t samples)
{
    std::ofstream out(p, std::ios::binary);
    out << pp_wavheader(22050, 2, 1, samples);
    std::vector<char> block(22050 * 2);
    uint32_t i = 0;
    while (i < samples) {
        size_t n = 0;
        for (; n < block.size() / 2 && i < samples; ++n, ++i) {
            auto v = uint16_t(int16_t(6000 * std::sin(2 * M_PI * (180 + (i / 4410) % 7 * 40) * i / 22050.0)));
            block[2 * n] = char(v & 0xff);
            block[2 * n + 1] = char(v >> 8);
        }
        out.write(block.data(), std::streamsize(2 * n));
    }
}

uintmax_t sizeOf(const fs::path& p)
{
    std::error_code ec;
    uintmax_t n = fs::file_size(p, ec);
    return ec ? 0 : n;
}

struct Round
{
    double stopToReturnMs = -1;
    double runMs = 0;
    bool leftFile = false;
};

// Runs job on a thread, raises stop once watched has grown past its first
// bytes, and times the rest.
Round timeStop(std::atomic<bool>& stop, const fs::path& watched, const std::function<void()>& job)
{
    Round r;
    std::atomic<bool> done{false};
    QElapsedTimer run;
    run.start();
    std::thread worker([&] {
        job();
        done = true;
    });
    while (!done && sizeOf(watched) < 4096)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    QElapsedTimer sinceStop;
    if (!done) {
        sinceStop.start();
        stop = true;
    }
    worker.join();
    if (sinceStop.isValid())
        r.stopToReturnMs = sinceStop.nsecsElapsed() / 1e6;
    r.runMs = run.nsecsElapsed() / 1e6;
    r.leftFile = fs::exists(watched);
    return r;
}

void report(const char* what, const std::vector<Round>& rounds)
{
    std::vector<double> ms;
    int left = 0, finished = 0;
    for (const Round& r : rounds) {
        if (r.stopToReturnMs < 0)
            ++finished;
        else
            ms.push_back(r.stopToReturnMs);
        left += r.leftFile;
    }
    std::sort(ms.begin(), ms.end());
    if (ms.empty()) {
        std::printf("%-28s ended before the stop in all %zu rounds\n", what, rounds.size());
        return;
    }
    std::printf("%-28s stop->return min %8.1f ms  median %8.1f ms  max %8.1f ms  (%zu rounds, %d ended first, %d left a file)\n",
                what, ms.front(), ms[ms.size() / 2], ms.back(), rounds.size(), finished, left);
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int minutes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;
    // FFmpeg's progress lines would bury the figures.
    av_log_set_level(AV_LOG_ERROR);
    const fs::path root = fs::temp_directory_path() / ("bench_export_stop_" + std::to_string(::getpid()));
    fs::create_directories(root / "out");

    const fs::path source = root / "hour.wav";
    std::printf("writing %d minutes of audio...\n", minutes);
    std::fflush(stdout);
    writeSpeechLikeWav(source, uint32_t(22050) * 60 * uint32_t(minutes));

    ExportSources sources{[&](int) { return source; }, source};
    std::vector<ProjectSeg> segs(2);
    segs[0].id = 1;
    segs[0].text = "a";
    segs[1].id = 2;
    segs[1].text = "b";
    VoiceLookup voiceOf = [](int) { return ProjectVoice{}; };

    struct Case
    {
        const char* name;
        std::string ext;
        bool merge;
        const char* file;
    } cases[] = {
        {"merged .mp3", ".mp3", true, "audio.mp3"},
        {"merged .aac", ".aac", true, "audio.aac"},
        {"per segment .mp3", ".mp3", false, "audio1.mp3"},
        {"merged .wav", ".wav", true, "audio.wav"},
    };
    for (const Case& c : cases) {
        std::vector<Round> results;
        for (int i = 0; i < rounds; ++i) {
            fs::remove_all(root / "out");
            fs::create_directories(root / "out");
            ExportStatus status;
            results.push_back(timeStop(status.stop, root / "out" / c.file, [&] {
                exportAudioAndText(sources, segs, voiceOf, (root / "out").string(), c.ext, c.merge, false,
                                   ".txt", false, status);
            }));
        }
        report(c.name, results);
    }

    std::vector<Round> joins;
    for (int i = 0; i < rounds; ++i) {
        std::atomic<bool> stop{false};
        const fs::path joined = root / "out" / "joined.wav";
        joins.push_back(timeStop(stop, joined, [&] {
            std::string error;
            mergeWavFiles({source.string(), source.string()}, joined.string(), nullptr, &error, &stop);
        }));
        fs::remove(joined);
    }
    report("join of two hours", joins);

    fs::remove_all(root);
    return 0;
}
