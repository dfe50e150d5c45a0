#include "server/RequestStream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

// The address of the socket's peer, or of the socket itself.
void endpoint(int fd, bool peer, std::string& ip, int& port)
{
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    char text[INET6_ADDRSTRLEN] = "";
    port = 0;
    int rc = peer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len)
                  : ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    if (rc == 0 && addr.ss_family == AF_INET) {
        const auto* a = reinterpret_cast<const sockaddr_in*>(&addr);
        ::inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
        port = ntohs(a->sin_port);
    } else if (rc == 0 && addr.ss_family == AF_INET6) {
        const auto* a = reinterpret_cast<const sockaddr_in6*>(&addr);
        ::inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
        port = ntohs(a->sin6_port);
    }
    ip = text;
}

} // namespace

RequestStream::RequestStream(int fd, std::string request, std::chrono::milliseconds writeTimeout)
    : fd(fd), request(std::move(request)), writeTimeout(writeTimeout)
{
}

bool RequestStream::is_readable() const
{
    return readPos < request.size();
}

bool RequestStream::is_writable() const
{
    return !broken;
}

ssize_t RequestStream::read(char* ptr, size_t size)
{
    size_t n = std::min(size, request.size() - readPos);
    std::memcpy(ptr, request.data() + readPos, n);
    readPos += n;
    return ssize_t(n);
}

ssize_t RequestStream::write(const char* ptr, size_t size)
{
    // The whole block must be taken within the limit, not merely some of it,
    // so a client that reads a byte now and then cannot hold the answer.
    const Clock::time_point deadline = Clock::now() + writeTimeout;
    size_t done = 0;
    while (!broken && done < size) {
        ssize_t n = ::send(fd, ptr + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            broken = true;
            break;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, POLLOUT, 0};
        int r = left > 0 ? ::poll(&p, 1, int(left)) : 0;
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0 || (p.revents & (POLLERR | POLLNVAL)))
            broken = true;
    }
    return broken ? -1 : ssize_t(size);
}

void RequestStream::get_remote_ip_and_port(std::string& ip, int& port) const
{
    endpoint(fd, true, ip, port);
}

void RequestStream::get_local_ip_and_port(std::string& ip, int& port) const
{
    endpoint(fd, false, ip, port);
}

socket_t RequestStream::socket() const
{
    return fd;
}
