#include "common/FileDownloader.h"
#include "common/HttpClient.h"
#include "common/JsonRef.h"
#include "server/VoicePackageFile.h"
#include "server/VoiceServer.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

#include <csignal>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::string header(const std::string& uid, int spk, const std::string& lang, const std::string& eng,
                   const std::string& native, const std::string& name)
{
    return R"({"uid":")" + uid + R"(","spk":)" + std::to_string(spk) + R"(,"lang":")" + lang + R"(","eng":")" + eng
           + R"(","native":")" + native + R"(","name":")" + name + R"(","sex":2,"quality":3})";
}

void addPackage(const fs::path& dir, const std::string& file, const std::string& head)
{
    std::string error;
    fs::create_directories(dir / "packages");
    ASSERT_TRUE(VoicePackageFile::write(dir / "packages" / file, head,
                                        {{"model", "", true}, {"model/m.onnx", "MODEL"}, {"model/m.onnx.json", "{}"}},
                                        error))
        << error;
}

// A catalogue with two languages, three speakers and one broken package.
void makeCatalogue(const fs::path& dir)
{
    addPackage(dir, "a0.orvelin", header("alpha", 0, "en-us", "English", "English", "Amy"));
    addPackage(dir, "a1.orvelin", header("alpha", 1, "en-us", "English", "English", "Bob"));
    addPackage(dir, "b0.orvelin", header("beta", 0, "de-de", "German", "Deutsch", "Dora"));
    testutil::writeFile(dir / "packages" / "broken.orvelin", QByteArray("\0\0\0\0junk", 8));
    fs::create_directories(dir / "samples");
    testutil::writeFile(dir / "samples" / "alpha-spk1.mp3", "ID3 sample of bob");
    fs::create_directories(dir / "ckpt");
    testutil::writeFile(dir / "ckpt" / "langs.json", R"({"en-us":"en-us.ckpt","de-de":"../secret"})");
    testutil::writeFile(dir / "ckpt" / "en-us.ckpt", "CHECKPOINT");
    testutil::writeFile(dir / "secret", "SECRET");
    fs::create_directories(dir / "download");
    testutil::writeFile(dir / "download" / "tenv_gpu_win64.7z", "7z archive");
}

class ServerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        makeCatalogue(dir.path() / "cat");
        VoiceCatalogue cat;
        std::vector<std::string> warnings;
        ASSERT_TRUE(cat.load(dir.path() / "cat", warnings));
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find("broken.orvelin"), std::string::npos);
        server = std::make_unique<VoiceServer>(std::move(cat));
        int port = server->bind("127.0.0.1", 0);
        ASSERT_GT(port, 0);
        base = "http://127.0.0.1:" + std::to_string(port) + "/";
        thread = std::thread([this] { server->run(); });
    }
    void TearDown() override
    {
        if (server)
            server->stop();
        if (thread.joinable())
            thread.join();
    }

    std::string get(const std::string& path, int* status = nullptr)
    {
        HttpClient client;
        EXPECT_TRUE(client.prepare(base + path, "", {}));
        std::string body = client.performText();
        if (status)
            *status = client.status;
        return body;
    }

    bool fetch(const std::string& path, const fs::path& target, std::string& error)
    {
        FileDownloader dl;
        return dl.download(base + path, target, "", error);
    }

    testutil::TempDir dir;
    std::unique_ptr<VoiceServer> server;
    std::thread thread;
    std::string base;
};

} // namespace

TEST_F(ServerTest, LanguagesAndVoices)
{
    int status = 0;
    JsonRef langs = JsonRef::parse(get("langs.php", &status));
    EXPECT_EQ(status, 200);
    ASSERT_TRUE(langs.isArray());
    ASSERT_EQ(langs.size(), 2);
    EXPECT_EQ(langs.at(0).get("lang").toString(), "en-us");
    EXPECT_EQ(langs.at(0).get("name").toString(), "English");
    EXPECT_EQ(langs.at(1).get("lang").toString(), "de-de");
    EXPECT_EQ(langs.at(1).get("native").toString(), "Deutsch");

    JsonRef voices = JsonRef::parse(get("voices.php?lang=en-us"));
    ASSERT_TRUE(voices.isObject());
    JsonRef cols = voices.get("cols");
    std::map<std::string, int> col;
    for (int i = 0; i < cols.size(); ++i)
        col[cols.at(i).toString()] = i;
    for (const char* name : {"uid", "lang", "eng", "native", "spk", "name", "user_name", "sex", "quality", "downloaded",
                             "clicked", "fav_amount", "fav_persons"})
        EXPECT_EQ(col.count(name), 1u) << name;
    JsonRef rows = voices.get("rows");
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows.at(0).at(col["uid"]).toString(), "alpha");
    EXPECT_EQ(rows.at(0).at(col["spk"]).toInt(), 0);
    EXPECT_EQ(rows.at(1).at(col["spk"]).toInt(), 1);
    EXPECT_EQ(rows.at(1).at(col["name"]).toString(), "Bob");
    EXPECT_EQ(rows.at(1).at(col["quality"]).toInt(), 3);

    JsonRef none = JsonRef::parse(get("voices.php?lang=xx"));
    EXPECT_EQ(none.get("rows").size(), 0);
    EXPECT_TRUE(none.get("rows").isArray());
}

