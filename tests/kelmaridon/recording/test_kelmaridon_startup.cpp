#include "common/SingleInstanceGuard.h"
#include "recording/PromptsDb.h"

#include "TestUtil.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

using testutil::waitFor;

namespace {

bool running(const char* key)
{
    SingleInstanceGuard probe(key);
    return probe.isAnotherRunning();
}

QString program()
{
    return testutil::binDir() + "/kelmaridon";
}

} // namespace

TEST(KelmaridonStartup, OneInstancePerUserAndNoStaleLock)
{
    // A runtime folder of this test's own: the lock and the prompts file live there.
    testutil::TempDir runtime;
    QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime.path().string()));

    QProcess first;
    first.setProcessChannelMode(QProcess::ForwardedChannels);
    first.start(program(), QStringList());
    ASSERT_TRUE(first.waitForStarted(testutil::hangLimitMs));
    ASSERT_TRUE(waitFor([] { return running("quorvine_kelmaridon"); }, testutil::hangLimitMs));
    // The converter's lock is another one.
    EXPECT_FALSE(running("quorvine_salvormithe"));

    // A second instance ends at once with 0 and leaves the first alone.
    QProcess second;
    second.start(program(), QStringList());
    ASSERT_TRUE(second.waitForFinished(testutil::hangLimitMs));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    // Starting up looks no language up, so the prompts file is not written.
    EXPECT_FALSE(std::filesystem::exists(runtime.path() / promptsFilePath().filename()));

    // A killed instance does not block the next start.
    ::kill(pid_t(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(testutil::hangLimitMs));
    EXPECT_FALSE(running("quorvine_kelmaridon"));
    QProcess next;
    next.setProcessChannelMode(QProcess::ForwardedChannels);
    next.start(program(), QStringList());
    ASSERT_TRUE(next.waitForStarted(testutil::hangLimitMs));
    EXPECT_TRUE(waitFor([] { return running("quorvine_kelmaridon"); }, testutil::hangLimitMs));
    // It stays: an instance after it finds it running and ends at once with 0.
    QProcess third;
    third.start(program(), QStringList());
    ASSERT_TRUE(third.waitForFinished(testutil::hangLimitMs));
    EXPECT_EQ(third.exitCode(), 0);
    EXPECT_EQ(next.state(), QProcess::Running);
    next.kill();
    next.waitForFinished(testutil::hangLimitMs);

    qputenv("XDG_RUNTIME_DIR", oldRuntime);
}
