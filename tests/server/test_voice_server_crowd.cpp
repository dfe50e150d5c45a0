#include "InProcessServer.h"
#include "LoopbackServers.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A socket from the given loopback address to the server, with a small
// receive buffer when asked.
int connectFrom(const char* from, int port, bool smallBuffer = true)
{
    int fd = testutil::connectLoopback(port, smallBuffer ? 4096 : 0, from);
    EXPECT_GE(fd, 0) << from;
    return fd;
}

// The language list asked on a connection of its own: the whole answer, or
// what came before the time limit.
std::string askLangs(int port)
{
    int fd = connectFrom("127.0.0.1", port);
    timeval limit{testutil::hangLimitMs / 1000, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    const std::string request = "GET /langs.php HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;)
        text.append(buf, size_t(n));
    ::close(fd);
    return text;
}

// Our server program serving dir on a free port, started by sh after the
// shell commands before (such as a ulimit); its port, or -1.
int startProgram(QProcess& server, const fs::path& dir, const QString& before)
{
    const QString program = testutil::binDir() + "/quorvine_voice_server";
    server.start("sh", {"-c", before + "exec \"$0\" \"$@\"", program, "--catalogue",
                        QString::fromStdString(dir.u8string()), "--port", "0"});
    if (!server.waitForStarted(testutil::hangLimitMs)) {
        ADD_FAILURE() << "the server did not start";
        return -1;
    }
    if (!testutil::waitFor([&] { return server.canReadLine(); }, testutil::hangLimitMs)) {
        ADD_FAILURE() << "no address from the server: " << server.readAllStandardError().constData();
        return -1;
    }
    QRegularExpressionMatch m = QRegularExpression(":(\\d+)/").match(QString::fromUtf8(server.readLine()));
    EXPECT_TRUE(m.hasMatch());
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// Connections from the given addresses that each send request (or nothing)
// and then read nothing, re-opened as soon as the server drops them.
class Crowd
{
public:
    Crowd(int port, std::vector<std::string> from, std::string request)
        : port(port), from(std::move(from)), request(std::move(request)), thread([this] { run(); })
    {
    }
    ~Crowd()
    {
        done = true;
        thread.join();
    }

    std::atomic<int> connected{0}; // connections that have sent their request
    std::atomic<int> reopened{0};

private:
    void run()
    {
        std::vector<int> fds(from.size(), -1);
        std::vector<bool> sent(from.size());
        std::vector<pollfd> polled(from.size());
        while (!done) {
            for (size_t i = 0; i < fds.size(); ++i) {
                if (fds[i] < 0) {
                    fds[i] = testutil::connectLoopback(port, 4096, from[i].c_str(), false);
                    sent[i] = false;
                }
                polled[i] = {fds[i], short(sent[i] ? POLLRDHUP : POLLOUT), 0};
            }
            ::poll(polled.data(), polled.size(), 20);
            for (size_t i = 0; i < fds.size(); ++i) {
                if (polled[i].revents & (POLLERR | POLLHUP | POLLRDHUP)) {
                    ::close(fds[i]);
                    fds[i] = -1;
                    connected -= sent[i];
                    ++reopened;
                } else if (!sent[i] && (polled[i].revents & POLLOUT)) {
                    ::send(fds[i], request.data(), request.size(), MSG_NOSIGNAL);
                    sent[i] = true;
                    ++connected;
                }
            }
        }
        for (int fd : fds)
            ::close(fd);
    }

    const int port;
    const std::vector<std::string> from;
    const std::string request;
    std::atomic<bool> done{false};
    std::thread thread;
};

} // namespace

TEST(VoiceServerCrowd, NewClientsAreAnsweredBesideSixHundredSlowReaders)
{
    // The server's own descriptor limit: enough for all of its connections, and 1024.
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, 8192);
    ::setrlimit(RLIMIT_NOFILE, &files);
    if (files.rlim_cur < 2000)
        GTEST_SKIP() << "too few file descriptors";
    testutil::TempDir dir;
    fs::create_directories(dir.path() / "download");
    testutil::writeFile(dir.path() / "download" / "big.bin", "");
    fs::resize_file(dir.path() / "download" / "big.bin", 256u * 1024 * 1024);
    const std::string get = "GET /download/big.bin HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n";

    for (const char* limitFiles : {"", "ulimit -n 1024 && "}) {
        SCOPED_TRACE(*limitFiles ? limitFiles : "descriptor limit as raised");
        QProcess server;
        const int port = startProgram(server, dir.path(), limitFiles);
        ASSERT_GT(port, 0);

        // 600 downloads, each read 2 KiB a second: more than the server holds at once.
        std::vector<int> readers;
        for (int i = 0; i < 600; ++i) {
            readers.push_back(connectFrom("127.0.0.1", port));
            ::send(readers.back(), get.data(), get.size(), MSG_NOSIGNAL);
        }
        std::vector<std::atomic<uint64_t>> got(readers.size());
        std::vector<std::atomic<bool>> ended(readers.size());
        std::atomic<bool> done{false};
        std::thread reading([&] {
            char buf[2048];
            while (!done) {
                for (size_t i = 0; i < readers.size(); ++i) {
                    ssize_t n = ended[i] ? 0 : ::recv(readers[i], buf, sizeof buf, MSG_DONTWAIT);
                    if (n > 0)
                        got[i] += uint64_t(n);
                    else if (n == 0 || errno != EAGAIN)
                        ended[i] = true;
                }
                std::this_thread::sleep_for(std::chrono::seconds(1));
            }
        });
        auto served = [&] { return std::count_if(got.begin(), got.end(), [](const auto& g) { return g > 0; }); };
        EXPECT_TRUE(testutil::waitFor([&] { return served() >= 480; }, testutil::hangLimitMs)) << served();

        // With every connection taken, each new client is still answered.
        for (int i = 0; i < 10; ++i) {
            std::string text = askLangs(port);
            bool answered = text.rfind("HTTP/1.1 200 ", 0) == 0 && text.size() > 6;
            EXPECT_TRUE(answered) << i << ": " << text;
            if (!answered)
                break;
            EXPECT_EQ(text.substr(text.size() - 6), "\r\n\r\n[]") << i;
        }
        // Those of the crowd that got in were served.
        EXPECT_GE(served(), 480);

        done = true;
        reading.join();
        for (int fd : readers)
            ::close(fd);
        server.terminate();
        EXPECT_TRUE(server.waitForFinished(testutil::hangLimitMs));
    }
}

