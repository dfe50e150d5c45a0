#pragma once

#include <cstdint>
#include <string>

// printf-style formatting; empty for an invalid format or an empty result.
std::string formatString(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// "512 B", "3 kB", "17 M", "2 G".
std::string formatSize(int64_t bytes);

// Pairs of hex digits to bytes; an odd last digit is ignored.
std::string hexToBytes(const char* hex, int length);

// True when text is well-formed UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF).
bool isValidUtf8(const std::string& text);

// A URL query value: unreserved characters as they are, the rest %-encoded.
std::string encodeQueryValue(const std::string& value);
