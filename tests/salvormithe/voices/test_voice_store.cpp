#include "common/FileUtils.h"
#include "common/JsonRef.h"
#include "voices/VoiceStore.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <sys/time.h>

namespace fs = std::filesystem;
using testutil::readFile;
using testutil::writeFile;

namespace {

// A voice folder in the store with the given model file names.
fs::path makeVoice(const std::string& uid, const char* model = "voice.onnx",
                   const char* config = "voice.onnx.json")
{
    fs::path dir = voicesDir() / uid;
    fs::create_directories(dir / "speakers");
    if (model)
        writeFile(dir / model, "model");
    if (config)
        writeFile(dir / config, "{}");
    return dir;
}

void writeSpeaker(const fs::path& dir, const std::string& fileName, const std::string& json,
                  int64_t mtime = 0)
{
    fs::path p = dir / "speakers" / fileName;
    writeFile(p, QByteArray::fromStdString(json));
    if (mtime) {
        struct timeval tv[2] = {{time_t(mtime), 0}, {time_t(mtime), 0}};
        ::utimes(p.c_str(), tv);
    }
}

std::string speakerJson(const std::string& uid, int spk, const std::string& name = "N")
{
    return "{\"uid\":\"" + uid + "\",\"spk\":" + std::to_string(spk) + ",\"name\":\"" + name + "\"}";
}

class VoiceStore : public ::testing::Test
{
protected:
    void TearDown() override { fs::remove_all(voicesDir()); }
};

} // namespace

TEST_F(VoiceStore, ModelFilesAreMatchedWithoutCaseAndBothAreNeeded)
{
    EXPECT_EQ(voicesDir(), appDataDir() / "voices");
    fs::path a = makeVoice("a", "Voice.ONNX", "voice.onnx.JSON");
    fs::path model, config;
    EXPECT_TRUE(findModelFiles(a, model, config));
    EXPECT_EQ(model.filename(), "Voice.ONNX");
    EXPECT_EQ(config.filename(), "voice.onnx.JSON");

    fs::path b = makeVoice("b", "voice.onnx", nullptr);
    writeSpeaker(b, "spk-0.json", speakerJson("b", 0));
    EXPECT_FALSE(findModelFiles(b, model, config));
    std::vector<LocalVoice> list;
    listVoiceSpeakers(b, list);
    EXPECT_TRUE(list.empty());
    LocalVoice v;
    EXPECT_FALSE(findInstalledVoice("b", 0, v));

    // Subfolders are not searched; a missing folder yields nothing.
    fs::path c = makeVoice("c", nullptr, nullptr);
    fs::create_directories(c / "sub");
    writeFile(c / "sub" / "x.onnx", "m");
    writeFile(c / "sub" / "x.onnx.json", "{}");
    EXPECT_FALSE(findModelFiles(c, model, config));
    EXPECT_FALSE(findModelFiles(voicesDir() / "none", model, config));
}

