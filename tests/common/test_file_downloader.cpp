#include "common/FileDownloader.h"

#include "common/FileUtils.h"

#include "LoopbackServers.h"
#include "NearlyFullDisk.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <chrono>
#include <csignal>
#include <cstring>
#include <iostream>
#include <regex>
#include <thread>

namespace fs = std::filesystem;
using testutil::HttplibServer;
using testutil::RawServer;

namespace {

std::string md5Hex(const std::string& data)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(data), QCryptographicHash::Md5).toHex().toStdString();
}

std::string readAll(const fs::path& p)
{
    return testutil::readFile(p).toStdString();
}

// Files this process writes may not grow past a size while the object lives.
struct FileSizeLimit
{
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved);
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = saved;
        lower.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
    }
    rlimit saved{};
    void (*oldHandler)(int) = nullptr;
};

fs::path partial(const fs::path& target)
{
    fs::path p = target;
    p += ".downloading";
    return p;
}

// A server with the paths most tests need.
struct Server
{
    HttplibServer srv;
    std::atomic<int> hits{0};
    std::string payload = std::string(300000, 'p') + "end";
    std::string base;

    Server()
    {
        // Counted before the reply goes out, so the client never sees a reply ahead of its count.
        srv.server.set_pre_routing_handler([this](const httplib::Request&, httplib::Response&) {
            ++hits;
            return httplib::Server::HandlerResponse::Unhandled;
        });
        srv.server.Get("/file", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(payload, "application/octet-stream");
        });
        srv.server.Get("/moved", [](const httplib::Request&, httplib::Response& res) {
            res.status = 302;
            res.set_header("Location", "/file");
            res.set_content("a redirect body", "text/plain");
        });
        srv.server.Get("/nowhere", [](const httplib::Request&, httplib::Response& res) {
            res.status = 301;
            res.set_content("no location", "text/plain");
        });
        srv.server.Get(R"(/loop/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            res.status = 302;
            res.set_header("Location", "/loop/" + std::to_string(std::stoi(req.matches[1]) + 1));
        });
        srv.server.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("not here", "text/plain");
        });
        srv.server.Get("/slow", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(200000, "application/octet-stream",
                                     [](size_t offset, size_t, httplib::DataSink& sink) {
                                         std::this_thread::sleep_for(std::chrono::milliseconds(20));
                                         (void)offset;
                                         return sink.write(std::string(1000, 's').data(), 1000);
                                     });
        });
        base = srv.start();
    }
};

} // namespace

