#pragma once

#include <atomic>
#include <functional>
#include <mutex>

// A running voice-server operation (sample download or install) that another
// thread can cancel. The operation sets the cancel function while it has
// something to stop and clears it before that goes away.
class VoiceTask
{
public:
    // Stores fn (or nothing) as the cancel function; the previous one is dropped.
    void setCancel(std::function<void()> fn);
    // Marks the task cancelled and calls the current cancel function. The call
    // runs under the task's mutex, so it never reaches an object that the
    // operation has already cleared.
    void cancel();
    bool isCancelled() const { return cancelled; }

    std::atomic<bool> cancelled{false};

private:
    std::mutex mutex;
    std::function<void()> cancelFn;
};
