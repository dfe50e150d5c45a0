#pragma once

// Holds the lock of every tree removal (removeAll) on a thread of its own: a
// removal started meanwhile stays under way until the hold ends.

#include "common/FileUtils.h"

#include "TestUtil.h"

#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace testutil {

class TreeChangeHold
{
public:
    TreeChangeHold()
        : holder([this] {
              std::lock_guard<std::mutex> tree(treeChangeMutex());
              std::unique_lock<std::mutex> lock(m);
              held = true;
              cv.notify_all();
              cv.wait_for(lock, std::chrono::milliseconds(hangLimitMs), [this] { return released; });
          })
    {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [this] { return held; });
    }
    ~TreeChangeHold() { release(); }

    void release()
    {
        {
            std::lock_guard<std::mutex> lock(m);
            released = true;
        }
        cv.notify_all();
        if (holder.joinable())
            holder.join();
    }

    // Runs check in an event of the GUI thread, then ends the hold. A GUI
    // thread stuck in the removal runs it only after the hold timed out.
    bool checkMeanwhile(const std::function<bool()>& check)
    {
        bool ran = false, result = false;
        QTimer::singleShot(0, [&] {
            result = check();
            ran = true;
            release();
        });
        waitFor([&] { return ran; }, 2 * hangLimitMs);
        return ran && result;
    }

private:
    std::mutex m;
    std::condition_variable cv;
    bool held = false;
    bool released = false;
    std::thread holder;
};

} // namespace testutil
