#include "common/TextUtils.h"

#include <cstdarg>
#include <cstdio>

std::string formatString(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    va_list measure;
    va_copy(measure, args);
    int len = std::vsnprintf(nullptr, 0, fmt, measure);
    va_end(measure);
    std::string out;
    if (len > 0) {
        out.resize(size_t(len));
        std::vsnprintf(out.data(), size_t(len) + 1, fmt, args);
    }
    va_end(args);
    return out;
}

std::string formatSize(int64_t bytes)
{
    if (bytes > 1073741824)
        return formatString("%lld %s", (long long)(bytes >> 30), "G");
    if (bytes > 1048576)
        return formatString("%lld %s", (long long)(bytes >> 20), "M");
    if (bytes > 1024)
        return formatString("%lld %s", (long long)(bytes >> 10), "kB");
    return formatString("%lld %s", (long long)bytes, "B");
}

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    // Not a digit: a value no correct checksum byte is built from.
    return 16 + (static_cast<unsigned char>(c) & 0x0f);
}

} // namespace

std::string hexToBytes(const char* hex, int length)
{
    std::string out;
    if (!hex || length <= 0)
        return out;
    length &= ~1;
    out.reserve(size_t(length / 2));
    for (int i = 0; i < length; i += 2)
        out.push_back(char((hexDigit(hex[i]) << 4) + hexDigit(hex[i + 1])));
    return out;
}

std::string encodeQueryValue(const std::string& value)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : value) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_'
                     || c == '.' || c == '~';
        if (plain) {
            out.push_back(char(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

namespace {

// The code point of the UTF-8 sequence at text[i] and its length in bytes;
// false for an invalid sequence (broken, overlong, a surrogate, past
// U+10FFFF), whose length is then its longest part that could have begun a
// valid one: the part that one U+FFFD stands for.
bool decodeUtf8(const std::string& text, size_t i, uint32_t& cp, size_t& len)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    unsigned char low = 0x80, high = 0xbf;
    if (lead < 0x80) {
        cp = lead;
        len = 1;
        return true;
    } else if (lead >= 0xc2 && lead <= 0xdf) {
        len = 2;
        cp = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        len = 3;
        cp = lead & 0x0f;
        low = lead == 0xe0 ? 0xa0 : 0x80;
        high = lead == 0xed ? 0x9f : 0xbf;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        len = 4;
        cp = lead & 0x07;
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf;
    } else {
        len = 1;
        return false;
    }
    for (size_t k = 1; k < len; ++k) {
        const auto next = static_cast<unsigned char>(i + k < text.size() ? text[i + k] : 0);
        if (next < low || next > high) {
            len = k;
            return false;
        }
        cp = (cp << 6) | (next & 0x3f);
        low = 0x80;
        high = 0xbf;
    }
    return true;
}

bool isControl(uint32_t cp)
{
    return (cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r') || (cp >= 0x7f && cp <= 0x9f && cp != 0x85);
}

} // namespace

bool isValidUtf8(const std::string& text)
{
    uint32_t cp = 0;
    size_t len = 0;
    for (size_t i = 0; i < text.size(); i += len) {
        if (!decodeUtf8(text, i, cp, len))
            return false;
    }
    return true;
}

std::string cleanUtf8Text(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    uint32_t cp = 0;
    size_t len = 0;
    for (size_t i = 0; i < text.size(); i += len) {
        if (!decodeUtf8(text, i, cp, len))
            out += "\xEF\xBF\xBD";
        else if (!isControl(cp))
            out.append(text, i, len);
    }
    return out;
}

namespace {

bool isBlankCodePoint(uint32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200D) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x2060 || c == 0x3000 || c == 0xFEFF;
}

} // namespace

bool isBlankText(const std::string& text)
{
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t len = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        if (len == 0 || i + len > text.size())
            return false;
        uint32_t c = len == 1 ? lead : lead & (0x7F >> len);
        for (size_t k = 1; k < len; ++k) {
            const unsigned char b = static_cast<unsigned char>(text[i + k]);
            if ((b & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (b & 0x3F);
        }
        if (!isBlankCodePoint(c))
            return false;
        i += len;
    }
    return true;
}
