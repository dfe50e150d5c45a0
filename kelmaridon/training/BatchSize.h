#pragma once

#include <cstdint>

// Batch size a new training starts with: from the GPU's memory when there is
// a GPU (gpuMemory > 0), else from the machine's memory and its threads. Both
// are bytes. Always within the 1 to 32 that a training accepts.
int defaultBatchSize(uint64_t gpuMemory, uint64_t physicalMemory, int threads);
