#include "server/RequestHead.h"

#include <cstring>
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
        if (length > 0 && start[length - 1] == '\r')
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
