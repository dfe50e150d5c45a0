#include "SynthesisFixture.h"

#include "common/FileUtils.h"
#include "common/InvokeContext.h"
#include "synthesis/ConvertPool.h"
#include "synthesis/SpeechWav.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <fstream>
#include <map>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace synthtest;

namespace {

struct Done
{
    bool ok = false;
    std::string error;
    double seconds = -1;
    int calls = 0;
    QThread* thread = nullptr;
};

// Child processes of this test program that have not ended; with unreaped,
// also those that ended but whose end has not been handled yet.
int liveChildren(bool unreaped = false)
{
    int n = 0;
    std::error_code ec;
    for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
        std::ifstream stat(it->path() / "stat");
        std::string line;
        if (!std::getline(stat, line))
            continue;
        // pid (comm) state ppid ...
        size_t close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        long ppid = 0;
        rest >> state >> ppid;
        if (ppid == ::getpid() && (unreaped || (state != 'Z' && state != 'X')))
            ++n;
    }
    return n;
}

struct Event
{
    char what;
    std::string id;
    long long ms;
};

std::vector<Event> readEvents(const fs::path& dir)
{
    std::vector<Event> out;
    std::ifstream in(dir / "events.log");
    Event e;
    while (in >> e.what >> e.id >> e.ms)
        out.push_back(e);
    return out;
}

int maxConcurrent(std::vector<Event> events)
{
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.ms != b.ms ? a.ms < b.ms : a.what == 'E' && b.what == 'S';
    });
    int cur = 0, best = 0;
    for (const Event& e : events) {
        cur += e.what == 'S' ? 1 : -1;
        best = std::max(best, cur);
    }
    return best;
}

class Pool : public ::testing::Test
{
protected:
    void SetUp() override { fake = testutil::binDir() + "/fake_convert_worker"; }
    void TearDown() override { fs::remove_all(voicesDir()); }

    LocalVoice job(const std::string& id)
    {
        LocalVoice v;
        v.uid = id;
        return v;
    }
    std::string wav(const std::string& name) { return pathToUtf8(tmp.path() / name); }

    testutil::TempDir tmp;
    QString fake;
};

} // namespace

TEST_F(Pool, RealChildrenWriteSpeech)
{
    LocalVoice v = installVoice("en_pool", {0});
    ConvertPool pool;
    pool.setWorkerProgram(testutil::binDir() + "/salvormithe");
    std::vector<Done> done(3);
    std::vector<std::vector<std::string>> texts = {
        {"The first job speaks one sentence."},
        {"The second job speaks", "two sentences."},
        {"And the third one closes the list."}};
    for (int i = 0; i < 3; ++i) {
        Done* d = &done[size_t(i)];
        pool.enqueue(ConvertRequest::make(v, 1.0f, texts[size_t(i)], wav("s" + std::to_string(i) + ".wav")),
                     [d](bool ok, std::string err, double secs) {
                         d->ok = ok;
                         d->error = err;
                         d->seconds = secs;
                         d->thread = QThread::currentThread();
                         ++d->calls;
                     });
    }
    ASSERT_TRUE(testutil::waitFor([&] { return std::all_of(done.begin(), done.end(), [](auto& d) { return d.calls; }); },
                                  testutil::hangLimitMs));
    EXPECT_TRUE(pool.isIdle());
    for (int i = 0; i < 3; ++i) {
        const Done& d = done[size_t(i)];
        EXPECT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.calls, 1);
        EXPECT_EQ(d.thread, QThread::currentThread());
        Wav w = readWav(tmp.path() / ("s" + std::to_string(i) + ".wav"));
        EXPECT_TRUE(isSpeechWav(w));
        EXPECT_GT(w.rms(), 500.0);
        EXPECT_DOUBLE_EQ(d.seconds, w.seconds());
    }

    // A voice that is not installed: the child's own text comes back.
    Done bad;
    LocalVoice missing = v;
    missing.spk = 5;
    pool.enqueue(ConvertRequest::make(missing, 1.0f, {"x"}, wav("bad.wav")), [&bad](bool ok, std::string err, double secs) {
        bad.ok = ok;
        bad.error = err;
        bad.seconds = secs;
        ++bad.calls;
    });
    ASSERT_TRUE(testutil::waitFor([&] { return bad.calls > 0; }, testutil::hangLimitMs));
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.error, "Invalid voice: en_pool(5).");
    EXPECT_EQ(bad.seconds, 0.0);
}

