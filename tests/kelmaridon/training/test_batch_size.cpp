#include "training/BatchSize.h"

#include <gtest/gtest.h>

#include <vector>

TEST(BatchSize, DefaultsFromTheGpuOrFromMemoryAndThreads)
{
    constexpr uint64_t MiB = uint64_t(1) << 20, GiB = uint64_t(1) << 30;
    struct Case
    {
        uint64_t gpu, ram;
        int threads, expected;
    };
    const std::vector<Case> cases = {
        {12 * GiB, 16 * GiB, 8, 8},   // 12288 MiB / 1500
        {6 * GiB, 0, 0, 4},           // the GPU alone decides
        {3000 * MiB, 1 * GiB, 1, 2},
        {1499 * MiB, 64 * GiB, 64, 1}, // too little for one sample: still one
        {64 * GiB, 1 * GiB, 1, 32},    // 43 would be refused by the training
        {0, 16 * GiB, 8, 4},           // min(10, 4)
        {0, 64 * GiB, 8, 4},
        {0, 16 * GiB, 32, 10},         // min(10, 19)
        {0, 1 * GiB, 8, 1},            // 0 by memory: at least one
        {0, 16 * GiB, 1, 1},           // trunc(0.6) = 0
        {0, 512 * GiB, 128, 32},       // min(349, 76), at most 32
        {0, 0, 0, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(defaultBatchSize(c.gpu, c.ram, c.threads), c.expected)
            << "gpu " << c.gpu / MiB << " MiB, ram " << c.ram / MiB << " MiB, " << c.threads << " threads";
}

TEST(BatchSize, OnlyAWholeNumberFromOneTo32IsABatchSize)
{
    const std::vector<std::pair<std::string, int>> cases = {
        {"1", 1}, {"12", 12}, {"32", 32}, {"07", 7}, {"0", 0},  {"00", 0}, {"33", 0},  {"64", 0},
        {"", 0},  {"x", 0},   {"1x", 0},  {" 5", 0}, {"5 ", 0}, {"+5", 0}, {"-1", 0},  {"012", 0},
        {"4.0", 0}, {"99999999999", 0},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(batchSizeFromText(text), expected) << '"' << text << '"';
}
