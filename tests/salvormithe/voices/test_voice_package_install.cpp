#include "common/FileUtils.h"
#include "common/JsonRef.h"
#include "voices/VoicePackageInstaller.h"
#include "voices/VoiceServerClient.h"
#include "voices/VoiceStore.h"
#include "voices/VoiceTask.h"

#include "LoopbackServers.h"
#include "TestUtil.h"
#include "VoiceTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <thread>

namespace fs = std::filesystem;
using namespace voicetest;

namespace {

// A package file from a header and raw archive bytes.
fs::path writePackage(const fs::path& dir, const std::string& name, const std::string& header,
                      const std::string& archive)
{
    fs::path p = dir / name;
    writeBytes(p, VoicePackageFile::compose(header, archive));
    return p;
}

ServerVoice serverVoice(const std::string& uid, int spk, const std::string& name)
{
    ServerVoice v;
    v.uid = uid;
    v.spk = spk;
    v.lang = "en-us";
    v.eng = "English";
    v.native = "English";
    v.name = name;
    v.sex = 2;
    v.quality = 3;
    v.downloaded = 99;
    return v;
}

// A store snapshot without the extraction area, which installs may create empty.
std::set<std::string> storeState()
{
    std::set<std::string> all = snapshot(voicesDir());
    std::set<std::string> out;
    for (const std::string& e : all) {
        if (e != ".tmp/")
            out.insert(e);
    }
    return out;
}

bool extractionAreaEmpty()
{
    std::error_code ec;
    return !fs::exists(voicesDir() / ".tmp") || fs::is_empty(voicesDir() / ".tmp", ec);
}

// Hands out bytes as an archive reader does.
ArchiveReader readerOf(const std::string& bytes)
{
    auto offset = std::make_shared<size_t>(0);
    return [&bytes, offset](char* buffer, int size) {
        size_t n = std::min(bytes.size() - *offset, size_t(size));
        std::memcpy(buffer, bytes.data() + *offset, n);
        *offset += n;
        return int(n);
    };
}

class PackageInstall : public testing::Test
{
protected:
    void SetUp() override { removeAll(voicesDir()); }
    void TearDown() override { removeAll(voicesDir()); }
    testutil::TempDir dir;
};

} // namespace

TEST_F(PackageInstall, ServerInstallEndToEnd)
{
    fs::path cat = dir.path() / "cat";
    std::string header = speakerHeader("alpha", 0, "Amy");
    std::string archive = makeArchive(voiceFiles("alpha-model"));
    writePackage(cat / "packages", "alpha-0.orvelin", header, archive);
    writePackage(cat / "packages", "alpha-1.orvelin", speakerHeader("alpha", 1, "Bob"), archive);
    std::optional<InProcessServer> server;
    server.emplace(cat);

    std::vector<std::pair<int, std::string>> reports;
    VoiceTask task;
    std::string error;
    ASSERT_TRUE(ServerVoice::install(serverVoice("alpha", 0, "Amy"), error,
                                     [&](int p, std::string t) { reports.emplace_back(p, t); }, &task))
        << error;
    fs::path voice = voicesDir() / "alpha";
    EXPECT_EQ(readBytes(voice / "voice.onnx"), "stand-in model");
    EXPECT_TRUE(fs::exists(voice / "voice.onnx.json"));
    // The package header is the speaker file, byte for byte.
    EXPECT_EQ(readBytes(voice / "speakers" / "spk-0.json"), header);
    EXPECT_FALSE(fs::exists(voicesDir() / "alpha.orvelin"));
    EXPECT_FALSE(fs::exists(voicesDir() / "alpha.orvelin.downloading"));
    EXPECT_TRUE(extractionAreaEmpty());
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().second, "Extracting...");
    EXPECT_EQ(reports.back().first, 100);
    bool sawDownload = false;
    for (const auto& r : reports)
        sawDownload = sawDownload || r.second.find(" of ") != std::string::npos;
    EXPECT_TRUE(sawDownload);

    LocalVoice found;
    ASSERT_TRUE(findInstalledVoice("alpha", 0, found));
    EXPECT_EQ(found.name, "Amy");

    // A second speaker of the installed model: nothing is downloaded, the speaker
    // file holds the nine keys of the server's record.
    server.reset();
    fs::create_directories(dir.path() / "empty-catalogue");
    server.emplace(dir.path() / "empty-catalogue");
    ASSERT_TRUE(ServerVoice::install(serverVoice("alpha", 1, "Bob"), error, nullptr, &task)) << error;
    JsonRef spk1 = JsonRef::parse(readBytes(voice / "speakers" / "spk-1.json"));
    ASSERT_TRUE(spk1.isObject());
    EXPECT_EQ(spk1.size(), 9);
    EXPECT_EQ(spk1.get("name").toString(), "Bob");
    EXPECT_EQ(spk1.get("quality").toInt(), 3);
    EXPECT_TRUE(spk1.get("downloaded").isNull());

    // Installing a speaker whose file exists keeps that file.
    ASSERT_TRUE(ServerVoice::install(serverVoice("alpha", 0, "Renamed"), error, nullptr, nullptr));
    EXPECT_EQ(readBytes(voice / "speakers" / "spk-0.json"), header);
}

