#include "training/Checkpoints.h"
#include "training/TrainingModelProcess.h"
#include "training/TrainingPreProcess.h"

#include "TrainingTestSupport.h"

#include <QSignalSpy>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <signal.h>

namespace fs = std::filesystem;
using namespace trainingtest;

namespace {

// A stand-in interpreter that writes its arguments (one a line) and its PATH
// beside itself and ends.
const char* const kRecorder = "here=$(dirname \"$0\")\n"
                              "printf '%s\\n' \"$@\" > \"$here/args\"\n"
                              "printf '%s' \"$PATH\" > \"$here/path\"\n";

QStringList recordedArgs(const fs::path& env)
{
    QString text = QString::fromUtf8(testutil::readFile(env / "args"));
    QStringList lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool runToEnd(TrainingProcess& p)
{
    QSignalSpy ended(&p, &TrainingProcess::finished);
    return ended.count() > 0 || ended.wait(testutil::hangLimitMs);
}

class TrainingProcessTest : public testing::Test
{
protected:
    testutil::TempDir tmp;
    fs::path env = tmp.path() / "env";
    fs::path training = tmp.path() / "training";
    const QString threads = QString::number(std::max(1, QThreadPool::globalInstance()->maxThreadCount() / 2));
};

} // namespace

TEST_F(TrainingProcessTest, PreprocessingCommandLineAndPath)
{
    useFakeEnvironment(env, kRecorder);
    const QByteArray ownPath = qgetenv("PATH");
    for (int run = 0; run < 2; ++run) {
        TrainingPreProcess pre(nullptr);
        ASSERT_TRUE(pre.start("en-us", "/rec/Anna", q(training), 22050));
        ASSERT_TRUE(runToEnd(pre));
        EXPECT_EQ(recordedArgs(env),
                  QStringList({"-m", "piper_train.preprocess", "--language", "en-us", "--input-dir", "/rec/Anna",
                               "--output-dir", q(training), "--dataset-format", "ljspeech", "--single-speaker",
                               "--sample-rate", "22050", "--max-workers", threads}));
        // The child's PATH starts with the tool folders once, however many
        // process objects came before; the program's own PATH stays as it was.
        QString prefix = q(env / "Scripts") + ":" + q(env / "ffmpeg") + ":";
        EXPECT_EQ(QString::fromUtf8(testutil::readFile(env / "path")), prefix + QString::fromUtf8(ownPath));
        EXPECT_EQ(qgetenv("PATH"), ownPath);
    }

    // No environment: the start fails.
    useFakeEnvironment(env, kRecorder);
    fs::remove(env / "python");
    TrainingPreProcess missing(nullptr);
    EXPECT_FALSE(missing.start("en-us", "/rec", q(training), 22050));
}

TEST_F(TrainingProcessTest, TrainingKeepsTheNewestUsableCheckpointAndResumesFromIt)
{
    useFakeEnvironment(env, kRecorder);
    fs::path logs = training / "lightning_logs";
    fs::path run = logs / "version_0" / "checkpoints";
    writeDamagedCheckpoint(run / "epoch=9-step=90.ckpt", 9);
    writeCheckpoint(run / "epoch=4-step=40.ckpt", 4);
    testutil::writeFile(run / "epoch=12-step=120.ckpt", QByteArray());
    writeCheckpoint(logs / "pre" / "epoch=2-step=20.ckpt", 2);
    fs::create_directories(logs / "VERSION_7");
    fs::create_directories(logs / "old_version_3" / "inner");
    fs::create_directories(logs / "versions");

    TrainingModelProcess p(q(training), nullptr);
    p.baseCheckpoint = "/ckpt/en-us-epoch=2164-step=1.ckpt";
    p.batchSize = 6;
    QString err;
    ASSERT_TRUE(p.start(err)) << err.toStdString();
    ASSERT_TRUE(runToEnd(p));

    // The epoch-4 checkpoint is in "pre" now, and the one held there before
    // stays as the one to go back to; every run folder is gone.
    EXPECT_TRUE(fs::exists(logs / "pre" / "epoch=4-step=40.ckpt"));
    EXPECT_TRUE(fs::exists(logs / "pre" / "epoch=2-step=20.ckpt"));
    EXPECT_EQ(listCheckpoints(q(logs / "pre")).size(), 2);
    EXPECT_FALSE(fs::exists(logs / "version_0"));
    EXPECT_FALSE(fs::exists(logs / "VERSION_7"));
    EXPECT_FALSE(fs::exists(logs / "old_version_3"));
    EXPECT_TRUE(fs::exists(logs / "versions"));
    EXPECT_EQ(recordedArgs(env),
              QStringList({"-m", "piper_train", "--dataset-dir", q(training), "--devices", "1", "--batch-size", "6",
                           "--validation-split", "0.0", "--num-test-examples", "0", "--max_epochs", "20000",
                           "--checkpoint-epochs", "5", "--resume_from_checkpoint",
                           q(logs / "pre" / "epoch=4-step=40.ckpt")}));
    EXPECT_EQ(p.latestCheckpointEpoch(), 4);

    // Without a usable checkpoint of its own it starts from the base checkpoint,
    // on the GPU when asked.
    fs::remove_all(logs);
    TrainingModelProcess fromBase(q(training), nullptr);
    fromBase.baseCheckpoint = "/ckpt/en-us-epoch=2164-step=1.ckpt";
    fromBase.withGpu = true;
    EXPECT_EQ(fromBase.batchSize, std::max(1, QThreadPool::globalInstance()->maxThreadCount() / 2));
    EXPECT_EQ(fromBase.latestCheckpointEpoch(), 2164);
    ASSERT_TRUE(fromBase.start(err));
    ASSERT_TRUE(runToEnd(fromBase));
    QStringList args = recordedArgs(env);
    ASSERT_GE(args.size(), 4);
    EXPECT_EQ(args.mid(args.size() - 4),
              QStringList({"--accelerator", "gpu", "--resume_from_checkpoint", "/ckpt/en-us-epoch=2164-step=1.ckpt"}));

    // And from nothing without one.
    TrainingModelProcess fresh(q(training), nullptr);
    EXPECT_EQ(fresh.latestCheckpointEpoch(), 0);
    ASSERT_TRUE(fresh.start(err));
    ASSERT_TRUE(runToEnd(fresh));
    EXPECT_EQ(recordedArgs(env).mid(recordedArgs(env).size() - 2), QStringList({"--checkpoint-epochs", "5"}));

    // The epoch reached is the highest of the run and of "pre".
    writeCheckpoint(logs / "version_0" / "checkpoints" / "epoch=12-step=1.ckpt", 12);
    writeCheckpoint(logs / "pre" / "epoch=20-step=1.ckpt", 20);
    EXPECT_EQ(fresh.latestCheckpointEpoch(), 20);

    // An environment that cannot start.
    fs::remove(env / "python");
    TrainingModelProcess broken(q(training), nullptr);
    EXPECT_FALSE(broken.start(err));
    EXPECT_EQ(err, "Start train.process failed.");
}

TEST_F(TrainingProcessTest, OutputKeepsTheLastBytesAndStopEndsTheWholeGroup)
{
    // 101000 bytes on both channels: the kept output is the last 65536.
    useFakeEnvironment(env, "i=0\n"
                            "while [ $i -lt 1000 ]; do\n"
                            "  printf '%099d\\n' $i\n"
                            "  [ $((i % 100)) -eq 0 ] && printf 'E%098d\\n' $i >&2\n"
                            "  i=$((i + 1))\n"
                            "done\n");
    TrainingPreProcess loud(nullptr);
    QByteArray emitted;
    QObject::connect(&loud, &TrainingProcess::dataReady, [&emitted](QByteArray chunk) { emitted += chunk; });
    ASSERT_TRUE(loud.start("en-us", "/rec", q(training), 22050));
    ASSERT_TRUE(runToEnd(loud));
    EXPECT_EQ(emitted.size(), 101000);
    EXPECT_EQ(emitted.count('E'), 10);
    EXPECT_EQ(loud.output.size(), 65536);
    EXPECT_EQ(loud.output, emitted.right(65536));

    // A child that started a grandchild: stop ends both, and finished() comes once.
    useFakeEnvironment(env, "sleep 300 &\n"
                            "echo $! > \"$(dirname \"$0\")/grandchild\"\n"
                            "wait\n");
    TrainingModelProcess p(q(training), nullptr);
    QSignalSpy ended(&p, &TrainingProcess::finished);
    QString err;
    ASSERT_TRUE(p.start(err));
    ASSERT_TRUE(testutil::waitFor([&] { return !testutil::readFile(env / "grandchild").trimmed().isEmpty(); }, testutil::hangLimitMs));
    qint64 grandchild = testutil::readFile(env / "grandchild").trimmed().toLongLong();
    ASSERT_GT(grandchild, 0);
    EXPECT_FALSE(processGone(grandchild));
    p.stop();
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(p.process.state(), QProcess::NotRunning);
    EXPECT_TRUE(testutil::waitFor([&] { return processGone(grandchild); }, testutil::hangLimitMs));
    p.stop();
    EXPECT_EQ(ended.count(), 1);
}