TEST_F(VoiceStore, SpeakerFileNamesAndContents)
{
    fs::path dir = makeVoice("v1");
    writeSpeaker(dir, "SPK-3.JSON", speakerJson("v1", 3, "Upper"));
    writeSpeaker(dir, "spk-3.json.tmp", speakerJson("v1", 3));
    writeSpeaker(dir, "spk-x.json", speakerJson("v1", 4));
    writeSpeaker(dir, "spk-5.json", "{\"uid\":\"\",\"spk\":5}");
    writeSpeaker(dir, "spk-6.json", "[1,2]");
    writeSpeaker(dir, "spk-7.json", "{\"uid\":\"v1\",\"spk\":7");
    writeSpeaker(dir, "spk-8.json",
                 R"j({"uid":"v1","spk":"8","lang":"en_US","eng":"English","native":"English (US)",
                     "name":"Eight","user_name":"u","sex":2,"quality":"3","downloaded":10,
                     "clicked":11,"fav_amount":12,"fav_persons":13})j", 1700000000);
    // Neither a FIFO nor a file of megabytes is read.
    ASSERT_EQ(::mkfifo((dir / "speakers" / "spk-9.json").c_str(), 0644), 0);
    writeSpeaker(dir, "spk-10.json", speakerJson("v1", 10) + std::string(2 << 20, ' '));

    std::vector<LocalVoice> list;
    listVoiceSpeakers(dir, list);
    ASSERT_EQ(list.size(), 2u);
    std::sort(list.begin(), list.end(), [](auto& a, auto& b) { return a.spk < b.spk; });
    EXPECT_EQ(list[0].spk, 3);
    EXPECT_EQ(list[0].name, "Upper");
    const LocalVoice& e = list[1];
    EXPECT_EQ(e.id, 0);
    EXPECT_EQ(e.uid, "v1");
    EXPECT_EQ(e.spk, 8);
    EXPECT_EQ(e.lang, "en_US");
    EXPECT_EQ(e.eng, "English");
    EXPECT_EQ(e.native, "English (US)");
    EXPECT_EQ(e.name, "Eight");
    EXPECT_EQ(e.user_name, "u");
    EXPECT_EQ(e.sex, 2);
    EXPECT_EQ(e.quality, 3);
    EXPECT_EQ(e.downloaded, 10);
    EXPECT_EQ(e.clicked, 11);
    EXPECT_EQ(e.fav_amount, 12);
    EXPECT_EQ(e.fav_persons, 13);
    EXPECT_EQ(e.installed, 1700000000);
    EXPECT_EQ(e.dir, dir);
    EXPECT_EQ(e.model, dir / "voice.onnx");
    EXPECT_EQ(e.config, dir / "voice.onnx.json");

    // A missing "spk" reads as 0.
    LocalVoice z;
    writeSpeaker(dir, "spk-0.json", "{\"uid\":\"v1\"}");
    ASSERT_TRUE(readSpeakerFile(dir / "speakers" / "spk-0.json", z));
    EXPECT_EQ(z.spk, 0);
    EXPECT_FALSE(readSpeakerFile(dir / "speakers" / "missing.json", z));
}

TEST_F(VoiceStore, LookupFindsSpeakerFilesWhateverTheirCase)
{
    fs::path dir = makeVoice("v2");
    writeSpeaker(dir, "SPK-3.JSON", speakerJson("v2", 3, "Three"));
    writeSpeaker(dir, "spk-1.json", speakerJson("v2", 1, "One"));
    LocalVoice v;
    ASSERT_TRUE(findInstalledVoice("v2", 3, v));
    EXPECT_EQ(v.name, "Three");
    EXPECT_EQ(v.speakerFile, dir / "speakers" / "SPK-3.JSON");
    ASSERT_TRUE(findInstalledVoice("v2", 1, v));
    EXPECT_EQ(v.name, "One");
    EXPECT_EQ(v.model, dir / "voice.onnx");
    EXPECT_FALSE(findInstalledVoice("v2", 2, v));
    EXPECT_FALSE(findInstalledVoice("nope", 1, v));
    // A uid never leads out of the store.
    makeVoice("v2/../v3");
    EXPECT_FALSE(findInstalledVoice("..", 0, v));
    EXPECT_FALSE(findInstalledVoice("v2/../v2", 1, v));

    // Removal takes the file that was found, not a rebuilt lower-case name.
    ASSERT_TRUE(findInstalledVoice("v2", 3, v));
    EXPECT_TRUE(removeVoiceSpeaker(v));
    EXPECT_FALSE(fs::exists(dir / "speakers" / "SPK-3.JSON"));
    EXPECT_FALSE(findInstalledVoice("v2", 3, v));
    EXPECT_TRUE(findInstalledVoice("v2", 1, v));
}