TEST_F(PackageInstall, HeaderChecks)
{
    std::string archive = makeArchive(voiceFiles("m"));
    std::string error;
    auto install = [&](const fs::path& p) {
        error.clear();
        return serverInstallVoice(p, error, nullptr, nullptr);
    };

    EXPECT_FALSE(install(dir.path() / "missing.orvelin"));
    EXPECT_EQ(error, "Open orvelin failed. No such file or directory");

    // The texts say what is wrong, with no stale system error behind them.
    for (uint32_t len : {0u, 65536u}) {
        std::string bytes(4, '\0');
        for (int i = 0; i < 4; ++i)
            bytes[size_t(i)] = char((len >> (8 * i)) & 0xff);
        bytes += std::string(70000, ' ');
        writeBytes(dir.path() / "len.orvelin", bytes);
        EXPECT_FALSE(install(dir.path() / "len.orvelin")) << len;
        EXPECT_EQ(error, "Invalid orvelin file(header-len). len.orvelin is not a voice package: its header length "
                             + std::to_string(len) + " is not from 1 to 65535.");
    }
    writeBytes(dir.path() / "short.orvelin", std::string("\x05\x00", 2));
    EXPECT_FALSE(install(dir.path() / "short.orvelin"));
    EXPECT_EQ(error, "Invalid orvelin file(header-len). The file is shorter than 4 bytes.");

    // The longest header is accepted.
    std::string longHeader = speakerHeader("longest", 0);
    longHeader.resize(65535, ' ');
    EXPECT_TRUE(install(writePackage(dir.path(), "long.orvelin", longHeader, archive))) << error;
    EXPECT_TRUE(fs::exists(voicesDir() / "longest" / "voice.onnx"));

    EXPECT_FALSE(install(writePackage(dir.path(), "arr.orvelin", "[1,2]", archive)));
    EXPECT_EQ(error, "Invalid orvelin file(header). The header is not a JSON object.");
    writeBytes(dir.path() / "cut.orvelin", std::string("\x40\x00\x00\x00{\"uid\":", 11));
    EXPECT_FALSE(install(dir.path() / "cut.orvelin"));
    EXPECT_EQ(error, "Invalid orvelin file(header). cut.orvelin is cut short: it ends inside its header, after 7 of "
                     "its 64 bytes.");
    EXPECT_FALSE(install(writePackage(dir.path(), "nouid.orvelin", R"({"spk":1})", archive)));
    EXPECT_EQ(error, "Invalid voice uid. The header names no voice.");
    EXPECT_FALSE(install(writePackage(dir.path(), "empty.orvelin", R"({"uid":"","spk":1})", archive)));
    EXPECT_EQ(error, "Invalid voice uid. The header names no voice.");
    for (const char* uid : {".", "..", ".tmp", "a/b", "..\\\\x"}) {
        EXPECT_FALSE(install(writePackage(dir.path(), "bad.orvelin", R"({"uid":")" + std::string(uid) + R"("})",
                                          archive)))
            << uid;
        EXPECT_EQ(error, "Invalid voice uid. It cannot name a voice folder.") << uid;
    }
}

