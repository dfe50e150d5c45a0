#include "training/TrainingEnvironment.h"

#include "common/FileUtils.h"
#include "common/Platform.h"

#include "TrainingTestSupport.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <signal.h>

namespace fs = std::filesystem;
using namespace trainingtest;

namespace {

// Runs the first-use check below in a new run of this program, which has read
// nothing yet; true when it found `expected`.
bool freshRunFinds(const QString& expected)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QV_EXPECT_TENV", expected);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests", "--gtest_filter=TenvFirstUse.*"});
    return child.waitForFinished(60000) && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
}

} // namespace

// Run by freshRunFinds only.
TEST(TenvFirstUse, DISABLED_ReadsTheSavedFolder)
{
    EXPECT_EQ(tenvPath(), qEnvironmentVariable("QV_EXPECT_TENV"));
}

TEST(TrainingEnvironment, TheFolderIsRememberedAcrossRuns)
{
    fs::path file = appDataDir() / "tenv";
    fs::remove(file);
    EXPECT_TRUE(freshRunFinds(""));
    // Nothing is trimmed: a line feed stays part of the path.
    testutil::writeFile(file, "/opt/tenv\n");
    EXPECT_TRUE(freshRunFinds("/opt/tenv\n"));

    saveTenvPath("/home/u/é/quorvine_salvormithe_tenv");
    EXPECT_EQ(testutil::readFile(file), QString("/home/u/é/quorvine_salvormithe_tenv").toUtf8());
    // Once known it is not read again in this run.
    testutil::writeFile(file, "/elsewhere");
    EXPECT_EQ(tenvPath(), "/home/u/é/quorvine_salvormithe_tenv");
    EXPECT_TRUE(freshRunFinds("/elsewhere"));

    // A file that cannot be written: the folder still holds for this run.
    fs::remove(file);
    fs::create_directories(file);
    saveTenvPath("/kept/for/this/run");
    EXPECT_EQ(tenvPath(), "/kept/for/this/run");
    fs::remove_all(file);
}

TEST(TrainingEnvironment, GpuProbe)
{
    testutil::TempDir tmp;
    fs::path env = tmp.path() / "env";
    struct Case
    {
        const char* script;
        uint64_t bytes;
    };
    const Case cases[] = {
        {"cat > \"$(dirname \"$0\")/stdin\"\necho loading\necho memory:8589934592\n", 8589934592ull},
        {"cat >/dev/null\necho memory:0\n", 0},
        {"cat >/dev/null\necho \"ModuleNotFoundError: No module named 'torch'\" >&2\nexit 1\n", 0},
        {"cat >/dev/null\necho memory:99999999999999999999999\n", 0},
    };
    for (const Case& c : cases) {
        useFakeEnvironment(env, c.script);
        EXPECT_EQ(probeGpuMemory(), c.bytes) << c.script;
    }
    useFakeEnvironment(env, cases[0].script);
    probeGpuMemory();
    EXPECT_EQ(testutil::readFile(env / "stdin"),
              "import torch\n"
              "s = torch.cuda.get_device_properties(0).total_memory if torch.cuda.is_available() else 0\n"
              "print('memory:%d' % s)\n"
              "exit()\n");

    // An interpreter that never ends is killed at the time limit.
    useFakeEnvironment(env, "echo $$ > \"$(dirname \"$0\")/pid\"\nexec sleep 300\n");
    EXPECT_EQ(probeGpuMemory(1500), 0u);
    qint64 pid = testutil::readFile(env / "pid").trimmed().toLongLong();
    ASSERT_GT(pid, 0);
    EXPECT_NE(::kill(pid_t(pid), 0), 0);

    // No interpreter at all.
    saveTenvPath(q(tmp.path() / "nowhere"));
    EXPECT_EQ(probeGpuMemory(), 0u);
    EXPECT_GT(platform::physicalMemoryBytes(), uint64_t(64) << 20);
}