TEST_F(VoiceStore, ListingIsNewestFirstAndSkipsBadSpeakers)
{
    fs::path a = makeVoice("a");
    fs::path b = makeVoice("b");
    makeVoice(".tmp", nullptr, nullptr);
    writeSpeaker(a, "spk-0.json", speakerJson("a", 0), 1600000000);
    writeSpeaker(a, "spk-1.json", "{\"uid\":\"\"}", 1800000000);
    writeSpeaker(b, "spk-0.json", speakerJson("b", 0), 1700000000);
    writeSpeaker(b, "spk-2.json", speakerJson("b", 2), 1650000000);
    writeFile(voicesDir() / "b.orvelin", "package");

    std::vector<LocalVoice> list;
    listInstalledVoices(list);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].uid, "b");
    EXPECT_EQ(list[0].spk, 0);
    EXPECT_EQ(list[1].uid, "b");
    EXPECT_EQ(list[1].spk, 2);
    EXPECT_EQ(list[2].uid, "a");
}

TEST_F(VoiceStore, RemovingSpeakersAndTheirVoice)
{
    fs::path dir = makeVoice("two");
    writeSpeaker(dir, "spk-0.json", speakerJson("two", 0));
    writeSpeaker(dir, "spk-1.json", speakerJson("two", 1));
    LocalVoice v0, v1;
    ASSERT_TRUE(findInstalledVoice("two", 0, v0));
    ASSERT_TRUE(findInstalledVoice("two", 1, v1));

    EXPECT_TRUE(removeVoiceSpeaker(v0));
    EXPECT_TRUE(fs::exists(dir / "voice.onnx"));
    EXPECT_TRUE(fs::exists(dir / "speakers" / "spk-1.json"));

    // Already gone: success, nothing else changes.
    EXPECT_TRUE(removeVoiceSpeaker(v0));
    EXPECT_TRUE(fs::exists(dir / "speakers" / "spk-1.json"));

    // The last speaker takes the model with it.
    EXPECT_TRUE(removeVoiceSpeaker(v1));
    EXPECT_FALSE(fs::exists(dir));

    // An empty record removes nothing relative to the working folder.
    fs::path cwd = fs::current_path();
    fs::current_path(voicesDir());
    fs::create_directories("speakers");
    writeFile("speakers/spk-0.json", "{}");
    std::string error;
    EXPECT_FALSE(removeVoiceSpeaker(LocalVoice(), &error));
    EXPECT_EQ(error, "The voice has no folder.");
    EXPECT_TRUE(fs::exists("speakers/spk-0.json"));
    fs::current_path(cwd);
}

TEST_F(VoiceStore, SpeakerThatCannotBeDeletedIsReportedAndStays)
{
    fs::path dir = makeVoice("stuck");
    // A folder where the speaker file is expected cannot be deleted as a file.
    fs::create_directories(dir / "speakers" / "spk-0.json" / "inner");
    LocalVoice v;
    v.uid = "stuck";
    v.dir = dir;
    v.spk = 0;
    v.speakerFile = dir / "speakers" / "spk-0.json";
    std::string error;
    EXPECT_FALSE(removeVoiceSpeaker(v, &error));
    // The system's reason, never "Success" left over from an earlier call.
    EXPECT_EQ(error, std::strerror(ENOTEMPTY)) << error;
    EXPECT_TRUE(fs::exists(dir / "voice.onnx"));
    // Nor is it read as a speaker.
    std::vector<LocalVoice> list;
    listVoiceSpeakers(dir, list);
    EXPECT_TRUE(list.empty());
    LocalVoice found;
    EXPECT_FALSE(findInstalledVoice("stuck", 0, found));
}