TEST_F(PackageInstall, ArchiveLayouts)
{
    std::string error;
    // A zip without folder entries, its names starting with "./".
    std::string zip =
        makeArchive({{"./model/x.onnx", "onnx"}, {"./model/x.onnx.json", R"({"num_speakers":5})"}}, "zip");
    ASSERT_TRUE(serverInstallVoice(writePackage(dir.path(), "z.orvelin", speakerHeader("zipped", 4), zip), error,
                                   nullptr, nullptr))
        << error;
    EXPECT_EQ(readBytes(voicesDir() / "zipped" / "x.onnx"), "onnx");
    EXPECT_TRUE(fs::exists(voicesDir() / "zipped" / "speakers" / "spk-4.json"));

    // Characters that file names cannot hold are dropped.
    std::string odd = makeArchive({{"top", "", ArchiveItem::Folder},
                                   {"top/v.onnx", "m"},
                                   {"top/v.onnx.json", R"({"num_speakers":2})"},
                                   {"top/a:b\\c?.txt", "odd"}});
    ASSERT_TRUE(serverInstallVoice(writePackage(dir.path(), "o.orvelin", speakerHeader("odd", 0), odd), error,
                                   nullptr, nullptr))
        << error;
    EXPECT_EQ(readBytes(voicesDir() / "odd" / "abc.txt"), "odd");

    // An installed model: the package is checked whole, then only its speaker
    // file is added and the installed model stays as it was.
    EXPECT_FALSE(serverInstallVoice(writePackage(dir.path(), "o2.orvelin", speakerHeader("odd", 1), "not an archive"),
                                    error, nullptr, nullptr));
    EXPECT_FALSE(fs::exists(voicesDir() / "odd" / "speakers" / "spk-1.json"));
    ASSERT_TRUE(serverInstallVoice(writePackage(dir.path(), "o3.orvelin", speakerHeader("odd", 1), zip), error, nullptr,
                                   nullptr))
        << error;
    EXPECT_TRUE(fs::exists(voicesDir() / "odd" / "speakers" / "spk-1.json"));
    EXPECT_FALSE(fs::exists(voicesDir() / "odd" / "x.onnx"));
}

TEST_F(PackageInstall, HostilePackagesLeaveTheStoreAsItWas)
{
    std::string error;
    // An installed voice that must survive every attempt.
    ASSERT_TRUE(serverInstallVoice(writePackage(dir.path(), "ok.orvelin", speakerHeader("kept", 0),
                                                makeArchive(voiceFiles("kept"))),
                                   error, nullptr, nullptr));
    const std::set<std::string> before = storeState();
    fs::path outside = dir.path() / "outside";
    fs::create_directories(outside);

    std::vector<ArchiveItem> good = voiceFiles("evil");
    // Cut inside the content of a file that does not compress.
    std::mt19937 rng(3);
    std::string noise(200000, '\0');
    for (char& c : noise)
        c = char(rng());
    std::vector<ArchiveItem> large = good;
    large.push_back({"evil/weights.bin", noise});
    std::string truncated = makeArchive(large);
    truncated.resize(truncated.size() / 2);
    struct Case
    {
        const char* what;
        std::string archive;
    };
    auto with = [&](std::vector<ArchiveItem> extra, const std::string& kind = "tar.gz") {
        std::vector<ArchiveItem> items = good;
        items.insert(items.end(), extra.begin(), extra.end());
        return makeArchive(items, kind);
    };
    std::vector<Case> cases = {
        {"traversal", with({{"evil/../../escaped.txt", "x"}})},
        {"traversal first", makeArchive({{"../escaped", "", ArchiveItem::Folder}, {"../escaped/v.onnx", "m"}})},
        {"absolute", with({{(outside / "abs.txt").string(), "x"}})},
        {"symlink", with({{"evil/link", "", ArchiveItem::Symlink, outside.string()}, {"evil/link/through.txt", "x"}})},
        {"hardlink", with({{"evil/hard", "", ArchiveItem::Hardlink, "/etc/hostname"}})},
        {"zip traversal", with({{"evil/../../../zipescaped.txt", "x"}}, "zip")},
        {"truncated", truncated},
        {"garbage", std::string(5000, 'g')},
        {"no model", makeArchive({{"evil", "", ArchiveItem::Folder}, {"evil/readme.txt", "hi"}})},
        {"file on top", makeArchive({{"voice.onnx", "m"}, {"voice.onnx.json", "{}"}})},
        {"empty archive", makeArchive({})},
    };
    // Each package for a new voice and for the speaker of an installed one.
    for (const Case& c : cases) {
      for (const std::string uid : {"evil", "kept"}) {
        error.clear();
        fs::path pkg = writePackage(dir.path(), "hostile.orvelin", speakerHeader(uid, 1), c.archive);
        EXPECT_FALSE(serverInstallVoice(pkg, error, nullptr, nullptr)) << c.what << " " << uid;
        EXPECT_FALSE(error.empty()) << c.what;
        EXPECT_EQ(storeState(), before) << c.what << " " << uid << ": " << error;
        EXPECT_TRUE(extractionAreaEmpty()) << c.what;
        EXPECT_TRUE(fs::is_empty(outside)) << c.what;
        EXPECT_FALSE(fs::exists(voicesDir().parent_path() / "escaped.txt")) << c.what;
        EXPECT_FALSE(fs::exists(voicesDir().parent_path() / "escaped")) << c.what;
      }
    }

    // Speaker files an archive carries are not taken: the header names the one
    // speaker a package adds, for a new voice as for an installed one.
    const std::string kept0 = readBytes(voicesDir() / "kept" / "speakers" / "spk-0.json");
    for (const std::string uid : {"planted", "kept"}) {
        std::string archive = with({{"evil/speakers", "", ArchiveItem::Folder},
                                    {"evil/speakers/spk-0.json", speakerHeader(uid, 0, "Evil")},
                                    {"evil/speakers/spk-1.json", speakerHeader(uid, 1, "Evil")},
                                    {"evil/speakers/spk-5.json", speakerHeader(uid, 5, "Evil")}});
        std::string header = speakerHeader(uid, 1, "Honest");
        ASSERT_TRUE(serverInstallVoice(writePackage(dir.path(), "planted.orvelin", header, archive), error, nullptr,
                                       nullptr))
            << error;
        std::vector<LocalVoice> speakers;
        listVoiceSpeakers(voicesDir() / uid, speakers);
        ASSERT_EQ(speakers.size(), uid == "kept" ? 2u : 1u) << uid;
        EXPECT_EQ(readBytes(voicesDir() / uid / "speakers" / "spk-1.json"), header);
        EXPECT_FALSE(fs::exists(voicesDir() / uid / "speakers" / "spk-5.json"));
    }
    EXPECT_EQ(readBytes(voicesDir() / "kept" / "speakers" / "spk-0.json"), kept0);
    removeAll(voicesDir() / "planted");
    removeAll(voicesDir() / "kept" / "speakers" / "spk-1.json");

    // A damaged archive reports libarchive's own text.
    fs::path pkg = writePackage(dir.path(), "trunc.orvelin", speakerHeader("evil", 0), truncated);
    EXPECT_FALSE(serverInstallVoice(pkg, error, nullptr, nullptr));
    EXPECT_NE(error.find("runcated"), std::string::npos) << error;

    // A package for another voice than the one asked for.
    pkg = writePackage(dir.path(), "other.orvelin", speakerHeader("other", 0), makeArchive(voiceFiles("other")));
    EXPECT_FALSE(serverInstallVoice(pkg, error, nullptr, nullptr, "kept2"));
    EXPECT_EQ(error, "Invalid voice uid. The package is for \"other\", not \"kept2\".");
    EXPECT_EQ(storeState(), before);
}

