#include "server/PendingAnswer.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

PendingAnswer::~PendingAnswer()
{
    closeFile();
}

PendingAnswer::PendingAnswer(PendingAnswer&& other) noexcept
    : bytes(std::move(other.bytes)), pos(other.pos), fileFd(other.fileFd), fileOffset(other.fileOffset),
      fileLeft(other.fileLeft)
{
    other.pos = 0;
    other.fileFd = -1;
    other.fileLeft = 0;
}

PendingAnswer& PendingAnswer::operator=(PendingAnswer&& other) noexcept
{
    if (this != &other) {
        closeFile();
        bytes = std::move(other.bytes);
        pos = std::exchange(other.pos, 0);
        fileFd = std::exchange(other.fileFd, -1);
        fileOffset = other.fileOffset;
        fileLeft = std::exchange(other.fileLeft, 0);
    }
    return *this;
}

void PendingAnswer::appendFile(int fd, uint64_t offset, uint64_t length)
{
    closeFile();
    fileFd = fd;
    fileOffset = offset;
    fileLeft = length;
}

void PendingAnswer::closeFile()
{
    if (fileFd >= 0)
        ::close(fileFd);
    fileFd = -1;
    fileLeft = 0;
}

PendingAnswer::Sent PendingAnswer::send(int socket, std::vector<char>& scratch, uint64_t& taken)
{
    while (pos < bytes.size()) {
        ssize_t n = ::send(socket, bytes.data() + pos, bytes.size() - pos, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            pos += size_t(n);
            taken += uint64_t(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return Sent::Blocked;
        } else {
            return Sent::Failed;
        }
    }
    if (!bytes.empty()) {
        std::string().swap(bytes);
        pos = 0;
    }
    // A block is read, and what the socket does not take is read again later:
    // nothing of the file is held between calls.
    while (fileLeft > 0) {
        size_t want = size_t(std::min<uint64_t>(fileLeft, scratch.size()));
        ssize_t got = ::pread(fileFd, scratch.data(), want, off_t(fileOffset));
        if (got < 0 && errno == EINTR)
            continue;
        // The file ended early: the answer cannot be completed.
        if (got <= 0)
            return Sent::Failed;
        size_t done = 0;
        while (done < size_t(got)) {
            ssize_t n = ::send(socket, scratch.data() + done, size_t(got) - done, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                done += size_t(n);
                taken += uint64_t(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                fileOffset += done;
                fileLeft -= done;
                return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? Sent::Blocked : Sent::Failed;
            }
        }
        fileOffset += done;
        fileLeft -= done;
    }
    closeFile();
    return Sent::Done;
}
