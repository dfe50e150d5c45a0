// The recorder on SDL's disk driver: a raw file stands for the microphone.
#include "recording/TakeMeter.h"
#include "recording/VoiceRecorder.h"

#include "RecordingTestSupport.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <random>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using testutil::waitFor;

namespace {

// The child's side of rectest::startTakeChild.
int runTakeChild(const char* take)
{
    const char* limit = std::getenv("QV_TAKE_SIZE_LIMIT");
    if (limit) {
        rlimit rl{rlim_t(std::atoll(limit)), rlim_t(std::atoll(limit))};
        ::setrlimit(RLIMIT_FSIZE, &rl);
        // The write past the limit then fails with EFBIG instead of ending the process.
        std::signal(SIGXFSZ, SIG_IGN);
    }
    std::atomic<bool> reported{false};
    VoiceRecorder recorder;
    recorder.start(take, [&](bool ok, QString message) {
        std::printf("result %d %s\n", ok ? 1 : 0, message.toUtf8().constData());
        std::fflush(stdout);
        reported = true;
    });
    fs::path part = TakeWav::partPath(take);
    for (int i = 0; i < testutil::hangLimitMs / 10 && rectest::fileSize(part) < 44 + 9600 && !reported; ++i)
        ::usleep(10000);
    std::printf("capturing\n");
    std::fflush(stdout);
    if (!limit)
        for (;;)
            ::pause();
    for (int i = 0; i < testutil::hangLimitMs / 10 && !reported; ++i)
        ::usleep(10000);
    recorder.stop();
    std::printf("stopped\n");
    std::fflush(stdout);
    return 0;
}

// Before the tests run: the program started as such a child records and ends.
const struct TakeChildHook
{
    TakeChildHook()
    {
        if (const char* take = std::getenv("QV_TAKE_CHILD"))
            ::_exit(runTakeChild(take));
    }
} takeChildHook;

struct Results
{
    std::mutex m;
    std::vector<std::pair<bool, QString>> calls;

    VoiceRecorder::ResultCallback callback()
    {
        return [this](bool ok, QString message) {
            std::lock_guard<std::mutex> lock(m);
            calls.emplace_back(ok, message);
        };
    }
    size_t count()
    {
        std::lock_guard<std::mutex> lock(m);
        return calls.size();
    }
    std::pair<bool, QString> at(size_t i)
    {
        std::lock_guard<std::mutex> lock(m);
        return calls.at(i);
    }
};

uint32_t u32(const QByteArray& b, int offset)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | uint8_t(b[offset + i]);
    return v;
}

uint16_t u16(const QByteArray& b, int offset)
{
    return uint16_t(uint8_t(b[offset]) | (uint8_t(b[offset + 1]) << 8));
}

// A whole take: the header matches the file and the format.
void expectValidTake(const QByteArray& take)
{
    ASSERT_GE(take.size(), 44);
    EXPECT_EQ(take.left(4), "RIFF");
    EXPECT_EQ(u32(take, 4), uint32_t(take.size() - 8));
    EXPECT_EQ(take.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(u32(take, 16), 16u);
    EXPECT_EQ(u16(take, 20), 1);
    EXPECT_EQ(u16(take, 22), 1);
    EXPECT_EQ(u32(take, 24), 48000u);
    EXPECT_EQ(u32(take, 28), 96000u);
    EXPECT_EQ(u16(take, 32), 2);
    EXPECT_EQ(u16(take, 34), 16);
    EXPECT_EQ(take.mid(36, 4), "data");
    EXPECT_EQ(u32(take, 40), uint32_t(take.size() - 44));
    EXPECT_EQ((take.size() - 44) % 2, 0);
}

qint64 fileSize(const fs::path& p)
{
    std::error_code ec;
    auto n = fs::file_size(p, ec);
    return ec ? -1 : qint64(n);
}

class VoiceRecorderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::setenv("SDL_AUDIODRIVER", "disk", 1);
        ::setenv("SDL_DISKAUDIODELAY", "0", 1);
        microphone = tmp.path() / "microphone.raw";
        ::setenv("SDL_DISKAUDIOFILEIN", microphone.c_str(), 1);
        // Two seconds of speech.
        input = rectest::speech(2);
    }

    testutil::TempDir tmp;
    fs::path microphone;
    QByteArray input;
};

} // namespace

