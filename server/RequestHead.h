#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Sizes a request may have before the server refuses it.
struct RequestLimits
{
    size_t maxRequestLine = 8000; // bytes, without the line end
    size_t maxHeaderLine = 8000;
    size_t maxHeaderBytes = 32 * 1024; // every header line with its line end
    int maxHeaders = 100;
    uint64_t maxBody = 16 * 1024;
};

// Finds the end of one request's head in bytes as they arrive, within limits,
// and the length of the body that follows it. Scanning resumes where the last
// call stopped, so a head that arrives byte by byte costs no more than one
// that arrives at once.
class RequestHead
{
public:
    enum class State { Incomplete, Complete, Refused };

    explicit RequestHead(const RequestLimits& limits);

    // Scans what buffer holds beyond the previous call; buffer only grows at
    // its end between calls.
    State scan(const std::string& buffer);

    // Set once Complete: the head's first byte (empty lines before a request
    // are skipped), the byte after its blank line, and the body's length.
    size_t begin() const { return headBegin; }
    size_t end() const { return headEnd; }
    uint64_t bodyLength() const { return contentLength; }
    // Set once Refused: 400, 405 (a method the server does not serve), 411, 413 or 431.
    int status() const { return refusal; }

private:
    State refuse(int code);
    bool header(const char* line, size_t length);

    RequestLimits limits;
    State state = State::Incomplete;
    size_t pos = 0; // start of the line not yet complete
    size_t headBegin = 0;
    size_t headEnd = 0;
    bool inHeaders = false;
    size_t headerBytes = 0;
    int headers = 0;
    bool hasLength = false;
    uint64_t contentLength = 0;
    int refusal = 0;
};
