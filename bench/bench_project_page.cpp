// The project page with its real model and QML:
//  1. a project of many segments (10,000 by default, six sentences each): the
//     time from open to the list shown, the resident memory with it open, and
//     the longest frame while the list scrolls through;
//  2. a conversion of about 1,000 sentences on all workers: the longest gap of
//     a 10 ms timer on the GUI thread, the longest frame while the list
//     scrolls meanwhile, and the conversion's throughput;
//  3. play-all of a project whose audio is up to date, 20 minutes and 3 hours
//     long (22050 Hz mono 16-bit): from playAll() to two seconds played, the
//     longest gap of a 10 ms timer on the GUI thread and the growth of
//     resident memory; then a seek to the middle. It runs first;
//  4. the same 600 sentences converted as 100 segments of six and as 600
//     segments of one (six, one, one, six): the throughput of each and their
//     ratio, which shows what each segment's own join and record cost;
//  5. the program's own window: the GPL-3 text imported as a project (one
//     segment a line), the program run with its window (bench_window_driver
//     loaded into it clicks the project open and Play All), timed until the
//     database holds every segment converted, with the frames drawn and when
//     the first and the last child ran; beside it the pool alone on the same
//     sentences. Each round runs both, with its audio reset first. It runs last.
//
//   bench_project_page [segments] [sentences to convert] [play-all minutes...]
//   bench_project_page window [rounds]
// A segment count of 0 runs part 3 alone; "window" runs part 5 alone.
// Run it with a display (xvfb-run -s "-screen 0 1280x1024x24"); parts 1 to 4
// also run with QT_QPA_PLATFORM=offscreen, on Qt Quick's software backend
// unless QT_QUICK_BACKEND says otherwise. The program of part 5 runs on the xcb
// platform with its own scene graph backend (OpenGL, which is Mesa's llvmpipe
// on a machine without a graphics driver, unless QT_QUICK_BACKEND is set).
// Each figure of part 5 comes with the load average: other work on the
// machine weighs on the window more than on the pool.
#include "BenchVoice.h"

#include "app/AppMain.h"
#include "common/FileUtils.h"
#include "common/MessageBoxContext.h"
#include "common/Platform.h"
#include "common/TextUtils.h"
#include "projects/HomeModel.h"
#include "projects/ProjectFolder.h"
#include "projects/ProjectModel.h"
#include "projects/SentenceSplit.h"
#include "synthesis/ConvertPool.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTimer>
#include <QUrl>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

long residentKiB()
{
    std::ifstream in("/proc/self/status");
    std::string key;
    long value = 0;
    while (in >> key) {
        if (key == "VmRSS:") {
            in >> value;
            return value;
        }
        in.ignore(1 << 16, '\n');
    }
    return 0;
}

// Nanoseconds this thread has spent runnable but waiting for a processor.
long long runQueueWaitNs()
{
    std::ifstream in("/proc/thread-self/schedstat");
    long long onCpu = 0, waiting = 0;
    in >> onCpu >> waiting;
    return waiting;
}

// Runs the event loop until pred holds; false after msec.
bool waitUntil(const std::function<bool()>& pred, int msec)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > msec)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

