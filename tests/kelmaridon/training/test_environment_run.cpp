#include "common/JsonRef.h"
#include "platform/PiperHelper.h"
#include "recording/RecordingProject.h"
#include "training/DatasetExport.h"
#include "training/Checkpoints.h"
#include "training/TrainingModelProcess.h"
#include "training/TrainingPreProcess.h"

#include "Pitch.h"
#include "TrainingTestSupport.h"

#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <set>

#include <signal.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace trainingtest;

namespace {

// A recording project with six takes spoken at one pitch, exported as a dataset.
fs::path makeRecording(const fs::path& dir, double hz)
{
    makeRecordingProject(dir, hz);
    std::string language, error;
    EXPECT_TRUE(exportDataset(dir.u8string(), language, &error)) << error;
    EXPECT_EQ(language, "en-us");
    return dir;
}

bool waitForEnd(TrainingProcess& p, int msec = 180000)
{
    QSignalSpy ended(&p, &TrainingProcess::finished);
    return p.process.state() == QProcess::NotRunning || ended.wait(msec);
}

// Preprocesses a recording into a training folder; the tool's output.
QByteArray preprocess(const fs::path& recording, const fs::path& training)
{
    TrainingPreProcess pre(nullptr);
    EXPECT_TRUE(pre.start("en-us", q(recording), q(training), 22050));
    EXPECT_TRUE(waitForEnd(pre));
    return pre.output;
}

// Exports a checkpoint as a voice model; the exit code.
int exportModel(const QString& checkpoint, const fs::path& model, QByteArray* output = nullptr)
{
    TrainingProcess tool(1000, nullptr);
    tool.process.start(tool.python(), {"-m", "piper_train.export_onnx", checkpoint, q(model)}, QIODevice::ReadWrite);
    EXPECT_TRUE(waitForEnd(tool));
    if (output)
        *output = tool.output;
    return tool.process.exitCode();
}

double spokenPitch(const fs::path& model, const fs::path& config)
{
    PiperHelper piper;
    std::vector<int16_t> samples;
    PiperHelper::RunConfig run;
    run.modelPath = model;
    run.modelConfigPath = config;
    EXPECT_TRUE(piper.load(run, [&samples](const std::vector<short>& s) { samples.insert(samples.end(), s.begin(), s.end()); }))
        << piper.lastErr();
    EXPECT_TRUE(piper.update("The quick brown fox jumps over the lazy dog. A voice is made of many small sounds."));
    return testutil::medianPitchHz(samples, piper.voiceConf().sampleRate);
}

double configPitch(const fs::path& training)
{
    return JsonRef::parse(testutil::readFile(training / "config.json").toStdString()).get("speech").get("pitch_hz").toDouble();
}

} // namespace

