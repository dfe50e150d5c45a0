#pragma once

#include <string>

// One language of the prompts database.
struct PromptLang
{
    std::string lang;   // code, e.g. "en-us"
    std::string name;   // English name with the region
    std::string native; // the language's own name
    std::string vlang;  // espeak-ng language code
};
