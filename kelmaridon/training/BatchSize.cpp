#include "training/BatchSize.h"

#include <algorithm>

namespace {

// MiB of memory that one sample of a batch takes.
constexpr uint64_t mibPerSample = 1500;

int clampBatch(uint64_t batch)
{
    return int(std::clamp<uint64_t>(batch, kMinBatchSize, kMaxBatchSize));
}

} // namespace

int defaultBatchSize(uint64_t gpuMemory, uint64_t physicalMemory, int threads)
{
    if (gpuMemory != 0)
        return clampBatch((gpuMemory >> 20) / mibPerSample);
    uint64_t byMemory = (physicalMemory >> 20) / mibPerSample;
    uint64_t byThreads = uint64_t(std::max(0, int(0.6 * threads)));
    return clampBatch(std::min(byMemory, byThreads));
}

int batchSizeFromText(const std::string& text)
{
    if (text.empty() || text.size() > 2 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    int value = std::stoi(text);
    return value >= kMinBatchSize && value <= kMaxBatchSize ? value : 0;
}