TEST(EnvironmentRun, PreprocessTrainStopResumeExport)
{
    testutil::TempDir tmp;
    fs::path tenv = tmp.path() / "quorvine_salvormithe_tenv";
    unpackEnvironment(tenv);
    ASSERT_TRUE(fs::is_directory(tenv / "Scripts"));
    ASSERT_TRUE(fs::is_directory(tenv / "ffmpeg"));
    EXPECT_EQ(probeGpuMemory(), 0u);
    qputenv("QV_TRAIN_EPOCH_SECONDS", "0.05");
    qunsetenv("QV_TRAIN_STOP_AFTER");

    // Preprocessing of a recording's dataset, with the speaker's pitch in the configuration.
    fs::path low = makeRecording(tmp.path() / "rec-low", 110);
    fs::path training = tmp.path() / "training-low";
    QByteArray out = preprocess(low, training);
    EXPECT_EQ(out.toLower().indexOf("error"), -1) << out.toStdString();
    ASSERT_TRUE(fs::exists(training / "config.json")) << out.toStdString();
    EXPECT_EQ(testutil::readFile(training / "dataset.jsonl").count('\n'), 6);
    EXPECT_NE(testutil::readFile(training / "config.json").indexOf(R"("voice": "en-us")"), -1);
    EXPECT_NEAR(configPitch(training), 110, 5.5);

    // Train: three checkpoints, then stop.
    TrainingModelProcess first(q(training), nullptr);
    QString err;
    ASSERT_TRUE(first.start(err)) << err.toStdString();
    const QString run = q(training / "lightning_logs" / "version_0" / "checkpoints");
    ASSERT_TRUE(testutil::waitFor([&] { return listCheckpoints(run).size() >= 3; }, 120000))
        << first.output.toStdString();
    first.stop();
    EXPECT_EQ(first.process.state(), QProcess::NotRunning);
    const QStringList written = listCheckpoints(run);
    ASSERT_GE(written.size(), 3);
    for (const QString& ckpt : written)
        EXPECT_EQ(verifyCheckpoint(ckpt), 1) << ckpt.toStdString();
    const int last = maxCheckpointEpoch(run);
    EXPECT_GE(last, 15);
    EXPECT_EQ(last % 5, 0);
    EXPECT_EQ(first.latestCheckpointEpoch(), last);

    // Resume: the last checkpoint moves to "pre" beside the one before it, and
    // the run goes on from the last.
    qputenv("QV_TRAIN_STOP_AFTER", "1");
    TrainingModelProcess second(q(training), nullptr);
    ASSERT_TRUE(second.start(err)) << err.toStdString();
    ASSERT_TRUE(waitForEnd(second));
    EXPECT_EQ(second.process.exitCode(), 0) << second.output.toStdString();
    const QStringList kept = listCheckpoints(q(training / "lightning_logs" / "pre"));
    ASSERT_EQ(kept.size(), 2);
    EXPECT_EQ(checkpointEpoch(QFileInfo(kept[0]).fileName()), last);
    EXPECT_EQ(checkpointEpoch(QFileInfo(kept[1]).fileName()), last - 5);
    EXPECT_NE(second.output.indexOf("Resuming from " + kept[0].toUtf8()), -1) << second.output.toStdString();
    ASSERT_EQ(listCheckpoints(run).size(), 1);
    EXPECT_EQ(maxCheckpointEpoch(run), last + 5);
    EXPECT_EQ(second.latestCheckpointEpoch(), last + 5);

    // Export: a model from the newest usable checkpoint.
    fs::path model = tmp.path() / "voices" / "custom_low" / "custom_low.onnx";
    QByteArray exportOut;
    EXPECT_EQ(exportModel(firstUsableCheckpoint(q(training), ""), model, &exportOut), 0) << exportOut.toStdString();
    EXPECT_GT(fs::file_size(model), 1000u);
    EXPECT_EQ(exportModel(q(tmp.path() / "missing.ckpt"), tmp.path() / "x.onnx", &exportOut), 1);
    EXPECT_NE(exportOut.indexOf("ERROR"), -1);
    testutil::writeFile(tmp.path() / "empty.ckpt", QByteArray());
    EXPECT_EQ(exportModel(q(tmp.path() / "empty.ckpt"), tmp.path() / "x.onnx"), 1);
    EXPECT_FALSE(fs::exists(tmp.path() / "x.onnx"));

    // A voice trained on high-pitched takes speaks higher than one trained on low ones.
    fs::path high = makeRecording(tmp.path() / "rec-high", 230);
    fs::path trainingHigh = tmp.path() / "training-high";
    out = preprocess(high, trainingHigh);
    EXPECT_NEAR(configPitch(trainingHigh), 230, 11.5) << out.toStdString();
    TrainingModelProcess highRun(q(trainingHigh), nullptr);
    ASSERT_TRUE(highRun.start(err));
    ASSERT_TRUE(waitForEnd(highRun));
    fs::path highModel = tmp.path() / "voices" / "custom_high" / "custom_high.onnx";
    EXPECT_EQ(exportModel(firstUsableCheckpoint(q(trainingHigh), ""), highModel), 0);
    double lowHz = spokenPitch(model, training / "config.json");
    double highHz = spokenPitch(highModel, trainingHigh / "config.json");
    std::cout << "spoken pitch: low-trained voice " << lowHz << " Hz, high-trained voice " << highHz << " Hz\n";
    EXPECT_NEAR(lowHz, 110, 15);
    EXPECT_NEAR(highHz, 230, 30);

    // A missing take fails the preprocessing with an error line.
    fs::remove(low / "wav" / "3.wav");
    fs::path broken = tmp.path() / "training-broken";
    out = preprocess(low, broken);
    EXPECT_NE(out.indexOf("ERROR: missing take wav/3.wav"), -1) << out.toStdString();
    EXPECT_FALSE(fs::exists(broken / "config.json"));
    std::string eightBit = pp_wavheader(48000, 1, 1, 4800) + std::string(4800, '\x80');
    testutil::writeFile(low / "wav" / "3.wav", QByteArray::fromStdString(eightBit));
    out = preprocess(low, broken);
    EXPECT_NE(out.indexOf("ERROR: take wav/3.wav is not a 16-bit WAV file"), -1) << out.toStdString();
    qunsetenv("QV_TRAIN_STOP_AFTER");
    qunsetenv("QV_TRAIN_EPOCH_SECONDS");
}

