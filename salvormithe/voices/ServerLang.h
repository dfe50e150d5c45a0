#pragma once

#include <cstdint>
#include <string>

// One language of the voice server's catalogue.
struct ServerLang
{
    int32_t id = 0; // position in the server's reply, from 1
    std::string lang;
    std::string name;
    std::string native;
};
