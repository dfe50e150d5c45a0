#include "projects/SegText.h"

namespace {

const char kIdeographicSpace[] = "\xE3\x80\x80";

bool isAsciiBlank(char c)
{
    return c == '\r' || c == '\n' || c == '\t' || c == ' ';
}

} // namespace

std::string trimSegText(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end) {
        if (isAsciiBlank(text[begin]))
            begin += 1;
        else if (end - begin >= 3 && text.compare(begin, 3, kIdeographicSpace) == 0)
            begin += 3;
        else
            break;
    }
    // E3 is a lead byte and the blanks are ASCII, so a match at the end is a
    // whole character.
    while (end > begin) {
        if (isAsciiBlank(text[end - 1]))
            end -= 1;
        else if (end - begin >= 3 && text.compare(end - 3, 3, kIdeographicSpace) == 0)
            end -= 3;
        else
            break;
    }
    return text.substr(begin, end - begin);
}