// A project of the given segments, written in one transaction.
fs::path makeProject(const std::string& name, const LocalVoice& voice, const std::vector<std::string>& texts)
{
    fs::path dir = ProjectFolder::projectsDir() / name;
    {
        ProjectFolder p;
        if (!p.create(dir, name, voice, 1.0f)) {
            std::fprintf(stderr, "cannot create the project: %s\n", p.error().c_str());
            std::exit(1);
        }
    }
    sqlite3* db = nullptr;
    sqlite3_open((dir / "ttsdata").c_str(), &db);
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "insert into seg (sort, voice_id, srate, text, modified) values (?, 0, 0, ?, 1)", -1, &st,
                       nullptr);
    for (size_t i = 0; i < texts.size(); ++i) {
        sqlite3_bind_int(st, 1, int(i + 1));
        sqlite3_bind_text(st, 2, texts[i].c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return dir;
}

// Segments of `per` sentences each, taken round the sample text.
std::vector<std::string> segmentTexts(const std::vector<std::string>& sentences, size_t count, size_t per)
{
    std::vector<std::string> out;
    size_t next = 0;
    for (size_t i = 0; i < count; ++i) {
        std::string text;
        for (size_t k = 0; k < per; ++k) {
            if (k)
                text += ' ';
            text += sentences[next++ % sentences.size()];
        }
        out.push_back(text);
    }
    return out;
}

// One page in a window of its own.
struct Page
{
    std::unique_ptr<QQuickWindow> window;
    QQuickItem* item = nullptr;
    ProjectModel* model = nullptr;
    QObject* list = nullptr;
};

Page loadPage(QQmlComponent& component, const fs::path& project)
{
    Page page;
    page.window = std::make_unique<QQuickWindow>();
    page.window->resize(784, 680);
    page.window->show();
    QObject* obj = component.createWithInitialProperties({{"path", QString::fromStdString(project.string())}});
    if (!obj) {
        std::fprintf(stderr, "%s\n", qPrintable(component.errorString()));
        std::exit(1);
    }
    page.item = qobject_cast<QQuickItem*>(obj);
    page.item->setParentItem(page.window->contentItem());
    page.item->setSize(QSizeF(784, 680));
    page.model = page.item->findChild<ProjectModel*>();
    page.list = page.item->findChild<QObject*>("segList");
    return page;
}

// Scrolls the list by step pixels every 16 ms, as a kinetic scroll would,
// wrapping at its end; records the longest interval between two frames.
struct Scroller
{
    explicit Scroller(Page& page, double step) : page(page)
    {
        clock.start();
        frames = QObject::connect(page.window.get(), &QQuickWindow::frameSwapped, [this] {
            qint64 now = clock.elapsed();
            if (lastFrame >= 0)
                worstFrame = std::max(worstFrame, double(now - lastFrame));
            lastFrame = now;
            ++frameCount;
        });
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(16);
        QObject::connect(&timer, &QTimer::timeout, [this, step] {
            QObject* list = this->page.list;
            double height = list->property("contentHeight").toDouble() - list->property("height").toDouble();
            double y = list->property("contentY").toDouble() + step;
            list->setProperty("contentY", y > height ? 0.0 : y);
        });
        timer.start();
    }
    ~Scroller() { QObject::disconnect(frames); }

    Page& page;
    QElapsedTimer clock;
    QTimer timer;
    QMetaObject::Connection frames;
    qint64 lastFrame = -1;
    double worstFrame = 0;
    int frameCount = 0;
};

// A project of `minutes` of up-to-date audio in segments of 20 s, each
// segment's file written as a quiet tone.
fs::path makeLongProject(const std::string& name, const LocalVoice& voice, const std::vector<std::string>& sentences,
                         int minutes)
{
    const int count = minutes * 3, rate = 22050, seconds = 20;
    const fs::path dir = makeProject(name, voice, segmentTexts(sentences, size_t(count), 6));
    std::vector<int16_t> samples(size_t(rate) * seconds);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(((i / 50) % 2 ? 1 : -1) * 300);
    const uint32_t bytes = uint32_t(samples.size() * 2);
    auto u32 = [](std::string& h, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            h += char((v >> (8 * i)) & 0xff);
    };
    std::string header = "RIFF";
    u32(header, 36 + bytes);
    header += "WAVEfmt ";
    u32(header, 16);
    header += std::string("\x01\x00\x01\x00", 4);
    u32(header, rate);
    u32(header, rate * 2);
    header += std::string("\x02\x00\x10\x00", 4);
    header += "data";
    u32(header, bytes);
    fs::create_directories(dir / "audio");
    for (int id = 1; id <= count; ++id) {
        std::ofstream out(dir / "audio" / ("seg" + std::to_string(id) + ".wav"), std::ios::binary);
        out.write(header.data(), std::streamsize(header.size()));
        out.write(reinterpret_cast<const char*>(samples.data()), std::streamsize(bytes));
    }
    sqlite3* db = nullptr;
    sqlite3_open((dir / "ttsdata").c_str(), &db);
    const std::string sql = "update seg set converted=2, seconds=" + std::to_string(seconds) + ", sentences=6";
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return dir;
}

// Play-all of a long project: playAll() to two seconds played, then a seek to
// the middle and a pause.
bool benchPlayAll(QQmlComponent& component, const LocalVoice& voice, const std::vector<std::string>& sentences,
                  int minutes)
{
    const fs::path dir = makeLongProject("Long" + std::to_string(minutes), voice, sentences, minutes);
    Page page = loadPage(component, dir);
    waitUntil([&] { return page.model->isOpened(); }, 30000);
    waitUntil([] { return false; }, 300);
    QString error;
    auto errorConn = QObject::connect(MessageBoxContext::instance(), &MessageBoxContext::msgbox,
                                      [&](const QVariantMap& e) { error = e.value("msg").toString(); });

    QElapsedTimer t;
    t.start();
    qint64 lastTick = 0;
    double worstGap = 0;
    long rssPeak = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        qint64 now = t.elapsed();
        worstGap = std::max(worstGap, double(now - lastTick));
        lastTick = now;
        rssPeak = std::max(rssPeak, residentKiB());
    });
    const long rssBefore = residentKiB();
    rssPeak = rssBefore;
    ticker.start();
    lastTick = t.elapsed();
    page.model->playAll();
    qint64 started = -1;
    const bool played = waitUntil(
        [&] {
            if (started < 0 && page.model->playingSegId() != 0)
                started = t.elapsed();
            return page.model->playingTimeDisplay() == QLatin1String("00:00:02") || !error.isEmpty();
        },
        300000) && error.isEmpty();
    const qint64 playedAt = t.elapsed();
    const double startGap = worstGap;
    const long startPeak = rssPeak;

    // A seek to the middle, a pause and a resume, as the slider and button do.
    worstGap = 0;
    lastTick = t.elapsed();
    page.model->movePlayingProgress(50);
    page.model->playPauseResume(true);
    waitUntil([] { return false; }, 600);
    const QString pausedAt = page.model->playingTimeDisplay();
    page.model->playPauseResume(false);
    // Two seconds on, so a tick of the display has seen at least one.
    waitUntil([] { return false; }, 2000);
    const QString resumedAt = page.model->playingTimeDisplay();
    ticker.stop();
    page.model->stopPlayingAll();
    QObject::disconnect(errorConn);

    std::error_code ec;
    const auto joined = fs::file_size(dir / "audio" / "audio.wav", ec);
    std::printf("play-all of %d minutes (%.0f MB joined): %.1f s to joined and playing, %.1f s to 2 s played%s\n",
                minutes, ec ? 0.0 : double(joined) / 1e6,
                started < 0 ? -1.0 : started / 1000.0, playedAt / 1000.0,
                played ? "" : qPrintable(" (DID NOT PLAY: " + error + ")"));
    std::printf("  longest gap of a 10 ms timer on the GUI thread: %.1f ms; resident memory grew %.1f MB at most\n",
                startGap, (startPeak - rssBefore) / 1024.0);
    std::printf("  seek to 50%%, pause, resume: longest gap %.1f ms, paused at %s, %s after resuming; resident "
                "memory grew %.1f MB at most\n",
                worstGap, qPrintable(pausedAt), qPrintable(resumedAt), (rssPeak - rssBefore) / 1024.0);

    page.model->close();
    waitUntil([&] { return !page.model->isClosing(); }, 30000);
    delete page.item;
    fs::remove_all(dir, ec);
    return played;
}