TEST_F(PackageInstall, PackagesThatCannotBeUsedAreRefusedAndLeaveNothing)
{
    std::string error;
    ASSERT_TRUE(serverInstallVoice(writePackage(dir.path(), "ok.orvelin", speakerHeader("kept", 0),
                                                makeArchive(voiceFiles("kept"))),
                                   error, nullptr, nullptr));
    ASSERT_TRUE(serverInstallVoice(writePackage(dir.path(), "one.orvelin", speakerHeader("single", 0),
                                                makeArchive(voiceFiles("single", "en-us", 1))),
                                   error, nullptr, nullptr))
        << error;
    const std::set<std::string> before = storeState();
    auto with = [](std::vector<ArchiveItem> items, const std::string& config = "") {
        std::vector<ArchiveItem> all = voiceFiles("m");
        if (!config.empty())
            all[2].data = config;
        all.insert(all.end(), items.begin(), items.end());
        return makeArchive(all);
    };
    const int64_t bombSize = 65 * 1024 * 1024 + 1;
    struct Case
    {
        const char* what;
        std::string header, archive, error;
    } cases[] = {
        {"negative speaker", speakerHeader("neg", -1), with({}), "Invalid speaker number -1."},
        {"uid not a string", R"({"uid":42,"spk":0})", with({}), "Invalid voice uid. "},
        {"uid with a control character", "{\"uid\":\"a\\u0001b\"}", with({}), "Invalid voice uid. "},
        {"uid with a C1 control", "{\"uid\":\"a\\u0085b\"}", with({}), "Invalid voice uid. "},
        {"uid not UTF-8", "{\"uid\":\"a\xff\xfe\"}", with({}), "Invalid voice uid. "},
        {"uid too long", speakerHeader(std::string(201, 'u'), 0), with({}), "Invalid voice uid. "},
        {"config not JSON", speakerHeader("c", 0), with({}, "not json"),
         "Invalid orvelin file(config). The voice configuration is not a JSON object."},
        {"config sample rate", speakerHeader("c", 0), with({}, R"({"audio":{"sample_rate":1000}})"),
         "Invalid orvelin file(config). Unsupported sample rate 1000."},
        {"speaker past the voice's speakers", speakerHeader("c", 2), with({}),
         "Invalid orvelin file(config). Speaker 2 is out of range: the voice has 2 speakers."},
        {"no speakers", speakerHeader("c", 0), with({}, R"({"num_speakers":0})"),
         "Invalid orvelin file(config). Invalid number of speakers 0: a whole number from 1 to 10000 is expected."},
        {"negative speakers", speakerHeader("c", 0), with({}, R"({"num_speakers":-1})"),
         "Invalid orvelin file(config). Invalid number of speakers -1: a whole number from 1 to 10000 is expected."},
        {"sample rate as a text", speakerHeader("c", 0), with({}, R"({"audio":{"sample_rate":"22050"}})"),
         "Invalid orvelin file(config). Invalid audio.sample_rate \"22050\": a whole number is expected."},
        {"sample rate as a fraction", speakerHeader("c", 0), with({}, R"({"audio":{"sample_rate":22050.5}})"),
         "Invalid orvelin file(config). Invalid audio.sample_rate 22050.5: a whole number is expected."},
        {"audio as a list", speakerHeader("c", 0), with({}, R"({"audio":[22050]})"),
         "Invalid orvelin file(config). Invalid audio [ 22050 ]: an object is expected."},
        {"espeak-ng voice as a number", speakerHeader("c", 0), with({}, R"({"espeak":{"voice":5}})"),
         "Invalid orvelin file(config). Invalid espeak.voice 5: a text is expected."},
        {"noise scale as a text", speakerHeader("c", 0), with({}, R"({"inference":{"noise_scale":"0.6"}})"),
         "Invalid orvelin file(config). Invalid inference.noise_scale \"0.6\": a number is expected."},
        {"pitch as a truth value", speakerHeader("c", 0), with({}, R"({"speech":{"pitch_hz":true}})"),
         "Invalid orvelin file(config). Invalid speech.pitch_hz true: a number is expected."},
        {"speakers as a text", speakerHeader("c", 0), with({}, R"({"num_speakers":"2"})"),
         "Invalid orvelin file(config). Invalid number of speakers \"2\": a whole number from 1 to 10000 is expected."},
        {"speakers beyond reason", speakerHeader("c", 0), with({}, R"({"num_speakers":2147483647})"),
         "Invalid orvelin file(config). Invalid number of speakers 2147483647: a whole number from 1 to 10000 is "
         "expected."},
        {"speaker of a one-speaker voice", speakerHeader("c", 2147483647), with({}, "{}"),
         "Invalid orvelin file(config). Speaker 2147483647 is out of range: the voice has one speaker."},
        {"speaker 3 the installed voice does not have", speakerHeader("single", 3), with({}, R"({"num_speakers":8})"),
         "Invalid speaker for the installed voice. Speaker 3 is out of range: the voice has one speaker."},
        {"speaker 5 the installed voice does not have", speakerHeader("single", 5), with({}, R"({"num_speakers":8})"),
         "Invalid speaker for the installed voice. Speaker 5 is out of range: the voice has one speaker."},
        {"espeak-ng voice that does not exist", speakerHeader("e", 0),
         with({}, R"({"espeak":{"voice":"zz-nonexistent"}})"),
         "The voice cannot be used on this computer. Load failed. espeak-ng has no voice \"zz-nonexistent\"."},
        {"espeak-ng voice that is a path", speakerHeader("e", 0),
         with({}, R"({"espeak":{"voice":"../../../../etc/passwd"}})"),
         "The voice cannot be used on this computer. Load failed. Invalid espeak-ng voice \"../../../../etc/passwd\""},
        {"model that is a folder", speakerHeader("f", 0),
         makeArchive({{"f/m.onnx", "", ArchiveItem::Folder}, {"f/m.onnx.json", "{}"}}),
         "Invalid orvelin file(model). The package holds no voice model."},
        {"names equal once cleaned", speakerHeader("d", 0), with({{"m/voice.onnx?", "other"}}),
         "Invalid orvelin file(entries). Two entries are both written as m/voice.onnx."},
        {"file and folder of one name", speakerHeader("d", 0), with({{"./m/voice.onnx", "", ArchiveItem::Folder}}),
         "Invalid orvelin file(entries). Two entries are both written as m/voice.onnx."},
        {"tar bomb", speakerHeader("b", 0), makeArchive({{"bomb/zeros.bin", "", ArchiveItem::File, "", bombSize}}), "The voice package unpacks to more than 64 M."},
        {"zip bomb", speakerHeader("b", 0), makeArchive({{"bomb/zeros.bin", "", ArchiveItem::File, "", bombSize}}, "zip"), "The voice package unpacks to more than 64 M."},
    };
    for (const Case& c : cases) {
        error.clear();
        EXPECT_FALSE(serverInstallVoice(writePackage(dir.path(), "bad.orvelin", c.header, c.archive), error, nullptr,
                                        nullptr))
            << c.what;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.what << ": " << error;
        EXPECT_EQ(storeState(), before) << c.what;
        EXPECT_TRUE(extractionAreaEmpty()) << c.what;
    }
    EXPECT_FALSE(ServerVoice::install(serverVoice("neg", -1, "N"), error, nullptr, nullptr));
    EXPECT_EQ(error, "Invalid speaker number -1.");
    // Nor does the server's list add a speaker the installed voice does not have.
    EXPECT_FALSE(ServerVoice::install(serverVoice("single", 3, "Three"), error, nullptr, nullptr));
    EXPECT_EQ(error, "Invalid speaker for the installed voice. Speaker 3 is out of range: the voice has one speaker.");
    EXPECT_EQ(storeState(), before);

    // The limits of one extraction on entries and on bytes.
    std::string five = makeArchive({{"t/1", "x"}, {"t/2", "x"}, {"t/3", "x"}, {"t/4", "x"}, {"t/5", std::string(5000, 'z')}}, "zip");
    for (auto [limits, expected] : {std::pair{ExtractLimits{-1, "", 3}, "The voice package holds more than 3 entries."},
                                    {ExtractLimits{1000, "", -1}, "The voice package unpacks to more than 1000 B."}}) {
        bool ok = true;
        extractArchive(readerOf(five), int64_t(five.size()), dir.path() / "limited", ok, error, nullptr, limits);
        EXPECT_FALSE(ok);
        EXPECT_EQ(error, expected);
    }
}

