#include "voices/VoiceTask.h"

void VoiceTask::setCancel(std::function<void()> fn)
{
    std::lock_guard<std::mutex> lock(mutex);
    cancelFn = std::move(fn);
}

void VoiceTask::cancel()
{
    cancelled.exchange(true);
    std::lock_guard<std::mutex> lock(mutex);
    if (cancelFn)
        cancelFn();
}