// Sentences per second of one conversion of the given segments (to the end
// of the run, without the joined file of play-all).
double convertRate(QQmlComponent& component, const LocalVoice& voice, const std::string& name,
                   const std::vector<std::string>& texts, const QString& worker)
{
    size_t sentences = 0;
    for (const std::string& t : texts)
        sentences += splitSentences(t).size();
    const fs::path dir = makeProject(name, voice, texts);
    Page page = loadPage(component, dir);
    waitUntil([&] { return page.model->isOpened(); }, 30000);
    waitUntil([] { return false; }, 300);
    page.model->convertPool().setWorkerProgram(worker);
    QElapsedTimer t;
    t.start();
    page.model->playAll();
    const bool done = waitUntil([&] { return !page.model->isConverting(); }, 600000);
    const double seconds = t.nsecsElapsed() / 1e9;
    waitUntil([&] { return page.model->playingSegId() != 0; }, 60000);
    page.model->stopPlayingAll();
    const double rate = done ? sentences / seconds : 0;
    std::printf("  %zu segments, %zu sentences: %.1f s, %.1f sentences/s%s\n", texts.size(), sentences, seconds, rate,
                done ? "" : " (DID NOT FINISH)");
    page.model->close();
    waitUntil([&] { return !page.model->isClosing(); }, 30000);
    delete page.item;
    std::error_code ec;
    fs::remove_all(dir, ec);
    return rate;
}

