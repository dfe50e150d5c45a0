#pragma once

// Servers on 127.0.0.1 for the HTTP tests: an httplib server running in a
// thread, and a raw socket server that answers with bytes chosen by the test;
// and raw clients' sockets.

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace testutil {

// httplib ignores a stop that comes before its accept loop runs: wait for it
// (a listen that failed ends the wait after five seconds).
template <typename Server>
void stopHttplib(Server& server)
{
    for (int i = 0; i < 5000 && !server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server.stop();
}

class HttplibServer
{
public:
    httplib::Server server;

    ~HttplibServer() { stop(); }

    // Binds to a free port and serves in a thread; returns the base URL.
    std::string start()
    {
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        return base();
    }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port) + "/"; }
    void stop()
    {
        if (thread.joinable()) {
            stopHttplib(server);
            thread.join();
        }
    }
    int port = 0;

private:
    std::thread thread;
};

// Accepts connections one after another; for each, reads the request head
// and hands the socket to the reply function, then closes it.
class RawServer
{
public:
    using Reply = std::function<void(int socket, const std::string& request)>;

    explicit RawServer(Reply reply) : reply(std::move(reply))
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listener, 8);
        socklen_t len = sizeof addr;
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
        port = ntohs(addr.sin_port);
        thread = std::thread([this] { run(); });
    }

    ~RawServer()
    {
        stopping = true;
        thread.join();
        ::close(listener);
    }

    std::string base() const { return "http://127.0.0.1:" + std::to_string(port) + "/"; }
    int requests() const { return count; }

    static void send(int socket, const std::string& bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::send(socket, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            done += size_t(n);
        }
    }

    // Waits until the client closes the connection or msec passed.
    static void waitForClose(int socket, int msec)
    {
        char buf[256];
        for (int waited = 0; waited < msec; waited += 20) {
            pollfd q{socket, POLLIN, 0};
            if (::poll(&q, 1, 20) > 0 && ::recv(socket, buf, sizeof buf, 0) <= 0)
                return;
        }
    }

    int port = 0;

private:
    void run()
    {
        while (!stopping) {
            pollfd p{listener, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            int s = ::accept(listener, nullptr, nullptr);
            if (s < 0)
                continue;
            std::string request;
            char buf[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                pollfd q{s, POLLIN, 0};
                if (::poll(&q, 1, 2000) <= 0)
                    break;
                ssize_t n = ::recv(s, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                request.append(buf, size_t(n));
            }
            ++count;
            reply(s, request);
            ::close(s);
        }
    }

    Reply reply;
    int listener = -1;
    std::atomic<bool> stopping{false};
    std::atomic<int> count{0};
    std::thread thread;
};

// A blocking socket connected to port on 127.0.0.1, from the loopback address
// from when given, with a receive buffer of that many bytes when asked; -1 when
// it cannot connect. Without blocking: a non-blocking socket whose connect is
// under way, -1 when it cannot even start.
inline int connectLoopback(int port, int receiveBuffer = 0, const char* from = nullptr, bool blocking = true)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (blocking ? 0 : SOCK_NONBLOCK), 0);
    if (fd < 0)
        return -1;
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    if (from && (::inet_pton(AF_INET, from, &addr.sin_addr) != 1
                 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)) {
        ::close(fd);
        return -1;
    }
    addr.sin_port = htons(uint16_t(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 && (blocking || errno != EINPROGRESS)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace testutil