TEST_F(VoiceRecorderTest, TakesHoldTheMicrophoneSamplesBehindAValidHeader)
{
    testutil::writeFile(microphone, input);
    fs::path first = tmp.path() / "1.wav";
    fs::path second = tmp.path() / "2.wav";
    Results r1, r2;
    VoiceRecorder recorder;

    recorder.stop(); // no take: nothing happens
    recorder.start(first.string(), r1.callback());
    // The whole input, and then silence, once the file is used up.
    ASSERT_TRUE(waitFor([&] { return fileSize(rectest::partOf(first)) > 44 + input.size() + 9600; }, testutil::hangLimitMs));
    EXPECT_FALSE(fs::exists(first)); // in place only once it ended
    // A second start ends the first take before the next one begins.
    recorder.start(second.string(), r2.callback());
    ASSERT_EQ(r1.count(), 1u);
    EXPECT_TRUE(r1.at(0).first);
    EXPECT_TRUE(r1.at(0).second.isEmpty());

    QByteArray take = testutil::readFile(first);
    expectValidTake(take);
    EXPECT_FALSE(fs::exists(rectest::partOf(first)));
    EXPECT_EQ(take.mid(44, input.size()), input);
    EXPECT_EQ(take.mid(44 + input.size()), QByteArray(take.size() - 44 - input.size(), '\0'));

    // The input is used up: the second take is silent, refused, and nothing is left of it.
    ASSERT_TRUE(waitFor([&] { return fileSize(rectest::partOf(second)) > 44 + rectest::kSecond; }, testutil::hangLimitMs));
    EXPECT_EQ(r2.count(), 0u);
    recorder.stop();
    ASSERT_EQ(r2.count(), 1u);
    EXPECT_FALSE(r2.at(0).first);
    EXPECT_TRUE(r2.at(0).second.startsWith("The take was not kept: it is silent")) << r2.at(0).second.toStdString();
    EXPECT_FALSE(fs::exists(second) || fs::exists(rectest::partOf(second)));
    recorder.stop();
    EXPECT_EQ(r2.count(), 1u);
    EXPECT_EQ(r1.count(), 1u);
}

TEST_F(VoiceRecorderTest, NoMicrophoneThenOne)
{
    fs::path take = tmp.path() / "3.wav";
    Results none, later;
    VoiceRecorder recorder;
    recorder.start(take.string(), none.callback());
    ASSERT_EQ(none.count(), 1u);
    EXPECT_FALSE(none.at(0).first);
    EXPECT_EQ(none.at(0).second, "Please check your computer's microphone.");
    EXPECT_FALSE(fs::exists(take));
    recorder.stop();
    EXPECT_EQ(none.count(), 1u);

    testutil::writeFile(microphone, input);
    recorder.start(take.string(), later.callback());
    ASSERT_TRUE(waitFor([&] { return fileSize(rectest::partOf(take)) >= 44 + input.size(); }, testutil::hangLimitMs));
    recorder.stop();
    ASSERT_EQ(later.count(), 1u);
    EXPECT_TRUE(later.at(0).first);
    QByteArray bytes = testutil::readFile(take);
    expectValidTake(bytes);
    EXPECT_EQ(bytes.mid(44, input.size()), input);
}

TEST_F(VoiceRecorderTest, FailedWritesAndEndsWithoutStop)
{
    testutil::writeFile(microphone, input);

    // Under a file-size limit: one failure however many blocks fail after it,
    // and the old take stays as it was.
    fs::path limited = tmp.path() / "6.wav";
    testutil::writeFile(limited, "the old take");
    auto child = rectest::startTakeChild(limited, 44 + 3 * 9600 + 100);
    ASSERT_TRUE(child->waitForFinished(testutil::hangLimitMs));
    QByteArray out = child->readAllStandardOutput();
    EXPECT_EQ(out.count("result "), 1) << out.toStdString();
    EXPECT_TRUE(out.contains("result 0 " + QByteArray(std::strerror(EFBIG)) + "\n")) << out.toStdString();
    EXPECT_TRUE(out.endsWith("stopped\n")) << out.toStdString();
    EXPECT_EQ(testutil::readFile(limited), "the old take");
    EXPECT_FALSE(fs::exists(rectest::partOf(limited)));

    // A take that cannot be created.
    Results noFolder;
    VoiceRecorder recorder;
    recorder.start((tmp.path() / "missing" / "4.wav").string(), noFolder.callback());
    ASSERT_EQ(noFolder.count(), 1u);
    EXPECT_FALSE(noFolder.at(0).first);
    EXPECT_EQ(noFolder.at(0).second, QString::fromUtf8(std::strerror(ENOENT)));

    // Destroyed in the middle of a take: the take still gets its header.
    fs::path take = tmp.path() / "5.wav";
    Results dropped;
    {
        VoiceRecorder mid;
        mid.start(take.string(), dropped.callback());
        ASSERT_TRUE(waitFor([&] { return fileSize(rectest::partOf(take)) > 44 + rectest::kSecond; }, testutil::hangLimitMs));
    }
    EXPECT_EQ(dropped.count(), 0u);
    QByteArray bytes = testutil::readFile(take);
    expectValidTake(bytes);
    EXPECT_EQ(bytes.mid(44, 9600), input.left(9600));
}