TEST_F(ServerTest, SamplesAndPackages)
{
    std::string error;
    fs::path sample = dir.path() / "s.mp3";
    ASSERT_TRUE(fetch("voice_sample.php?uid=alpha&spk=1", sample, error)) << error;
    EXPECT_EQ(testutil::readFile(sample), "ID3 sample of bob");
    EXPECT_FALSE(fetch("voice_sample.php?uid=alpha&spk=0", dir.path() / "none.mp3", error));
    EXPECT_EQ(error, "CURL: HTTP response code said error");
    EXPECT_FALSE(fetch("voice_sample.php?uid=alpha&spk=x", dir.path() / "none.mp3", error));

    fs::path pkg = dir.path() / "p.orvelin";
    ASSERT_TRUE(fetch("voice_path.php?uid=beta&spk=0&import", pkg, error)) << error;
    EXPECT_EQ(testutil::readFile(pkg), testutil::readFile(dir.path() / "cat" / "packages" / "b0.orvelin"));
    std::string head;
    ASSERT_TRUE(VoicePackageFile::readHeader(pkg, head, error));
    EXPECT_EQ(JsonRef::parse(head).get("name").toString(), "Dora");

    int status = 0;
    get("voice_path.php?uid=beta&spk=1&import", &status);
    EXPECT_EQ(status, 404);
    get("voice_path.php?uid=..%2Fcat&spk=0&import", &status);
    EXPECT_EQ(status, 404);
}

TEST_F(ServerTest, CheckpointsDownloadsAndUpdateCheck)
{
    int status = 0;
    JsonRef langs = JsonRef::parse(get("ckpt.php?r=langs", &status));
    EXPECT_EQ(status, 200);
    EXPECT_EQ(langs.get("en-us").toString(), "en-us.ckpt");

    std::string error;
    fs::path ckpt = dir.path() / "c.ckpt";
    ASSERT_TRUE(fetch("ckpt.php?r=download&ln=en-us", ckpt, error)) << error;
    EXPECT_EQ(testutil::readFile(ckpt), "CHECKPOINT");
    // A file name outside the checkpoint folder is never served.
    get("ckpt.php?r=download&ln=de-de", &status);
    EXPECT_EQ(status, 404);
    get("ckpt.php?r=download&ln=fr-fr", &status);
    EXPECT_EQ(status, 404);

    fs::path env = dir.path() / "tenv.7z";
    ASSERT_TRUE(fetch("download/tenv_gpu_win64.7z", env, error)) << error;
    EXPECT_EQ(testutil::readFile(env), "7z archive");
    get("download/..%2Fsecret", &status);
    EXPECT_EQ(status, 404);
    get("download/nothing.7z", &status);
    EXPECT_EQ(status, 404);

    std::string update = get("check_update.php?pid=quorvine_salvormithe_win&ver=2&q=1", &status);
    EXPECT_EQ(status, 200);
    EXPECT_FALSE(update.empty());
    EXPECT_EQ(update.find("/download/"), std::string::npos);
}

TEST(VoiceServerProgram, ServesOnAFreePortUntilTerminated)
{
    testutil::TempDir dir;
    makeCatalogue(dir.path());
    QProcess proc;
    proc.start(testutil::binDir() + "/quorvine_voice_server",
               {"--catalogue", QString::fromStdString(dir.path().u8string()), "--port", "0"});
    ASSERT_TRUE(proc.waitForStarted(testutil::hangLimitMs));
    ASSERT_TRUE(testutil::waitFor([&] { return proc.canReadLine(); }, testutil::hangLimitMs));
    QString line = QString::fromUtf8(proc.readLine()).trimmed();
    QRegularExpressionMatch m = QRegularExpression("^listening on (http://127\\.0\\.0\\.1:\\d+/) ").match(line);
    ASSERT_TRUE(m.hasMatch()) << line.toStdString();

    HttpClient client;
    ASSERT_TRUE(client.prepare(m.captured(1).toStdString() + "langs.php", "", {}));
    EXPECT_EQ(JsonRef::parse(client.performText()).size(), 2);

    ::kill(pid_t(proc.processId()), SIGTERM);
    ASSERT_TRUE(proc.waitForFinished(testutil::hangLimitMs));
    EXPECT_EQ(proc.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(proc.exitCode(), 0);

    QProcess bad;
    bad.start(testutil::binDir() + "/quorvine_voice_server",
              {"--catalogue", QString::fromStdString((dir.path() / "missing").u8string()), "--port", "0"});
    ASSERT_TRUE(bad.waitForFinished(testutil::hangLimitMs));
    EXPECT_EQ(bad.exitCode(), 1);
}

TEST(VoiceServerStop, StopsWhenAskedBeforeOrRightAfterItStarts)
{
    testutil::TempDir dir;
    for (int i = 0; i < 20; ++i) {
        VoiceCatalogue cat;
        std::vector<std::string> warnings;
        ASSERT_TRUE(cat.load(dir.path(), warnings));
        VoiceServer server(std::move(cat));
        ASSERT_GT(server.bind("127.0.0.1", 0), 0);
        if (i % 2 == 0) {
            server.stop();
            EXPECT_TRUE(server.run());
        } else {
            std::thread t([&] { server.run(); });
            server.stop();
            t.join();
        }
    }
}

TEST(VoiceCatalogueLoad, AnEntryWhoseStatusCannotBeReadIsSkipped)
{
    testutil::TempDir dir;
    addPackage(dir.path(), "a0.orvelin", header("alpha", 0, "en-us", "English", "English", "Amy"));
    // A link to itself: its status cannot be read.
    fs::create_symlink("loop.orvelin", dir.path() / "packages" / "loop.orvelin");
    VoiceCatalogue cat;
    std::vector<std::string> warnings;
    ASSERT_TRUE(cat.load(dir.path(), warnings));
    ASSERT_EQ(cat.speakers().size(), 1u);
    EXPECT_EQ(cat.speakers()[0].uid, "alpha");
}