TEST_F(PackageInstall, ATextSaysWhatIsWrongWithThePackage)
{
    std::string error;
    ASSERT_TRUE(serverInstallVoice(writePackage(dir.path(), "ok.orvelin", speakerHeader("kept", 0),
                                                makeArchive(voiceFiles("kept"))),
                                   error, nullptr, nullptr))
        << error;
    const std::set<std::string> before = storeState();
    const std::string header = speakerHeader("new", 0);
    const std::string good = makeArchive(voiceFiles("m"));
    // Archives cut inside a file that does not compress.
    std::mt19937 rng(5);
    std::string noise(200000, '\0');
    for (char& ch : noise)
        ch = char(rng());
    std::vector<ArchiveItem> large = voiceFiles("m");
    large.push_back({"m/weights.bin", noise});
    std::string zip = makeArchive(large, "zip"), tarGz = makeArchive(large);
    zip.resize(zip.size() / 2);
    tarGz.resize(tarGz.size() / 2);
    auto length = [](uint32_t n) { return std::string(reinterpret_cast<const char*>(&n), 4); };
    // A file name too long for the disk, deep in folders.
    std::string deep = "m";
    while (deep.size() < 6000)
        deep += "/d";
    deep += "/" + std::string(300, 'f');
    std::vector<ArchiveItem> longName = voiceFiles("m");
    longName.push_back({deep, "x"});
    std::vector<ArchiveItem> other = voiceFiles("m");
    other[2].data = R"({"audio":{"sample_rate":16000},"num_speakers":2})";
    const std::string damaged = "The voice package bad.orvelin is damaged and cannot be unpacked: ";
    // Texts that end in "... " are followed by the library's or the system's words.
    struct Case
    {
        const char* what;
        std::string bytes, error;
    } cases[] = {
        {"a web page in its place", "<!DOCTYPE html><html><body>Not found</body></html>\n",
         "Invalid orvelin file(header-len). The download bad.orvelin is not a voice package: the server sent text, "
         "such as a web page, in its place."},
        {"a header length past the end", length(4000) + header,
         "Invalid orvelin file(header). bad.orvelin is cut short: it ends inside its header, after "
             + std::to_string(header.size()) + " of its 4000 bytes."},
        {"nothing after the header", VoicePackageFile::compose(header, ""),
         "Invalid orvelin file(model). bad.orvelin is cut short: nothing follows its header."},
        {"a gzip cut short", VoicePackageFile::compose(header, tarGz), damaged},
        {"a zip cut short", VoicePackageFile::compose(header, zip), damaged},
        {"no archive", VoicePackageFile::compose(header, std::string(5000, 'g')), damaged + "archive_read_open failed. "},
        {"a file name too long", VoicePackageFile::compose(header, makeArchive(longName)),
         "The voice package bad.orvelin could not be unpacked into the voice folder: create "},
        {"another version of an installed speaker", VoicePackageFile::compose(speakerHeader("kept", 0),
                                                                              makeArchive(other)),
         "Speaker 0 of the voice kept is installed already, from another version of the voice. Remove the voice to "
         "install this package."},
    };
    for (const Case& c : cases) {
        error.clear();
        writeBytes(dir.path() / "bad.orvelin", c.bytes);
        EXPECT_FALSE(serverInstallVoice(dir.path() / "bad.orvelin", error, nullptr, nullptr)) << c.what;
        if (c.error.back() == ' ') {
            EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.what << ": " << error;
            EXPECT_GT(error.size(), c.error.size()) << c.what;
        } else {
            EXPECT_EQ(error, c.error) << c.what;
        }
        if (c.error.find(": create ") != std::string::npos) {
            EXPECT_NE(error.find(" error. File name too long"), std::string::npos) << error;
        }
        // Paths are cut to a readable length.
        EXPECT_LT(error.size(), 300u) << c.what << ": " << error;
        EXPECT_EQ(storeState(), before) << c.what;
        EXPECT_TRUE(extractionAreaEmpty()) << c.what;
    }
    // The same version of an installed speaker installs as before: nothing changes.
    const std::string kept = readBytes(voicesDir() / "kept" / "speakers" / "spk-0.json");
    EXPECT_TRUE(serverInstallVoice(writePackage(dir.path(), "same.orvelin", speakerHeader("kept", 0, "Renamed"),
                                                makeArchive(voiceFiles("kept"))),
                                   error, nullptr, nullptr))
        << error;
    EXPECT_EQ(readBytes(voicesDir() / "kept" / "speakers" / "spk-0.json"), kept);
}

