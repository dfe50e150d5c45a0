#include "server/RequestStream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <strings.h>
#include <utility>

namespace {

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

RequestStream::RequestStream(int fd, std::string request) : fd(fd), request(std::move(request)) {}

RequestStream::~RequestStream()
{
    if (fileFd >= 0)
        ::close(fileFd);
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
    if (broken)
        return -1;
    size_t done = 0;
    // Straight to the socket while nothing waits before these bytes.
    while (!rest.hasBytes() && done < size) {
        ssize_t n = ::send(fd, ptr + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += size_t(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else {
            broken = true;
            return -1;
        }
    }
    if (done < size)
        rest.append(ptr + done, size - done);
    return ssize_t(size);
}

bool RequestStream::takeHeader(const std::string& name, std::string& value)
{
    value.clear();
    bool found = false;
    // Header lines follow the request line, up to the first empty line.
    size_t pos = request.find('\n');
    while (pos != std::string::npos && pos + 1 < request.size()) {
        size_t begin = pos + 1;
        size_t end = request.find('\n', begin);
        if (end == std::string::npos)
            break;
        size_t length = end - begin;
        if (length > 0 && request[end - 1] == '\r')
            --length;
        if (length == 0)
            break;
        if (length > name.size() && request[begin + name.size()] == ':'
            && ::strncasecmp(request.data() + begin, name.c_str(), name.size()) == 0) {
            size_t v = request.find_first_not_of(" \t", begin + name.size() + 1);
            size_t e = request.find_last_not_of(" \t", begin + length - 1);
            if (found)
                value += ", ";
            if (v < begin + length)
                value.append(request, v, e + 1 - v);
            found = true;
            request.erase(begin, end + 1 - begin);
            continue;
        }
        pos = end;
    }
    return found;
}

void RequestStream::sendFileAfter(int file, uint64_t offset, uint64_t length)
{
    if (fileFd >= 0)
        ::close(fileFd);
    fileFd = file;
    fileOffset = offset;
    fileLength = length;
}

PendingAnswer RequestStream::takeRest()
{
    if (fileFd >= 0)
        rest.appendFile(std::exchange(fileFd, -1), fileOffset, fileLength);
    return std::move(rest);
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
