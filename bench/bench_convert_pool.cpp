// Converts a long English text through the conversion pool with real worker
// children, one job per sentence, and prints throughput, the per-child cost and
// the pool's wall time against the in-process synthesis time.
//
//   bench_convert_pool [text file] [sentence limit]
#include "BenchVoice.h"

#include "common/FileUtils.h"
#include "common/Platform.h"
#include "synthesis/ConvertPool.h"
#include "synthesis/ConvertRequest.h"
#include "synthesis/SpeechSynthesis.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <string>
#include <vector>

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

// Child processes of this program that have not ended.
int liveChildren()
{
    int n = 0;
    std::error_code ec;
    const long self = long(::getpid());
    for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
        FILE* f = std::fopen((it->path() / "stat").c_str(), "r");
        if (!f)
            continue;
        char line[512];
        size_t len = std::fread(line, 1, sizeof(line) - 1, f);
        std::fclose(f);
        line[len] = 0;
        const char* close = std::strrchr(line, ')');
        char state = 0;
        long ppid = 0;
        if (close && std::sscanf(close + 2, "%c %ld", &state, &ppid) == 2 && ppid == self && state != 'Z')
            ++n;
    }
    return n;
}

// Runs one child to its end; returns the wall time in ms, or -1 on failure.
double runChild(const QString& program, const QByteArray& input, bool closeInput)
{
    QProcess p;
    auto t0 = Clock::now();
    p.start(program, {"--convert"});
    if (!p.waitForStarted(5000))
        return -1;
    p.write(input);
    if (closeInput)
        p.closeWriteChannel();
    if (!p.waitForFinished(60000))
        return -1;
    double ms = msSince(t0);
    if (!closeInput && p.exitCode() != 0) {
        std::fprintf(stderr, "child failed: %s\n", p.readAllStandardError().constData());
        return -1;
    }
    return ms;
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
    std::vector<std::string> sentences = bench::splitSentences(QString::fromUtf8(file.readAll()));
    if (argc > 2)
        sentences.resize(std::min(sentences.size(), size_t(std::max(1, std::atoi(argv[2])))));
    const QString worker = QCoreApplication::applicationDirPath() + "/salvormithe";
    const QString coreWorker = QCoreApplication::applicationDirPath() + "/bench_core_worker";
    LocalVoice voice = bench::installBenchVoice();
    fs::path out = fs::path(root) / "out";
    fs::create_directories(out);

    // 1. In-process synthesis of every sentence, one WAV each.
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

    // 2. One child at a time: its whole life minus the synthesis it does.
    const size_t sample = std::min<size_t>(sentences.size(), 60);
    std::vector<double> childMs, overheadMs;
    for (size_t i = 0; i < sample; ++i) {
        QByteArray req = QByteArray::fromStdString(ConvertRequest::make(voice, 1.0f, {sentences[i]}, (out / "seq.wav").string()).encode());
        double ms = runChild(worker, req, false);
        if (ms < 0)
            return 1;
        childMs.push_back(ms);
        overheadMs.push_back(ms - synthMs[i]);
    }
    // Start-up alone: the child reads a closed input and exits at once.
    std::vector<double> bareFull, bareCore;
    for (int i = 0; i < 40; ++i) {
        bareFull.push_back(runChild(worker, QByteArray(), true));
        bareCore.push_back(runChild(coreWorker, QByteArray(), true));
    }

    // 3. The pool: every sentence as one job.
    ConvertPool pool;
    pool.setWorkerProgram(worker);
    const int workers = pool.workerCount();
    size_t finished = 0, failed = 0;
    auto t0 = Clock::now();
    for (size_t i = 0; i < sentences.size(); ++i) {
        pool.enqueue(ConvertRequest::make(voice, 1.0f, {sentences[i]}, (out / (std::to_string(i) + ".wav")).string()),
                     [&](bool ok, std::string err, double) {
                         ++finished;
                         if (!ok) {
                             ++failed;
                             std::fprintf(stderr, "job failed: %s\n", err.c_str());
                         }
                     });
    }
    // How many children run, sampled while the pool works.
    double busySum = 0;
    int busySamples = 0;
    auto lastSample = Clock::now();
    while (finished < sentences.size()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (msSince(lastSample) >= 20) {
            lastSample = Clock::now();
            busySum += liveChildren();
            ++busySamples;
        }
    }
    double poolMs = msSince(t0);
    double meanRunning = busySamples ? busySum / busySamples : 0;

    double ideal = synthTotal / workers;
    double medianJob = median(childMs);
    double throughput = sentences.size() / (poolMs / 1000.0);
    double target = 0.85 * workers / (medianJob / 1000.0);

    std::printf("text: %s\n", qPrintable(textPath));
    std::printf("sentences: %zu (%.1f s of speech), workers: %d, logical processors: %d\n", sentences.size(),
                audioSeconds, workers, QThread::idealThreadCount());
    std::printf("in-process synthesis: %.1f ms total, median %.2f ms per sentence\n", synthTotal, median(synthMs));
    std::printf("pool wall time: %.1f ms, failures: %zu\n", poolMs, failed);
    std::printf("pool throughput: %.1f sentences/s (target 0.85 x workers / median job time = %.1f/s): %.2f of target\n",
                throughput, target, throughput / target);
    std::printf("median job time (one child, unloaded): %.1f ms\n", medianJob);
    std::printf("children running during the pool run: %.2f on average of %d permits; mean job time under load "
                "%.1f ms\n",
                meanRunning, workers, meanRunning * poolMs / double(sentences.size()));
    std::printf("median child overhead (start to exit minus synthesis): %.1f ms over %zu children\n",
                median(overheadMs), overheadMs.size());
    std::printf("median bare start-up: salvormithe --convert %.1f ms, worker without GUI libraries %.1f ms "
                "(GUI libraries cost %.1f ms)\n",
                median(bareFull), median(bareCore), median(bareFull) - median(bareCore));
    std::printf("pool wall time / ideal (in-process synthesis / workers = %.1f ms): %.2f\n", ideal, poolMs / ideal);

    std::error_code ec;
    fs::remove_all(root, ec);
    return failed ? 1 : 0;
}
