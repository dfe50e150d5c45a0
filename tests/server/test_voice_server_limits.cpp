#include "server/VoicePackageFile.h"
#include "server/VoiceServer.h"

#include "InProcessServer.h"
#include "LoopbackServers.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <thread>

namespace fs = std::filesystem;

namespace {

struct Reply
{
    int status = 0;
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
};

// A socket connected to the server, with a generous time limit on reads; a
// receive buffer of that many bytes when asked.
int connectTo(int port, int receiveBuffer = 0)
{
    int fd = testutil::connectLoopback(port, receiveBuffer);
    EXPECT_GE(fd, 0);
    timeval limit{30, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd;
}

// Everything the server sends until it closes the connection (or 30 s pass).
std::string readAll(int fd)
{
    std::string out;
    char buf[65536];
    ssize_t n;
    while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0)
        out.append(buf, size_t(n));
    return out;
}

// Splits the first answer off text.
Reply parseReply(std::string& text)
{
    Reply r;
    size_t end = text.find("\r\n\r\n");
    if (text.rfind("HTTP/1.1 ", 0) != 0 || end == std::string::npos)
        return r;
    r.status = std::atoi(text.c_str() + 9);
    size_t pos = text.find("\r\n") + 2;
    while (pos < end) {
        size_t eol = text.find("\r\n", pos), colon = text.find(':', pos);
        std::string name = text.substr(pos, colon - pos);
        for (char& c : name)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        r.headers[name] = text.substr(colon + 2, eol - colon - 2);
        pos = eol + 2;
    }
    size_t length = size_t(std::atoll(r.headers["content-length"].c_str()));
    r.body = text.substr(end + 4, length);
    text.erase(0, end + 4 + length);
    return r;
}

Reply ask(int port, const std::string& request)
{
    int fd = connectTo(port);
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string text = readAll(fd);
    ::close(fd);
    return parseReply(text);
}

// True while the server keeps the connection open and has sent nothing.
bool stillWaiting(int fd)
{
    char c;
    return ::recv(fd, &c, 1, MSG_DONTWAIT) < 0 && errno == EAGAIN;
}

// True while the server's end of the client's connection fd is established
// (read from the kernel's table, so nothing is taken from the socket).
bool serverSideEstablished(int serverPort, int fd)
{
    sockaddr_in local{};
    socklen_t len = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len);
    char want[64];
    std::snprintf(want, sizeof want, "0100007F:%04X 0100007F:%04X 01", serverPort, ntohs(local.sin_port));
    std::ifstream table("/proc/net/tcp");
    std::string line;
    while (std::getline(table, line)) {
        if (line.find(want) != std::string::npos)
            return true;
    }
    return false;
}

std::string get(const std::string& path, const std::string& extra = "")
{
    return "GET " + path + " HTTP/1.1\r\nHost: t\r\n" + extra + "Connection: close\r\n\r\n";
}

class LimitsTest : public testing::Test
{
protected:
    void start(ConnectionLimits limits)
    {
        fs::create_directories(dir.path() / "download");
        std::string data;
        for (int i = 0; i < 100; ++i)
            data.push_back(char('A' + i % 26));
        testutil::writeFile(dir.path() / "download" / "data.bin", QByteArray::fromStdString(data));
        server = std::make_unique<testutil::InProcessServer>(dir.path(), limits);
        port = server->port;
        ASSERT_GT(port, 0);
    }

    testutil::TempDir dir;
    std::unique_ptr<testutil::InProcessServer> server;
    int port = 0;
};

} // namespace

TEST_F(LimitsTest, SlowAndIdleClientsDoNotHoldUpOthers)
{
    // Limits far beyond the test, so only a server that reads all connections
    // at once can answer while the slow ones are still open.
    ConnectionLimits limits;
    limits.idleTimeout = limits.requestTimeout = std::chrono::minutes(5);
    start(limits);
    std::vector<int> slow;
    for (int i = 0; i < 50; ++i) {
        slow.push_back(connectTo(port));
        if (i % 2 == 0) {
            std::string part = "GET /langs.php HTTP/1.1\r\nHost: t\r\nX-Slow: " + std::to_string(i) + "\r\n";
            ::send(slow.back(), part.data(), part.size(), MSG_NOSIGNAL);
        }
    }
    for (int round = 0; round < 3; ++round) {
        Reply r = ask(port, get("/langs.php"));
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.body, "[]");
    }
    for (int fd : slow) {
        EXPECT_TRUE(stillWaiting(fd));
        ::close(fd);
    }
}