TEST_F(Pool, RunsWorkerCountAtOnceAndStartsTheNextFromACompletion)
{
    ConvertPool pool;
    pool.setWorkerProgram(fake);
    const int n = pool.workerCount();
    ASSERT_EQ(n, convertWorkerCount());
    // Each child runs until the test opens its gate, so the test alone decides
    // which ends when, however slowly the machine starts them.
    auto gate = [&](int i) { return tmp.path() / ("gate-j" + std::to_string(i)); };
    auto open = [&](int i) { testutil::writeFile(gate(i), ""); };
    auto started = [&] {
        int count = 0;
        for (const Event& e : readEvents(tmp.path()))
            count += e.what == 'S';
        return count;
    };
    std::vector<int> order;
    int childrenAtFirstCallback = -1;
    int total = n + 2;
    for (int i = 0; i < total; ++i) {
        pool.enqueue(ConvertRequest::make(job("j" + std::to_string(i)), 1.0f, {"gate:" + pathToUtf8(gate(i))},
                     wav("j" + std::to_string(i) + ".wav")), [&, i](bool ok, std::string err, double secs) {
                         EXPECT_TRUE(ok) << err;
                         EXPECT_DOUBLE_EQ(secs, 1.0);
                         if (order.empty())
                             childrenAtFirstCallback = liveChildren(true);
                         order.push_back(i);
                     });
    }
    EXPECT_FALSE(pool.isIdle());
    // All the pool may run at once are running; the rest wait for a permit.
    ASSERT_TRUE(testutil::waitFor([&] { return started() == n; }, testutil::hangLimitMs));
    EXPECT_EQ(liveChildren(), n);

    open(0);
    ASSERT_TRUE(testutil::waitFor([&] { return !order.empty(); }, testutil::hangLimitMs));
    EXPECT_EQ(order, std::vector<int>{0});
    // The next job's child was already running when the first callback came.
    EXPECT_EQ(childrenAtFirstCallback, n);
    EXPECT_TRUE(testutil::waitFor([&] { return started() == n + 1; }, testutil::hangLimitMs));

    for (int i = 1; i < total; ++i)
        open(i);
    ASSERT_TRUE(testutil::waitFor([&] { return int(order.size()) == total; }, testutil::hangLimitMs));
    EXPECT_TRUE(testutil::waitFor([&] { return pool.isIdle(); }, testutil::hangLimitMs));

    std::vector<Event> events = readEvents(tmp.path());
    ASSERT_EQ(int(events.size()), 2 * total);
    EXPECT_EQ(maxConcurrent(events), n);
    // The late jobs started only after an early one had ended.
    long long firstEnd = LLONG_MAX;
    for (const Event& e : events) {
        if (e.what == 'E')
            firstEnd = std::min(firstEnd, e.ms);
    }
    for (const Event& e : events) {
        if (e.what == 'S' && (e.id == "j" + std::to_string(n) || e.id == "j" + std::to_string(n + 1))) {
            EXPECT_GE(e.ms, firstEnd);
        }
    }
}

TEST_F(Pool, DroppedJobsAreNeverCalled)
{
    ConvertPool pool;
    pool.setWorkerProgram(fake);
    const int n = pool.workerCount();
    int calls = 0;
    for (int i = 0; i < n + 3; ++i)
        pool.enqueue(ConvertRequest::make(job("d" + std::to_string(i)), 1.0f, {"sleep:300"}, wav("d" + std::to_string(i) + ".wav")),
                     [&calls](bool, std::string, double) { ++calls; });
    pool.dropPending();
    ASSERT_TRUE(testutil::waitFor([&] { return calls == n && pool.isIdle(); }, testutil::hangLimitMs));
    EXPECT_EQ(calls, n);
    EXPECT_EQ(int(readEvents(tmp.path()).size()), 2 * n);
    // A job enqueued now is the next to run: kept, the dropped ones would run first.
    pool.enqueue(ConvertRequest::make(job("later"), 1.0f, {"sleep:0"}, wav("later.wav")),
                 [&calls](bool, std::string, double) { ++calls; });
    ASSERT_TRUE(testutil::waitFor([&] { return calls > n && pool.isIdle(); }, testutil::hangLimitMs));
    EXPECT_EQ(calls, n + 1);
    EXPECT_EQ(int(readEvents(tmp.path()).size()), 2 * n + 2);
    EXPECT_FALSE(fs::exists(tmp.path() / ("d" + std::to_string(n) + ".wav")));
}

