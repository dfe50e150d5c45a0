#include "training/TrainingEnvironment.h"

#include "common/FileUtils.h"
#include "common/Platform.h"
#include "training/CheckpointServer.h"
#include "training/ExtractProcess.h"
#include "training/TrainingRecord.h"

#include "LoopbackServers.h"

#include "TrainingTestSupport.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>


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
    return child.waitForFinished(testutil::hangLimitMs) && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
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

namespace {

// Peak resident memory of this process in MiB since the last call.
long peakGrowthMib(long& since)
{
    QByteArray status = testutil::readFile("/proc/self/status");
    int at = status.indexOf("VmHWM:") + 6;
    long now = status.mid(at, status.indexOf('\n', at) - at).trimmed().split(' ').value(0).toLong() / 1024;
    long growth = now - since;
    testutil::writeFile("/proc/self/clear_refs", "5");
    since = now;
    return growth;
}

} // namespace

TEST(TrainingBounds, ManifestsChildOutputAndListAnswersAreBounded)
{
    testutil::TempDir tmp;
    // Manifests: a FIFO, a link to /dev/zero, a 4 GiB sparse file and a folder are no manifests.
    for (int kind = 0; kind < 4; ++kind) {
        fs::path dir = tmp.path() / std::to_string(kind), manifest = dir / "manifest";
        fs::create_directories(dir);
        if (kind == 0)
            ASSERT_EQ(::mkfifo(manifest.c_str(), 0600), 0);
        else if (kind == 1)
            fs::create_symlink("/dev/zero", manifest);
        else if (kind == 2)
            testutil::writeFile(manifest, ""), fs::resize_file(manifest, 4ull << 30);
        else
            fs::create_directories(manifest);
        TrainingRecord record;
        EXPECT_FALSE(record.read(dir.u8string())) << kind;
        EXPECT_EQ(record.lastError, "invalid training.") << kind;
    }

    // The GPU probe: endless output holds no memory, and the answer ends the child at once.
    long peak = 0;
    peakGrowthMib(peak);
    const std::pair<const char*, uint64_t> probes[] = {{"exec yes 'no memory here'\n", 0},
                                                       {"echo memory:8589934592\nexec yes more\n", 8589934592ull}};
    for (const auto& [script, bytes] : probes) {
        useFakeEnvironment(tmp.path() / "env", script);
        EXPECT_EQ(probeGpuMemory(bytes ? 600000 : 1500), bytes) << script;
        EXPECT_LT(peakGrowthMib(peak), 200) << script;
    }

    // 7z's standard error keeps its last part only.
    ExtractProcess sevenZip;
    for (int i = 0; i < 1000; ++i)
        parse7zProgress(sevenZip, 2, QByteArray(1024, 'e') + QByteArray::number(i));
    EXPECT_LE(sevenZip.errorText.size(), ExtractProcess::maxErrorText);
    EXPECT_TRUE(sevenZip.errorText.endsWith("999"));

    // The checkpoint-language list: an endless answer and a 1 byte/s trickle end in false.
    for (bool endless : {true, false}) {
        testutil::RawServer server([endless](int s, const std::string&) {
            testutil::RawServer::send(s, endless ? "HTTP/1.1 200 OK\r\n\r\n{\"en-us\": \"" : "HTTP/1.1 200 OK\r\nContent-Length: 999\r\n\r\n");
            const std::string block(endless ? 65536 : 1, '{');
            for (int i = 0; i < 100000 && ::send(s, block.data(), block.size(), MSG_NOSIGNAL) > 0; ++i)
                if (!endless)
                    ::usleep(900000);
        });
        qputenv("QV_VOICE_SERVER", QByteArray::fromStdString(server.base()));
        EXPECT_FALSE(fetchCheckpointLangs([](const std::string&, const std::string&) { ADD_FAILURE(); })) << endless;
        EXPECT_LT(peakGrowthMib(peak), 200) << endless;
    }
    qunsetenv("QV_VOICE_SERVER");
}