TEST_F(PackageInstall, WrongUidFromTheServerAndRetryAfterABadPackage)
{
    // A server that hands out the package of another voice first, a good one after.
    std::string wrong = VoicePackageFile::compose(speakerHeader("intruder", 0), makeArchive(voiceFiles("intruder")));
    std::string right = VoicePackageFile::compose(speakerHeader("wanted", 0), makeArchive(voiceFiles("wanted")));
    std::atomic<int> requests{0};
    httplib::Server srv;
    srv.Get("/voice_path.php", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(requests++ == 0 ? wrong : right, "application/octet-stream");
    });
    int port = srv.bind_to_any_port("127.0.0.1");
    std::thread t([&] { srv.listen_after_bind(); });
    ::setenv(voiceServerEnvVar, ("http://127.0.0.1:" + std::to_string(port) + "/").c_str(), 1);

    const std::set<std::string> before = storeState();
    std::string error;
    EXPECT_FALSE(ServerVoice::install(serverVoice("wanted", 0, "W"), error, nullptr, nullptr));
    EXPECT_EQ(error, "Invalid voice uid. The package is for \"intruder\", not \"wanted\".");
    EXPECT_EQ(storeState(), before);
    EXPECT_FALSE(fs::exists(voicesDir() / "intruder"));

    // The bad package is not kept: the next try downloads again and installs.
    EXPECT_TRUE(ServerVoice::install(serverVoice("wanted", 0, "W"), error, nullptr, nullptr)) << error;
    EXPECT_EQ(requests, 2);
    LocalVoice v;
    EXPECT_TRUE(findInstalledVoice("wanted", 0, v));

    // Uids that are no folder name are refused before any request.
    EXPECT_FALSE(ServerVoice::install(serverVoice("..", 0, "W"), error, nullptr, nullptr));
    EXPECT_EQ(error, "Invalid voice uid. It cannot name a voice folder.");
    EXPECT_EQ(requests, 2);

    ::unsetenv(voiceServerEnvVar);
    testutil::stopHttplib(srv);
    t.join();
}

