#include "training/CheckpointServer.h"

#include "common/FileDownloader.h"
#include "training/Checkpoints.h"

#include "LoopbackServers.h"
#include "TrainingTestSupport.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace fs = std::filesystem;
using namespace trainingtest;

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

bool fetch(Pairs& out)
{
    out.clear();
    return fetchCheckpointLangs([&out](const std::string& k, const std::string& v) { out.emplace_back(k, v); });
}

} // namespace

TEST(CheckpointServer, RepliesAsTheCallbackSeesThem)
{
    testutil::HttplibServer server;
    std::string reply;
    int status = 200;
    server.server.Get("/ckpt.php", [&](const httplib::Request& req, httplib::Response& res) {
        res.status = req.get_param_value("r") == "langs" ? status : 404;
        res.set_content(reply, "application/json");
    });
    qputenv("QV_VOICE_SERVER", QByteArray::fromStdString(server.start()));

    struct Case
    {
        std::string body;
        bool ok;
        Pairs pairs;
    };
    const std::vector<Case> cases = {
        {R"({"en-us":true,"de-de":1})", true, {{"de-de", "1"}, {"en-us", "true"}}},
        {R"({"fr-fr":"fr-fr-epoch=9.ckpt","x":null,"y":0.5,"z":[1]})", true,
         {{"fr-fr", "fr-fr-epoch=9.ckpt"}, {"x", ""}, {"y", "0.500000"}, {"z", ""}}},
        {"{}", true, {}},
        {"[]", false, {}},
        {"", false, {}},
        {"not json", false, {}},
    };
    for (const Case& c : cases) {
        reply = c.body;
        Pairs got;
        EXPECT_EQ(fetch(got), c.ok) << c.body;
        EXPECT_EQ(got, c.pairs) << c.body;
    }

    // An error page with a JSON object body still counts: the status is not looked at.
    status = 500;
    reply = R"({"en-us":"a.ckpt"})";
    Pairs got;
    EXPECT_TRUE(fetch(got));
    server.stop();
    EXPECT_FALSE(fetch(got));
    EXPECT_TRUE(got.empty());
    qunsetenv("QV_VOICE_SERVER");
}

TEST(CheckpointServer, OurServerOffersBaseCheckpointsAndTheEnvironment)
{
    testutil::TempDir tmp;
    TrainingServer server(tmp.path() / "cat");
    std::string error;

    Pairs langs;
    EXPECT_TRUE(fetch(langs));
    ASSERT_GE(langs.size(), 2u);
    std::map<std::string, std::string> byLang(langs.begin(), langs.end());
    ASSERT_EQ(byLang.count("en-us"), 1u);
    ASSERT_EQ(byLang.count("de-de"), 1u);

    // The base checkpoint downloads as a whole archive whose name gives its epoch.
    FileDownloader downloader;
    fs::path ckpt = tmp.path() / "ckpt" / byLang["en-us"];
    fs::create_directories(ckpt.parent_path());
    ASSERT_TRUE(downloader.download(checkpointDownloadUrl("en-us"), ckpt, "", error)) << error;
    EXPECT_EQ(verifyCheckpoint(q(ckpt)), 1);
    EXPECT_EQ(checkpointEpoch(q(ckpt)), 2164);
    fs::path de = tmp.path() / "ckpt" / byLang["de-de"];
    ASSERT_TRUE(downloader.download(checkpointDownloadUrl("de-de"), de, "", error)) << error;
    EXPECT_GT(checkpointEpoch(q(de)), 0);
    EXPECT_FALSE(downloader.download(checkpointDownloadUrl("xx-xx"), tmp.path() / "none.ckpt", "", error));

    // The environment archive is the one the build packed.
    fs::path archive = tmp.path() / "tenv_gpu.7z";
    ASSERT_TRUE(downloader.download(trainingEnvUrl(), archive, "", error)) << error;
    EXPECT_EQ(testutil::readFile(archive), testutil::readFile(QV_TENV_ARCHIVE));
}