TEST_F(LimitsTest, SlowRequestsTimeOutAndIdleConnectionsClose)
{
    ConnectionLimits limits;
    limits.idleTimeout = limits.requestTimeout = std::chrono::milliseconds(300);
    start(limits);
    int idle = connectTo(port);
    int slow = connectTo(port);
    std::string part = "GET /langs.php HTTP/1.1\r\nHost: t\r\n";
    ::send(slow, part.data(), part.size(), MSG_NOSIGNAL);
    EXPECT_EQ(readAll(idle), "");
    std::string text = readAll(slow);
    EXPECT_EQ(parseReply(text).status, 408);
    ::close(idle);
    ::close(slow);
}

TEST_F(LimitsTest, RequestHeadLimits)
{
    start(ConnectionLimits());
    std::string headers40k;
    for (int i = 0; i < 40; ++i)
        headers40k += "X-H" + std::to_string(i) + ": " + std::string(1000, 'h') + "\r\n";
    std::string many;
    for (int i = 0; i < 150; ++i)
        many += "X-N" + std::to_string(i) + ": n\r\n";
    struct Case
    {
        const char* what;
        std::string request;
        int status;
    } cases[] = {
        {"plain", get("/langs.php"), 200},
        {"empty lines first", "\r\n\r\n" + get("/langs.php"), 200},
        {"request line too long", get("/langs.php?x=" + std::string(9000, 'x')), 400},
        {"header too long", get("/langs.php", "X-Long: " + std::string(9000, 'l') + "\r\n"), 431},
        {"headers too large together", get("/langs.php", headers40k), 431},
        {"too many headers", get("/langs.php", many), 431},
        {"space before colon", get("/langs.php", "Content-Length : 0\r\n"), 400},
        {"no colon", get("/langs.php", "NoColon\r\n"), 400},
        {"chunked body", get("/langs.php", "Transfer-Encoding: chunked\r\n"), 411},
        {"large body", get("/langs.php", "Content-Length: 100000\r\n"), 413},
        {"two lengths", get("/langs.php", "Content-Length: 1\r\nContent-Length: 2\r\n") + "ab", 400},
        {"small body", get("/langs.php", "Content-Length: 3\r\n") + "abc", 200},
    };
    for (const Case& c : cases) {
        Reply r = ask(port, c.request);
        EXPECT_EQ(r.status, c.status) << c.what;
    }

    // Two requests in one send are both answered, in order.
    int fd = connectTo(port);
    std::string two = "GET /langs.php HTTP/1.1\r\nHost: t\r\n\r\n" + get("/nothing");
    ::send(fd, two.data(), two.size(), MSG_NOSIGNAL);
    std::string text = readAll(fd);
    ::close(fd);
    EXPECT_EQ(parseReply(text).status, 200);
    EXPECT_EQ(parseReply(text).status, 404);
}

