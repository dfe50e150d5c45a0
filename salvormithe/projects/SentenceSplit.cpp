#include "projects/SentenceSplit.h"

#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <cstring>
#include <memory>

namespace {

std::u16string toUtf16(const char* text, int32_t length)
{
    UErrorCode status = U_ZERO_ERROR;
    int32_t needed = 0;
    u_strFromUTF8WithSub(nullptr, 0, &needed, text, length, 0xFFFD, nullptr, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        return {};
    std::u16string out(static_cast<size_t>(needed), u'\0');
    status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), needed + 1, nullptr, text, length,
                         0xFFFD, nullptr, &status);
    if (U_FAILURE(status))
        return {};
    return out;
}

std::string toUtf8(const UChar* text, int32_t length)
{
    UErrorCode status = U_ZERO_ERROR;
    int32_t needed = 0;
    u_strToUTF8WithSub(nullptr, 0, &needed, text, length, 0xFFFD, nullptr, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        return {};
    std::string out(static_cast<size_t>(needed), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), needed + 1, nullptr, text, length, 0xFFFD, nullptr, &status);
    if (U_FAILURE(status))
        return {};
    return out;
}

struct BreakCloser
{
    void operator()(UBreakIterator* bi) const { ubrk_close(bi); }
};

} // namespace

std::vector<std::string> splitText(const std::string& text, int breakType)
{
    std::vector<std::string> pieces;
    size_t len = std::strlen(text.c_str());
    if (len > static_cast<size_t>(INT32_MAX))
        return pieces;
    std::u16string u16 = toUtf16(text.c_str(), static_cast<int32_t>(len));
    if (u16.empty())
        return pieces;
    const UChar* units = reinterpret_cast<const UChar*>(u16.c_str());

    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UBreakIterator, BreakCloser> bi(
        ubrk_open(static_cast<UBreakIteratorType>(breakType), "", units,
                  static_cast<int32_t>(u16.size()), &status));
    if (U_FAILURE(status) || !bi)
        return pieces;

    int32_t start = ubrk_first(bi.get());
    for (int32_t end = ubrk_next(bi.get()); end != UBRK_DONE; end = ubrk_next(bi.get())) {
        bool lonelySpace = end - start == 1 && u_isspace(units[start]);
        if (!lonelySpace)
            pieces.push_back(toUtf8(units + start, end - start));
        start = end;
    }
    return pieces;
}

std::vector<std::string> splitSentences(const std::string& text)
{
    return splitText(text, UBRK_SENTENCE);
}
