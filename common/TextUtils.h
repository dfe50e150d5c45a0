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

// UTF-8 text as it is written for readers: each invalid part (broken,
// overlong, a surrogate, past U+10FFFF) becomes one U+FFFD, and control
// characters other than tab, line feed, carriage return and U+0085 are left
// out (NUL and ESC among them).
std::string cleanUtf8Text(const std::string& text);

// A URL query value: unreserved characters as they are, the rest %-encoded.
std::string encodeQueryValue(const std::string& value);

// True when UTF-8 text holds nothing to speak: only Unicode white space
// (ASCII blanks and line breaks, U+0085, U+00A0, U+1680, U+2000..U+200A,
// U+2028, U+2029, U+202F, U+205F, U+3000) and the invisible U+200B..U+200D,
// U+2060 and U+FEFF. The empty text is blank.
bool isBlankText(const std::string& text);
