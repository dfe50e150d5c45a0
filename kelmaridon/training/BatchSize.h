#pragma once

#include <cstdint>
#include <string>

// The batch sizes a training accepts.
constexpr int kMinBatchSize = 1;
constexpr int kMaxBatchSize = 32;

// Batch size a new training starts with: from the GPU's memory when there is
// a GPU (gpuMemory > 0), else from the machine's memory and its threads. Both
// are bytes. Always within the 1 to 32 that a training accepts.
int defaultBatchSize(uint64_t gpuMemory, uint64_t physicalMemory, int threads);

// The batch size the text names: one or two digits and nothing else, within
// kMinBatchSize to kMaxBatchSize; 0 when it names none.
int batchSizeFromText(const std::string& text);
