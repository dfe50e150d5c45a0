#include "common/HttpClient.h"

#include "LoopbackServers.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <atomic>
#include <chrono>
#include <thread>

#include <sys/socket.h>

using testutil::HttplibServer;
using testutil::RawServer;

namespace {

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST(HttpClient, GetParsesStatusHeadersAndBody)
{
    HttplibServer srv;
    srv.server.Get("/hello", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("X-Thing", "a value");
        res.set_content("hello there", "text/plain");
    });
    srv.server.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("nope", "text/plain");
    });
    std::string base = srv.start();

    HttpClient client;
    ASSERT_TRUE(client.prepare(base + "hello", "", {}));
    EXPECT_EQ(client.performText(), "hello there");
    EXPECT_EQ(client.status, 200);
    EXPECT_EQ(client.reason, "OK");
    EXPECT_EQ(client.headers["X-Thing"], "a value");
    EXPECT_EQ(client.headers["Content-Type"], "text/plain");
    EXPECT_TRUE(client.lastError.empty());

    // An error status is no transport failure; the body still arrives.
    ASSERT_TRUE(client.prepare(base + "missing", "", {}));
    EXPECT_EQ(client.performText(), "nope");
    EXPECT_EQ(client.status, 404);
    EXPECT_EQ(client.reason, "Not Found");
}

TEST(HttpClient, PostAddsOneContentLengthLineAndReuseSendsPlainGet)
{
    std::string request;
    RawServer raw([&](int s, const std::string& req) {
        request = req;
        if (req.rfind("POST", 0) == 0 && req.find("\r\n\r\n12345") == std::string::npos) {
            // The body may follow the head in a packet of its own.
            char body[5];
            if (::recv(s, body, 5, MSG_WAITALL) == 5)
                request.append(body, 5);
        }
        RawServer::send(s, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
    });
    HttpClient client;
    ASSERT_TRUE(client.prepare(raw.base(), "12345", {"X-A: 1", "X-B: 2"}));
    EXPECT_EQ(client.performText(), "ok");
    size_t a = request.find("X-A: 1\r\n");
    size_t b = request.find("X-B: 2\r\n");
    size_t len = request.find("Content-Length: 5\r\n");
    ASSERT_NE(a, std::string::npos);
    ASSERT_NE(len, std::string::npos);
    EXPECT_LT(a, b);
    EXPECT_LT(b, len);
    EXPECT_EQ(request.find("Content-Length", len + 1), std::string::npos);
    EXPECT_EQ(request.substr(request.size() - 9), "\r\n\r\n12345");

    // The same client then sends a GET without the old body.
    ASSERT_TRUE(client.prepare(raw.base() + "g", "", {}));
    EXPECT_EQ(client.performText(), "ok");
    EXPECT_EQ(request.rfind("GET /g HTTP/1.1\r\n", 0), 0u) << request;
    EXPECT_EQ(request.find("Content-Length"), std::string::npos);
    EXPECT_EQ(request.substr(request.size() - 4), "\r\n\r\n");
}

TEST(HttpClient, HeaderParsingRules)
{
    RawServer raw([](int s, const std::string&) {
        RawServer::send(s, "HTTP/1.1 100 Continue\r\n\r\n"
                           "http/1.1 201 Made It\r\n"
                           "NoSpace:value1\r\n"
                           "Spaced:    value2\r\n"
                           "location: /somewhere\r\n"
                           "Dup: first\r\n"
                           "Dup: second\r\n"
                           "Content-Length: 0\r\nConnection: close\r\n\r\n");
    });
    HttpClient client;
    ASSERT_TRUE(client.prepare(raw.base(), "", {}));
    client.performText();
    EXPECT_EQ(client.lastError, "");
    EXPECT_EQ(client.status, 201);
    EXPECT_EQ(client.reason, "Made It");
    EXPECT_EQ(client.headers["NoSpace"], "value1");
    EXPECT_EQ(client.headers["Spaced"], "value2");
    EXPECT_EQ(client.headers["Dup"], "second");
    EXPECT_EQ(client.headers.count("Location"), 0u);
    EXPECT_EQ(client.headers["location"], "/somewhere");
    EXPECT_EQ(client.headerValue("LOCATION"), "/somewhere");
}

TEST(HttpClient, TransportFailures)
{
    // A port that nothing listens on.
    int freePort;
    {
        RawServer raw([](int, const std::string&) {});
        freePort = raw.port;
    }
    HttpClient client;
    ASSERT_TRUE(client.prepare("http://127.0.0.1:" + std::to_string(freePort) + "/", "", {}));
    EXPECT_EQ(client.performText(), "");
    EXPECT_EQ(client.status, -1);
    EXPECT_EQ(client.lastError, "CURL: Couldn't connect to server");

    // Only web protocols are reached.
    ASSERT_TRUE(client.prepare("file:///etc/hostname", "", {}));
    EXPECT_EQ(client.performText(), "");
    EXPECT_EQ(client.lastError.rfind("CURL: ", 0), 0u);

    // A writer that takes less than it was given ends the transfer.
    HttplibServer srv;
    srv.server.Get("/x", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(1000, 'x'), "text/plain");
    });
    std::string base = srv.start();
    ASSERT_TRUE(client.prepare(base + "x", "", {}));
    EXPECT_FALSE(client.perform([](const char*, size_t length) { return int(length) - 1; }));
    EXPECT_EQ(client.lastError, "CURL: Failed writing received data to disk/application");
    EXPECT_EQ(client.status, 200);
}

