// Our voice server under hostile crowds. The server runs in a child process
// of its own, so its descriptors are not the clients'; a descriptor limit
// given to a scenario is set as `ulimit -n` sets it (soft and hard), "high"
// is the soft limit raised to the hard one.
//
//   bench_slow_readers [limit seconds] [readers ...]     (default: 4 511 600)
// Each of the readers GETs a large download and reads 2 KiB a second, while a
// normal client asks for the language list 25 times, one request after
// another. Prints how many of those were answered within the limit, their
// median and largest answer times, and how many readers the server dropped;
// for each crowd size, with the descriptor limit high and at 1024.
//
//   bench_slow_readers attack [honest KiB]               (default: 4096)
// 600 attackers from 127.0.0.2 to 127.0.0.250 (two or three connections an
// address) read the large download at 2 KiB/s each and re-open what the
// server drops; honest clients on 127.0.0.1 download a file of that size at
// 20 KiB/s. Prints how long each honest download lasted, its bytes and
// whether it completed, and the largest send queue the server held for one
// connection; with 1 and 3 honest clients, and at limit 256 with one
// attacker an address.
//
//   bench_slow_readers flood [requests]                  (default: 15)
// 4000 idle connections that send nothing and are re-opened when dropped,
// then a normal client's language-list requests one after another: prints
// their median and largest wait; with the descriptor limit high, 256 and 128,
// and 80 idle connections at 64.
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
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRequests = 25;
constexpr size_t kReadPerSecond = 2048;

// Serves dir from a child process with that descriptor limit (0: the soft
// limit raised to the hard one); its pid, and its port in port.
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
        if (files)
            limit.rlim_max = std::min(files, limit.rlim_max);
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        // Only what a started server holds: the bench's own sockets are not inherited.
        for (int fd = 3; fd < 65536; ++fd) {
            if (fd != ends[1])
                ::close(fd);
        }
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
    if (port <= 0) {
        std::fprintf(stderr, "cannot start the server\n");
        std::exit(1);
    }
    return pid;
}

void stopServer(pid_t server)
{
    ::kill(server, SIGKILL);
    ::waitpid(server, nullptr, 0);
}

std::string limitText(rlim_t files)
{
    return files ? std::to_string(files) : std::string("high");
}

// One request for the language list on a connection of its own; the
// milliseconds from the connect to the whole answer, or -1 when none came
// within limit.
double ask(int port, std::chrono::milliseconds limit)
{
    const std::string request = "GET /langs.php HTTP/1.1\r\nHost: b\r\nConnection: close\r\n\r\n";
    Clock::time_point t0 = Clock::now();
    int fd = testutil::connectLoopback(port, 0, "127.0.0.1", false);
    if (fd < 0)
        return -1;
    bool sent = false;
    std::string text;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t0 + limit - Clock::now()).count();
        pollfd p{fd, short(sent ? POLLIN : POLLOUT), 0};
        if (left <= 0 || ::poll(&p, 1, int(left)) <= 0)
            break;
        if (!sent) {
            sent = ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size());
            if (!sent)
                break;
            continue;
        }
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

// The largest send queue, in bytes, of one of the server's connections on port.
long largestSendQueue(int port)
{
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);
    long largest = 0;
    while (std::getline(table, line)) {
        std::istringstream in(line);
        std::string slot, local, remote, state, queues;
        in >> slot >> local >> remote >> state >> queues;
        if (local.size() < 5 || std::stoi(local.substr(local.size() - 4), nullptr, 16) != port)
            continue;
        largest = std::max(largest, std::stol(queues.substr(0, queues.find(':')), nullptr, 16));
    }
    return largest;
}

