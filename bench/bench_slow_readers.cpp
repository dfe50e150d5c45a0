// Our voice server beside a crowd of slow readers: each of them GETs a large
// download and reads 2 KiB a second, while a normal client asks for the
// language list 25 times, one request after another. Prints how many of those
// were answered within the limit, their median and largest answer times, and
// how many readers the server dropped; for each crowd size, with the server's
// descriptor limit as high as allowed and at 1024. The server runs in a child
// process of its own, so its descriptors are not the readers'.
//
//   bench_slow_readers [limit seconds] [readers ...]     (default: 4 511 600)
#include "server/VoiceServer.h"

#include "LoopbackServers.h"

#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
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

constexpr int kRequests = 25;
constexpr size_t kReadPerSecond = 2048;

// Serves dir from a child process with that descriptor limit (0: as high as
// allowed); its pid, and its port in port.
pid_t startServer(const fs::path& dir, rlim_t files, int& port)
{
    int ends[2];
    if (::pipe(ends) != 0)
        return -1;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ends[0]);
        rlimit limit{};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = files ? std::min(files, limit.rlim_max) : limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        VoiceCatalogue catalogue;
        std::vector<std::string> warnings;
        catalogue.load(dir, warnings);
        VoiceServer server(std::move(catalogue));
        int bound = server.bind("127.0.0.1", 0);
        if (::write(ends[1], &bound, sizeof bound) != sizeof bound)
            ::_exit(1);
        ::close(ends[1]);
        server.run();
        ::_exit(0);
    }
    ::close(ends[1]);
    port = -1;
    if (pid < 0 || ::read(ends[0], &port, sizeof port) != sizeof port)
        port = -1;
    ::close(ends[0]);
    return pid;
}

// One request for the language list; the milliseconds until the whole answer
// came, or -1 when none came within limit.
double ask(int port, std::chrono::milliseconds limit)
{
    const std::string request = "GET /langs.php HTTP/1.1\r\nHost: b\r\nConnection: close\r\n\r\n";
    Clock::time_point t0 = Clock::now();
    int fd = testutil::connectLoopback(port);
    if (fd < 0)
        return -1;
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string text;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t0 + limit - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, int(left)) <= 0)
            break;
        char buf[4096];
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        text.append(buf, size_t(n));
    }
    ::close(fd);
    bool answered = text.rfind("HTTP/1.1 200", 0) == 0 && text.size() >= 2
                    && text.compare(text.size() - 2, 2, "[]") == 0;
    return answered ? std::chrono::duration<double, std::milli>(Clock::now() - t0).count() : -1;
}

void scenario(const fs::path& dir, int readers, rlim_t files, std::chrono::milliseconds limit)
{
    int port = -1;
    pid_t server = startServer(dir, files, port);
    if (server < 0 || port <= 0) {
        std::fprintf(stderr, "cannot start the server\n");
        std::exit(1);
    }

    std::vector<int> crowd;
    const std::string get = "GET /download/big.bin HTTP/1.1\r\nHost: b\r\nConnection: close\r\n\r\n";
    for (int i = 0; i < readers; ++i) {
        int fd = testutil::connectLoopback(port, 4096);
        if (fd < 0) {
            std::perror("connect");
            std::exit(1);
        }
        ::send(fd, get.data(), get.size(), MSG_NOSIGNAL);
        crowd.push_back(fd);
    }
    // Each reader takes its 2 KiB once a second.
    std::atomic<bool> done{false};
    std::thread reading([&] {
        std::vector<char> buf(kReadPerSecond);
        std::vector<bool> open(crowd.size(), true);
        while (!done) {
            Clock::time_point tick = Clock::now();
            for (size_t i = 0; i < crowd.size(); ++i) {
                if (!open[i])
                    continue;
                ssize_t n = ::recv(crowd[i], buf.data(), buf.size(), MSG_DONTWAIT);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                    open[i] = false;
            }
            std::this_thread::sleep_until(tick + std::chrono::seconds(1));
        }
    });
    // Time for the crowd to be taken in and its downloads to begin.
    std::this_thread::sleep_for(std::chrono::seconds(3));

    std::vector<double> ms;
    for (int i = 0; i < kRequests; ++i) {
        double t = ask(port, limit);
        if (std::getenv("BENCH_VERBOSE"))
            std::fprintf(stderr, "  request %d: %.1f ms\n", i, t);
        if (t >= 0)
            ms.push_back(t);
    }
    done = true;
    reading.join();
    // A reader the server has dropped ends after what it still holds.
    int ended = 0;
    for (int fd : crowd) {
        char buf[65536];
        ssize_t n;
        while ((n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT)) > 0) {
        }
        ended += n == 0 || (n < 0 && errno != EAGAIN);
        ::close(fd);
    }
    ::kill(server, SIGKILL);
    ::waitpid(server, nullptr, 0);

    std::sort(ms.begin(), ms.end());
    std::string limitText = files ? std::to_string(files) : std::string("high");
    std::printf("%4d slow readers, descriptor limit %-5s: %2zu of %d answered within %lld s", readers,
                limitText.c_str(), ms.size(), kRequests, static_cast<long long>(limit.count() / 1000));
    if (!ms.empty())
        std::printf(", median %.1f ms, max %.1f ms", ms[ms.size() / 2], ms.back());
    std::printf("; %d readers dropped\n", ended);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    std::chrono::milliseconds limit(argc > 1 ? std::atoi(argv[1]) * 1000 : 4000);
    std::vector<int> counts;
    for (int i = 2; i < argc; ++i)
        counts.push_back(std::atoi(argv[i]));
    if (counts.empty())
        counts = {511, 600};
    // The readers' sockets are this process's.
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
    std::signal(SIGPIPE, SIG_IGN);

    fs::path dir = fs::temp_directory_path() / ("bench_slow_readers_" + std::to_string(::getpid()));
    fs::create_directories(dir / "download");
    std::ofstream(dir / "download" / "big.bin").close();
    fs::resize_file(dir / "download" / "big.bin", 256u * 1024 * 1024);
    for (rlim_t fileLimit : {rlim_t(0), rlim_t(1024)}) {
        for (int readers : counts)
            scenario(dir, readers, fileLimit, limit);
    }
    fs::remove_all(dir);
    return 0;
}
