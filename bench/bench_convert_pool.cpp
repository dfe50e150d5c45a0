// Measures the conversion worker and the pool over a long English text, side by side:
//  - bare start-up of "salvormithe --convert" (empty input) against /bin/true;
//  - the median child overhead: a child's whole life minus the in-process
//    synthesis of its sentence;
//  - pool efficiency: sentences per second through ConvertPool against the same
//    children run directly as workerCount parallel loops, and the average number
//    of busy children;
//  - the worker's peak memory for one 10,000-character request;
//  - how long starting a child holds the thread that enqueues it.
//
//   bench_convert_pool [text file] [sentence limit]
#include "BenchVoice.h"

#include "common/FileUtils.h"
#include "common/Platform.h"
#include "synthesis/ConvertPool.h"
#include "synthesis/ConvertRequest.h"
#include "synthesis/SpeechSynthesis.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// Child processes of this program, from the kernel's lists of each thread's
// children (cheap enough to sample often: no walk over every process).
int liveChildren()
{
    int n = 0;
    std::error_code ec;
    for (fs::directory_iterator it("/proc/self/task", ec), end; !ec && it != end; it.increment(ec)) {
        std::ifstream children(it->path() / "children");
        long pid;
        while (children >> pid)
            ++n;
    }
    return n;
}

struct ChildRun
{
    double ms = -1; // start to exit
    int exitCode = -1;
};

// Runs argv (the worker: "program --convert") with input on its standard input
// (then closed), its output thrown away.
ChildRun runDirect(std::vector<std::string> argv, const std::string& input)
{
    ChildRun r;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return r;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    auto t0 = Clock::now();
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[0]);
    if (rc != 0) {
        ::close(fds[1]);
        return r;
    }
    size_t off = 0;
    while (off < input.size()) {
        ssize_t n = ::write(fds[1], input.data() + off, input.size() - off);
        if (n <= 0)
            break;
        off += size_t(n);
    }
    ::close(fds[1]);
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return r;
    r.ms = msSince(t0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

ChildRun runDirect(const std::string& program, const std::string& input)
{
    return runDirect({program, "--convert"}, input);
}

// The worker's peak resident memory. A child started from this process would
// count this process's memory too (its first program replaces a copy of this
// one), so GNU time starts it and reports.
double peakMemoryMb(const std::string& worker, const std::string& input, const fs::path& report)
{
    ChildRun r = runDirect({"/usr/bin/time", "-f", "%M", "-o", report.string(), worker, "--convert"}, input);
    std::ifstream in(report);
    double kb = 0;
    if (r.exitCode != 0 || !(in >> kb))
        return -1;
    return kb / 1024.0;
}

std::string request(const LocalVoice& voice, std::vector<std::string> sentences, const fs::path& wav)
{
    return ConvertRequest::make(voice, 1.0f, std::move(sentences), wav.string()).encode();
}

} // namespace

