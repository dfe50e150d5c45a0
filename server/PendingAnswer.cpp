#include "server/PendingAnswer.h"

#include <signal.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <utility>

namespace {

constexpr uint64_t kMaxChunk = 1024 * 1024 * 1024;

// Keeps SIGPIPE from a socket the client has closed off this thread while it
// lives: sendfile, unlike send, cannot be told not to raise it.
class PipeSignalBlock
{
public:
    PipeSignalBlock()
    {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &pipe, &saved);
    }
    ~PipeSignalBlock()
    {
        if (sigismember(&saved, SIGPIPE))
            return;
        // One raised meanwhile is taken before the signal is let through again.
        sigset_t pipe, pending;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        if (::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE)) {
            const timespec none{0, 0};
            ::sigtimedwait(&pipe, nullptr, &none);
        }
        ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    }
    PipeSignalBlock(const PipeSignalBlock&) = delete;
    PipeSignalBlock& operator=(const PipeSignalBlock&) = delete;

private:
    sigset_t saved;
};

} // namespace

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

PendingAnswer::Sent PendingAnswer::send(int socket, uint64_t& taken)
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
    // The kernel moves the file's bytes as far as the socket takes them: none
    // are read that the client does not get now.
    PipeSignalBlock noSignal;
    while (fileLeft > 0) {
        off_t offset = off_t(fileOffset);
        ssize_t n = ::sendfile(socket, fileFd, &offset, size_t(std::min<uint64_t>(fileLeft, kMaxChunk)));
        if (n > 0) {
            fileOffset += uint64_t(n);
            fileLeft -= uint64_t(n);
            taken += uint64_t(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return Sent::Blocked;
        } else {
            // The socket failed, or the file ended early: the answer cannot be completed.
            return Sent::Failed;
        }
    }
    closeFile();
    return Sent::Done;
}