TEST_F(PackageInstall, CancelDuringExtraction)
{
    // Incompressible content, so the extraction takes many blocks.
    std::mt19937 rng(7);
    std::string big(6 * 1024 * 1024, '\0');
    for (char& c : big)
        c = char(rng());
    std::vector<ArchiveItem> items = voiceFiles("big");
    items.push_back({"big/weights.bin", big});
    fs::path cat = dir.path() / "cat";
    std::string archive = makeArchive(items);
    writePackage(cat / "packages", "big-0.orvelin", speakerHeader("big", 0), archive);
    writePackage(cat / "packages", "big-1.orvelin", speakerHeader("big", 1, "Other"), archive);
    InProcessServer server(cat);

    VoiceTask task;
    int extracting = 0;
    std::vector<int> percents;
    std::string error = "untouched";
    bool ok = ServerVoice::install(serverVoice("big", 0, "Big"), error,
                                   [&](int percent, std::string text) {
                                       percents.push_back(percent);
                                       if (text == "Extracting..." && ++extracting == 1)
                                           task.cancel();
                                   },
                                   &task);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, "");
    EXPECT_EQ(extracting, 1);
    EXPECT_FALSE(fs::exists(voicesDir() / "big"));
    EXPECT_TRUE(extractionAreaEmpty());
    // Nothing of the cancelled install stays: no package, no partial file.
    EXPECT_TRUE(storeState().empty());
    // One bar: the download fills it to 80 %, the extraction goes on from there.
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_GE(percents.back(), 80);

    // Installing another speaker of that voice installs that speaker only.
    VoiceTask again;
    ASSERT_TRUE(ServerVoice::install(serverVoice("big", 1, "Other"), error, nullptr, &again)) << error;
    EXPECT_EQ(fs::file_size(voicesDir() / "big" / "weights.bin"), big.size());
    EXPECT_FALSE(fs::exists(voicesDir() / "big.orvelin"));
    std::vector<LocalVoice> installed;
    listInstalledVoices(installed);
    ASSERT_EQ(installed.size(), 1u);
    EXPECT_EQ(installed[0].spk, 1);
    EXPECT_EQ(installed[0].name, "Other");

    // A package left behind by an install that never ended is not trusted.
    writePackage(voicesDir(), "big.orvelin", speakerHeader("big", 0, "Stale"), archive);
    removeAll(voicesDir() / "big");
    ASSERT_TRUE(ServerVoice::install(serverVoice("big", 1, "Other"), error, nullptr, nullptr)) << error;
    LocalVoice stale;
    EXPECT_FALSE(findInstalledVoice("big", 0, stale));
    EXPECT_FALSE(fs::exists(voicesDir() / "big.orvelin"));
}

