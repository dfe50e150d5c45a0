// Loaded into the real program (LD_PRELOAD) by bench_project_page: once the
// program's window module has made the application, it clicks through the
// window to the newest project and on Play All, then times the conversion by
// the project's database, read on a thread of its own so that the window's
// threads are left alone. It prints "converted <seconds> frames <count> syncs
// <count> children <first> <last>" (frames drawn, scene syncs, each of which
// holds the GUI thread, and when children were first and last seen) and
// ends the program. Its settings come from the environment:
//   QV_BENCH_PROJECT   the project's folder;
//   QV_BENCH_EXPECTED  how many segments hold converted audio at the end.
#include "QuickFind.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QTimer>

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// Children of this process, from the kernel's lists of each thread's children.
int liveChildren()
{
    int n = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/proc/self/task", ec), end; !ec && it != end; it.increment(ec)) {
        std::ifstream children(it->path() / "children");
        long pid;
        while (children >> pid)
            ++n;
    }
    return n;
}

class WindowDriver : public QObject
{
public:
    WindowDriver(std::string folder, int expected) : folder(std::move(folder)), expected(expected)
    {
        connect(&step, &QTimer::timeout, this, [this] { next(); });
        step.start(50);
        QTimer::singleShot(300000, this, [this] { fail("the window did not convert the project in 300 s"); });
    }

private:
    QQuickItem* item(const char* name)
    {
        for (QWindow* w : QGuiApplication::topLevelWindows()) {
            auto* qw = qobject_cast<QQuickWindow*>(w);
            if (qw && qw->isExposed()) {
                window = qw;
                if (auto* found = qobject_cast<QQuickItem*>(testutil::findNamed(qw->contentItem(), name)))
                    return found->isVisible() && found->isEnabled() ? found : nullptr;
            }
        }
        return nullptr;
    }
    void click(QQuickItem* target)
    {
        const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    }
    void fail(const char* why)
    {
        std::printf("failed at step %d: %s (%d of %d converted)\n", stage, why, int(lastCount), expected);
        if (window && std::getenv("QV_BENCH_SHOT")) window->grabWindow().save(std::getenv("QV_BENCH_SHOT"));
        std::fflush(stdout);
        std::_Exit(1);
    }
    void next()
    {
        if (stage == 0 || stage == 1) {
            if (QQuickItem* target = item(stage == 0 ? "navEntry_projects" : "projectRow0")) {
                click(target);
                ++stage;
            }
        } else if (stage == 2) {
            // The page is open and shown; a second for it to settle.
            if (item("playAllButton")) {
                ++stage;
                QTimer::singleShot(1000, this, [this] { ++stage; });
            }
        } else if (stage == 4) {
            QQuickItem* button = item("playAllButton");
            if (!button)
                fail("Play All went away");
            step.stop();
            ++stage;
            connect(window, &QQuickWindow::frameSwapped, this, [this] { ++frames; }, Qt::DirectConnection);
            connect(window, &QQuickWindow::beforeSynchronizing, this, [this] { ++syncs; }, Qt::DirectConnection);
            started = std::chrono::steady_clock::now();
            std::thread([this] { pollDatabase(); }).detach();
            click(button);
        }
    }
    void pollDatabase()
    {
        sqlite3* db = nullptr;
        sqlite3_open_v2((folder + "/ttsdata").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_busy_timeout(db, 1000);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "select count(*) from seg where converted > 0", -1, &st, nullptr);
        double firstChild = -1, lastChild = -1;
        auto since = [this] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        };
        for (;;) {
            if (liveChildren() > 0) {
                lastChild = since();
                if (firstChild < 0)
                    firstChild = lastChild;
            }
            int converted = -1;
            if (st && sqlite3_step(st) == SQLITE_ROW)
                converted = sqlite3_column_int(st, 0);
            sqlite3_reset(st);
            lastCount = converted;
            if (converted >= expected)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        const double seconds = since();
        const long framesThen = frames, syncsThen = syncs;
        sqlite3_finalize(st);
        sqlite3_close(db);
        std::printf("converted %.3f frames %ld syncs %ld children %.3f %.3f\n", seconds, framesThen, syncsThen,
                    firstChild, lastChild);
        std::fflush(stdout);
        // The program's children are done; nothing of the window is needed any more.
        std::_Exit(0);
    }

    const std::string folder;
    const int expected;
    QTimer step;
    int stage = 0;
    QQuickWindow* window = nullptr;
    std::chrono::steady_clock::time_point started;
    std::atomic<long> frames{0};
    std::atomic<long> syncs{0};
    std::atomic<int> lastCount{-2};
};

// Set before this library's other globals are made: kept in function statics.
std::string& projectFolder()
{
    static std::string folder;
    return folder;
}

int& expectedSegments()
{
    static int count = 0;
    return count;
}

__attribute__((constructor)) void loadDriver()
{
    const char* folder = std::getenv("QV_BENCH_PROJECT");
    const char* expected = std::getenv("QV_BENCH_EXPECTED");
    if (!folder || !expected)
        return;
    projectFolder() = folder;
    expectedSegments() = std::atoi(expected);
    // The conversion children are the program alone.
    ::unsetenv("LD_PRELOAD");
    ::unsetenv("QV_BENCH_PROJECT");
    ::unsetenv("QV_BENCH_EXPECTED");
    qAddPreRoutine([] {
        QTimer::singleShot(0, qApp, [] { new WindowDriver(projectFolder(), expectedSegments()); });
    });
}

} // namespace
