// Our voice server under slow and idle clients: opens that many connections
// that send half a request or nothing, and that many downloads whose clients
// read nothing, then times normal requests, and prints the answer times and
// the server's memory; last, a burst of requests sent at once, and how many
// of them were answered.
//
//   bench_voice_server [slow connections] [requests] [stalled downloads] [burst]
#include "server/VoiceServer.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

sockaddr_in loopback(int port)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

// Sends count requests at once; the number answered with 200 and the time
// until every connection ended.
int burst(int port, int count, double& seconds)
{
    const std::string request = "GET /langs.php HTTP/1.1\r\nHost: b\r\nConnection: close\r\n\r\n";
    struct Client
    {
        int fd;
        bool sent;
        std::string text;
    };
    std::vector<Client> clients;
    sockaddr_in addr = loopback(port);
    Clock::time_point t0 = Clock::now();
    for (int i = 0; i < count; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            break;
        ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        clients.push_back({fd, false, std::string()});
    }
    size_t open = clients.size();
    while (open > 0 && Clock::now() - t0 < std::chrono::seconds(60)) {
        std::vector<pollfd> fds;
        std::vector<Client*> who;
        for (Client& c : clients) {
            if (c.fd >= 0) {
                fds.push_back({c.fd, short(c.sent ? POLLIN : POLLOUT), 0});
                who.push_back(&c);
            }
        }
        ::poll(fds.data(), fds.size(), 1000);
        for (size_t i = 0; i < fds.size(); ++i) {
            Client& c = *who[i];
            if (!fds[i].revents)
                continue;
            ssize_t n = 0;
            char buf[4096];
            if (!c.sent)
                c.sent = (n = ::send(c.fd, request.data(), request.size(), MSG_NOSIGNAL)) > 0;
            else if ((n = ::recv(c.fd, buf, sizeof buf, 0)) > 0)
                c.text.append(buf, size_t(n));
            if (n <= 0 && (n == 0 || errno != EAGAIN)) {
                ::close(c.fd);
                c.fd = -1;
                --open;
            }
        }
    }
    seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    int answered = 0;
    for (Client& c : clients) {
        if (c.fd >= 0)
            ::close(c.fd);
        answered += c.text.rfind("HTTP/1.1 200", 0) == 0;
    }
    return answered;
}

int connectTo(int port, int receiveBuffer = 0)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in addr = loopback(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    return fd;
}

long residentKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string word;
    long kb = -1;
    while (status >> word) {
        if (word == key)
            status >> kb;
    }
    return kb;
}

} // namespace

int main(int argc, char** argv)
{
    int slowCount = argc > 1 ? std::atoi(argv[1]) : 50;
    int requests = argc > 2 ? std::atoi(argv[2]) : 200;
    // The burst's clients and the server's connections share this process.
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
    int stalledCount = argc > 3 ? std::atoi(argv[3]) : 40;
    int burstCount = argc > 4 ? std::atoi(argv[4]) : 1000;
    fs::path dir = fs::temp_directory_path() / ("bench_voice_server_" + std::to_string(::getpid()));
    fs::create_directories(dir / "download");
    std::ofstream(dir / "download" / "huge.bin").close();
    fs::resize_file(dir / "download" / "huge.bin", 256u * 1024 * 1024);
    VoiceCatalogue catalogue;
    std::vector<std::string> warnings;
    catalogue.load(dir, warnings);
    VoiceServer server(std::move(catalogue));
    int port = server.bind("127.0.0.1", 0);
    std::thread serving([&] { server.run(); });

    std::vector<int> slow;
    for (int i = 0; i < slowCount; ++i) {
        slow.push_back(connectTo(port));
        if (i % 2 == 0) {
            const std::string part = "GET /langs.php HTTP/1.1\r\nHost: b\r\nX-Slow: 1\r\n";
            ::send(slow.back(), part.data(), part.size(), MSG_NOSIGNAL);
        }
    }
    std::vector<int> stalled;
    for (int i = 0; i < stalledCount; ++i) {
        stalled.push_back(connectTo(port, 4096));
        const std::string get = "GET /download/huge.bin HTTP/1.1\r\nHost: b\r\nConnection: close\r\n\r\n";
        ::send(stalled.back(), get.data(), get.size(), MSG_NOSIGNAL);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::string request = "GET /langs.php HTTP/1.1\r\nHost: b\r\nConnection: close\r\n\r\n";
    std::vector<double> ms;
    for (int i = 0; i < requests; ++i) {
        Clock::time_point t0 = Clock::now();
        int fd = connectTo(port);
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        char buf[4096];
        while (::recv(fd, buf, sizeof buf, 0) > 0) {
        }
        ::close(fd);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%d slow or idle connections and %d stalled downloads open, %d requests answered\n", slowCount,
                stalledCount, requests);
    std::printf("answer time: median %.3f ms, 99th percentile %.3f ms, max %.3f ms\n", ms[ms.size() / 2],
                ms[ms.size() * 99 / 100], ms.back());
    std::printf("memory: resident %ld kB, peak %ld kB\n", residentKb("VmRSS:"), residentKb("VmHWM:"));

    for (int fd : slow)
        ::close(fd);
    for (int fd : stalled)
        ::close(fd);
    double burstSeconds = 0;
    int answered = burst(port, burstCount, burstSeconds);
    std::printf("burst of %d requests at once: %d answered in %.3f s\n", burstCount, answered, burstSeconds);
    server.stop();
    serving.join();
    fs::remove_all(dir);
    return 0;
}
