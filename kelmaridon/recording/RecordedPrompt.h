#pragma once

#include <cstdint>
#include <string>

// A sentence of a recording project that has a take.
struct RecordedPrompt
{
    int64_t id = 0;
    int64_t pid = 0;
    std::string text;
};