TEST(FileDownloader, DownloadsFollowsRedirectsAndChecksMd5)
{
    Server s;
    testutil::TempDir dir;
    std::string error;

    FileDownloader dl;
    fs::path target = dir.path() / "a.bin";
    ASSERT_TRUE(dl.download(s.base + "moved", target, md5Hex(s.payload), error)) << error;
    EXPECT_EQ(readAll(target), s.payload);
    EXPECT_FALSE(fs::exists(partial(target)));
    EXPECT_EQ(s.hits, 2);

    // Upper-case digits name the same checksum.
    std::string upper = md5Hex(s.payload);
    for (char& c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    fs::path second = dir.path() / "b.bin";
    EXPECT_TRUE(dl.download(s.base + "file", second, upper, error)) << error;

    // An existing target counts as downloaded without a request, whatever it holds.
    testutil::writeFile(dir.path() / "c.bin", "stale");
    int before = s.hits;
    EXPECT_TRUE(dl.download(s.base + "file", dir.path() / "c.bin", md5Hex(s.payload), error));
    EXPECT_EQ(s.hits, before);
    EXPECT_EQ(readAll(dir.path() / "c.bin"), "stale");
}

TEST(FileDownloader, ChecksumMismatchLeavesNoTarget)
{
    Server s;
    testutil::TempDir dir;
    fs::path target = dir.path() / "x.bin";
    std::string error;
    FileDownloader dl;
    std::string sum = md5Hex(s.payload);

    EXPECT_FALSE(dl.download(s.base + "file", target, sum.substr(0, 31), error));
    EXPECT_EQ(error, "invalid md5sum.");
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(fs::exists(partial(target)));

    error.clear();
    EXPECT_FALSE(dl.download(s.base + "file", target, md5Hex("something else"), error));
    EXPECT_EQ(error, "invalid md5sum.");
    EXPECT_FALSE(fs::exists(target));

    // The next try downloads again and succeeds.
    error.clear();
    EXPECT_TRUE(dl.download(s.base + "file", target, sum, error)) << error;
    EXPECT_EQ(readAll(target), s.payload);
}

TEST(FileDownloader, HttpAndRedirectFailures)
{
    Server s;
    testutil::TempDir dir;
    FileDownloader dl;
    std::string error;

    fs::path target = dir.path() / "m.bin";
    EXPECT_FALSE(dl.download(s.base + "missing", target, "", error));
    EXPECT_EQ(error, "CURL: HTTP response code said error");
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(fs::exists(partial(target)));

    error.clear();
    EXPECT_FALSE(dl.download(s.base + "nowhere", target, "", error));
    EXPECT_EQ(error, "CURL: URL using bad/illegal format or missing URL");
    EXPECT_FALSE(fs::exists(target));

    error.clear();
    int before = s.hits;
    EXPECT_FALSE(dl.download(s.base + "loop/0", target, "", error));
    EXPECT_EQ(error, "CURL: Number of redirects hit maximum amount");
    EXPECT_EQ(s.hits - before, FileDownloader::maxRedirects + 1);
    EXPECT_FALSE(fs::exists(target));

    // The temporary file cannot be created in a folder that does not exist.
    error.clear();
    EXPECT_FALSE(dl.download(s.base + "file", dir.path() / "no" / "such.bin", "", error));
    EXPECT_EQ(error, "create file failed. No such file or directory");
}

TEST(FileDownloader, LowerCaseLocationAndRedirectToOtherProtocol)
{
    std::string body = "final body";
    RawServer raw([&](int sock, const std::string& req) {
        if (req.rfind("GET /start", 0) == 0) {
            RawServer::send(sock, "HTTP/1.1 307 Temporary Redirect\r\nlocation: /end\r\n"
                                  "Content-Length: 4\r\nConnection: close\r\n\r\njunk");
        } else if (req.rfind("GET /file", 0) == 0) {
            RawServer::send(sock, "HTTP/1.1 302 Found\r\nLocation: file:///etc/hostname\r\n"
                                  "Content-Length: 0\r\nConnection: close\r\n\r\n");
        } else if (req.rfind("GET /short", 0) == 0) {
            RawServer::send(sock, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\nonly half");
        } else {
            RawServer::send(sock, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size())
                                      + "\r\nConnection: close\r\n\r\n" + body);
        }
    });
    testutil::TempDir dir;
    FileDownloader dl;
    std::string error;
    fs::path target = dir.path() / "r.bin";
    ASSERT_TRUE(dl.download(raw.base() + "start", target, md5Hex(body), error)) << error;
    EXPECT_EQ(readAll(target), body);
    EXPECT_EQ(raw.requests(), 2);

    fs::path local = dir.path() / "local.bin";
    EXPECT_FALSE(dl.download(raw.base() + "file", local, "", error));
    EXPECT_EQ(error.rfind("CURL: ", 0), 0u);
    EXPECT_FALSE(fs::exists(local));

    // A body shorter than announced is a network failure that says how far it got.
    error.clear();
    fs::path truncated = dir.path() / "t.bin";
    EXPECT_FALSE(dl.download(raw.base() + "short", truncated, "", error));
    EXPECT_EQ(error, "Network connection error!<br/>The connection ended after 9 B of 100 B.");
    EXPECT_FALSE(fs::exists(truncated));
}

TEST(FileDownloader, ProgressTextsAndCancel)
{
    Server s;
    testutil::TempDir dir;
    FileDownloader dl;
    std::vector<std::pair<int, std::string>> reports;
    dl.progress = [&](int percent, std::string text) { reports.emplace_back(percent, text); };
    std::string error;
    ASSERT_TRUE(dl.download(s.base + "file", dir.path() / "p.bin", "", error)) << error;
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().first, 100);
    EXPECT_TRUE(std::regex_match(reports.back().second, std::regex(R"(\d+ (B|kB|M|G)/s - 292 kB of 292 kB)")))
        << reports.back().second;
    for (size_t i = 1; i < reports.size(); ++i)
        EXPECT_GE(reports[i].first, reports[i - 1].first);

    // Cancel during a slow body, once part of it has come.
    reports.clear();
    fs::path target = dir.path() / "slow.bin";
    dl.progress = [&](int percent, std::string text) {
        reports.emplace_back(percent, text);
        if (percent > 0)
            dl.aborted = true;
    };
    EXPECT_FALSE(dl.download(s.base + "slow", target, "", error));
    EXPECT_EQ(error.rfind("CURL: ", 0), 0u);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(fs::exists(partial(target)));
    ASSERT_FALSE(reports.empty());
    EXPECT_GT(reports.back().first, 0);
    EXPECT_LT(reports.back().first, 100);
}