int main(int argc, char** argv)
{
    const std::string root = bench::privateRoot(false);
    if (root.empty())
        return 1;
    QCoreApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    QString textPath = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(QV_BENCH_TEXT);
    QFile file(textPath);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(textPath));
        return 1;
    }
    const std::vector<std::string> allSentences = bench::splitSentences(QString::fromUtf8(file.readAll()));
    std::vector<std::string> sentences = allSentences;
    if (argc > 2)
        sentences.resize(std::min(sentences.size(), size_t(std::max(1, std::atoi(argv[2])))));
    const std::string worker = (QCoreApplication::applicationDirPath() + "/salvormithe").toStdString();
    LocalVoice voice = bench::installBenchVoice();
    fs::path out = fs::path(root) / "out";
    fs::create_directories(out);
    int failures = 0;

    // In-process synthesis of every sentence, one WAV each.
    std::vector<double> synthMs(sentences.size());
    double audioSeconds = 0;
    synthesizeToWav(voice, 1.0f, {"Warm up."}, (out / "warm.wav").string(), [](bool, std::string, double) {});
    for (size_t i = 0; i < sentences.size(); ++i) {
        auto t0 = Clock::now();
        synthesizeToWav(voice, 1.0f, {sentences[i]}, (out / "inproc.wav").string(),
                        [&](bool ok, std::string err, double secs) {
                            if (!ok)
                                std::fprintf(stderr, "in-process synthesis failed: %s\n", err.c_str());
                            audioSeconds += secs;
                        });
        synthMs[i] = msSince(t0);
    }
    double synthTotal = 0;
    for (double ms : synthMs)
        synthTotal += ms;

    // Bare start-up: the child reads an empty input and exits at once.
    std::vector<double> bare, trueMs;
    for (int i = 0; i < 60; ++i) {
        bare.push_back(runDirect(worker, {}).ms);
        trueMs.push_back(runDirect("/bin/true", {}).ms);
    }

    // One child at a time: its whole life minus the synthesis it does.
    const size_t sample = std::min<size_t>(sentences.size(), 60);
    std::vector<double> overheadMs;
    for (size_t i = 0; i < sample; ++i) {
        ChildRun r = runDirect(worker, request(voice, {sentences[i]}, out / "seq.wav"));
        if (r.exitCode != 0) {
            std::fprintf(stderr, "child failed\n");
            return 1;
        }
        overheadMs.push_back(r.ms - synthMs[i]);
    }

    // Peak memory of one request of 10,000 characters.
    std::vector<std::string> longText;
    size_t chars = 0;
    for (size_t i = 0; chars < 10000; i = (i + 1) % allSentences.size()) {
        std::string s = allSentences[i];
        if (chars + s.size() > 10000)
            s.resize(10000 - chars);
        chars += s.size();
        longText.push_back(s);
    }
    double peakMb = peakMemoryMb(worker, request(voice, longText, out / "long.wav"), out / "time.txt");
    if (peakMb < 0)
        ++failures;

    ConvertPool pool;
    pool.setWorkerProgram(QString::fromStdString(worker));
    const int workers = pool.workerCount();

    // How long a start holds the enqueuing thread: one job at a time.
    std::vector<double> holdMs;
    for (size_t i = 0; i < sample; ++i) {
        bool done = false;
        auto t0 = Clock::now();
        pool.enqueue(ConvertRequest::make(voice, 1.0f, {sentences[i]}, (out / "hold.wav").string()),
                     [&](bool ok, std::string, double) {
                         done = true;
                         failures += ok ? 0 : 1;
                     });
        holdMs.push_back(msSince(t0));
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }

    // The pool, every sentence as one job, against the same children started
    // directly by workerCount loops side by side: in alternate rounds over parts
    // of the text, so that changes of the machine's load touch both alike.
    const int rounds = 4;
    double poolMs = 0, directMs = 0, busySum = 0;
    int busySamples = 0;
    for (int round = 0; round < rounds; ++round) {
        const size_t from = sentences.size() * size_t(round) / rounds;
        const size_t to = sentences.size() * size_t(round + 1) / rounds;

        size_t finished = 0;
        std::atomic<bool> poolDone{false};
        auto t0 = Clock::now();
        for (size_t i = from; i < to; ++i) {
            pool.enqueue(ConvertRequest::make(voice, 1.0f, {sentences[i]}, (out / (std::to_string(i) + ".wav")).string()),
                         [&](bool ok, std::string err, double) {
                             ++finished;
                             if (!ok) {
                                 ++failures;
                                 std::fprintf(stderr, "job failed: %s\n", err.c_str());
                             }
                         });
        }
        // How many children run, sampled by another thread while the pool works.
        std::thread sampler([&]() {
            while (!poolDone) {
                busySum += liveChildren();
                ++busySamples;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        while (finished < to - from)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        poolMs += msSince(t0);
        poolDone = true;
        sampler.join();

        std::atomic<size_t> next{from};
        std::atomic<int> directFailures{0};
        t0 = Clock::now();
        std::vector<std::thread> loops;
        for (int w = 0; w < workers; ++w) {
            loops.emplace_back([&]() {
                for (size_t i; (i = next++) < to;) {
                    if (runDirect(worker, request(voice, {sentences[i]}, out / ("d" + std::to_string(i) + ".wav")))
                            .exitCode != 0)
                        ++directFailures;
                }
            });
        }
        for (std::thread& t : loops)
            t.join();
        directMs += msSince(t0);
        failures += directFailures;
    }
    double busy = busySamples ? busySum / busySamples : 0;

    double poolRate = sentences.size() / (poolMs / 1000.0);
    double directRate = sentences.size() / (directMs / 1000.0);
    std::printf("text: %s\n", qPrintable(textPath));
    std::printf("sentences: %zu (%.1f s of speech), workers: %d, logical processors: %u\n", sentences.size(),
                audioSeconds, workers, std::thread::hardware_concurrency());
    std::printf("in-process synthesis: %.1f ms total, median %.2f ms per sentence\n", synthTotal, median(synthMs));
    std::printf("bare start-up: salvormithe --convert %.2f ms, /bin/true %.2f ms: ratio %.1f (goal at most 6)\n",
                median(bare), median(trueMs), median(bare) / median(trueMs));
    std::printf("median child overhead (start to exit minus synthesis): %.1f ms over %zu children (goal at most 30)\n",
                median(overheadMs), overheadMs.size());
    std::printf("pool: %.1f sentences/s; direct loops: %.1f sentences/s; efficiency %.2f (goal at least 0.85); "
                "busy children %.2f of %d\n",
                poolRate, directRate, poolRate / directRate, busy, workers);
    std::printf("worker peak memory, %zu-character request in %zu sentences: %.1f MB (goal at most 20)\n", chars,
                longText.size(), peakMb);
    std::printf("thread held by a child start: median %.2f ms over %zu starts\n", median(holdMs), holdMs.size());
    std::printf("failures: %d\n", failures);

    std::error_code ec;
    fs::remove_all(root, ec);
    return failures ? 1 : 0;
}