namespace {

std::vector<int16_t> samplesOf(const QByteArray& b)
{
    std::vector<int16_t> s(size_t(b.size() / 2));
    std::memcpy(s.data(), b.constData(), s.size() * 2);
    return s;
}

QByteArray bytesOf(const std::vector<int16_t>& s)
{
    return QByteArray(reinterpret_cast<const char*>(s.data()), int(s.size() * 2));
}

QByteArray zeros(double seconds)
{
    return QByteArray(int(seconds * 48000) * 2, '\0');
}

// Samples made by f(i) for each sample i of the given seconds.
QByteArray made(double seconds, const std::function<double(int)>& f)
{
    std::vector<int16_t> s(size_t(seconds * 48000));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = int16_t(std::clamp(std::lround(f(int(i))), -32768L, 32767L));
    return bytesOf(s);
}

// The samples scaled so that the loudest is at dBFS.
QByteArray peakAt(const QByteArray& b, double dbfs)
{
    std::vector<int16_t> s = samplesOf(b);
    int peak = 1;
    for (int16_t v : s)
        peak = std::max(peak, std::abs(int(v)));
    double gain = 32768 * std::pow(10, dbfs / 20) / peak;
    for (int16_t& v : s)
        v = int16_t(std::clamp(std::lround(v * gain), -32768L, 32767L));
    return bytesOf(s);
}

// Steady white noise of the given level (RMS, dBFS) added to the samples.
QByteArray withNoise(const QByteArray& b, double dbfs)
{
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 32768 * std::pow(10, dbfs / 20));
    std::vector<int16_t> s = samplesOf(b);
    for (int16_t& v : s)
        v = int16_t(std::clamp(std::lround(v + noise(random)), -32768L, 32767L));
    return bytesOf(s);
}

} // namespace

TEST(TakeMeter, KeepsASecondOrMoreOfSpeechAndNothingElse)
{
    using V = TakeMeter::Verdict;
    const std::string prompt = "Four hundred people attended the charity dinner.";
    const QByteArray man = rectest::spoken(prompt, 110), woman = rectest::spoken(prompt, 210);
    auto take = [](const QByteArray& speech) { return zeros(0.4) + speech + zeros(0.6); };
    // A tenth of a second of a word, its loudest sample at 8503.
    const QByteArray burst =
        peakAt(rectest::spoken("Thank you.").mid(rectest::kSecond / 20, rectest::kSecond / 10), -11.7);
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0, 32768 * std::pow(10, -45.0 / 20));
    const struct
    {
        const char* what;
        QByteArray samples;
        V verdict;
    } cases[] = {
        {"a man's take", take(man), V::Keep},
        {"a woman's take", take(woman), V::Keep},
        {"a quiet speaker, peaking at -35 dBFS", peakAt(take(man), -35), V::Keep},
        {"speech over steady noise at -50 dBFS", withNoise(take(woman), -50), V::Keep},
        {"a prompt of two words", take(rectest::spoken("Thank you.")), V::Keep},
        {"a prompt of three words", take(rectest::spoken("Good morning, Anna.", 210)), V::Keep},
        {"speech from an input with an offset of 500", made(6, [&, s = samplesOf(man)](int i) {
             return 500 + (size_t(i) < s.size() ? s[size_t(i)] * 0.5 : 0);
         }), V::Keep},
        {"nothing", QByteArray(), V::TooShort},
        {"0.99 s of speech", rectest::speech(0.99), V::TooShort},
        {"digital silence", zeros(5), V::Silent},
        {"an offset of 400", made(3, [](int) { return 400; }), V::Silent},
        {"an offset of 500", made(3, [](int) { return 500; }), V::Silent},
        {"-32768 throughout", made(3, [](int) { return -32768; }), V::Silent},
        {"50 Hz hum at -30 dBFS", made(4, [](int i) { return 1465 * std::sin(2 * M_PI * 50 * i / 48000); }),
         V::NoSpeech},
        {"noise at -45 dBFS", made(4, [&](int) { return noise(random); }), V::NoSpeech},
        {"one click in 2 s of silence", made(2, [](int i) { return i == 48000 ? 32767 : 0; }), V::NoSpeech},
        {"a full-scale clipped square wave", made(3, [](int i) { return (i / 120) % 2 ? 32767 : -32768; }),
         V::NoSpeech},
        {"0.1 s of sound, then zeros", burst + zeros(5), V::NoSpeech},
        {"0.2 s of sound, then zeros", peakAt(rectest::speech(0.2), -11.7) + zeros(4.8), V::NoSpeech},
        {"a tone that starts after a second",
         zeros(1) + made(3, [](int i) { return 8000 * std::sin(2 * M_PI * 440 * i / 48000); }), V::NoSpeech},
    };
    for (const auto& c : cases) {
        TakeMeter meter;
        // In the device's blocks of a tenth of a second.
        for (int at = 0; at < c.samples.size(); at += 9600)
            meter.add(reinterpret_cast<const uint8_t*>(c.samples.constData()) + at,
                      size_t(std::min(9600, c.samples.size() - at)));
        SpeechCheck::Result r = meter.speech();
        EXPECT_EQ(meter.verdict(), c.verdict) << c.what << ": loudest " << r.loudestDb << " dBFS, floor " << r.floorDb
                                              << " dBFS, " << r.speechSeconds << " s of speech, " << r.rises << " rises";
        EXPECT_EQ(meter.frames(), uint64_t(c.samples.size() / 2)) << c.what;
    }
}
