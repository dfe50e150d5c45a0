#pragma once

#include <cstdint>
#include <string>

// What is still to be sent of one answer: bytes, then a part of a file read
// as it goes out. Sending never waits: it takes what the socket takes, so a
// slow client holds this, never a thread.
class PendingAnswer
{
public:
    enum class Sent { Done, Blocked, Failed };

    PendingAnswer() = default;
    ~PendingAnswer();
    PendingAnswer(PendingAnswer&& other) noexcept;
    PendingAnswer& operator=(PendingAnswer&& other) noexcept;
    PendingAnswer(const PendingAnswer&) = delete;
    PendingAnswer& operator=(const PendingAnswer&) = delete;

    void append(const char* data, size_t size) { bytes.append(data, size); }
    // The file's bytes [offset, offset + length) follow the bytes; takes fd.
    void appendFile(int fd, uint64_t offset, uint64_t length);
    bool empty() const { return pos >= bytes.size() && fileLeft == 0; }
    bool hasBytes() const { return pos < bytes.size(); }

    // Sends on the non-blocking socket until it is full or all is sent. Adds
    // the bytes the socket took to taken.
    Sent send(int socket, uint64_t& taken);

private:
    void closeFile();

    std::string bytes;
    size_t pos = 0;
    int fileFd = -1;
    uint64_t fileOffset = 0;
    uint64_t fileLeft = 0;
};