TEST_F(LimitsTest, MalformedRequestsAndOtherMethodsAreAnsweredAtOnce)
{
    // Waiting times far beyond the test: only an answer given at once, with
    // the connection closed after it, ends a case.
    ConnectionLimits limits;
    limits.idleTimeout = limits.requestTimeout = std::chrono::minutes(10);
    start(limits);
    const std::string host = "\r\nHost: t\r\n\r\n";
    struct Case
    {
        const char* what;
        std::string request;
        int status;
    } cases[] = {
        {"lower-case method", "get /langs.php HTTP/1.1" + host, 400},
        {"space in the method", "GE T /langs.php HTTP/1.1" + host, 400},
        {"NUL in the path", std::string("GET /la\0ngs.php HTTP/1.1", 24) + host, 400},
        {"unknown version", "GET /langs.php HTTP/9.9" + host, 400},
        {"no version", "GET /langs.php" + host, 400},
        {"two spaces", "GET  /langs.php HTTP/1.1" + host, 400},
        {"unknown method", "FETCH /langs.php HTTP/1.1" + host, 400},
        {"bare line feeds", "GET /langs.php HTTP/1.1\nHost: t\n\n", 400},
        {"bare line feed in the head", "GET /langs.php HTTP/1.1\r\nHost: t\n\r\n", 400},
        {"OPTIONS", "OPTIONS * HTTP/1.1" + host, 405},
        {"PUT", "PUT /langs.php HTTP/1.1\r\nHost: t\r\nContent-Length: 2\r\n\r\n{}", 405},
        {"DELETE", "DELETE /langs.php HTTP/1.1" + host, 405},
        {"PATCH", "PATCH /langs.php HTTP/1.1" + host, 405},
        {"POST", "POST /langs.php HTTP/1.1\r\nHost: t\r\nContent-Length: 0\r\n\r\n", 405},
    };
    for (const Case& c : cases) {
        int fd = connectTo(port);
        ::send(fd, c.request.data(), c.request.size(), MSG_NOSIGNAL);
        std::string text = readAll(fd);
        char more;
        EXPECT_EQ(::recv(fd, &more, 1, MSG_DONTWAIT), 0) << c.what << ": the server keeps the connection";
        ::close(fd);
        Reply r = parseReply(text);
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(r.headers["allow"], c.status == 405 ? "GET, HEAD" : "") << c.what;
    }
    EXPECT_EQ(ask(port, get("/langs.php")).status, 200);
}

TEST_F(LimitsTest, ByteRanges)
{
    start(ConnectionLimits());
    const std::string data = testutil::readFile(dir.path() / "download" / "data.bin").toStdString();
    struct Case
    {
        const char* range;
        int status;
        std::string contentRange;
        uint64_t offset, length;
    } cases[] = {
        {"bytes=0-9", 206, "bytes 0-9/100", 0, 10},
        {"bytes=90-", 206, "bytes 90-99/100", 90, 10},
        {"bytes=-5", 206, "bytes 95-99/100", 95, 5},
        {"bytes=95-200", 206, "bytes 95-99/100", 95, 5},
        {"bytes=0-9,0-9", 206, "bytes 0-9/100", 0, 10},
        {"bytes=0-9, 5-19", 206, "bytes 0-19/100", 0, 20},
        {"bytes=0-9,200-300", 206, "bytes 0-9/100", 0, 10},
        {"bytes=0-9,50-59", 200, "", 0, 100},
        {"bytes=100-", 416, "bytes */100", 0, 0},
        {"bytes=1000-2000", 416, "bytes */100", 0, 0},
        {"bytes=-0", 416, "bytes */100", 0, 0},
        // Not a range at all: the whole file.
        {"bytes=abc", 200, "", 0, 100},
        {"bytes=9-5", 200, "", 0, 100},
        {"bytes=-", 200, "", 0, 100},
        {"bytes=", 200, "", 0, 100},
        {"bytes=0-9;x", 200, "", 0, 100},
        {"pages=0-9", 200, "", 0, 100},
    };
    for (const Case& c : cases) {
        Reply r = ask(port, get("/download/data.bin", std::string("Range: ") + c.range + "\r\n"));
        EXPECT_EQ(r.status, c.status) << c.range;
        EXPECT_EQ(r.headers["content-range"], c.contentRange) << c.range;
        if (c.status != 416) {
            EXPECT_EQ(r.headers["content-length"], std::to_string(c.length)) << c.range;
            EXPECT_EQ(r.body, data.substr(c.offset, c.length)) << c.range;
        }
    }
}

TEST_F(LimitsTest, OutOfFileDescriptorsAFileIsUnavailableForAWhile)
{
    start(ConnectionLimits());
    rlimit saved{};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    rlimit low = saved;
    low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 1024);
    ::setrlimit(RLIMIT_NOFILE, &low);
    // Every descriptor taken but two: the client's socket and the server's end of it.
    std::vector<int> taken;
    for (int fd; (fd = ::dup(0)) >= 0;)
        taken.push_back(fd);
    ASSERT_GE(taken.size(), 2u);
    ::close(taken.back());
    taken.pop_back();
    ::close(taken.back());
    taken.pop_back();
    Reply r = ask(port, get("/download/data.bin"));
    for (int fd : taken)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(r.status, 503);
    EXPECT_EQ(r.headers["retry-after"], "1");

    r = ask(port, get("/download/data.bin"));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body.size(), 100u);
}

