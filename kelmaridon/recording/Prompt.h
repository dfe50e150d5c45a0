#pragma once

#include <cstdint>
#include <string>

// One sentence of a language in the prompts database.
struct Prompt
{
    int32_t id = 0;
    int64_t pid = 0;
    std::string text;
};
