// Our voice server under slow and idle clients: opens that many connections
// that send half a request or nothing, then times normal requests, and prints
// the answer times and the server's memory.
//
//   bench_voice_server [slow connections] [requests]
#include "server/VoiceServer.h"

#include <netinet/in.h>
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

int connectTo(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
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
    fs::path dir = fs::temp_directory_path() / ("bench_voice_server_" + std::to_string(::getpid()));
    fs::create_directories(dir);
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
    std::printf("%d slow or idle connections open, %d requests answered\n", slowCount, requests);
    std::printf("answer time: median %.3f ms, 99th percentile %.3f ms, max %.3f ms\n", ms[ms.size() / 2],
                ms[ms.size() * 99 / 100], ms.back());
    std::printf("memory: resident %ld kB, peak %ld kB\n", residentKb("VmRSS:"), residentKb("VmHWM:"));

    for (int fd : slow)
        ::close(fd);
    server.stop();
    serving.join();
    fs::remove_all(dir);
    return 0;
}
