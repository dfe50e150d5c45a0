#include "training/DefaultBatchSize.h"

#include <algorithm>

int defaultBatchSize(uint64_t gpuMemory, uint64_t physicalMemory, int threads)
{
    constexpr uint64_t mib = 1024 * 1024;
    if (gpuMemory != 0)
        return int(std::min<uint64_t>(gpuMemory / mib / 1500, INT32_MAX));
    int byMemory = int(std::min<uint64_t>(physicalMemory / mib / 1500, INT32_MAX));
    int byThreads = int(0.6 * threads);
    return std::max(1, std::min(byMemory, byThreads));
}