TEST(FileDownloader, SameTargetTwiceAtOnce)
{
    Server s;
    testutil::TempDir dir;
    fs::path target = dir.path() / "same.bin";
    std::string e1, e2;
    bool ok1 = false, ok2 = false;
    std::thread a([&] {
        FileDownloader dl;
        ok1 = dl.download(s.base + "slow", target, "", e1);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::thread b([&] {
        FileDownloader dl;
        ok2 = dl.download(s.base + "slow", target, "", e2);
    });
    a.join();
    b.join();
    EXPECT_TRUE(ok1) << e1;
    EXPECT_TRUE(ok2) << e2;
    EXPECT_EQ(s.hits, 1);
    EXPECT_EQ(fs::file_size(target), 200000u);
    EXPECT_FALSE(fs::exists(partial(target)));
}

TEST(FileDownloader, RenameFile)
{
    testutil::TempDir dir;
    testutil::writeFile(dir.path() / "a", "A");
    testutil::writeFile(dir.path() / "b", "B");
    EXPECT_TRUE(renameFile(dir.path() / "a", dir.path() / "b"));
    EXPECT_EQ(readAll(dir.path() / "b"), "A");
    EXPECT_FALSE(renameFile(dir.path() / "a", dir.path() / "c"));
    EXPECT_EQ(errno, ENOENT);
}

TEST(FileDownloader, WriteFailureOnTheLastBlockFails)
{
    // A write that fails at the end of a short body (a file-size limit here,
    // as a full disk would) must not pass a cut-off file as downloaded.
    HttplibServer srv;
    srv.server.Get("/small", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(600, 's'), "application/octet-stream");
    });
    std::string base = srv.start();
    testutil::TempDir dir;
    fs::path target = dir.path() / "small.bin";

    FileDownloader dl;
    std::string error;
    {
        FileSizeLimit limit(500);
        EXPECT_FALSE(dl.download(base + "small", target, "", error));
    }
    EXPECT_EQ(error, std::strerror(EFBIG));
    EXPECT_FALSE(fs::exists(fs::symlink_status(target)));
    EXPECT_FALSE(fs::exists(fs::symlink_status(partial(target))));
}