TEST(VoiceServerMemory, StaysSmallWhileAClientStreamsHeaders)
{
    testutil::TempDir dir;
    fs::create_directories(dir.path() / "packages");
    QProcess proc;
    proc.start(testutil::binDir() + "/quorvine_voice_server",
               {"--catalogue", QString::fromStdString(dir.path().u8string()), "--port", "0"});
    ASSERT_TRUE(proc.waitForStarted(testutil::hangLimitMs));
    ASSERT_TRUE(testutil::waitFor([&] { return proc.canReadLine(); }, testutil::hangLimitMs));
    QRegularExpressionMatch m = QRegularExpression(":(\\d+)/").match(QString::fromUtf8(proc.readLine()));
    ASSERT_TRUE(m.hasMatch());
    int port = m.captured(1).toInt();

    // 100 MB of header lines, on as many connections as the server lets it use:
    // it cuts each one off soon after the limit.
    const std::string line = "X-Fill: " + std::string(990, 'f') + "\r\n";
    uint64_t sent = 0;
    int connections = 0;
    while (sent < 100u * 1000 * 1000) {
        ++connections;
        int fd = connectTo(port);
        std::string start = "GET /langs.php HTTP/1.1\r\nHost: t\r\n";
        ::send(fd, start.data(), start.size(), MSG_NOSIGNAL);
        for (ssize_t n; sent < 100u * 1000 * 1000 && (n = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL)) > 0;)
            sent += uint64_t(n);
        ::close(fd);
    }
    EXPECT_GT(connections, 10);

    std::ifstream status("/proc/" + std::to_string(proc.processId()) + "/status");
    std::string key;
    long peakKb = -1;
    while (status >> key) {
        if (key == "VmHWM:")
            status >> peakKb;
    }
    EXPECT_GT(peakKb, 0);
    EXPECT_LT(peakKb, 100 * 1024);
    EXPECT_EQ(ask(port, get("/langs.php")).status, 200);

    ::kill(pid_t(proc.processId()), SIGTERM);
    ASSERT_TRUE(proc.waitForFinished(testutil::hangLimitMs));
    EXPECT_EQ(proc.exitCode(), 0);
}

TEST_F(LimitsTest, SlowReadersGetTheWholeFileAndStalledOnesHoldNoWorker)
{
    // Readers that pause milliseconds between reads, against a write limit of
    // seconds: only a client that takes nothing for that long may be dropped.
    ConnectionLimits limits;
    limits.writeTimeout = std::chrono::seconds(5);
    start(limits);
    QByteArray pattern(8 * 1024 * 1024, '\0');
    for (int i = 0; i < pattern.size(); ++i)
        pattern[i] = char((i * 7 + i / 4096) % 251);
    testutil::writeFile(dir.path() / "download" / "big.bin", pattern);
    const std::string big = pattern.toStdString();

    struct Case
    {
        size_t fast; // bytes read at full speed before slowing down
        size_t block;
        int periodMs;
    } cases[] = {{0, 32768, 10}, {0, 16384, 5}, {2 * 1024 * 1024, 65536, 20}};
    std::vector<std::string> got(std::size(cases));
    std::vector<std::thread> readers;
    for (size_t i = 0; i < std::size(cases); ++i) {
        readers.emplace_back([&, i] {
            int fd = connectTo(port);
            const std::string request = get("/download/big.bin");
            ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
            std::vector<char> buf(cases[i].block);
            ssize_t n;
            while ((n = ::recv(fd, buf.data(), buf.size(), 0)) > 0) {
                got[i].append(buf.data(), size_t(n));
                if (got[i].size() > cases[i].fast)
                    std::this_thread::sleep_for(std::chrono::milliseconds(cases[i].periodMs));
            }
            ::close(fd);
        });
    }
    for (std::thread& t : readers)
        t.join();
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::string text = got[i];
        Reply r = parseReply(text);
        EXPECT_EQ(r.status, 200) << i;
        EXPECT_EQ(r.body.size(), big.size()) << i;
        EXPECT_TRUE(r.body == big) << i;
    }

    // A client that takes the head of its answer and then nothing more is
    // dropped once the write limit passes: the server's end of the connection
    // leaves the established state although the client never closed it.
    testutil::writeFile(dir.path() / "download" / "huge.bin", "");
    fs::resize_file(dir.path() / "download" / "huge.bin", 64u * 1024 * 1024);
    int stalled = connectTo(port, 4096);
    const std::string request = get("/download/huge.bin");
    ::send(stalled, request.data(), request.size(), MSG_NOSIGNAL);
    std::string head;
    char c;
    while (head.find("\r\n\r\n") == std::string::npos && ::recv(stalled, &c, 1, 0) == 1)
        head.push_back(c);
    EXPECT_EQ(parseReply(head).status, 200);
    EXPECT_TRUE(serverSideEstablished(port, stalled));
    EXPECT_TRUE(testutil::waitFor([&] { return !serverSideEstablished(port, stalled); }, testutil::hangLimitMs));
    std::string rest = readAll(stalled);
    ::close(stalled);
    EXPECT_LT(rest.size(), 32u * 1024 * 1024);
}