TEST_F(Pool, FailuresReportTextOnceAndFreeTheirPermit)
{
    ConvertPool pool;
    pool.setWorkerProgram(fake);
    std::map<std::string, Done> done;
    auto add = [&](const std::string& id, const std::string& cmd) {
        Done* d = &done[id];
        pool.enqueue(ConvertRequest::make(job(id), 1.0f, {cmd}, wav(id + ".wav")), [d](bool ok, std::string err, double secs) {
            d->ok = ok;
            d->error = err;
            d->seconds = secs;
            ++d->calls;
        });
    };
    add("crash", "crash");
    add("fail", "fail");
    add("quiet", "failquiet");
    add("ok", "sleep:0");
    ASSERT_TRUE(testutil::waitFor(
        [&] { return std::all_of(done.begin(), done.end(), [](auto& p) { return p.second.calls > 0; }); }, testutil::hangLimitMs));
    // A job enqueued after them ends after their ends have all come in.
    add("later", "sleep:0");
    ASSERT_TRUE(testutil::waitFor([&] { return done["later"].calls > 0; }, testutil::hangLimitMs));

    EXPECT_FALSE(done["crash"].ok);
    EXPECT_EQ(done["crash"].error.rfind("The conversion process crashed.", 0), 0u) << done["crash"].error;
    EXPECT_FALSE(done["fail"].ok);
    EXPECT_EQ(done["fail"].error, "Invalid input(2).");
    EXPECT_EQ(done["fail"].seconds, 0.0);
    EXPECT_FALSE(done["quiet"].ok);
    EXPECT_EQ(done["quiet"].error, "The conversion process failed with exit code 3.");
    EXPECT_TRUE(done["ok"].ok);
    EXPECT_DOUBLE_EQ(done["ok"].seconds, 1.0);
    for (auto& p : done)
        EXPECT_EQ(p.second.calls, 1) << p.first;
    EXPECT_TRUE(pool.isIdle());
}

TEST_F(Pool, ProgramThatCannotStartFailsEachJobOnce)
{
    ConvertPool pool;
    pool.setWorkerProgram(QString::fromStdString(pathToUtf8(tmp.path() / "no_such_program")));
    const int n = pool.workerCount();
    std::vector<Done> done(size_t(n + 2));
    for (int i = 0; i < n + 2; ++i) {
        Done* d = &done[size_t(i)];
        pool.enqueue(ConvertRequest::make(job("x"), 1.0f, {"sleep:0"}, wav("x.wav")), [d](bool ok, std::string err, double) {
            d->ok = ok;
            d->error = err;
            ++d->calls;
        });
    }
    // The failed starts come back through the event loop, each once.
    ASSERT_TRUE(testutil::waitFor(
        [&] { return std::all_of(done.begin(), done.end(), [](const Done& d) { return d.calls > 0; }); }, testutil::hangLimitMs));
    // Calls posted before now have come in by the end of this.
    ASSERT_TRUE(testutil::postedCallsRun());
    for (const Done& d : done) {
        EXPECT_EQ(d.calls, 1);
        EXPECT_FALSE(d.ok);
        EXPECT_FALSE(d.error.empty());
    }
    EXPECT_TRUE(pool.isIdle());
}

TEST_F(Pool, DestructionStopsChildrenWithoutWaiting)
{
    int calls = 0;
    int n = 0;
    {
        ConvertPool pool;
        pool.setWorkerProgram(fake);
        n = pool.workerCount();
        for (int i = 0; i < n + 2; ++i)
            pool.enqueue(ConvertRequest::make(job("k" + std::to_string(i)), 1.0f, {"sleep:20000"}, wav("k" + std::to_string(i) + ".wav")),
                         [&calls](bool, std::string, double) { ++calls; });
        ASSERT_TRUE(testutil::waitFor([&] { return int(readEvents(tmp.path()).size()) == n; }, testutil::hangLimitMs));
        // The end notifications can only arrive through this thread's event loop.
    }
    // The children are stopped and reaped once events run again; their ends
    // have been handled by the time they are reaped.
    EXPECT_TRUE(testutil::waitFor([] { return liveChildren(true) == 0; }, testutil::hangLimitMs));
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(int(readEvents(tmp.path()).size()), n);
}

TEST_F(Pool, ManyStartFailuresInARowDoNotNestOnTheStack)
{
    // Each failed start completes at once and starts the next waiting job; a
    // long queue must not pile those calls up on the stack.
    const int waiting = 400;
    std::atomic<int> calls{0};
    std::atomic<int> failed{0};
    ConvertPool* pool = nullptr;
    int n = 0;
    QThread thread;
    thread.setStackSize(512 * 1024);
    thread.start();
    std::atomic<bool> queued{false};
    postToThread([&] {
        pool = new ConvertPool;
        pool->setWorkerProgram(fake);
        n = pool->workerCount();
        for (int i = 0; i < n + waiting; ++i)
            pool->enqueue(ConvertRequest::make(job("q" + std::to_string(i)), 1.0f, {i < n ? "sleep:300" : "sleep:0"},
                          wav("q" + std::to_string(i % 4) + ".wav")), [&](bool ok, std::string, double) {
                              failed += ok ? 0 : 1;
                              ++calls;
                          });
        pool->setWorkerProgram(QString::fromStdString(pathToUtf8(tmp.path() / "no_such_program")));
        queued = true;
    }, nullptr, &thread);
    ASSERT_TRUE(testutil::waitFor([&] { return queued.load(); }, testutil::hangLimitMs));
    EXPECT_TRUE(testutil::waitFor([&] { return calls == n + waiting; }, 240000));
    EXPECT_EQ(failed, waiting);
    postToThread([&] { delete pool; }, nullptr, &thread);
    thread.quit();
    thread.wait();
}

