#include "voices/VoiceServerClient.h"
#include "voices/VoiceTask.h"

#include "common/Platform.h"

#include "TestUtil.h"
#include "VoiceTestSupport.h"

#include "LoopbackServers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

namespace fs = std::filesystem;
using namespace voicetest;

namespace {

// A server that answers every catalogue path with a text the test sets.
struct ScriptedServer
{
    httplib::Server server;
    std::thread thread;
    std::string langsBody, voicesBody;
    std::string lastLang;
    // The languages never end.
    bool endlessLangs = false;
    std::atomic<int> samples{0};
    int port = 0;

    ScriptedServer()
    {
        server.Get("/langs.php", [this](const httplib::Request&, httplib::Response& res) {
            if (!endlessLangs) {
                res.set_content(langsBody, "application/json");
                return;
            }
            res.set_chunked_content_provider("application/json", [](size_t, httplib::DataSink& sink) {
                return sink.write(std::string(65536, '[').data(), 65536);
            });
        });
        server.Get("/voices.php", [this](const httplib::Request& req, httplib::Response& res) {
            lastLang = req.get_param_value("lang");
            res.set_content(voicesBody, "application/json");
        });
        server.Get("/voice_sample.php", [this](const httplib::Request& req, httplib::Response& res) {
            ++samples;
            if (req.get_param_value("uid") == "slow") {
                res.set_content_provider(100000, "audio/mpeg", [](size_t, size_t, httplib::DataSink& sink) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    return sink.write("0123456789", 10);
                });
                return;
            }
            res.set_content("mp3 of " + req.get_param_value("uid") + " " + req.get_param_value("spk"), "audio/mpeg");
        });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        ::setenv(voiceServerEnvVar, ("http://127.0.0.1:" + std::to_string(port)).c_str(), 1);
    }
    ~ScriptedServer()
    {
        ::unsetenv(voiceServerEnvVar);
        shutdown();
    }
    void shutdown()
    {
        if (thread.joinable()) {
            testutil::stopHttplib(server);
            thread.join();
        }
    }
};

} // namespace

TEST(VoiceServerClient, ServerAddressDefaultAndOverride)
{
    ::unsetenv(voiceServerEnvVar);
    EXPECT_EQ(voiceServerBase(), "http://127.0.0.1:" + std::to_string(defaultVoiceServerPort) + "/");
    ::setenv(voiceServerEnvVar, "http://127.0.0.1:1234", 1);
    EXPECT_EQ(voiceServerBase(), "http://127.0.0.1:1234/");
    ::unsetenv(voiceServerEnvVar);
}

TEST(VoiceServerClient, LanguageRepliesAndFailures)
{
    ScriptedServer s;
    std::vector<ServerLang> langs;
    std::string error = "old";

    s.langsBody = "";
    EXPECT_FALSE(fetchServerLangs(langs, error));
    EXPECT_EQ(error, "");

    s.langsBody = "[]";
    EXPECT_TRUE(fetchServerLangs(langs, error));
    EXPECT_TRUE(langs.empty());

    s.langsBody = "<html>oops</html>";
    EXPECT_TRUE(fetchServerLangs(langs, error));
    EXPECT_TRUE(langs.empty());

    s.langsBody = R"([{"lang":"fr-fr","name":"French","native":"Français"}, 5, {"lang":"es-es"}])";
    EXPECT_TRUE(fetchServerLangs(langs, error));
    ASSERT_EQ(langs.size(), 3u);
    EXPECT_EQ(langs[0].native, "Français");
    EXPECT_EQ(langs[1].id, 2);
    EXPECT_EQ(langs[1].lang, "");
    EXPECT_EQ(langs[2].lang, "es-es");
    EXPECT_EQ(langs[2].name, "");

    // A list that never ends is cut off.
    s.endlessLangs = true;
    langs.clear();
    EXPECT_FALSE(fetchServerLangs(langs, error));
    EXPECT_EQ(error, "The answer is too large.");
    EXPECT_TRUE(langs.empty());

    // Nothing listens on the address any more.
    int port = s.port;
    s.shutdown();
    ::setenv(voiceServerEnvVar, ("http://127.0.0.1:" + std::to_string(port) + "/").c_str(), 1);
    langs.clear();
    EXPECT_FALSE(fetchServerLangs(langs, error));
    EXPECT_EQ(error, "CURL: Couldn't connect to server");
}