TEST_F(PackageInstall, CancelsDuringACancelledInstallNeverReachItsDownloader)
{
    // Cancels keep arriving (a page closing twice) while installs of a task that
    // is already cancelled return; none may reach a downloader that is gone.
    VoiceTask task;
    task.cancel();
    std::atomic<bool> stop{false};
    std::thread canceller([&] {
        while (!stop)
            task.cancel();
    });
    ServerVoice voice = serverVoice("never-fetched", 0, "Amy");
    std::string error;
    int failures = 0;
    for (int i = 0; i < 20000; ++i)
        failures += ServerVoice::install(voice, error, nullptr, &task) ? 0 : 1;
    stop = true;
    canceller.join();
    EXPECT_EQ(failures, 20000);
    EXPECT_TRUE(storeState().empty());
}

TEST_F(PackageInstall, ExtractionReportsAFileThatCouldNotBeWrittenInFull)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    // The small configuration goes to a device that is always full.
    fs::path target = dir.path() / "target";
    fs::create_directories(target / "model");
    fs::create_symlink("/dev/full", target / "model" / "x.onnx.json");
    std::string bytes = makeArchive({{"model", "", ArchiveItem::Folder},
                                     {"model/x.onnx", std::string(300000, 'm')},
                                     {"model/x.onnx.json", R"({"audio":{"sample_rate":22050}})"}});
    bool ok = true;
    std::string error;
    extractArchive(readerOf(bytes), int64_t(bytes.size()), target, ok, error, nullptr);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error.rfind("write " + (target / "model" / "x.onnx.json").u8string() + " error. ", 0), 0u) << error;
}