namespace {

// The parent of a process, 0 once it has gone.
qint64 parentOf(qint64 pid)
{
    QByteArray stat = testutil::readFile("/proc/" + std::to_string(pid) + "/stat");
    int close = stat.lastIndexOf(')');
    QList<QByteArray> fields = close > 0 ? stat.mid(close + 2).split(' ') : QList<QByteArray>();
    return fields.size() > 1 ? fields[1].toLongLong() : 0;
}

// The program's part in the test below: runs the preprocessing and the
// training tool from its GUI thread until it is killed.
void hostTools(const fs::path& control)
{
    QThreadPool::globalInstance()->setMaxThreadCount(8);
    TrainingPreProcess pre(nullptr);
    ASSERT_TRUE(pre.start("en-us", q(control / "rec"), q(control / "pre"), 22050));
    TrainingModelProcess train(q(control / "train"), nullptr);
    QString err;
    ASSERT_TRUE(train.start(err)) << err.toStdString();
    testutil::writeFile(control / "tools", QByteArray::number(pre.process.processId()) + " "
                                               + QByteArray::number(train.process.processId()));
    const qint64 parent = ::getppid();
    testutil::waitFor([&] { return ::getppid() != parent; }, 600000);
}

} // namespace

TEST(EnvironmentRun, ToolsAndTheirWorkersEndWhenTheProgramIsKilled)
{
    const QByteArray host = qgetenv("QV_TOOL_HOST");
    if (!host.isEmpty())
        return hostTools(host.toStdString());

    testutil::TempDir tmp;
    const fs::path tenv = tmp.path() / "tenv", control = tmp.path() / "control";
    unpackEnvironment(tenv);
    // espeak-ng as the preprocessing's workers find it first on PATH: it
    // answers the language check and holds every take it is to speak.
    const QString espeak = QStandardPaths::findExecutable("espeak-ng");
    ASSERT_FALSE(espeak.isEmpty());
    testutil::writeFile(tenv / "Scripts" / "espeak-ng",
                        "#!/bin/sh\ncase \"$6\" in */probe.wav) exec '" + espeak.toUtf8() + "' \"$@\";; esac\n"
                        "echo $$ >> '" + q(control / "espeak.pids").toUtf8() + "'\nexec sleep 600\n");
    QFile::setPermissions(q(tenv / "Scripts" / "espeak-ng"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    makeRecording(control / "rec", 110);
    fs::create_directories(control / "train");
    testutil::writeFile(control / "train" / "config.json", "{}");
    testutil::writeFile(control / "train" / "dataset.jsonl", "{}\n");

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QV_TOOL_HOST", q(control));
    program.setProcessEnvironment(env);
    program.start(QCoreApplication::applicationFilePath(),
                  {"--gtest_filter=EnvironmentRun.ToolsAndTheirWorkersEndWhenTheProgramIsKilled"});
    ASSERT_TRUE(program.waitForStarted(testutil::hangLimitMs));
    auto espeaks = [&] { return testutil::readFile(control / "espeak.pids").trimmed().split('\n'); };
    ASSERT_TRUE(testutil::waitFor([&] { return espeaks().size() >= 4; }, 120000))
        << program.readAll().toStdString();

    // The tools, the preprocessing's workers and what they run.
    std::set<qint64> pids;
    for (const QByteArray& tool : testutil::readFile(control / "tools").split(' '))
        pids.insert(tool.toLongLong());
    ASSERT_EQ(pids.size(), 2u);
    for (const QByteArray& line : espeaks()) {
        pids.insert(line.toLongLong());
        pids.insert(parentOf(line.toLongLong()));
    }
    EXPECT_GE(pids.size(), 10u);
    for (qint64 pid : pids)
        ASSERT_FALSE(processGone(pid)) << pid;

    ::kill(pid_t(program.processId()), SIGKILL);
    ASSERT_TRUE(program.waitForFinished(testutil::hangLimitMs));
    for (qint64 pid : pids)
        EXPECT_TRUE(testutil::waitFor([&] { return processGone(pid); }, testutil::hangLimitMs)) << pid;
    EXPECT_FALSE(fs::exists(control / "pre" / "config.json"));
}
