#pragma once

#include <cstdint>

// The batch size a training starts with: on a GPU (gpuMemory bytes, not 0)
// one sample for every 1500 MiB of its memory; without one, one for every
// 1500 MiB of physical memory, at most 0.6 of the threads and at least 1.
int defaultBatchSize(uint64_t gpuMemory, uint64_t physicalMemory, int threads);