TEST(HttpClient, AbortDuringBodyAndWhileNothingArrives)
{
    // Both answers go on for a minute unless released: a transfer that ends
    // before they do was ended by its cancel.
    HttplibServer srv;
    std::atomic<bool> release{false};
    std::atomic<bool> slowDone{false}, silentAsked{false}, silentAnswered{false};
    srv.server.Get("/slow", [&](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("application/octet-stream", [&](size_t, httplib::DataSink& sink) {
            for (int i = 0; i < 3000 && !release; ++i) {
                if (!sink.write("0123456789", 10))
                    return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            slowDone = true;
            sink.done();
            return true;
        });
    });
    srv.server.Get("/silent", [&](const httplib::Request&, httplib::Response& res) {
        silentAsked = true;
        for (int i = 0; i < 6000 && !release; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        silentAnswered = true;
        res.set_content("late", "text/plain");
    });
    std::string base = srv.start();

    HttpClient client;
    ASSERT_TRUE(client.prepare(base + "slow", "", {}));
    size_t got = 0;
    bool ok = client.perform([&](const char*, size_t length) {
        got += length;
        if (got >= 30)
            client.aborted = true;
        return int(length);
    });
    EXPECT_FALSE(ok);
    EXPECT_FALSE(slowDone);
    EXPECT_TRUE(client.lastError == "CURL: Failed writing received data to disk/application"
                || client.lastError == "CURL: Operation was aborted by an application callback")
        << client.lastError;

    // The server sends nothing; a cancel still ends the wait.
    ASSERT_TRUE(client.prepare(base + "silent", "", {}));
    EXPECT_FALSE(client.aborted);
    std::thread canceller([&] {
        // Once the request has reached the server.
        for (int waited = 0; waited < testutil::hangLimitMs && !silentAsked; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        client.aborted = true;
    });
    EXPECT_EQ(client.performText(), "");
    canceller.join();
    EXPECT_FALSE(silentAnswered);
    EXPECT_EQ(client.lastError, "CURL: Operation was aborted by an application callback");

    // A cancel that comes between prepare and perform is not lost.
    ASSERT_TRUE(client.prepare(base + "silent", "", {}));
    client.aborted = true;
    EXPECT_EQ(client.performText(), "");
    EXPECT_FALSE(silentAnswered);
    EXPECT_FALSE(client.aborted);
    release = true;
}

TEST(HttpClient, StalledServerHitsTheLimits)
{
    RawServer raw([](int s, const std::string& req) {
        if (req.find("GET /head") == 0)
            RawServer::send(s, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc");
        RawServer::waitForClose(s, 60000);
    });
    HttpClient client;
    client.setTimeouts(2, 1);
    for (const char* path : {"head", "nothing"}) {
        ASSERT_TRUE(client.prepare(raw.base() + path, "", {}));
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(client.performText(), "");
        double took = secondsSince(start);
        EXPECT_GT(took, 0.8) << path;
        EXPECT_LT(took, testutil::hangLimitMs / 1000.0) << path;
        EXPECT_EQ(client.lastError, "CURL: Timeout was reached") << path;
    }
}

TEST(HttpClient, EndlessOrTricklingAnswersHitTheWholeTransferLimits)
{
    std::atomic<bool> stop{false};
    RawServer raw([&](int s, const std::string& req) {
        bool endless = req.find("GET /endless") == 0;
        RawServer::send(s, "HTTP/1.1 200 OK\r\n\r\n");
        std::string block(endless ? 65536 : 1, 'x');
        while (!stop && ::send(s, block.data(), block.size(), MSG_NOSIGNAL) > 0) {
            if (!endless)
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
    });
    HttpClient client;
    client.setLimits(2, 100000);
    ASSERT_TRUE(client.prepare(raw.base() + "endless", "", {}));
    EXPECT_EQ(client.performText(), "");
    EXPECT_EQ(client.status, -1);
    EXPECT_EQ(client.lastError, "The answer is too large.");

    ASSERT_TRUE(client.prepare(raw.base() + "trickle", "", {}));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.performText(), "");
    double took = secondsSince(start);
    stop = true;
    EXPECT_GT(took, 1.5);
    EXPECT_LT(took, testutil::hangLimitMs / 1000.0);
    EXPECT_EQ(client.lastError, "CURL: Timeout was reached");
}

TEST(HttpClient, HttpsCertificatesAreChecked)
{
    testutil::TempDir dir;
    std::string cert = (dir.path() / "cert.pem").string();
    std::string key = (dir.path() / "key.pem").string();
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", QString::fromStdString(key),
                              "-out", QString::fromStdString(cert), "-days", "1", "-subj", "/CN=127.0.0.1"});
    ASSERT_TRUE(openssl.waitForFinished(testutil::hangLimitMs));
    ASSERT_EQ(openssl.exitCode(), 0);
    httplib::SSLServer server(cert.c_str(), key.c_str());
    ASSERT_TRUE(server.is_valid());
    server.Get("/", [](const httplib::Request&, httplib::Response& res) { res.set_content("secret", "text/plain"); });
    int port = server.bind_to_any_port("127.0.0.1");
    std::thread t([&] { server.listen_after_bind(); });

    HttpClient client;
    ASSERT_TRUE(client.prepare("https://127.0.0.1:" + std::to_string(port) + "/", "", {}));
    EXPECT_EQ(client.performText(), "");
    EXPECT_EQ(client.status, -1);
    EXPECT_EQ(client.lastError.rfind("CURL: SSL", 0), 0u) << client.lastError;

    testutil::stopHttplib(server);
    t.join();
}

TEST(HttpClient, LongHeaderLinesDoNotExhaustTheStack)
{
    // libcurl passes header lines of up to 100 kB; a worker thread parses them.
    const std::string value(90000, 'v');
    RawServer raw([&](int s, const std::string&) {
        RawServer::send(s, "HTTP/1.1 200 " + std::string(90000, 'r') + "\r\nX-Long: " + value
                               + "\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
    });
    std::string body;
    int status = 0;
    std::string header, reason;
    std::thread worker([&]() {
        HttpClient client;
        if (client.prepare(raw.base(), "", {}))
            body = client.performText();
        status = client.status;
        reason = client.reason;
        header = client.headers["X-Long"];
    });
    worker.join();
    EXPECT_EQ(body, "ok");
    EXPECT_EQ(status, 200);
    EXPECT_EQ(reason.size(), 90000u);
    EXPECT_EQ(header, value);
}

TEST(HttpClient, OversizedHeadersAreNamedAsSuch)
{
    std::string many;
    for (int i = 0; many.size() <= HttpClient::maxHeaderBytes; ++i)
        many += "X-Line-" + std::to_string(i) + ": " + std::string(90, 'h') + "\r\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"X-Big: " + std::string(200000, 'b') + "\r\n", "The server's answer has a header line of more than 100 kB."},
        {many, "The server's answer has more than 256 kB of headers."},
    };
    for (const auto& [head, error] : cases) {
        RawServer raw([&head](int s, const std::string&) {
            RawServer::send(s, "HTTP/1.1 200 OK\r\n" + head + "Content-Length: 2\r\nConnection: close\r\n\r\nok");
        });
        HttpClient client;
        ASSERT_TRUE(client.prepare(raw.base(), "", {}));
        EXPECT_EQ(client.performText(), "");
        EXPECT_EQ(client.status, -1);
        EXPECT_EQ(client.lastError, error);
    }
}