TEST_F(Pool, AStoppedChildLeavesNoPartialFile)
{
    LocalVoice v = installVoice("en_stopped", {0});
    // Enough to keep a child busy for many seconds.
    std::vector<std::string> many(3000, "This sentence keeps the conversion worker busy for a while.");
    auto partialFile = [&]() {
        for (const auto& e : fs::directory_iterator(tmp.path())) {
            if (e.path().extension() == ".part")
                return e.path();
        }
        return fs::path();
    };

    // A child killed by a signal: its job fails, and its unfinished file goes.
    {
        ConvertPool pool;
        pool.setWorkerProgram(testutil::binDir() + "/salvormithe");
        Done d;
        pool.enqueue(ConvertRequest::make(v, 1.0f, many, wav("killed.wav")), [&d](bool ok, std::string err, double) {
            d.ok = ok;
            d.error = err;
            ++d.calls;
        });
        ASSERT_TRUE(testutil::waitFor([&] { return !partialFile().empty(); }, testutil::hangLimitMs));
        // "killed.wav.<pid>.part"
        std::string name = partialFile().stem().string();
        pid_t pid = pid_t(std::stol(name.substr(name.rfind('.') + 1)));
        ASSERT_EQ(::kill(pid, SIGKILL), 0);
        ASSERT_TRUE(testutil::waitFor([&] { return d.calls > 0; }, testutil::hangLimitMs));
        EXPECT_FALSE(d.ok);
        EXPECT_EQ(d.error.rfind("The conversion process crashed.", 0), 0u) << d.error;
        EXPECT_TRUE(partialFile().empty());
        EXPECT_FALSE(fs::exists(tmp.path() / "killed.wav"));
    }

    // A child stopped by its pool going away (a page that closes).
    int calls = 0;
    auto pool = std::make_unique<ConvertPool>();
    pool->setWorkerProgram(testutil::binDir() + "/salvormithe");
    pool->enqueue(ConvertRequest::make(v, 1.0f, many, wav("closed.wav")), [&calls](bool, std::string, double) { ++calls; });
    ASSERT_TRUE(testutil::waitFor([&] { return !partialFile().empty(); }, testutil::hangLimitMs));
    pool.reset();
    EXPECT_TRUE(testutil::waitFor([&] { return partialFile().empty() && liveChildren() == 0; }, testutil::hangLimitMs));
    EXPECT_FALSE(fs::exists(tmp.path() / "closed.wav"));
    EXPECT_EQ(calls, 0);
}

TEST_F(Pool, ChildrenComeAndGoWhileTheOwnersThreadIsHeld)
{
    ConvertPool pool;
    pool.setWorkerProgram(fake);
    const int total = 2 * pool.workerCount() + 1;
    std::vector<Done> done(static_cast<size_t>(total));
    for (int i = 0; i < total; ++i) {
        Done* d = &done[size_t(i)];
        pool.enqueue(ConvertRequest::make(job("h" + std::to_string(i)), 1.0f, {"sleep:0"}, wav("h" + std::to_string(i) + ".wav")),
                     [d](bool ok, std::string err, double) {
                         d->ok = ok;
                         d->error = err;
                         d->thread = QThread::currentThread();
                         ++d->calls;
                     });
    }
    // This thread runs no event: every child still starts and ends meanwhile.
    QElapsedTimer held;
    held.start();
    while (!(int(readEvents(tmp.path()).size()) == 2 * total && pool.isIdle()) && held.elapsed() < testutil::hangLimitMs)
        QThread::msleep(10);
    ASSERT_EQ(int(readEvents(tmp.path()).size()), 2 * total);
    ASSERT_TRUE(pool.isIdle());
    for (const Done& d : done)
        EXPECT_EQ(d.calls, 0);

    // The results come once this thread runs events again, each once, here.
    ASSERT_TRUE(testutil::waitFor(
        [&] { return std::all_of(done.begin(), done.end(), [](const Done& d) { return d.calls > 0; }); }, testutil::hangLimitMs));
    for (const Done& d : done) {
        EXPECT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.calls, 1);
        EXPECT_EQ(d.thread, QThread::currentThread());
    }
}
