#include "server/RequestHead.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <strings.h>

namespace {

bool isTokenChar(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
           || (c > ' ' && c < 0x7f && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

bool nameIs(const char* name, size_t length, const char* wanted)
{
    return std::strlen(wanted) == length && ::strncasecmp(name, wanted, length) == 0;
}

bool isOneOf(std::string_view word, std::initializer_list<std::string_view> words)
{
    return std::find(words.begin(), words.end(), word) != words.end();
}

// 0 for a request line the server answers, else the status that refuses it:
// "METHOD target HTTP/1.x" with a method of HTTP, one space between the
// parts and no control character.
int judgeRequestLine(std::string_view line)
{
    size_t first = line.find(' ');
    size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos)
        return 400;
    std::string_view method = line.substr(0, first);
    std::string_view target = line.substr(first + 1, second - first - 1);
    std::string_view version = line.substr(second + 1);
    if (target.empty() || !isOneOf(version, {"HTTP/1.0", "HTTP/1.1"}))
        return 400;
    for (unsigned char c : target) {
        if (c < 0x20 || c == 0x7f)
            return 400;
    }
    if (isOneOf(method, {"GET", "HEAD"}))
        return 0;
    if (isOneOf(method, {"POST", "PUT", "DELETE", "PATCH", "OPTIONS", "CONNECT", "TRACE"}))
        return 405;
    return 400;
}

} // namespace

RequestHead::RequestHead(const RequestLimits& limits) : limits(limits) {}

RequestHead::State RequestHead::refuse(int code)
{
    refusal = code;
    state = State::Refused;
    return state;
}

RequestHead::State RequestHead::scan(const std::string& buffer)
{
    while (state == State::Incomplete) {
        const char* start = buffer.data() + pos;
        size_t avail = buffer.size() - pos;
        const void* nl = std::memchr(start, '\n', avail);
        size_t lineLimit = inHeaders ? limits.maxHeaderLine : limits.maxRequestLine;
        if (!nl) {
            // The line so far, without a CR that may end it.
            if (avail > lineLimit + 1)
                return refuse(inHeaders ? 431 : 400);
            if (inHeaders && headerBytes + avail > limits.maxHeaderBytes + 2)
                return refuse(431);
            return state;
        }
        size_t full = size_t(static_cast<const char*>(nl) - start) + 1;
        size_t length = full - 1;
        // Lines end with CR LF.
        if (length == 0 || start[length - 1] != '\r')
            return refuse(400);
        --length;
        if (length > lineLimit)
            return refuse(inHeaders ? 431 : 400);
        pos += full;
        if (!inHeaders) {
            // Empty lines before a request line are ignored, within the line limit.
            if (length == 0) {
                if (pos > limits.maxRequestLine)
                    return refuse(400);
                continue;
            }
            if (int status = judgeRequestLine(std::string_view(start, length)))
                return refuse(status);
            headBegin = pos - full;
            inHeaders = true;
            continue;
        }
        if (length == 0) {
            headEnd = pos;
            state = State::Complete;
            break;
        }
        headerBytes += full;
        if (headerBytes > limits.maxHeaderBytes || ++headers > limits.maxHeaders)
            return refuse(431);
        if (!header(start, length))
            return state;
    }
    return state;
}

bool RequestHead::header(const char* line, size_t length)
{
    const char* colon = static_cast<const char*>(std::memchr(line, ':', length));
    // No folded lines, and a name of token characters right before the colon.
    if (!colon || colon == line) {
        refuse(400);
        return false;
    }
    for (const char* c = line; c < colon; ++c) {
        if (!isTokenChar(static_cast<unsigned char>(*c))) {
            refuse(400);
            return false;
        }
    }
    size_t nameLength = size_t(colon - line);
    const char* value = colon + 1;
    const char* valueEnd = line + length;
    while (value < valueEnd && (*value == ' ' || *value == '\t'))
        ++value;
    while (valueEnd > value && (valueEnd[-1] == ' ' || valueEnd[-1] == '\t'))
        --valueEnd;

    if (nameIs(line, nameLength, "Transfer-Encoding")) {
        // Only bodies of a stated length are taken.
        refuse(411);
        return false;
    }
    if (nameIs(line, nameLength, "Content-Length")) {
        uint64_t n = 0;
        if (value == valueEnd || valueEnd - value > 18) {
            refuse(400);
            return false;
        }
        for (const char* c = value; c < valueEnd; ++c) {
            if (*c < '0' || *c > '9') {
                refuse(400);
                return false;
            }
            n = n * 10 + uint64_t(*c - '0');
        }
        if (hasLength && n != contentLength) {
            refuse(400);
            return false;
        }
        if (n > limits.maxBody) {
            refuse(413);
            return false;
        }
        hasLength = true;
        contentLength = n;
    }
    return true;
}