void readersScenario(const fs::path& dir, int readers, rlim_t files, std::chrono::milliseconds limit)
{
    int port = -1;
    pid_t server = startServer(dir, files, port);

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
    stopServer(server);

    std::sort(ms.begin(), ms.end());
    std::printf("%4d slow readers, descriptor limit %-5s: %2zu of %d answered within %lld s", readers,
                limitText(files).c_str(), ms.size(), kRequests, static_cast<long long>(limit.count() / 1000));
    if (!ms.empty())
        std::printf(", median %.1f ms, max %.1f ms", ms[ms.size() / 2], ms.back());
    std::printf("; %d readers dropped\n", ended);
    std::fflush(stdout);
}

// A client that GETs path and reads at most perTick bytes every 100 ms,
// re-opening its connection when asked to.
struct Downloader
{
    std::string from;
    int fd = -1;
    bool sent = false;
    double allowance = 0;
    uint64_t got = 0;      // bytes of the answer, head included
    uint64_t expected = 0; // the whole answer, once its head has come
    std::string head;
    Clock::time_point opened;
    Clock::time_point ended;
    Clock::time_point reset; // when the server's reset came, if one came
    bool cut = false;      // ended before the answer's end
    int reopened = 0;
};

// One step of d: connects, sends the request once connected, reads what its
// allowance lets it; false once the connection has ended.
bool step(Downloader& d, const std::string& request, std::vector<char>& buf)
{
    if (!d.sent) {
        pollfd p{d.fd, POLLOUT, 0};
        if (::poll(&p, 1, 0) <= 0)
            return true;
        if ((p.revents & (POLLERR | POLLHUP))
            || ::send(d.fd, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size()))
            return false;
        d.sent = true;
    }
    while (d.allowance >= 1) {
        size_t want = std::min(buf.size(), size_t(d.allowance));
        ssize_t n = ::recv(d.fd, buf.data(), want, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return true;
        if (n <= 0)
            return false;
        d.allowance -= double(n);
        if (d.expected == 0 && d.head.size() < 4096) {
            d.head.append(buf.data(), size_t(n));
            size_t end = d.head.find("\r\n\r\n");
            size_t length = d.head.find("Content-Length: ");
            if (end != std::string::npos && length != std::string::npos)
                d.expected = end + 4 + std::strtoull(d.head.c_str() + length + 16, nullptr, 10);
        }
        d.got += uint64_t(n);
        if (d.expected && d.got >= d.expected)
            return false;
    }
    return true;
}

void attackScenario(const fs::path& dir, rlim_t files, int attackers, int honestCount, uint64_t honestSize)
{
    int port = -1;
    pid_t server = startServer(dir, files, port);
    const std::string attack = "GET /download/big.bin HTTP/1.1\r\nHost: b\r\nConnection: close\r\n\r\n";
    const std::string honestGet = "GET /download/honest.bin HTTP/1.1\r\nHost: b\r\nConnection: close\r\n\r\n";
    const int addresses = 249;
    const int attackerBuffer = std::getenv("BENCH_ATTACKER_RCVBUF") ? std::atoi(std::getenv("BENCH_ATTACKER_RCVBUF")) : 4096;

    std::vector<Downloader> crowd(static_cast<size_t>(attackers));
    for (size_t i = 0; i < crowd.size(); ++i)
        crowd[i].from = "127.0.0." + std::to_string(2 + i % addresses);
    std::vector<Downloader> honest(static_cast<size_t>(honestCount));
    for (Downloader& d : honest)
        d.from = "127.0.0.1";

    std::atomic<bool> done{false};
    std::atomic<long> largestQueue{0};
    std::atomic<int> reopened{0};
    // Attackers re-open a connection as soon as the server drops it.
    std::thread attacking([&] {
        std::vector<char> buf(65536);
        std::vector<pollfd> polled(crowd.size());
        Clock::time_point tick = Clock::now();
        while (!done) {
            for (size_t i = 0; i < crowd.size(); ++i) {
                Downloader& d = crowd[i];
                if (d.fd < 0) {
                    d.fd = testutil::connectLoopback(port, attackerBuffer, d.from.c_str(), false);
                    d.sent = false;
                    d.allowance = 0;
                }
                polled[i] = {d.fd, short(d.sent ? POLLRDHUP : POLLOUT), 0};
            }
            ::poll(polled.data(), polled.size(), 10);
            const bool reading = Clock::now() >= tick;
            if (reading)
                tick += std::chrono::milliseconds(100);
            for (size_t i = 0; i < crowd.size(); ++i) {
                Downloader& d = crowd[i];
                if (d.fd < 0)
                    continue;
                bool ended = polled[i].revents & (POLLERR | POLLHUP | POLLRDHUP);
                if (!ended && (reading || !d.sent)) {
                    if (reading)
                        d.allowance = std::min<double>(d.allowance + kReadPerSecond / 10.0, kReadPerSecond);
                    ended = !step(d, attack, buf);
                }
                if (ended) {
                    ::close(d.fd);
                    d.fd = -1;
                    ++reopened;
                }
            }
        }
    });
    std::thread watching([&] {
        while (!done) {
            largestQueue = std::max<long>(largestQueue, largestSendQueue(port));
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    });
    // The crowd is under way before the honest clients come.
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const int reopenedBefore = reopened;

    std::vector<char> buf(65536);
    for (Downloader& d : honest) {
        d.fd = testutil::connectLoopback(port, 0, d.from.c_str(), false);
        d.opened = Clock::now();
    }
    // 20 KiB/s, for at most twice the time that takes and a minute more.
    const auto limit = std::chrono::seconds(int(honestSize / (10 * kReadPerSecond)) * 2 + 60);
    Clock::time_point tick = Clock::now();
    for (size_t open = honest.size(); open > 0 && Clock::now() - honest[0].opened < limit;) {
        for (Downloader& d : honest) {
            if (d.fd < 0)
                continue;
            // A reset shows at once, though what came before it is still read.
            pollfd p{d.fd, 0, 0};
            if (d.reset == Clock::time_point() && ::poll(&p, 1, 0) > 0 && (p.revents & (POLLERR | POLLHUP)))
                d.reset = Clock::now();
            d.allowance = std::min<double>(d.allowance + kReadPerSecond, 10 * kReadPerSecond);
            if (!step(d, honestGet, buf)) {
                d.cut = !(d.expected && d.got >= d.expected);
                d.ended = Clock::now();
                ::close(d.fd);
                d.fd = -1;
                --open;
            }
        }
        tick += std::chrono::milliseconds(100);
        std::this_thread::sleep_until(tick);
    }
    const int reopenedMeanwhile = reopened - reopenedBefore;
    done = true;
    attacking.join();
    watching.join();
    for (Downloader& d : crowd) {
        if (d.fd >= 0)
            ::close(d.fd);
    }
    stopServer(server);

    std::printf("%d attackers over %d addresses, descriptor limit %s, %d honest:\n", attackers,
                std::min(attackers, addresses), limitText(files).c_str(), honestCount);
    for (size_t i = 0; i < honest.size(); ++i) {
        Downloader& d = honest[i];
        uint64_t body = d.expected ? d.got - std::min(d.got, d.expected - honestSize) : 0;
        if (d.fd >= 0) {
            ::close(d.fd);
            std::printf("  honest %zu: still open at the limit, %llu of %llu bytes\n", i + 1,
                        static_cast<unsigned long long>(body), static_cast<unsigned long long>(honestSize));
            continue;
        }
        std::printf("  honest %zu: %s after %.1f s, %llu of %llu bytes", i + 1, d.cut ? "CUT" : "complete",
                    std::chrono::duration<double>(d.ended - d.opened).count(), static_cast<unsigned long long>(body),
                    static_cast<unsigned long long>(honestSize));
        if (d.reset != Clock::time_point())
            std::printf(" (reset by the server %.1f s after the start)",
                        std::chrono::duration<double>(d.reset - d.opened).count());
        std::printf("\n");
    }
    std::printf("  attackers re-opened %d connections meanwhile; largest send queue of one connection %.1f kB\n",
                reopenedMeanwhile, largestQueue / 1024.0);
    std::fflush(stdout);
}

void floodScenario(const fs::path& dir, rlim_t files, int idle, int requests)
{
    int port = -1;
    pid_t server = startServer(dir, files, port);
    std::atomic<bool> done{false};
    std::atomic<int> reopened{0};
    std::thread flooding([&] {
        std::vector<int> fds(static_cast<size_t>(idle), -1);
        std::vector<pollfd> polled(fds.size());
        while (!done) {
            for (size_t i = 0; i < fds.size(); ++i) {
                if (fds[i] < 0)
                    fds[i] = testutil::connectLoopback(port, 0, "127.0.0.1", false);
                polled[i] = {fds[i], POLLIN, 0};
            }
            ::poll(polled.data(), polled.size(), 50);
            for (size_t i = 0; i < fds.size(); ++i) {
                if (fds[i] >= 0 && polled[i].revents) {
                    ::close(fds[i]);
                    fds[i] = -1;
                    ++reopened;
                }
            }
        }
        for (int fd : fds) {
            if (fd >= 0)
                ::close(fd);
        }
    });
    std::this_thread::sleep_for(std::chrono::seconds(3));

    std::vector<double> ms;
    for (int i = 0; i < requests; ++i) {
        double t = ask(port, std::chrono::seconds(60));
        if (std::getenv("BENCH_VERBOSE"))
            std::fprintf(stderr, "  request %d: %.1f ms\n", i, t);
        if (t >= 0)
            ms.push_back(t);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    done = true;
    flooding.join();
    stopServer(server);

    std::sort(ms.begin(), ms.end());
    std::printf("%4d idle connections, descriptor limit %-5s: %2zu of %d answered within 60 s", idle,
                limitText(files).c_str(), ms.size(), requests);
    if (!ms.empty())
        std::printf(", wait median %.0f ms, max %.0f ms", ms[ms.size() / 2], ms.back());
    std::printf("; %d idle connections re-opened\n", reopened.load());
    std::fflush(stdout);
}

void makeFile(const fs::path& path, uint64_t size)
{
    std::ofstream(path).close();
    fs::resize_file(path, size);
}

} // namespace

int main(int argc, char** argv)
{
    // The clients' sockets are this process's.
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
    std::signal(SIGPIPE, SIG_IGN);

    fs::path dir = fs::temp_directory_path() / ("bench_slow_readers_" + std::to_string(::getpid()));
    fs::create_directories(dir / "download");
    makeFile(dir / "download" / "big.bin", 256u * 1024 * 1024);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "attack") {
        uint64_t honestSize = uint64_t(argc > 2 ? std::atoi(argv[2]) : 4096) * 1024;
        makeFile(dir / "download" / "honest.bin", honestSize);
        attackScenario(dir, 0, 600, 1, honestSize);
        attackScenario(dir, 0, 600, 3, honestSize);
        attackScenario(dir, 256, 249, 1, honestSize);
    } else if (mode == "flood") {
        int requests = argc > 2 ? std::atoi(argv[2]) : 15;
        floodScenario(dir, 0, 4000, requests);
        floodScenario(dir, 256, 4000, requests);
        floodScenario(dir, 128, 4000, requests);
        floodScenario(dir, 64, 80, requests);
    } else {
        std::chrono::milliseconds limit(argc > 1 ? std::atoi(argv[1]) * 1000 : 4000);
        std::vector<int> counts;
        for (int i = 2; i < argc; ++i)
            counts.push_back(std::atoi(argv[i]));
        if (counts.empty())
            counts = {511, 600};
        for (rlim_t fileLimit : {rlim_t(0), rlim_t(1024)}) {
            for (int readers : counts)
                readersScenario(dir, readers, fileLimit, limit);
        }
    }
    fs::remove_all(dir);
    return 0;
}
