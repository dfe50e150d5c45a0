#include "synthesis/FfmpegRun.h"

#include "ExportTestUtil.h"
#include "TestUtil.h"

extern "C" {
#include <libavutil/log.h>
}

#include <gtest/gtest.h>

#include <thread>

namespace fs = std::filesystem;
using namespace exporttest;

namespace {

void logLine(int level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    ffmpegLogCallback(nullptr, level, format, args);
    va_end(args);
}

} // namespace

TEST(FfmpegRun, ConvertsThroughTheProgramAndReturnsZero)
{
    testutil::TempDir dir;
    const fs::path src = dir.path() / "in.wav", dst = dir.path() / "out.mp3";
    writeToneWav(src, 22050);
    const std::string s = src.u8string(), d = dst.u8string();
    std::string log;
    int code = runFfmpeg({"-vn", "-i", s.c_str(), "-ac", "2", "-ar", "22050", "-y", d.c_str()}, &log);
    EXPECT_EQ(code, 0);
    ASSERT_TRUE(fs::exists(dst));
    EXPECT_EQ(probe(dst).codec, "mp3");
    // The log holds the run's lines without the child's level tags.
    EXPECT_NE(log.find("Output #0, mp3"), std::string::npos) << log;
    EXPECT_EQ(log.find("[info]"), std::string::npos);
}

TEST(FfmpegRun, FailureGivesTheExitCodeAndTheErrorInTheLog)
{
    testutil::TempDir dir;
    const std::string missing = (dir.path() / "missing.wav").u8string();
    const std::string out = (dir.path() / "out.mp3").u8string();
    std::string log;
    int code = runFfmpeg({"-vn", "-i", missing.c_str(), "-y", out.c_str()}, &log);
    EXPECT_NE(code, 0);
    EXPECT_NE(log.find(missing + ": No such file or directory"), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(out));

    // A run without a log leaves the default callback and still returns the code.
    EXPECT_NE(runFfmpeg({"-i", missing.c_str(), "-y", out.c_str()}, nullptr), 0);
}

TEST(FfmpegRun, LogKeepsTheLast64KiBOfThisThreadAtTheActiveLevel)
{
    ffmpegLogBuffer().clear();
    const std::string chunk(999, 'x');
    for (int i = 0; i < 80; ++i)
        logLine(AV_LOG_INFO, "%03d%s\n", i, chunk.c_str());
    std::string& buffer = ffmpegLogBuffer();
    ASSERT_EQ(buffer.size(), 65536u);
    EXPECT_EQ(buffer.substr(buffer.size() - 1003, 4), "079x");

    // Lines above the active level are dropped.
    buffer.clear();
    const int saved = av_log_get_level();
    av_log_set_level(AV_LOG_WARNING);
    logLine(AV_LOG_INFO, "quiet %d\n", 1);
    logLine(AV_LOG_ERROR, "loud %d\n", 2);
    av_log_set_level(saved);
    EXPECT_EQ(buffer, "loud 2\n");

    // Another thread has a buffer of its own.
    std::string other;
    std::thread([&] {
        logLine(AV_LOG_ERROR, "%s", "from the other thread");
        other = ffmpegLogBuffer();
    }).join();
    EXPECT_EQ(other, "from the other thread");
    EXPECT_EQ(buffer, "loud 2\n");
}

TEST(FfmpegRun, ExitHookThrowsTheCode)
{
    try {
        ffmpegExitHook(42);
        FAIL() << "the hook returned";
    } catch (int code) {
        EXPECT_EQ(code, 42);
    }
}
