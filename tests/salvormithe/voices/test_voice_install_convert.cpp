#include "common/FileUtils.h"
#include "common/ServerAddress.h"
#include "server/DemoCatalogue.h"
#include "voices/VoiceServerClient.h"
#include "voices/VoiceStore.h"
#include "voices/VoiceTask.h"

#include "ConvertWorker.h"
#include "TestUtil.h"
#include "VoiceTestSupport.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

#include <cmath>
#include <csignal>
#include <cstring>
#include <set>

namespace fs = std::filesystem;

namespace {

// Our server program on a free loopback port, serving a catalogue folder.
class ServerProgram
{
public:
    explicit ServerProgram(const fs::path& catalogue)
    {
        proc.start(testutil::binDir() + "/quorvine_voice_server",
                   {"--catalogue", QString::fromStdString(catalogue.u8string()), "--port", "0"});
        EXPECT_TRUE(proc.waitForStarted(testutil::hangLimitMs));
        EXPECT_TRUE(testutil::waitFor([&] { return proc.canReadLine(); }, testutil::hangLimitMs));
        QString line = QString::fromUtf8(proc.readLine());
        QRegularExpressionMatch m = QRegularExpression("^listening on (http://127\\.0\\.0\\.1:\\d+/)").match(line);
        EXPECT_TRUE(m.hasMatch()) << line.toStdString();
        base = m.captured(1).toStdString();
        ::setenv(voiceServerEnvVar, base.c_str(), 1);
    }
    ~ServerProgram()
    {
        ::unsetenv(voiceServerEnvVar);
        ::kill(pid_t(proc.processId()), SIGTERM);
        proc.waitForFinished(testutil::hangLimitMs);
    }
    std::string base;
    QProcess proc;
};

struct WavInfo
{
    int channels = 0, rate = 0, bits = 0;
    double rms = 0;
    size_t samples = 0;
};

WavInfo readWav(const fs::path& p)
{
    std::string bytes = voicetest::readBytes(p);
    WavInfo info;
    if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return info;
    int16_t channels;
    int32_t rate;
    int16_t bits;
    std::memcpy(&channels, bytes.data() + 22, 2);
    std::memcpy(&rate, bytes.data() + 24, 4);
    std::memcpy(&bits, bytes.data() + 34, 2);
    info.channels = channels;
    info.rate = rate;
    info.bits = bits;
    info.samples = (bytes.size() - 44) / 2;
    double sum = 0;
    for (size_t i = 0; i < info.samples; ++i) {
        int16_t s;
        std::memcpy(&s, bytes.data() + 44 + 2 * i, 2);
        sum += double(s) * s;
    }
    info.rms = info.samples ? std::sqrt(sum / double(info.samples)) : 0;
    return info;
}

} // namespace

TEST(VoiceInstallAndConvert, DemoCatalogueThroughOurServerIntoTheConverter)
{
    removeAll(voicesDir());
    testutil::TempDir dir;
    fs::path catalogue = dir.path() / "demo";
    std::string error;
    ASSERT_TRUE(DemoCatalogue::build(catalogue, fs::u8path((testutil::binDir() + "/salvormithe").toStdString()), error))
        << error;
    // The demo voices were spoken in a data folder of their own.
    EXPECT_TRUE(voicetest::snapshot(voicesDir()).empty());

    ServerProgram server(catalogue);
    std::vector<ServerLang> langs;
    ASSERT_TRUE(fetchServerLangs(langs, error)) << error;
    std::set<std::string> codes;
    for (const ServerLang& l : langs)
        codes.insert(l.lang);
    EXPECT_EQ(codes, (std::set<std::string>{"en-us", "de-de", "fr-fr", "es-es", "zh-cn"}));

    for (const std::string& code : codes) {
        std::vector<ServerVoice> voices;
        ASSERT_TRUE(fetchServerVoices(code, voices, error)) << error;
        ASSERT_GE(voices.size(), 2u) << code;
        for (const ServerVoice& v : voices) {
            EXPECT_EQ(v.lang, code);
            EXPECT_FALSE(v.name.empty());
            // Every speaker has an MP3 sample that ffprobe reads.
            fs::path sample = downloadVoiceSample(v.uid, v.spk, error, nullptr);
            ASSERT_FALSE(sample.empty()) << error;
            QProcess probe;
            probe.start("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0",
                                    QString::fromStdString(sample.u8string())});
            ASSERT_TRUE(probe.waitForFinished(testutil::hangLimitMs));
            EXPECT_EQ(QString::fromUtf8(probe.readAllStandardOutput()).trimmed(), "mp3") << sample;
        }
    }

    // Install the second speaker of the Chinese voice and speak with it.
    std::vector<ServerVoice> zh;
    ASSERT_TRUE(fetchServerVoices("zh-cn", zh, error));
    const ServerVoice& voice = zh.at(1);
    QString workerError;
    fs::path wav = dir.path() / "out.wav";
    EXPECT_EQ(testutil::runConvertWorker(voice.uid, voice.spk, wav, "你好，世界。", workerError), 1);
    EXPECT_TRUE(workerError.startsWith("Invalid voice")) << workerError.toStdString();

    VoiceTask task;
    ASSERT_TRUE(ServerVoice::install(voice, error, nullptr, &task)) << error;
    LocalVoice installed;
    ASSERT_TRUE(findInstalledVoice(voice.uid, voice.spk, installed));
    EXPECT_EQ(installed.name, voice.name);
    EXPECT_EQ(installed.native, "中文");

    ASSERT_EQ(testutil::runConvertWorker(voice.uid, voice.spk, wav, "你好，世界。今天天气很好。", workerError), 0)
        << workerError.toStdString();
    WavInfo info = readWav(wav);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.rate, 22050);
    EXPECT_EQ(info.bits, 16);
    EXPECT_GT(info.samples, 22050u / 2);
    EXPECT_GT(info.rms, 100.0);

    // The other speaker of that voice is not installed until asked for.
    EXPECT_EQ(testutil::runConvertWorker(voice.uid, zh.at(0).spk, dir.path() / "other.wav", "你好。", workerError), 1);
    removeAll(voicesDir());
}
