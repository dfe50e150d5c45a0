#pragma once

#include <string>

// text without its leading and trailing runs of CR, LF, TAB, space and
// ideographic space (U+3000); whole characters are removed, never bytes of
// other characters.
std::string trimSegText(const std::string& text);
