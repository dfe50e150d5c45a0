#pragma once

#include <string>
#include <vector>

// The pieces of UTF-8 text between the boundaries of an ICU break iterator
// of the given UBreakIteratorType. Single white-space units are dropped.
std::vector<std::string> splitText(const std::string& text, int breakType);

// The sentences of UTF-8 text (taken up to its first NUL byte), each with
// the blanks and line breaks that follow it.
std::vector<std::string> splitSentences(const std::string& text);