TEST(FileRemoval, RemoveAllCountsEntries)
{
    testutil::TempDir tmp;
    EXPECT_EQ(removeAll(tmp.path() / "missing"), 0);

    fs::path tree = tmp.path() / "tree";
    fs::create_directories(tree / "a" / "b");
    writeFile(tree / "f1", "1");
    writeFile(tree / "a" / "f2", "2");
    writeFile(tree / "a" / "b" / "f3", "3");
    fs::create_symlink(tmp.path(), tree / "link");
    // 3 files, 1 link, 3 folders; the link's target stays.
    EXPECT_EQ(removeAll(tree), 7);
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_TRUE(fs::exists(tmp.path()));

    writeFile(tmp.path() / "single", "x");
    EXPECT_EQ(removeAll(tmp.path() / "single"), 1);

    // Below a file nothing exists.
    writeFile(tmp.path() / "plain", "x");
    EXPECT_EQ(removeAll(tmp.path() / "plain" / "child"), 0);
}

TEST(FileRemoval, RemoveFileOnlyReportsRealRemovals)
{
    testutil::TempDir tmp;
    writeFile(tmp.path() / "f", "x");
    EXPECT_TRUE(removeFile(tmp.path() / "f"));
    EXPECT_FALSE(removeFile(tmp.path() / "f"));
    fs::create_directories(tmp.path() / "d");
    EXPECT_FALSE(removeFile(tmp.path() / "d"));
    EXPECT_TRUE(fs::exists(tmp.path() / "d"));
}

TEST(AtomicWrite, WritesOnceThroughTemporaryFile)
{
    testutil::TempDir tmp;
    fs::path p = tmp.path() / "new" / "deeper" / "spk-0.json";
    std::string err;
    EXPECT_TRUE(writeFileAtomic(p, "first", err));
    EXPECT_EQ(readFile(p), "first");
    EXPECT_FALSE(fs::exists(p.string() + ".tmp"));

    EXPECT_TRUE(writeFileAtomic(p, "second", err));
    EXPECT_EQ(readFile(p), "first");

    // The temporary name is taken by a folder: the write fails with the system text.
    fs::path q = tmp.path() / "q.json";
    fs::create_directories(tmp.path() / "q.json.tmp");
    EXPECT_FALSE(writeFileAtomic(q, "x", err));
    EXPECT_EQ(err.rfind("Write config file failed. ", 0), 0u) << err;
    EXPECT_GT(err.size(), strlen("Write config file failed. "));
    EXPECT_FALSE(fs::exists(q));

    // A link at the temporary name is replaced, not written through.
    fs::path victim = tmp.path() / "victim";
    testutil::writeFile(victim, "precious");
    fs::create_symlink(victim, tmp.path() / "r.json.tmp");
    EXPECT_TRUE(writeFileAtomic(tmp.path() / "r.json", "new", err)) << err;
    EXPECT_EQ(readFile(tmp.path() / "r.json"), "new");
    EXPECT_EQ(readFile(victim), "precious");
}

TEST(AtomicWrite, SpeakerJsonRoundTrip)
{
    testutil::TempDir tmp;
    LocalVoice v;
    v.uid = "custom_x";
    v.spk = 4;
    v.native = "Deutsch";
    v.name = "Ännchen \"A\"";
    v.quality = 1;
    fs::path p = tmp.path() / SpeakerFile::fileName(4);
    std::string err;
    ASSERT_TRUE(writeFileAtomic(p, SpeakerFile::toJson(v), err));
    EXPECT_EQ(p.filename(), "spk-4.json");
    LocalVoice r;
    ASSERT_TRUE(readSpeakerFile(p, r));
    EXPECT_EQ(r.uid, v.uid);
    EXPECT_EQ(r.spk, 4);
    EXPECT_EQ(r.name, v.name);
    EXPECT_EQ(r.native, "Deutsch");
    EXPECT_EQ(r.quality, 1);
    int n = 0;
    EXPECT_TRUE(SpeakerFile::matchName("Spk-12.Json", &n));
    EXPECT_EQ(n, 12);
    EXPECT_FALSE(SpeakerFile::matchName("xspk-1.json"));
}