// ---------------------------------------------------------------- 5. the program's own window

const char* const gplText = "/usr/share/common-licenses/GPL-3";

std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

double secondsSince(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The sentences the conversion makes of each segment.
std::vector<std::string> projectSentences(const fs::path& folder, int& segmentsWithSpeech, int& segments)
{
    std::vector<std::string> out;
    segmentsWithSpeech = segments = 0;
    ProjectFolder project;
    if (!project.open(folder))
        return out;
    project.db().loadSegs([&](const ProjectSeg& s) {
        ++segments;
        bool any = false;
        for (std::string& sentence : splitSentences(s.text)) {
            if (!isBlankText(sentence)) {
                out.push_back(std::move(sentence));
                any = true;
            }
        }
        segmentsWithSpeech += any ? 1 : 0;
    });
    return out;
}

void resetAudio(const fs::path& folder)
{
    std::error_code ec;
    fs::remove_all(folder / "audio", ec);
    fs::create_directories(folder / "audio", ec);
    sqlite3* db = nullptr;
    sqlite3_open((folder / "ttsdata").c_str(), &db);
    sqlite3_exec(db, "update seg set converted=0, seconds=0, sentences=0", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// Seconds the pool alone takes for the sentences, one job each, all queued at once.
double poolSeconds(const std::vector<std::string>& sentences, const LocalVoice& voice, const QString& worker,
                   const fs::path& out)
{
    fs::create_directories(out);
    ConvertPool pool;
    pool.setWorkerProgram(worker);
    size_t finished = 0;
    int failures = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (size_t i = 0; i < sentences.size(); ++i)
        pool.enqueue(ConvertRequest::make(voice, 1.0f, {sentences[i]}, (out / (std::to_string(i) + ".wav")).string()),
                     [&](bool ok, std::string, double) {
                         ++finished;
                         failures += ok ? 0 : 1;
                     });
    while (finished < sentences.size())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double seconds = secondsSince(t0);
    std::error_code ec;
    fs::remove_all(out, ec);
    return failures ? -1 : seconds;
}

// The window's conversion of the GPL-3 text against the pool's, round by round.
bool benchWindow(const LocalVoice& voice, const QString& worker, const std::string& backend, int rounds)
{
    if (platform::getEnv("DISPLAY").empty()) {
        std::printf("window: not run, it needs an X display (xvfb-run)\n");
        return false;
    }
    HomeModel home;
    QString folderText;
    QObject::connect(&home, &HomeModel::gotoProject, [&](const QString& p) { folderText = p; });
    home.convertFiles({QUrl::fromLocalFile(gplText)}, QVariant::fromValue(voice), 1.0f);
    if (!waitUntil([&] { return !folderText.isEmpty(); }, 60000)) {
        std::printf("window: the import of %s failed\n", gplText);
        return false;
    }
    const fs::path folder = folderText.toStdString();
    int withSpeech = 0, segments = 0;
    const std::vector<std::string> sentences = projectSentences(folder, withSpeech, segments);
    const std::string loadBefore = loadAverage();
    std::printf("the program's window on %s (%d segments, %zu sentences), the pool on the same sentences; load %s:\n",
                gplText, segments, sentences.size(), loadBefore.c_str());

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    if (backend.empty())
        env.remove("QT_QUICK_BACKEND");
    else
        env.insert("QT_QUICK_BACKEND", QString::fromStdString(backend));
    // Its own lock, and no update check that reaches anything.
    const fs::path runtime = fs::path(platform::getEnv("HOME")) / "run";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
    env.insert("QV_VOICE_SERVER", "http://127.0.0.1:9/");
    env.insert("LD_PRELOAD", QCoreApplication::applicationDirPath() + "/bench_window_driver.so");
    env.insert("QV_BENCH_PROJECT", QString::fromStdString(folder.string()));
    env.insert("QV_BENCH_EXPECTED", QString::number(withSpeech));
    double windowTotal = 0, poolTotal = 0;
    bool ok = true;
    for (int round = 1; round <= rounds && ok; ++round) {
        resetAudio(folder);
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(worker, QStringList());
        const bool ended = child.waitForFinished(400000);
        const QString said = QString::fromUtf8(child.readAllStandardOutput());
        double seconds = -1;
        long frames = 0, syncs = 0;
        double firstChild = -1, lastChild = -1;
        const int at = said.indexOf("converted ");
        if (at >= 0)
            std::sscanf(said.mid(at).toUtf8().constData(), "converted %lf frames %ld syncs %ld children %lf %lf",
                        &seconds, &frames, &syncs, &firstChild, &lastChild);
        if (!ended || seconds <= 0) {
            child.kill();
            child.waitForFinished(10000);
            std::printf("  round %d: the window did not finish: %s\n", round, qPrintable(said.trimmed()));
            ok = false;
            break;
        }
        const double pool = poolSeconds(sentences, voice, worker, folder.parent_path() / "pool");
        if (pool <= 0) {
            std::printf("  round %d: the pool failed\n", round);
            ok = false;
            break;
        }
        windowTotal += seconds;
        poolTotal += pool;
        std::printf("  round %d: window %.2f s, %.1f sentences/s (children from %.0f ms to %.0f ms), %ld frames and %ld "
                    "syncs (%.0f and %.0f a second); pool %.2f s, %.1f sentences/s; load %s\n",
                    round, seconds, sentences.size() / seconds, firstChild * 1000, lastChild * 1000, frames, syncs,
                    frames / seconds, syncs / seconds, pool, sentences.size() / pool, loadAverage().c_str());
    }
    if (ok) {
        const double windowRate = rounds * sentences.size() / windowTotal;
        const double poolRate = rounds * sentences.size() / poolTotal;
        std::printf("window: one-sentence segments at %.2f of the pool's rate (window %.1f sentences/s, pool %.1f "
                    "sentences/s; load %s before, %s after)\n",
                    windowRate / poolRate, windowRate, poolRate, loadBefore.c_str(), loadAverage().c_str());
    }
    std::error_code ec;
    fs::remove_all(folder, ec);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string root = bench::privateRoot(true);
    if (root.empty())
        return 1;
    platform::setEnv("SDL_AUDIODRIVER", "dummy");
    // The window of part 5 keeps the backend it would have.
    const std::string windowBackend = platform::getEnv("QT_QUICK_BACKEND");
    if (windowBackend.empty())
        platform::setEnv("QT_QUICK_BACKEND", "software");
    QGuiApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const bool windowOnly = argc > 1 && std::string(argv[1]) == "window";
    const int windowRounds = windowOnly && argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    if (windowOnly) {
        const LocalVoice voice = bench::installBenchVoice();
        registerSalvormitheTypes();
        const bool ok = benchWindow(voice, QCoreApplication::applicationDirPath() + "/salvormithe", windowBackend,
                                    windowRounds);
        std::error_code ec;
        fs::remove_all(root, ec);
        return ok ? 0 : 1;
    }
    const size_t segments = argc > 1 ? size_t(std::max(0, std::atoi(argv[1]))) : 10000;
    const size_t toConvert = argc > 2 ? size_t(std::max(6, std::atoi(argv[2]))) : 1000;

    QFile file(QStringLiteral(QV_BENCH_TEXT));
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const std::vector<std::string> sentences = bench::splitSentences(QString::fromUtf8(file.readAll()));
    const LocalVoice voice = bench::installBenchVoice();

    registerSalvormitheTypes();
    QQmlEngine engine;
    setRootContextProperties(engine);
    const QString worker = QCoreApplication::applicationDirPath() + "/salvormithe";
    // The page is compiled before anything is timed.
    QQmlComponent component(&engine, QUrl("qrc:/qml/Project.qml"));

    std::vector<int> playMinutes;
    for (int i = 3; i < argc; ++i)
        playMinutes.push_back(std::max(1, std::atoi(argv[i])));
    if (playMinutes.empty())
        playMinutes = {20, 180};
    // 3. Play-all of long projects, first, while the process is small.
    bool played = true;
    for (int minutes : playMinutes)
        played = benchPlayAll(component, voice, sentences, minutes) && played;
    if (segments == 0) {
        std::error_code ec;
        fs::remove_all(root, ec);
        return played ? 0 : 1;
    }

    // 1. A large project.
    const fs::path big = makeProject("Big", voice, segmentTexts(sentences, segments, 6));
    const long rssBefore = residentKiB();
    QElapsedTimer clock;
    clock.start();
    Page page = loadPage(component, big);
    const double createdMs = clock.nsecsElapsed() / 1e6;
    waitUntil([&] { return page.model->isOpened(); }, 60000);
    const double openedMs = clock.nsecsElapsed() / 1e6;
    bool shownOk = waitUntil([&] { return page.model->isOpened() && page.list->property("count").toInt() == int(segments); },
                             60000);
    bool swapped = false;
    auto conn = QObject::connect(page.window.get(), &QQuickWindow::frameSwapped, [&] { swapped = true; });
    page.window->update();
    waitUntil([&] { return swapped; }, 10000);
    QObject::disconnect(conn);
    const double openMs = clock.nsecsElapsed() / 1e6;
    waitUntil([] { return false; }, 1000);
    const long rssOpen = residentKiB();
    double bigScroll;
    int bigFrames;
    {
        Scroller scroller(page, 200);
        waitUntil([] { return false; }, 5000);
        bigScroll = scroller.worstFrame;
        bigFrames = scroller.frameCount;
    }
    const long rssScrolled = residentKiB();
    std::printf("project of %zu segments (%zu sentences): open to list shown %.1f ms%s (page created %.1f ms, "
                "model opened %.1f ms)\n",
                segments, segments * 6, openMs, shownOk ? "" : " (NOT SHOWN)", createdMs, openedMs);
    std::printf("resident memory: %.1f MB before the page, %.1f MB with the project open, %.1f MB after scrolling "
                "through\n",
                rssBefore / 1024.0, rssOpen / 1024.0, rssScrolled / 1024.0);
    std::printf("scrolling the large list for 5 s: %d frames, the longest %.1f ms\n", bigFrames, bigScroll);
    page.model->close();
    waitUntil([&] { return !page.model->isClosing(); }, 30000);
    delete page.item;
    page = Page();

    // 2. Converting about toConvert sentences on all workers.
    const size_t convertSegs = (toConvert + 5) / 6;
    const fs::path small = makeProject("Convert", voice, segmentTexts(sentences, convertSegs, 6));
    page = loadPage(component, small);
    waitUntil([&] { return page.model->isOpened(); }, 30000);
    waitUntil([] { return false; }, 300);
    page.model->convertPool().setWorkerProgram(worker);

    QElapsedTimer t;
    t.start();
    qint64 lastTick = 0;
    double worstGap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        qint64 now = t.elapsed();
        worstGap = std::max(worstGap, double(now - lastTick));
        lastTick = now;
    });
    ticker.start();
    Scroller scroller(page, 8);
    qint64 converted = -1;
    const long long waitedBefore = runQueueWaitNs();
    long long waitedConverting = 0;
    // What the conversion alone cost the GUI thread; the play that follows
    // loads the joined file on it.
    double convertGap = 0, convertFrame = 0;
    int convertFrames = 0;
    auto convertedConn = QObject::connect(page.model, &ProjectModel::isConvertingChanged, [&] {
        if (!page.model->isConverting() && converted < 0) {
            converted = t.elapsed();
            convertGap = worstGap;
            convertFrame = scroller.worstFrame;
            convertFrames = scroller.frameCount;
            waitedConverting = runQueueWaitNs() - waitedBefore;
        }
    });
    const qint64 start = t.elapsed();
    lastTick = start;
    page.model->playAll();
    played = waitUntil([&] { return page.model->playingSegId() != 0; }, 600000) && played;
    const qint64 end = t.elapsed();
    ticker.stop();
    scroller.timer.stop();
    QObject::disconnect(convertedConn);
    page.model->stopPlayingAll();

    std::printf("conversion of %zu sentences (%zu segments) on %d workers: %.1f s to converted, %.1f s to joined "
                "and playing%s\n",
                convertSegs * 6, convertSegs, page.model->convertPool().workerCount(), (converted - start) / 1000.0,
                (end - start) / 1000.0, played ? "" : " (DID NOT FINISH)");
    std::printf("throughput: %.1f sentences/s\n", convertSegs * 6 / ((converted - start) / 1000.0));
    std::printf("longest gap of a 10 ms timer on the GUI thread while converting: %.1f ms (%.1f ms up to playing)\n",
                convertGap, worstGap);
    std::printf("scrolling while converting: %d frames, the longest %.1f ms (%.1f ms up to playing)\n", convertFrames,
                convertFrame, scroller.worstFrame);
    std::printf("the GUI thread waited for a processor %.1f ms in all while converting\n", waitedConverting / 1e6);

    page.model->close();
    waitUntil([&] { return !page.model->isClosing(); }, 30000);
    delete page.item;
    page = Page();

    // 4. Short segments against long ones, the same sentences, in the order
    // six, one, one, six: a load that changes steadily meanwhile weighs on both alike.
    std::printf("the same 600 sentences as segments of six and of one sentence (six, one, one, six):\n");
    const std::vector<std::string> sixes = segmentTexts(sentences, 100, 6), ones = segmentTexts(sentences, 600, 1);
    const double sixA = convertRate(component, voice, "Six", sixes, worker);
    const double oneA = convertRate(component, voice, "One", ones, worker);
    const double oneB = convertRate(component, voice, "One", ones, worker);
    const double sixB = convertRate(component, voice, "Six", sixes, worker);
    // Equal sentence counts: the ratio of the rates is the inverse ratio of the times.
    const bool allConverted = sixA > 0 && sixB > 0 && oneA > 0 && oneB > 0;
    const double ratio = allConverted ? (1 / sixA + 1 / sixB) / (1 / oneA + 1 / oneB) : 0.0;
    std::printf("one-sentence segments reach %.2f of the rate of six-sentence segments\n", ratio);

    // 5. The program's own window.
    const bool windowOk = benchWindow(voice, worker, windowBackend, windowRounds);

    std::error_code ec;
    fs::remove_all(root, ec);
    return shownOk && played && allConverted && windowOk ? 0 : 1;
}
