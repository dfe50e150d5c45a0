// The recorder on SDL's disk driver: a raw file stands for the microphone.
#include "recording/TakeMeter.h"
#include "recording/VoiceRecorder.h"

#include "RecordingTestSupport.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
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
        // Two seconds of a sawtooth with an odd period, so no block repeats another.
        for (int i = 0; i < 96000; ++i) {
            int16_t s = int16_t((i % 977) * 67 - 32000);
            input.append(char(s & 0xFF));
            input.append(char((s >> 8) & 0xFF));
        }
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

TEST(TakeMeter, KeepsASecondOrMoreThatIsNotSilent)
{
    using V = TakeMeter::Verdict;
    // A square wave of the given amplitude: its peak and its level.
    auto square = [](double seconds, int amplitude) {
        QByteArray b;
        for (int i = 0; i < int(seconds * 48000); ++i) {
            int16_t s = int16_t((i / 50) % 2 ? amplitude : -amplitude);
            b.append(char(s & 0xFF));
            b.append(char((s >> 8) & 0xFF));
        }
        return b;
    };
    const struct
    {
        const char* what;
        QByteArray samples;
        V verdict;
    } cases[] = {
        {"nothing", QByteArray(), V::TooShort},
        {"0.99 s of speech", rectest::sawtooth(0.99), V::TooShort},
        {"a second of speech", rectest::sawtooth(1), V::Keep},
        {"a second and an odd byte", rectest::sawtooth(1) + QByteArray(1, '\x7f'), V::Keep},
        {"digital silence", QByteArray(5 * rectest::kSecond, '\0'), V::Silent},
        {"a hum below -40 dBFS", square(3, 300), V::Silent},
        {"quiet speech at -36 dBFS", square(3, 520), V::Keep},
        {"half a second of speech, then a pause", rectest::sawtooth(0.5) + QByteArray(9 * rectest::kSecond, '\0'),
         V::Keep},
    };
    for (const auto& c : cases) {
        TakeMeter meter;
        // In the device's blocks of a tenth of a second.
        for (int at = 0; at < c.samples.size(); at += 9600)
            meter.add(reinterpret_cast<const uint8_t*>(c.samples.constData()) + at,
                      size_t(std::min(9600, c.samples.size() - at)));
        EXPECT_EQ(meter.verdict(), c.verdict) << c.what << ": peak " << meter.peak() << ", rms " << meter.rms();
        EXPECT_EQ(meter.frames(), uint64_t(c.samples.size() / 2)) << c.what;
    }
}
