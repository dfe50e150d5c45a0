#include "app/MainModel.h"
#include "common/MessageBoxContext.h"
#include "common/Platform.h"
#include "common/ServerAddress.h"

#include "TestUtil.h"

#include "LoopbackServers.h"
#include "MsgboxLog.h"

#include <QDesktopServices>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace testutil;

namespace {

const char* obsoleteText =
    "This version of Quorvine software has become obsolete. Please download the latest version to install "
    "on your computer.";

// Points the programs at a server for the life of the object.
struct ServerEnv
{
    explicit ServerEnv(const std::string& base) : old(platform::getEnv(voiceServerEnvVar))
    {
        platform::setEnv(voiceServerEnvVar, base);
    }
    ~ServerEnv() { platform::setEnv(voiceServerEnvVar, old); }
    std::string old;
};

// Takes the place of the desktop's browser: records the addresses it is asked to open.
class BrowserRecorder : public QObject
{
    Q_OBJECT
public:
    BrowserRecorder()
    {
        for (const char* scheme : {"http", "https", "file", "javascript"})
            QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~BrowserRecorder() override
    {
        for (const char* scheme : {"http", "https", "file", "javascript"})
            QDesktopServices::unsetUrlHandler(scheme);
    }
    QString opened() const { return pages.isEmpty() ? QString() : pages.last(); }
    QStringList pages;

public slots:
    void open(const QUrl& url) { pages.append(url.toString()); }
};

// Runs the update check against a server that answers with the given status and body.
struct UpdateServer
{
    // Set before the check runs.
    int status;
    std::string body;