TEST(VoiceServerCrowd, TheAddressHoldingMostConnectionsGivesWay)
{
    testutil::TempDir dir;
    fs::create_directories(dir.path() / "download");
    testutil::writeFile(dir.path() / "download" / "big.bin", "");
    // Large enough that no fast reader comes to its end during the test.
    fs::resize_file(dir.path() / "download" / "big.bin", 4096ull * 1024 * 1024);
    ConnectionLimits limits;
    limits.maxConnections = 4;
    limits.writeTimeout = std::chrono::minutes(5);
    testutil::InProcessServer server(dir.path(), limits);

    // The slowest download, whose client reads nothing, comes from an address
    // of its own; three from this address are read fast.
    const std::string get = "GET /download/big.bin HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n";
    std::vector<int> readers;
    for (const char* from : {"127.0.0.2", "127.0.0.1", "127.0.0.1", "127.0.0.1"}) {
        readers.push_back(connectFrom(from, server.port, readers.empty()));
        ::send(readers.back(), get.data(), get.size(), MSG_NOSIGNAL);
    }
    std::vector<std::atomic<uint64_t>> got(readers.size());
    std::atomic<int> ended{0};
    std::atomic<bool> done{false};
    std::thread reading([&] {
        std::vector<char> buf(256 * 1024);
        std::vector<bool> open(readers.size(), true);
        while (!done) {
            for (size_t i = 1; i < readers.size(); ++i) {
                ssize_t n = open[i] ? ::recv(readers[i], buf.data(), buf.size(), MSG_DONTWAIT) : 1;
                if (n > 0) {
                    got[i] += uint64_t(n);
                } else if (n == 0 || (n < 0 && errno != EAGAIN)) {
                    open[i] = false;
                    ++ended;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    // Every download under way, the fast ones well past what the slow one took at once.
    char first;
    EXPECT_TRUE(testutil::waitFor(
        [&] {
            return std::all_of(got.begin() + 1, got.end(), [](const auto& g) { return g > 16u << 20; })
                   && ::recv(readers[0], &first, 1, MSG_PEEK | MSG_DONTWAIT) == 1;
        },
        testutil::hangLimitMs));

    std::string text = askLangs(server.port);
    EXPECT_EQ(text.rfind("HTTP/1.1 200 ", 0), 0u) << text;
    EXPECT_TRUE(testutil::waitFor([&] { return ended > 0; }, testutil::hangLimitMs));
    EXPECT_EQ(ended, 1);
    tcp_info info{};
    socklen_t length = sizeof info;
    EXPECT_EQ(::getsockopt(readers[0], IPPROTO_TCP, TCP_INFO, &info, &length), 0);
    EXPECT_EQ(info.tcpi_state, TCP_ESTABLISHED);

    done = true;
    reading.join();
    for (int fd : readers)
        ::close(fd);
}

TEST(VoiceServerCrowd, AnHonestDownloadCompletesBesideAttackersThatReOpenWhatIsDropped)
{
    testutil::TempDir dir;
    fs::create_directories(dir.path() / "download");
    testutil::writeFile(dir.path() / "download" / "big.bin", "");
    fs::resize_file(dir.path() / "download" / "big.bin", 1024u * 1024 * 1024);
    QByteArray content(16 * 1024 * 1024, '\0');
    for (int i = 0; i < content.size(); ++i)
        content[i] = char((i * 13 + i / 65536) % 251);
    testutil::writeFile(dir.path() / "download" / "honest.bin", content);
    ConnectionLimits limits;
    limits.maxConnections = 24;
    // Attackers that read nothing stay until a new connection takes their place.
    limits.writeTimeout = std::chrono::minutes(10);
    testutil::InProcessServer server(dir.path(), limits);

    // 60 attackers, six from each of ten addresses: more than the server holds.
    std::vector<std::string> from;
    for (int i = 0; i < 60; ++i)
        from.push_back("127.0.0." + std::to_string(2 + i % 10));
    Crowd attackers(server.port, from, "GET /download/big.bin HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n");
    ASSERT_TRUE(testutil::waitFor([&] { return attackers.reopened > 0; }, testutil::hangLimitMs));

    // The honest client reads all the time, a few kilobytes at a time, while
    // the attackers take each other's places.
    const int reopenedBefore = attackers.reopened;
    int fd = connectFrom("127.0.0.1", server.port);
    timeval limit{testutil::hangLimitMs / 1000, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    const std::string request = "GET /download/honest.bin HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string text;
    char buf[16384];
    ssize_t n;
    while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) {
        text.append(buf, size_t(n));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const int error = n < 0 ? errno : 0;
    ::close(fd);
    EXPECT_EQ(n, 0) << std::strerror(error);
    EXPECT_EQ(text.rfind("HTTP/1.1 200 ", 0), 0u) << text.substr(0, 200);
    size_t body = text.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    EXPECT_EQ(text.size() - body - 4, size_t(content.size()));
    EXPECT_TRUE(text.compare(body + 4, std::string::npos, content.constData(), size_t(content.size())) == 0);
    EXPECT_GT(attackers.reopened, reopenedBefore);
}

TEST(VoiceServerCrowd, ANormalClientIsAnsweredWhileIdleConnectionsFloodTheQueue)
{
    testutil::TempDir dir;
    // Soft limit only: raised by the server; soft and hard: connections
    // within what is left.
    for (const char* limitFiles : {"ulimit -Sn 64 && ", "ulimit -n 64 && "}) {
        SCOPED_TRACE(limitFiles);
        QProcess server;
        const int port = startProgram(server, dir.path(), limitFiles);
        ASSERT_GT(port, 0);

        // 300 connections that send nothing, far more than the server holds at 64 descriptors.
        Crowd idle(port, std::vector<std::string>(300, "127.0.0.1"), std::string());
        ASSERT_TRUE(testutil::waitFor([&] { return idle.connected == 300; }, testutil::hangLimitMs));
        for (int i = 0; i < 3; ++i) {
            std::string text = askLangs(port);
            EXPECT_EQ(text.rfind("HTTP/1.1 200 ", 0), 0u) << i << ": " << text;
            EXPECT_TRUE(text.size() > 2 && text.compare(text.size() - 2, 2, "[]") == 0) << i;
        }
        server.terminate();
        EXPECT_TRUE(server.waitForFinished(testutil::hangLimitMs));
    }
}