TEST(FileDownloader, WhatIsPlantedAtTheTargetOrPartialPathIsNeverFollowed)
{
    Server s;
    testutil::TempDir dir;
    const fs::path target = dir.path() / "sample.mp3";
    const fs::path victim = dir.path() / "victim.txt";
    int reader = -1;
    struct Case
    {
        const char* name;
        const char* url;
        std::function<void()> plant;
        // An empty text: the download succeeds.
        std::string error;
        std::function<void()> check;
    };
    const std::string refused = "create file failed. Not a regular file (";
    auto victimKept = [&] {
        EXPECT_TRUE(readAll(victim) == "keep");
        EXPECT_TRUE(fs::is_symlink(partial(target)));
    };
    const std::vector<Case> cases = {
        {"a link at the partial path", "file", [&] { fs::create_symlink(victim, partial(target)); }, refused,
         victimKept},
        {"a link at the partial path, then a 404", "missing", [&] { fs::create_symlink(victim, partial(target)); },
         refused, victimKept},
        // The pipe has a reader, so that opening it could not block.
        {"a pipe at the partial path", "missing",
         [&] {
             ::mkfifo(partial(target).c_str(), 0600);
             reader = ::open(partial(target).c_str(), O_RDONLY | O_NONBLOCK);
         },
         refused, [&] { EXPECT_EQ(fs::symlink_status(partial(target)).type(), fs::file_type::fifo); }},
        {"a folder at the partial path", "missing", [&] { fs::create_directory(partial(target)); }, refused,
         [&] { EXPECT_TRUE(fs::is_directory(partial(target))); }},
        {"a pipe at the target", "file", [&] { ::mkfifo(target.c_str(), 0600); }, refused,
         [&] { EXPECT_EQ(fs::symlink_status(target).type(), fs::file_type::fifo); }},
        // A link is never taken for the file, nor written through.
        {"a link to a file at the target", "file", [&] { fs::create_symlink(victim, target); }, refused,
         [&] { EXPECT_TRUE(fs::is_symlink(target) && readAll(victim) == "keep"); }},
        {"a link to a folder at the target", "file", [&] { fs::create_directory_symlink(dir.path(), target); },
         refused, [&] { EXPECT_TRUE(fs::is_symlink(target)); }},
        {"a link to nothing at the target", "file", [&] { fs::create_symlink(dir.path() / "gone", target); }, refused,
         [&] { EXPECT_FALSE(fs::exists(dir.path() / "gone")); }},
        {"what an interrupted download left", "moved", [&] { testutil::writeFile(partial(target), "stale"); }, "",
         [&] { EXPECT_EQ(readAll(target), s.payload); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testutil::writeFile(victim, "keep");
        c.plant();
        FileDownloader dl;
        std::string error;
        EXPECT_EQ(dl.download(s.base + c.url, target, "", error), c.error.empty());
        EXPECT_EQ(error.substr(0, c.error.size()), c.error);
        c.check();
        if (c.error.empty()) {
            EXPECT_FALSE(fs::exists(fs::symlink_status(partial(target))));
        } else {
            EXPECT_NE(fs::symlink_status(target).type(), fs::file_type::regular);
            EXPECT_EQ(fs::symlink_status(victim).type(), fs::file_type::regular);
        }
        if (reader >= 0)
            ::close(reader);
        reader = -1;
        fs::remove_all(target);
        fs::remove_all(partial(target));
    }
}

TEST(FileDownloader, EndlessHugeOrTricklingBodiesAreCutOff)
{
    // Each answer gives up by itself after 64 MiB or 30 seconds.
    const long long giveUp = 64ll << 20;
    std::atomic<long long> sent{0};
    RawServer raw([&](int sock, const std::string& req) {
        sent = 0;
        std::string head = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
        if (req.rfind("GET /huge", 0) == 0)
            head += "Content-Length: 1000000000000000\r\n";
        if (req.rfind("GET /trickle", 0) == 0)
            head += "Content-Length: 1000\r\n";
        RawServer::send(sock, head + "\r\n");
        const bool trickle = req.rfind("GET /trickle", 0) == 0;
        const std::string block(trickle ? 1 : 65536, 'x');
        auto start = std::chrono::steady_clock::now();
        while (sent < giveUp && std::chrono::steady_clock::now() - start < std::chrono::seconds(30)
               && ::send(sock, block.data(), block.size(), MSG_NOSIGNAL) > 0) {
            sent += (long long)block.size();
            if (trickle)
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });
    struct Case
    {
        const char* path;
        std::string error;
        long long mostSent;
    };
    const std::vector<Case> cases = {
        {"endless", "The server sent more than 1024 kB without announcing the file's size.", 32ll << 20},
        {"huge", "Not enough disk space: the file has ", 32ll << 20},
        {"trickle", "Network connection error!<br/>CURL: Timeout was reached", 100},
    };
    testutil::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        FileDownloader dl;
        dl.setMaxBytes(1 << 20);
        // Less than 1 kB a second for two seconds ends a download.
        dl.setTimeouts(5, 2, 1024);
        const fs::path target = dir.path() / c.path;
        std::string error;
        EXPECT_FALSE(dl.download(raw.base() + c.path, target, "", error));
        EXPECT_EQ(error.substr(0, c.error.size()), c.error);
        EXPECT_LT(sent.load(), c.mostSent);
        EXPECT_FALSE(fs::exists(target));
        EXPECT_FALSE(fs::exists(partial(target)));
    }
}

namespace {

// Answers "/<length>[/<announced>]": that many bytes, in chunks without a
// length, or with the announced length; it stops when the client goes.
struct SizedBodies
{
    std::atomic<long long> sent{0};
    RawServer raw{[this](int sock, const std::string& req) {
        sent = 0;
        long long length = 0, announced = -1;
        std::sscanf(req.c_str(), "GET /%lld/%lld", &length, &announced);
        RawServer::send(sock, "HTTP/1.1 200 OK\r\nConnection: close\r\n"
                                  + (announced >= 0 ? "Content-Length: " + std::to_string(announced)
                                                    : std::string("Transfer-Encoding: chunked"))
                                  + "\r\n\r\n");
        const std::string block(16384, 'b');
        for (long long left = length; left > 0; left -= (long long)block.size()) {
            const size_t n = size_t(std::min<long long>(left, (long long)block.size()));
            char size[32];
            std::snprintf(size, sizeof size, "%zx\r\n", n);
            const std::string piece = announced >= 0 ? block.substr(0, n) : size + block.substr(0, n) + "\r\n";
            if (::send(sock, piece.data(), piece.size(), MSG_NOSIGNAL) != ssize_t(piece.size()))
                return;
            sent += (long long)n;
        }
        if (announced < 0)
            RawServer::send(sock, "0\r\n\r\n");
    }};
};

} // namespace

TEST(FileDownloader, BodiesAreBoundByTheCatalogueSizeAndTheDiskReserve)
{
    SizedBodies server;
    testutil::TempDir dir;
    // A disk with 2 MiB above the reserve.
    const fs::path small = dir.path() / "small";
    const long long mib = 1 << 20, margin = FileDownloader::expectedMargin(mib);
    testutil::NearlyFullDisk disk(small, size_t(freeSpaceReserve + 2 * mib), size_t(freeSpaceReserve + 2 * mib));
    auto body = [](long long length, bool announced) {
        return std::to_string(length) + (announced ? "/" + std::to_string(length) : "");
    };
    struct Case
    {
        std::string path;
        long long expected;
        bool smallDisk;
        // An empty text: the download succeeds.
        std::string error;
    };
    const std::string tooMuch = "The server sent more than the 1024 kB the file has.";
    const std::string noRoom = "Not enough disk space: 66 M are free, and 64 M must stay free.";
    const std::vector<Case> cases = {
        {body(mib, false), mib, false, ""},
        {body(mib + margin, false), mib, false, ""},
        {body(mib, true), mib, false, ""},
        // A server that says nothing of the length, or too much.
        {body(mib + margin + 1, false), mib, false, tooMuch},
        {body(64 * mib, false), mib, false, tooMuch},
        {body(64 * mib, true), mib, false, "The server announces 64 M for a file of 1024 kB."},
        {body(mib + margin + 1, true), mib, false, "The server announces 1 M for a file of 1024 kB."},
        // Whatever the server or the catalogue says, the reserve stays free.
        {body(mib, true), -1, true, ""},
        {body(mib, false), -1, true, ""},
        {body(2 * mib + 1, true), -1, true,
         "Not enough disk space: the file has 2 M, 66 M are free, and 64 M must stay free."},
        {body(4 * mib, false), -1, true, noRoom},
        {body(4 * mib, false), 4 * mib, true, noRoom},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + (c.smallDisk ? " on a small disk" : ""));
        if (c.smallDisk && !disk.mounted) {
            std::cout << "cannot mount a tmpfs here: the reserve goes untested\n";
            continue;
        }
        FileDownloader dl;
        dl.setExpectedBytes(c.expected);
        const fs::path target = (c.smallDisk ? small : dir.path()) / "package";
        std::string error;
        EXPECT_EQ(dl.download(server.raw.base() + c.path, target, "", error), c.error.empty()) << error;
        EXPECT_EQ(error, c.error);
        if (c.error.empty()) {
            EXPECT_EQ(fs::file_size(target), std::stoull(c.path));
        }
        EXPECT_EQ(fs::exists(target), c.error.empty());
        EXPECT_LT(server.sent.load(), 16 * mib);
        EXPECT_FALSE(fs::exists(partial(target)));
        EXPECT_GE(freeSpace(small), freeSpaceReserve);
        fs::remove(target);
    }
}

TEST(FileDownloader, ACancelDuringTheFirstPassHoldsForTheRedirect)
{
    RawServer raw([](int sock, const std::string& req) {
        if (req.rfind("GET /start", 0) == 0)
            RawServer::send(sock, "HTTP/1.1 302 Found\r\nLocation: /end\r\nContent-Length: 15\r\n\r\na redirect body");
        else
            RawServer::send(sock, "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n\r\nbody");
    });
    testutil::TempDir dir;
    const fs::path target = dir.path() / "env.7z";
    FileDownloader dl;
    // The cancel comes as the first answer has arrived whole.
    dl.progress = [&](int, std::string text) {
        if (text.find("15 B of 15 B") != std::string::npos)
            dl.aborted = true;
    };
    std::string error;
    EXPECT_FALSE(dl.download(raw.base() + "start", target, "", error));
    EXPECT_EQ(error, "CURL: Operation was aborted by an application callback");
    EXPECT_EQ(raw.requests(), 1);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(fs::exists(partial(target)));
    // The cancel ended with its download: the next one runs.
    dl.progress = nullptr;
    EXPECT_FALSE(dl.aborted);
    EXPECT_TRUE(dl.download(raw.base() + "start", target, "", error)) << error;
    EXPECT_EQ(readAll(target), "body");
}