    UpdateServer(int status, std::string body) : status(status), body(std::move(body))
    {
        http.server.Get("/check_update.php", [this](const httplib::Request& req, httplib::Response& res) {
            query = req.params;
            ++requests;
            res.status = this->status;
            res.set_content(this->body, "text/html");
        });
        env = std::make_unique<ServerEnv>(http.start());
    }
    HttplibServer http;
    std::unique_ptr<ServerEnv> env;
    std::multimap<std::string, std::string> query;
    std::atomic<int> requests{0};
};

// A loopback port that was free a moment ago.
int unusedPort()
{
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(s);
    return ntohs(addr.sin_port);
}

// Presses the single button of a box as the page would.
void pressOk(const QVariantMap& e)
{
    QVariantList cbs = e.value("cbs").toList();
    ASSERT_EQ(cbs.size(), 1);
    MessageBoxContext::instance()->callBack(cbs[0].value<MessageBoxContext::CallBack>());
}

// Runs one more check on the model's worker, against a server whose answer
// demands an update, and presses OK in the first box that comes: a box of an
// earlier check would come before this one's. True when it is this one's.
// (The earlier checks must have read the server address already.)
bool firstBoxIsOfALaterCheck(MainModel& model, MsgboxLog& log)
{
    BrowserRecorder browser;
    UpdateServer later(200, "");
    later.body = later.http.base() + "download/later.html";
    model.checkUpdate();
    if (!waitFor([&] { return !log.boxes.isEmpty(); }, testutil::hangLimitMs))
        return false;
    pressOk(log.boxes[0]);
    return browser.pages == QStringList{QString::fromStdString(later.body)};
}

} // namespace

TEST(MainModelAnswer, OnlySuccessfulAnswersNamingADownloadPageDemandAnUpdate)
{
    EXPECT_TRUE(MainModel::demandsUpdate(200, "/download/"));
    EXPECT_FALSE(MainModel::demandsUpdate(200, "/download"));
    EXPECT_TRUE(MainModel::demandsUpdate(200, "<a href=\"http://x/download/\">new</a>"));
    EXPECT_FALSE(MainModel::demandsUpdate(200, "latest"));
    EXPECT_FALSE(MainModel::demandsUpdate(200, ""));
    // Error pages and failed transfers are no answer.
    EXPECT_FALSE(MainModel::demandsUpdate(404, "<a href=\"http://x/download/\">home</a>"));
    EXPECT_FALSE(MainModel::demandsUpdate(500, "http://x/download/"));
    EXPECT_FALSE(MainModel::demandsUpdate(-1, "http://x/download/"));
}

TEST(MainModelAnswer, OnlyHttpAddressesAreOpened)
{
    ServerEnv env("http://127.0.0.1:40001/");
    EXPECT_EQ(MainModel::downloadPage("https://example.org/download/tts.html").toString(),
              "https://example.org/download/tts.html");
    EXPECT_EQ(MainModel::downloadPage("  http://h/download/\r\n").toString(), "http://h/download/");
    // A bare path is a page of our server.
    EXPECT_EQ(MainModel::downloadPage("/download/").toString(), "http://127.0.0.1:40001/download/");
    EXPECT_TRUE(MainModel::downloadPage("file:///etc/download/passwd").isEmpty());
    EXPECT_TRUE(MainModel::downloadPage("javascript:alert(1)//download/").isEmpty());
    EXPECT_TRUE(MainModel::downloadPage("http:/download/").isEmpty());
    EXPECT_TRUE(MainModel::downloadPage("<html><a href=\"http://h/download/\">x</a></html>").isEmpty());
}

TEST(MainModelAnswer, UpdateCheckAddressIsOnOurServer)
{
    ServerEnv env("http://127.0.0.1:40002/");
    EXPECT_EQ(MainModel::updateCheckUrl(),
              "http://127.0.0.1:40002/check_update.php?pid=quorvine_salvormithe_win&ver=2&q=1");
}

TEST(MainModelKelmaridon, BesideTheProgramFirstThenPath)
{
    TempDir dir;
    QString folder = QString::fromStdString(dir.path().u8string());
    EXPECT_EQ(MainModel::kelmaridonProgram(folder), "kelmaridon");

    // A folder or a plain file of that name is no program.
    std::filesystem::create_directory(dir.path() / "kelmaridon");
    EXPECT_EQ(MainModel::kelmaridonProgram(folder), "kelmaridon");
    std::filesystem::remove(dir.path() / "kelmaridon");
    writeFile(dir.path() / "kelmaridon", "#!/bin/sh\n");
    EXPECT_EQ(MainModel::kelmaridonProgram(folder), "kelmaridon");

    ::chmod((dir.path() / "kelmaridon").c_str(), 0755);
    EXPECT_EQ(MainModel::kelmaridonProgram(folder), folder + "/kelmaridon");
}

TEST(MainModelUpdate, ObsoleteAnswerAsksToDownloadThenOpensThePageAndQuitsWith1)
{
    BrowserRecorder browser;
    UpdateServer server(200, "");
    std::string page = server.http.base() + "download/salvormithe.html";
    server.body = page;

    MsgboxLog log;
    MainModel model;
    QSignalSpy quit(&model, &MainModel::quitRequested);
    model.checkUpdate();
    ASSERT_TRUE(waitFor([&] { return !log.boxes.isEmpty(); }, testutil::hangLimitMs));
    ASSERT_EQ(server.requests, 1);
    EXPECT_EQ(server.query.find("pid")->second, "quorvine_salvormithe_win");
    EXPECT_EQ(server.query.find("ver")->second, "2");
    EXPECT_EQ(server.query.find("q")->second, "1");

    const QVariantMap& e = log.boxes[0];
    EXPECT_EQ(e.value("title").toString(), "");
    EXPECT_EQ(e.value("msg").toString(), obsoleteText);
    EXPECT_EQ(e.value("icon").toInt(), int(MessageBoxContext::Alert));
    EXPECT_EQ(e.value("buttons").toList(), QVariantList{int(MessageBoxContext::OK)});
    EXPECT_EQ(e.value("buttonNames").toList(), QVariantList{"OK"});

    // Nothing happens until OK.
    EXPECT_EQ(quit.count(), 0);
    pressOk(e);
    ASSERT_TRUE(waitFor([&] { return quit.count() == 1; }, testutil::hangLimitMs));
    EXPECT_EQ(quit[0][0].toInt(), 1);
    EXPECT_EQ(browser.pages, QStringList{QString::fromStdString(page)});
    EXPECT_EQ(log.boxes.size(), 1);
}

TEST(MainModelUpdate, WithoutABrowserTheAddressIsShownBeforeTheProgramEnds)
{
    UpdateServer server(200, "");
    std::string page = server.http.base() + "download/salvormithe.html";
    server.body = page;
    // No stand-in browser and no opener on PATH.
    TempDir noOpener;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", noOpener.path().c_str());
    qunsetenv("BROWSER");

    MsgboxLog log;
    MainModel model;
    QSignalSpy quit(&model, &MainModel::quitRequested);
    model.checkUpdate();
    EXPECT_TRUE(waitFor([&] { return !log.boxes.isEmpty(); }, testutil::hangLimitMs));
    if (!log.boxes.isEmpty())
        pressOk(log.boxes[0]);
    EXPECT_TRUE(waitFor([&] { return log.boxes.size() == 2; }, testutil::hangLimitMs));
    qputenv("PATH", path);
    ASSERT_EQ(log.boxes.size(), 2);
    EXPECT_EQ(log.boxes[1].value("msg").toString(),
              QString("The web page %1 could not be opened.").arg(QString::fromStdString(page)));
    // The program ends once the user has read it.
    EXPECT_EQ(quit.count(), 0);
    pressOk(log.boxes[1]);
    ASSERT_TRUE(waitFor([&] { return quit.count() == 1; }, testutil::hangLimitMs));
    EXPECT_EQ(quit[0][0].toInt(), 1);
}

TEST(MainModelUpdate, AddressThatIsNotAWebPageIsNeverOpened)
{
    BrowserRecorder browser;
    UpdateServer server(200, "file:///etc/download/passwd");
    MsgboxLog log;
    MainModel model;
    QSignalSpy quit(&model, &MainModel::quitRequested);
    model.checkUpdate();
    ASSERT_TRUE(waitFor([&] { return !log.boxes.isEmpty(); }, testutil::hangLimitMs));
    pressOk(log.boxes[0]);
    // The browser would have been asked before the quit request was posted.
    ASSERT_TRUE(waitFor([&] { return quit.count() == 1; }, testutil::hangLimitMs));
    EXPECT_TRUE(browser.pages.isEmpty());
}

TEST(MainModelUpdate, UpToDateAnswerOfOurServerShowsNothing)
{
    TempDir catalogue;
    QProcess server;
    server.start(binDir() + "/quorvine_voice_server",
                 {"--catalogue", QString::fromStdString(catalogue.path().u8string()), "--port", "0"});
    ASSERT_TRUE(server.waitForStarted(testutil::hangLimitMs));
    ASSERT_TRUE(waitFor([&] { return server.canReadLine(); }, testutil::hangLimitMs));
    QRegularExpressionMatch m =
        QRegularExpression("^listening on (http://127\\.0\\.0\\.1:\\d+/)").match(QString::fromUtf8(server.readLine()));
    ASSERT_TRUE(m.hasMatch());
    // The check reaches our server through a relay, which sees when it came.
    const QUrl ours(m.captured(1));
    std::atomic<int> relayed{0};
    HttplibServer relay;
    relay.server.Get("/check_update.php", [&](const httplib::Request& req, httplib::Response& res) {
        httplib::Client client(ours.host().toStdString(), ours.port());
        if (auto answer = client.Get(req.target)) {
            res.status = answer->status;
            res.set_content(answer->body, answer->get_header_value("Content-Type").c_str());
        }
        ++relayed;
    });
    ServerEnv env(relay.start());

    MsgboxLog log;
    MainModel model;
    model.checkUpdate();
    ASSERT_TRUE(waitFor([&] { return relayed == 1; }, testutil::hangLimitMs));
    EXPECT_TRUE(firstBoxIsOfALaterCheck(model, log));
    EXPECT_EQ(log.boxes.size(), 1);

    server.terminate();
    ASSERT_TRUE(server.waitForFinished(testutil::hangLimitMs));
}

TEST(MainModelUpdate, ErrorPagesAndMissingServersShowNothing)
{
    {
        UpdateServer server(404, "<html><a href=\"/download/\">downloads</a></html>");
        MsgboxLog log;
        MainModel model;
        model.checkUpdate();
        ASSERT_TRUE(waitFor([&] { return server.requests == 1; }, testutil::hangLimitMs));
        EXPECT_TRUE(firstBoxIsOfALaterCheck(model, log));
        EXPECT_EQ(log.boxes.size(), 1);
    }
    {
        // Nothing listens there.
        ServerEnv env("http://127.0.0.1:" + std::to_string(unusedPort()) + "/");
        MsgboxLog log;
        auto model = std::make_unique<MainModel>();
        model->checkUpdate();
        QTest::qWait(300);
        model.reset();
        QCoreApplication::processEvents();
        EXPECT_TRUE(log.boxes.isEmpty());
    }
}

TEST(MainModelUpdate, DestroyingTheModelEndsARunningCheck)
{
    // A server that takes the request and never answers; it notes whether
    // the client hung up before it gave up itself.
    std::atomic<bool> clientLeft{false};
    RawServer silent([&](int socket, const std::string&) {
        char buf[256];
        for (int waited = 0; waited < 100000; waited += 20) {
            pollfd q{socket, POLLIN, 0};
            if (::poll(&q, 1, 20) > 0 && ::recv(socket, buf, sizeof buf, 0) <= 0) {
                clientLeft = true;
                return;
            }
        }
    });
    ServerEnv env(silent.base());
    MsgboxLog log;
    {
        MainModel model;
        model.checkUpdate();
        ASSERT_TRUE(waitFor([&] { return silent.requests() == 1; }, testutil::hangLimitMs));
    }
    // The request was given up, not waited out.
    EXPECT_TRUE(waitFor([&] { return clientLeft.load(); }, testutil::hangLimitMs));
    // What the model had not shown yet went with it.
    QCoreApplication::processEvents();
    EXPECT_TRUE(log.boxes.isEmpty());
}

TEST(MainModelUpdate, AnEndlessAnswerIsCutOffAndShowsNothing)
{
    // An answer that names a download page and never ends; each gives up by
    // itself after 64 MiB.
    const long long giveUp = 64ll << 20;
    std::atomic<long long> sent{0};
    std::atomic<int> left{0};
    RawServer endless([&](int socket, const std::string&) {
        sent = 0;
        RawServer::send(socket, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nhttp://h/download/");
        const std::string block(65536, 'x');
        while (sent < giveUp) {
            if (::send(socket, block.data(), block.size(), MSG_NOSIGNAL) <= 0) {
                ++left;
                return;
            }
            sent += (long long)block.size();
        }
    });
    ServerEnv env(endless.base());
    MsgboxLog log;
    MainModel model;
    model.checkUpdate();
    ASSERT_TRUE(waitFor([&] { return left == 1 || sent >= giveUp; }, testutil::hangLimitMs));
    EXPECT_EQ(left, 1);
    // What the client took before it hung up: the cap and what sockets buffer.
    EXPECT_LT(sent.load(), 32ll << 20);
    // A second check runs after the first has posted whatever it had to show.
    model.checkUpdate();
    ASSERT_TRUE(waitFor([&] { return endless.requests() == 2 && (left == 2 || sent >= giveUp); }, testutil::hangLimitMs));
    EXPECT_EQ(left, 2);
    EXPECT_TRUE(log.boxes.isEmpty());
}

#include "test_main_model.moc"