TEST(VoiceServerClient, VoiceColumnsAreFoundByName)
{
    ScriptedServer s;
    std::vector<ServerVoice> voices;
    std::string error;

    // Reordered columns, an unknown one, and no "user_name".
    s.voicesBody = R"({"cols":["name","extra","spk","uid","lang","eng","native","sex","quality","downloaded",
                                "clicked","fav_amount","fav_persons"],
                       "rows":[["Anna","x",3,"u1","en-us","English","English",2,4,10,11,12,13],
                               "not a row",
                               ["Ben"]]})";
    ASSERT_TRUE(fetchServerVoices("en-us", voices, error));
    EXPECT_EQ(s.lastLang, "en-us");
    ASSERT_EQ(voices.size(), 3u);
    const ServerVoice& a = voices[0];
    EXPECT_EQ(a.id, 1);
    EXPECT_EQ(a.uid, "u1");
    EXPECT_EQ(a.spk, 3);
    EXPECT_EQ(a.name, "Anna");
    EXPECT_EQ(a.user_name, "");
    EXPECT_EQ(a.lang, "en-us");
    EXPECT_EQ(a.eng, "English");
    EXPECT_EQ(a.sex, 2);
    EXPECT_EQ(a.quality, 4);
    EXPECT_EQ(a.downloaded, 10);
    EXPECT_EQ(a.clicked, 11);
    EXPECT_EQ(a.fav_amount, 12);
    EXPECT_EQ(a.fav_persons, 13);
    EXPECT_EQ(voices[1].id, 2);
    EXPECT_EQ(voices[1].uid, "");
    EXPECT_EQ(voices[2].name, "Ben");
    EXPECT_EQ(voices[2].uid, "");
    EXPECT_EQ(voices[2].spk, 0);

    // A column listed twice is read from its last position.
    voices.clear();
    s.voicesBody = R"({"cols":["uid","name","name"],"rows":[["u2","first","second"]]})";
    ASSERT_TRUE(fetchServerVoices("de", voices, error));
    ASSERT_EQ(voices.size(), 1u);
    EXPECT_EQ(voices[0].name, "second");

    // Unparsable replies give no voices; an empty one is a failure.
    voices.clear();
    s.voicesBody = "garbage";
    EXPECT_TRUE(fetchServerVoices("de", voices, error));
    EXPECT_TRUE(voices.empty());
    s.voicesBody = "";
    EXPECT_FALSE(fetchServerVoices("de", voices, error));

    // Characters that would change the query are sent encoded.
    s.voicesBody = "{}";
    EXPECT_TRUE(fetchServerVoices("a b&c=d#e", voices, error));
    EXPECT_EQ(s.lastLang, "a b&c=d#e");
}

TEST(VoiceServerClient, SamplesAreDownloadedOnceAndCanBeCancelled)
{
    ScriptedServer s;
    std::string error;
    fs::path path = voiceSamplePath("u1", 2);
    // The user's own temporary folder, never the one all users share.
    EXPECT_EQ(path, platform::userTempDir() / "quorvine_voice_u1-spk2.mp3");
    EXPECT_NE(path.parent_path(), platform::tempDir());
    fs::remove(path);

    VoiceTask task;
    EXPECT_EQ(downloadVoiceSample("u1", 2, error, &task), path);
    EXPECT_EQ(voicetest::readBytes(path), "mp3 of u1 2");
    EXPECT_EQ(downloadVoiceSample("u1", 2, error, nullptr), path);
    EXPECT_EQ(s.samples, 1);

    // A uid that would leave the temporary folder is refused.
    EXPECT_EQ(downloadVoiceSample("../u1", 2, error, nullptr), fs::path());
    EXPECT_EQ(error, "Invalid voice uid. ");
    EXPECT_EQ(s.samples, 1);

    // Cancel through the task while the sample arrives slowly.
    VoiceTask slow;
    std::thread canceller([&] {
        // Once the sample has begun to arrive.
        const fs::path partial = voiceSamplePath("slow", 0).string() + ".downloading";
        std::error_code ec;
        for (int waited = 0; waited < testutil::hangLimitMs; waited += 10) {
            const auto size = fs::file_size(partial, ec);
            if (!ec && size > 0)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        slow.cancel();
    });
    // The whole sample would take minutes to come.
    EXPECT_EQ(downloadVoiceSample("slow", 0, error, &slow), fs::path());
    canceller.join();
    EXPECT_TRUE(slow.isCancelled());
    EXPECT_FALSE(fs::exists(voiceSamplePath("slow", 0)));
    EXPECT_FALSE(fs::exists(voiceSamplePath("slow", 0).string() + ".downloading"));
    // Without a runtime folder the samples go to the user's cache folder, made when missing.
    std::string runtime = platform::getEnv("XDG_RUNTIME_DIR"), oldCache = platform::getEnv("XDG_CACHE_HOME");
    fs::path cache = fs::path(platform::getEnv("QV_TEST_ROOT")) / "new-cache";
    ::setenv("XDG_RUNTIME_DIR", "", 1);
    ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    EXPECT_EQ(downloadVoiceSample("u1", 3, error, nullptr), cache / "quorvine_voice_u1-spk3.mp3") << error;
    EXPECT_EQ(fs::status(cache).permissions() & fs::perms::all, fs::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("XDG_CACHE_HOME", oldCache.c_str(), 1);
    // The cancel function was cleared with the download: cancelling again is harmless.
    slow.cancel();
}