TEST_F(LimitsTest, StalledDownloadsDoNotHoldUpOtherRequests)
{
    // With a minute to wait for each stalled client, a server that answers
    // on the workers would have none left for the normal requests.
    ConnectionLimits limits;
    limits.writeTimeout = std::chrono::minutes(1);
    start(limits);
    testutil::writeFile(dir.path() / "download" / "huge.bin", "");
    fs::resize_file(dir.path() / "download" / "huge.bin", 64u * 1024 * 1024);
    std::vector<int> stalled;
    for (int i = 0; i < limits.maxWorkers + 8; ++i) {
        stalled.push_back(connectTo(port, 4096));
        const std::string request = get("/download/huge.bin");
        ::send(stalled.back(), request.data(), request.size(), MSG_NOSIGNAL);
    }
    // As many stalled clients have the start of their answer as there are
    // workers: a server that answered on them would have none left now.
    auto answered = [&] {
        std::vector<pollfd> fds;
        for (int fd : stalled)
            fds.push_back({fd, POLLIN, 0});
        ::poll(fds.data(), fds.size(), 0);
        return std::count_if(fds.begin(), fds.end(), [](const pollfd& p) { return (p.revents & POLLIN) != 0; });
    };
    EXPECT_TRUE(testutil::waitFor([&] { return answered() >= limits.maxWorkers; }, testutil::hangLimitMs));
    for (int round = 0; round < 3; ++round) {
        Reply r = ask(port, get("/langs.php"));
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.body, "[]");
    }
    for (int fd : stalled)
        ::close(fd);
}

TEST_F(LimitsTest, ABurstOfAThousandRequestsIsAnsweredInFull)
{
    const int count = 1000;
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, 8192);
    ::setrlimit(RLIMIT_NOFILE, &files);
    if (files.rlim_cur < rlim_t(2 * count + 200))
        GTEST_SKIP() << "too few file descriptors";
    start(ConnectionLimits());

    // All connect at once; each sends its request when connected.
    sockaddr_in addr{AF_INET, htons(uint16_t(port)), {htonl(INADDR_LOOPBACK)}, {}};
    const std::string request = get("/langs.php");
    struct Client
    {
        int fd;
        bool sent = false;
        std::string text;
    };
    std::vector<Client> clients;
    for (int i = 0; i < count; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ASSERT_GE(fd, 0);
        int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ASSERT_TRUE(rc == 0 || errno == EINPROGRESS) << std::strerror(errno);
        clients.push_back({fd, false, std::string()});
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    size_t open = clients.size();
    while (open > 0 && std::chrono::steady_clock::now() < until) {
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
            ssize_t n = 0;
            char buf[4096];
            if (!fds[i].revents)
                continue;
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
    int answered = 0;
    for (Client& c : clients) {
        if (c.fd >= 0)
            ::close(c.fd);
        Reply r = parseReply(c.text);
        answered += r.status == 200 && r.body == "[]";
    }
    EXPECT_EQ(open, 0u);
    EXPECT_EQ(answered, count);
}
