#include "training/TrainingModel.h"

#include "common/FileDownloader.h"
#include "common/FileUtils.h"
#include "common/JsonRef.h"
#include "common/Platform.h"
#include "recording/PromptsDb.h"
#include "training/CheckpointServer.h"
#include "training/Checkpoints.h"
#include "training/BatchSize.h"
#include "training/TrainedVoice.h"
#include "training/TrainingFolder.h"
#include "training/TrainingRecord.h"
#include "training/TrainingsModel.h"
#include "voices/VoiceStore.h"

#include "ConvertWorker.h"
#include "MsgboxLog.h"
#include "TrainingTestSupport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QSignalSpy>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <json-c/json.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>

namespace fs = std::filesystem;
using namespace trainingtest;
using testutil::waitFor;

namespace {

TrainingRecord readRecord(const fs::path& dir)
{
    TrainingRecord record;
    EXPECT_TRUE(record.read(dir.u8string())) << record.lastError;
    return record;
}

std::vector<fs::path> customVoices()
{
    std::vector<fs::path> out;
    for (const auto& entry : fs::directory_iterator(voicesDir()))
        if (entry.path().filename().u8string().rfind("custom_", 0) == 0)
            out.push_back(entry.path());
    return out;
}

// A training preprocessed once, with a checkpoint of 5 epochs to export from.
fs::path makeExportableTraining(const std::string& name)
{
    fs::path dir = makeTraining(name, "", 2);
    testutil::writeFile(dir / "config.json", R"({"audio":{"sample_rate":22050}})");
    testutil::writeFile(dir / "dataset.jsonl", "{}\n");
    writeCheckpoint(dir / "lightning_logs" / "pre" / "epoch=5-step=50.ckpt", 5);
    return dir;
}

} // namespace

TEST(TrainingModel, TrainsFromTheBaseCheckpointStopsResumesAndExportsAVoiceTheConverterSpeaks)
{
    MsgboxLog boxes;
    testutil::TempDir tmp;
    unpackEnvironment(tmp.path() / "quorvine_salvormithe_tenv");
    qputenv("QV_TRAIN_EPOCH_SECONDS", "0.05");
    qunsetenv("QV_TRAIN_STOP_AFTER");

    // The en-us base checkpoint from our server.
    std::map<std::string, std::string> langs;
    fs::path base;
    {
        TrainingServer server(tmp.path() / "cat");
        EXPECT_TRUE(fetchCheckpointLangs([&](const std::string& k, const std::string& v) { langs[k] = v; }));
        base = appDataDir() / "ckpt" / langs["en-us"];
        fs::create_directories(base.parent_path());
        std::string error;
        FileDownloader downloader;
        ASSERT_TRUE(downloader.download(checkpointDownloadUrl("en-us"), base, "", error)) << error;
    }
    const int baseEpoch = checkpointEpoch(q(base));
    ASSERT_GT(baseEpoch, 0);

    // A new training opened to start: the machine is probed first and its defaults are stored.
    fs::path dir = makeTraining("My Voice", base.u8string());
    auto model = std::make_unique<TrainingModel>();
    std::vector<int> seen;
    QObject::connect(model.get(), &TrainingModel::epochsChanged, [&] { seen.push_back(model->getEpochs()); });
    QStringList logs;
    QObject::connect(model.get(), &TrainingModel::logsChanged, [&] { logs.append(model->getLogs()); });
    model->open(q(dir), true);
    EXPECT_TRUE(model->getIsLoading());
    EXPECT_EQ(model->getTrainingName().toStdString(), "My Voice - " + findPromptLang("en-us").native);
    EXPECT_EQ(model->getTrainingModifiedStr(),
              QFileInfo(q(dir / "manifest")).lastModified().toString("yyyy-MM-dd hh:mm:ss"));
    ASSERT_TRUE(waitFor([&] { return !model->getIsLoading(); }, 60000));
    const int expected =
        defaultBatchSize(0, platform::physicalMemoryBytes(), QThreadPool::globalInstance()->maxThreadCount());
    EXPECT_EQ(model->getBatchSize(), expected);
    EXPECT_FALSE(model->getWithGPU());
    EXPECT_EQ(readRecord(dir).batchSize(), expected);

    // Dataset, preprocessing, then training with the epoch count rising.
    ASSERT_TRUE(waitFor([&] { return model->getEpochs() >= 15 && seen.size() >= 2; }, 120000))
        << model->getLogs().toStdString();
    EXPECT_TRUE(model->getIsTraining());
    EXPECT_TRUE(fs::exists(dir / "config.json"));
    EXPECT_TRUE(fs::exists(RecordingProject::rootDir() / "rec-My Voice" / "metadata.csv"));
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()) && std::adjacent_find(seen.begin(), seen.end()) == seen.end());
    EXPECT_GE(seen.size(), 2u);
    EXPECT_EQ(readRecord(dir).initEpochs(), baseEpoch);
    EXPECT_NE(model->getLogs().indexOf("Epoch "), -1) << model->getLogs().toStdString();
    EXPECT_LE(model->getLogs().size(), 1000);

    // Stop: the box, and the checkpoints stay.
    int shown = boxes.boxes.size();
    model->stopTrain();
    EXPECT_FALSE(model->getIsTraining());
    ASSERT_EQ(boxes.boxes.size(), shown + 1);
    EXPECT_EQ(boxes.boxes.last().value("msg").toString(), "IDS_TRAINING_END!");
    EXPECT_EQ(boxes.boxes.last().value("icon").toInt(), 2);
    const int atStop = model->getEpochs();
    EXPECT_EQ(readRecord(dir).epochs() - baseEpoch, atStop);
    EXPECT_FALSE(listCheckpoints(q(dir / "lightning_logs" / "version_0" / "checkpoints")).isEmpty());
    const auto preprocessed = fs::last_write_time(dir / "dataset.jsonl");

    // Resume: straight to training, from the kept checkpoint, counting on.
    seen.clear();
    logs.clear();
    model->train();
    EXPECT_TRUE(model->getIsTraining());
    ASSERT_TRUE(waitFor([&] { return model->getEpochs() >= atStop + 10; }, 120000)) << model->getLogs().toStdString();
    EXPECT_GT(seen.front(), atStop);
    EXPECT_FALSE(logs.filter("Resuming from " + q(dir / "lightning_logs" / "pre")).isEmpty()) << logs.join("\n").toStdString();
    EXPECT_EQ(fs::last_write_time(dir / "dataset.jsonl"), preprocessed);
    model->stopTrain();
    const int trained = model->getEpochs();

    // Export: the voice folder the converter reads.
    shown = boxes.boxes.size();
    model->exportVoice();
    EXPECT_TRUE(model->getIsLoading());
    ASSERT_TRUE(waitFor([&] { return !model->getIsLoading(); }, 60000));
    ASSERT_EQ(boxes.boxes.size(), shown + 1);
    EXPECT_EQ(boxes.boxes.last().value("msg").toString(), "IDS_EXPORT_DONE") << boxes.boxes.last().value("msg").toString().toStdString();
    EXPECT_EQ(boxes.boxes.last().value("icon").toInt(), 1);
    fs::path voice = voicesDir() / "custom_My Voice";
    EXPECT_GT(fs::file_size(voice / "custom_My Voice.onnx"), 1000u);
    EXPECT_EQ(testutil::readFile(voice / "custom_My Voice.onnx.json"), testutil::readFile(dir / "config.json"));
    PromptLang en = findPromptLang("en-us");
    EXPECT_EQ(testutil::readFile(voice / "speakers" / "spk-0.json").toStdString(),
              R"({ "uid": "custom_My Voice", "spk": 0, "name": "My Voice", "quality": )"
                  + std::to_string(trainedVoiceQuality(trained)) + R"(, "sex": 0, "lang": "en-us", "eng": ")" + en.name
                  + R"(", "native": ")" + en.native + R"(" })");

    // The converter lists the voice and speaks with it.
    std::vector<LocalVoice> installed;
    listInstalledVoices(installed);
    auto it = std::find_if(installed.begin(), installed.end(), [](const LocalVoice& v) { return v.uid == "custom_My Voice"; });
    ASSERT_NE(it, installed.end());
    EXPECT_EQ(it->name, "My Voice");
    EXPECT_EQ(it->lang, "en-us");
    fs::path wav = tmp.path() / "spoken.wav";
    QString workerError;
    ASSERT_EQ(testutil::runConvertWorker(it->uid, it->spk, wav, "Hello, this is my own voice.", workerError), 0)
        << workerError.toStdString();
    EXPECT_GT(fs::file_size(wav), 22050u);

    // A second export, both kept, makes a second voice beside the first, named apart.
    shown = boxes.boxes.size();
    model->exportVoice();
    ASSERT_TRUE(waitFor([&] { return boxes.boxes.size() == shown + 1; }, 60000));
    boxes.press(shown, 1);
    ASSERT_TRUE(waitFor([&] { return boxes.boxes.size() == shown + 2 && !model->getIsLoading(); }, 60000));
    EXPECT_TRUE(fs::exists(voicesDir() / "custom_My Voice (2)" / "custom_My Voice (2).onnx"));
    EXPECT_TRUE(fs::exists(voice / "custom_My Voice.onnx"));
    model.reset();
    removeAll(voicesDir());
    qunsetenv("QV_TRAIN_EPOCH_SECONDS");
}

TEST(TrainingModel, AStopBeforeTrainingStartsIsFinalAndKilledPreprocessingFails)
{
    MsgboxLog boxes;
    testutil::TempDir tmp;
    const fs::path control = tmp.path() / "control";
    useScriptedEnvironment(tmp.path() / "tenv", control);
    fs::path dir = makeTraining("Sticky", "", 2);
    auto model = std::make_unique<TrainingModel>();
    model->open(q(dir), false);
    EXPECT_FALSE(model->getIsLoading());
    EXPECT_EQ(model->getBatchSize(), 2);

    // Stopped while the dataset is exported: that run goes no further. The next
    // one, queued behind it, preprocesses and trains once.
    model->train();
    model->stopTrain();
    EXPECT_FALSE(model->getIsTraining());
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].value("msg").toString(), "IDS_TRAINING_END!");
    model->train();
    ASSERT_TRUE(waitFor([&] { return model->getLogs() == "training\n"; }, 60000)) << model->getLogs().toStdString();
    EXPECT_EQ(runs(control, "preprocess"), 1);
    EXPECT_EQ(runs(control, "train"), 1);
    EXPECT_TRUE(model->getIsTraining());
    model->stopTrain();
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(readRecord(dir).batchSize(), 2);

    // Stopped during preprocessing: its output goes and training never starts.
    removePreprocessOutput(dir.u8string());
    testutil::writeFile(control / "hold", "");
    model->train();
    ASSERT_TRUE(waitFor([&] { return fs::exists(dir / "dataset.jsonl"); }, 60000));
    ASSERT_TRUE(waitFor([&] { return model->getLogs().contains("preprocessing"); }, 60000));
    model->stopTrain();
    EXPECT_FALSE(model->getIsTraining());
    EXPECT_FALSE(fs::exists(dir / "config.json"));
    EXPECT_FALSE(fs::exists(dir / "dataset.jsonl"));
    ASSERT_EQ(boxes.boxes.size(), 3);
    EXPECT_EQ(boxes.boxes[2].value("msg").toString(), "IDS_TRAINING_END!");
    fs::remove(control / "hold");

    // Preprocessing killed by something else fails the same way, with its box.
    testutil::writeFile(control / "die", "");
    model->train();
    ASSERT_TRUE(waitFor([&] { return !model->getIsTraining(); }, 60000));
    ASSERT_EQ(boxes.boxes.size(), 4);
    EXPECT_EQ(boxes.boxes[3].value("msg").toString(), "IDS_TRAINING_FAILED.");
    EXPECT_EQ(boxes.boxes[3].value("icon").toInt(), 4);
    EXPECT_FALSE(fs::exists(dir / "config.json"));
    fs::remove(control / "die");
    EXPECT_EQ(runs(control, "preprocess"), 3);
    EXPECT_EQ(runs(control, "train"), 1);

    // A batch size out of range is refused.
    model->setBatchSize(33);
    model->train();
    ASSERT_TRUE(waitFor([&] { return !model->getIsTraining(); }, 60000));
    ASSERT_EQ(boxes.boxes.size(), 5);
    EXPECT_EQ(boxes.boxes[4].value("msg").toString(), "IDS_INVALID_BATCHSIZE");

    // The page goes while the training runs: the tool ends, and no box shows.
    model->setBatchSize(3);
    model->train();
    ASSERT_TRUE(waitFor([&] { return runs(control, "train") == 2; }, 60000)) << model->getLogs().toStdString();
    model.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(boxes.boxes.size(), 5);
    EXPECT_EQ(readRecord(dir).batchSize(), 3);

    // The page goes while preprocessing runs: its output goes too.
    removePreprocessOutput(dir.u8string());
    testutil::writeFile(control / "hold", "");
    model = std::make_unique<TrainingModel>();
    model->open(q(dir), true);
    ASSERT_TRUE(waitFor([&] { return model->getLogs().contains("preprocessing"); }, 60000));
    EXPECT_TRUE(fs::exists(dir / "config.json"));
    model.reset();
    EXPECT_FALSE(fs::exists(dir / "config.json"));
    EXPECT_EQ(boxes.boxes.size(), 5);
}

TEST(TrainingModel, FailedExportsLeaveNoVoiceBehind)
{
    MsgboxLog boxes;
    testutil::TempDir tmp;
    useScriptedEnvironment(tmp.path() / "tenv", tmp.path() / "control");
    removeAll(voicesDir());
    fs::path dir = makeTraining("a/b", "", 2, "slash");
    TrainingModel model;
    model.open(q(dir), false);

    // Before any preprocessing there is no configuration to copy (found on the worker).
    model.exportVoice();
    EXPECT_TRUE(model.getIsLoading());
    ASSERT_TRUE(waitFor([&] { return !model.getIsLoading(); }, 60000));
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].value("msg").toString().toStdString(), std::strerror(ENOENT));
    EXPECT_TRUE(customVoices().empty());

    // No checkpoint at all: the tool fails, its log shows, the folder goes.
    testutil::writeFile(dir / "config.json", R"({"audio":{"sample_rate":22050}})");
    testutil::writeFile(dir / "dataset.jsonl", "{}\n");
    model.exportVoice();
    EXPECT_TRUE(model.getIsLoading());
    ASSERT_TRUE(waitFor([&] { return !model.getIsLoading(); }, 60000));
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_NE(boxes.boxes[1].value("msg").toString().indexOf("ERROR: no checkpoint given"), -1);
    EXPECT_EQ(boxes.boxes[1].value("icon").toInt(), 4);
    EXPECT_TRUE(customVoices().empty());

    // A tool that never starts.
    fs::path checkpoints = dir / "lightning_logs" / "version_0" / "checkpoints";
    fs::create_directories(checkpoints);
    writeCheckpoint(checkpoints / "epoch=1500-step=3000.ckpt", 1500);
    TrainingRecord record = readRecord(dir);
    record.setEpochs(1500);
    ASSERT_TRUE(record.save());
    model.open(q(dir), false);
    QString realEnv = tenvPath();
    saveTenvPath(q(tmp.path() / "nowhere"));
    model.exportVoice();
    ASSERT_TRUE(waitFor([&] { return !model.getIsLoading(); }, 60000));
    ASSERT_EQ(boxes.boxes.size(), 3);
    EXPECT_NE(boxes.boxes[2].value("msg").toString().indexOf("IDS_EXPORT_FAILED"), -1);
    EXPECT_TRUE(customVoices().empty());
    // Starting a training without an environment says so and offers the install.
    QSignalSpy installAsked(&model, &TrainingModel::toInstallEnv);
    model.train();
    EXPECT_FALSE(model.getIsTraining());
    ASSERT_EQ(boxes.boxes.size(), 4);
    EXPECT_EQ(boxes.boxes[3].value("title").toString(), "The training environment is not installed.");
    boxes.press(3, 0);
    EXPECT_EQ(installAsked.count(), 1);
    boxes.boxes.removeLast();

    // A name with a slash stays one folder, and the speaker keeps the name.
    saveTenvPath(realEnv);
    model.exportVoice();
    ASSERT_TRUE(waitFor([&] { return !model.getIsLoading(); }, 60000));
    ASSERT_EQ(boxes.boxes.size(), 4);
    EXPECT_EQ(boxes.boxes[3].value("msg").toString(), "IDS_EXPORT_DONE");
    ASSERT_EQ(customVoices().size(), 1u);
    fs::path voice = voicesDir() / "custom_a%2fb";
    EXPECT_EQ(testutil::readFile(voice / "custom_a%2fb.onnx"), "model");
    JsonRef speaker = JsonRef::parse(testutil::readFile(voice / "speakers" / "spk-0.json").toStdString());
    EXPECT_EQ(speaker.get("name").toString(), "a/b");
    EXPECT_EQ(speaker.get("quality").toInt(), 1);
    removeAll(voicesDir());
}

TEST(TrainingModel, AHardStopBeforeTheWindowJudgedThePreprocessingMakesTheNextStartRedoIt)
{
    MsgboxLog boxes;
    testutil::TempDir tmp;
    const fs::path control = tmp.path() / "control", base = tmp.path() / "en-us-epoch=2164-step=1.ckpt";
    useScriptedEnvironment(tmp.path() / "tenv", control);
    writeCheckpoint(base, 2164);
    fs::path dir = makeTraining("Hard Stop", base.u8string(), 2);

    // The tool has written its output and not ended: the manifest on disk has
    // no record of it, as a hard stop leaves it. The files are put back after
    // the model (which removes them) is gone.
    testutil::writeFile(control / "hold", "");
    auto model = std::make_unique<TrainingModel>();
    model->open(q(dir), true);
    ASSERT_TRUE(waitFor([&] { return model->getLogs().contains("preprocessing"); }, 60000));
    EXPECT_FALSE(readRecord(dir).hasInitEpochs());
    const QByteArray config = testutil::readFile(dir / "config.json"), dataset = testutil::readFile(dir / "dataset.jsonl");
    model.reset();
    testutil::writeFile(dir / "config.json", config);
    testutil::writeFile(dir / "dataset.jsonl", dataset);
    fs::remove(control / "hold");

    // Start after the restart: preprocessed again, the base's epochs not counted as trained.
    model = std::make_unique<TrainingModel>();
    model->open(q(dir), false);
    model->train();
    ASSERT_TRUE(waitFor([&] { return runs(control, "train") == 1 && readRecord(dir).epochs() == 2164; }, 60000));
    EXPECT_EQ(runs(control, "preprocess"), 2);
    EXPECT_EQ(readRecord(dir).initEpochs(), 2164);
    EXPECT_EQ(model->getEpochs(), 0);
    model->stopTrain();
}

TEST(TrainingModel, ACheckpointTheToolRefusesShowsItsLinesAndTrainingGoesOnFromTheOneBefore)
{
    MsgboxLog boxes;
    testutil::TempDir tmp;
    unpackEnvironment(tmp.path() / "quorvine_salvormithe_tenv");
    qputenv("QV_TRAIN_EPOCH_SECONDS", "0.05");
    fs::path dir = makeTraining("Refused", "", 2);
    // Preprocessed and judged; the newest checkpoint is cut inside its zip
    // directory, the next has metadata only the tool finds unreadable.
    testutil::writeFile(dir / "config.json", "{}");
    testutil::writeFile(dir / "dataset.jsonl", "{}\n");
    TrainingRecord record = readRecord(dir);
    record.setInitEpochs(0);
    ASSERT_TRUE(record.save());
    const fs::path run = dir / "lightning_logs" / "version_0" / "checkpoints", pre = dir / "lightning_logs" / "pre";
    writeCheckpoint(run / "epoch=25-step=250.ckpt", 25);
    testutil::writeFile(run / "epoch=25-step=250.ckpt", testutil::readFile(run / "epoch=25-step=250.ckpt").chopped(60));
    writeUnparsableCheckpoint(run / "epoch=20-step=200.ckpt");
    writeCheckpoint(run / "epoch=15-step=150.ckpt", 15);

    TrainingModel model;
    model.open(q(dir), false);
    model.train();
    ASSERT_TRUE(waitFor([&] { return !model.getIsTraining(); }, 60000)) << model.getLogs().toStdString();
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_TRUE(boxes.boxes[0].value("title").toString().contains("epoch=20-step=200.ckpt"));
    EXPECT_TRUE(boxes.boxes[0].value("msg").toString().contains("ERROR: checkpoint"));
    EXPECT_EQ(listCheckpoints(q(pre)), QStringList({q(pre / "epoch=20-step=200.ckpt"), q(pre / "epoch=15-step=150.ckpt")}));

    // Going on: the refused one goes, and the training resumes from the one before.
    boxes.press(0, 0);
    ASSERT_TRUE(waitFor([&] { return maxCheckpointEpoch(q(run)) >= 20; }, 60000)) << model.getLogs().toStdString();
    EXPECT_FALSE(fs::exists(pre / "epoch=20-step=200.ckpt"));
    model.stopTrain();
    EXPECT_TRUE(model.getLogs().contains("Resuming from " + q(pre / "epoch=15-step=150.ckpt"))) << model.getLogs().toStdString();
    qunsetenv("QV_TRAIN_EPOCH_SECONDS");
}

TEST(TrainingModel, PreprocessingRedoneAfterItsOutputWentCountsNoBaseEpochsAsTrainedWhenItFails)
{
    MsgboxLog boxes;
    testutil::TempDir tmp;
    const fs::path control = tmp.path() / "control", base = tmp.path() / "en-us-epoch=2164-step=1.ckpt";
    useScriptedEnvironment(tmp.path() / "tenv", control);
    writeCheckpoint(base, 2164);
    fs::path dir = makeTraining("Lost Output", base.u8string(), 2);
    TrainingRecord record = readRecord(dir);
    record.setInitEpochs(2164);
    record.setEpochs(2300);
    ASSERT_TRUE(record.save());

    // The folder has lost "config.json" and "dataset.jsonl"; the preprocessing made again is killed.
    TrainingModel model;
    model.open(q(dir), false);
    EXPECT_EQ(model.getEpochs(), 136);
    testutil::writeFile(control / "die", "");
    model.train();
    ASSERT_TRUE(waitFor([&] { return !model.getIsTraining(); }, 60000));
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].value("msg").toString(), "IDS_TRAINING_FAILED.");
    record = readRecord(dir);
    EXPECT_EQ(record.epochs() - record.initEpochs(), 0);
    EXPECT_EQ(model.getEpochs(), 0);
}

TEST(TrainingModel, ASecondVoiceOfOneNameReplacesTheFirstOrIsNamedApart)
{
    MsgboxLog boxes;
    testutil::TempDir tmp;
    useScriptedEnvironment(tmp.path() / "tenv", tmp.path() / "control");
    removeAll(voicesDir());
    fs::path dir = makeExportableTraining("BobVoice");
    TrainingModel model;
    model.open(q(dir), false);
    auto exportVoice = [&] {
        model.exportVoice();
        return waitFor([&] { return !model.getIsLoading(); }, 60000);
    };
    auto shownNames = [] {
        std::vector<LocalVoice> voices;
        listInstalledVoices(voices);
        QStringList names;
        for (const LocalVoice& v : voices)
            names << QString::fromStdString(v.uid + " = " + v.name);
        names.sort();
        return names;
    };

    ASSERT_TRUE(exportVoice());
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].value("msg").toString(), "IDS_EXPORT_DONE");
    EXPECT_EQ(shownNames(), QStringList({"custom_BobVoice = BobVoice"}));

    // Again: asked first; Cancel makes nothing, Keep Both names the new one apart.
    ASSERT_TRUE(exportVoice());
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(boxes.boxes[1].value("msg").toString(),
              "A voice named BobVoice already exists. Replace it, or keep both and name the new one BobVoice (2)?");
    EXPECT_EQ(boxes.boxes[1].value("buttonNames").toStringList(), QStringList({"Replace", "Keep Both", "Cancel"}));
    boxes.press(1, 2);
    EXPECT_FALSE(model.getIsLoading());
    EXPECT_EQ(shownNames(), QStringList({"custom_BobVoice = BobVoice"}));
    ASSERT_TRUE(exportVoice());
    boxes.press(2, 1);
    ASSERT_TRUE(waitFor([&] { return boxes.boxes.size() == 4 && !model.getIsLoading(); }, 60000));
    EXPECT_EQ(boxes.boxes[3].value("msg").toString(), "IDS_EXPORT_DONE");
    EXPECT_EQ(shownNames(), QStringList({"custom_BobVoice (2) = BobVoice (2)", "custom_BobVoice = BobVoice"}));
    EXPECT_EQ(testutil::readFile(voicesDir() / "custom_BobVoice (2)" / "custom_BobVoice (2).onnx"), "model");

    // Replace: the new voice takes the old one's place, whole.
    testutil::writeFile(voicesDir() / "custom_BobVoice" / "old", "");
    ASSERT_TRUE(exportVoice());
    boxes.press(4, 0);
    ASSERT_TRUE(waitFor([&] { return boxes.boxes.size() == 6 && !model.getIsLoading(); }, 60000));
    EXPECT_EQ(boxes.boxes[5].value("msg").toString(), "IDS_EXPORT_DONE");
    EXPECT_EQ(shownNames(), QStringList({"custom_BobVoice (2) = BobVoice (2)", "custom_BobVoice = BobVoice"}));
    EXPECT_FALSE(fs::exists(voicesDir() / "custom_BobVoice" / "old"));
    EXPECT_TRUE(fs::is_empty(voiceBuildRoot()));
    removeAll(voicesDir());
}

TEST(TrainingModel, AVoiceReachesTheStoreOnlyWholeAndQuittingLeavesNoneHalfMade)
{
    MsgboxLog boxes;
    testutil::TempDir tmp;
    const fs::path control = tmp.path() / "control";
    useScriptedEnvironment(tmp.path() / "tenv", control);
    removeAll(voicesDir());
    fs::path dir = makeExportableTraining("Quitter");
    auto model = std::make_unique<TrainingModel>();
    model->open(q(dir), false);

    // The configuration and the speaker are written, the model not yet.
    testutil::writeFile(control / "hold-export", "");
    model->exportVoice();
    ASSERT_TRUE(waitFor([&] { return pidIn(control / "export.pid") > 0; }, 60000));
    EXPECT_TRUE(customVoices().empty());
    EXPECT_TRUE(fs::exists(voiceBuildRoot() / "custom_Quitter" / "speakers" / "spk-0.json"));

    // The program quits: nothing is left, in the store or beside it.
    model.reset();
    EXPECT_TRUE(processGone(pidIn(control / "export.pid")));
    EXPECT_TRUE(customVoices().empty());
    EXPECT_TRUE(fs::is_empty(voiceBuildRoot()));
    EXPECT_TRUE(boxes.boxes.isEmpty());
    removeAll(voicesDir());
}

TEST(TrainingModel, AVoiceSetAsideByAnUnfinishedReplaceGoesBackAndIsNeverLost)
{
    MsgboxLog boxes;
    testutil::TempDir tmp;
    useScriptedEnvironment(tmp.path() / "tenv", tmp.path() / "control");
    removeAll(voicesDir());
    const fs::path building = voiceBuildRoot();
    // A trained voice as the store holds it.
    auto voice = [](const fs::path& dir, const std::string& uid) {
        fs::create_directories(dir / "speakers");
        testutil::writeFile(dir / (uid + ".onnx"), QByteArray::fromStdString("model of " + uid));
        testutil::writeFile(dir / (uid + ".onnx.json"), "{}");
        testutil::writeFile(dir / "speakers" / "spk-0.json",
                            QByteArray::fromStdString(trainedSpeakerJson(uid, uid.substr(7), 1, PromptLang())));
    };
    struct Case
    {
        const char* entry; // in the build folder
        const char* uid;   // of the voice it holds
        const char* after; // the store folder it is back in; "" when it stays, "-" when it goes
    };
    const std::vector<Case> cases = {
        {"custom_Bob.old", "custom_Bob", "custom_Bob"},
        // Numbered beside an earlier one; a voice whose own name has a number.
        {"custom_Ann(1).old", "custom_Ann", "custom_Ann"},
        {"custom_Eve(2).old", "custom_Eve(2)", "custom_Eve(2)"},
        // Its place is taken again: it stays whole.
        {"custom_Max.old", "custom_Max", ""},
        // What builds and finished replaces left.
        {"custom_x.old", "custom_x.old", "-"},
        {"custom_Kim", "custom_Kim", "-"},
        {"custom_Kim.replaced", "custom_Kim", "-"},
    };
    for (const Case& c : cases)
        voice(building / c.entry, c.uid);
    fs::create_directories(voicesDir() / "custom_Max");
    testutil::writeFile(voicesDir() / "custom_Max" / "newer", "");

    // The next export's clean-up: Bob is back in the store, so the export asks first.
    fs::path dir = makeExportableTraining("Bob");
    TrainingModel model;
    model.open(q(dir), false);
    model.exportVoice();
    ASSERT_TRUE(waitFor([&] { return !boxes.boxes.isEmpty(); }, testutil::hangLimitMs));
    EXPECT_TRUE(boxes.boxes[0].value("msg").toString().startsWith("A voice named Bob already exists."));
    boxes.press(0, 2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        const std::string after = c.after, file = std::string(c.uid) + ".onnx";
        EXPECT_EQ(fs::exists(building / c.entry), after.empty());
        const fs::path now = after.empty() ? building / c.entry : voicesDir() / after;
        if (after != "-") {
            EXPECT_EQ(testutil::readFile(now / file).toStdString(), "model of " + std::string(c.uid));
        }
    }
    EXPECT_TRUE(fs::exists(voicesDir() / "custom_Max" / "newer"));
    EXPECT_FALSE(fs::exists(voicesDir() / "custom_Max" / "custom_Max.onnx"));
    removeAll(voicesDir());
}

TEST(TrainingModel, ATrainingKeepsItsLanguageWhenItsRecordingIsDeleted)
{
    MsgboxLog boxes;
    testutil::TempDir tmp;
    useScriptedEnvironment(tmp.path() / "tenv", tmp.path() / "control");
    removeAll(voicesDir());
    const PromptLang en = findPromptLang("en-us");
    fs::path dir = makeExportableTraining("BigT");
    EXPECT_EQ(readRecord(dir).lang(), "en-us");

    // A training made before the language was kept learns it from the list,
    // while its recording is there; its time and place in the list stay.
    fs::path older = makeExportableTraining("Older");
    TrainingRecord record = readRecord(older);
    json_object_object_del(record.manifest, "lang");
    ASSERT_TRUE(record.save());
    const auto past = fs::file_time_type::clock::now() - std::chrono::hours(30);
    fs::last_write_time(older / "manifest", past);
    fs::last_write_time(older, past);
    const int64_t changed = readRecord(older).modifiedTime();
    {
        TrainingsModel list;
        ASSERT_TRUE(QSignalSpy(list.trainingsItemModel(), &QAbstractItemModel::modelReset).wait(testutil::hangLimitMs));
    }
    EXPECT_EQ(readRecord(older).lang(), "en-us");
    EXPECT_EQ(readRecord(older).modifiedTime(), changed);
    EXPECT_TRUE(fs::last_write_time(older) == past);

    // The recordings are deleted: the title, the list and the exported voice still know the language.
    fs::remove_all(RecordingProject::rootDir() / "rec-BigT");
    fs::remove_all(RecordingProject::rootDir() / "rec-Older");
    TrainingsModel list;
    QAbstractItemModel* items = list.trainingsItemModel();
    ASSERT_TRUE(QSignalSpy(items, &QAbstractItemModel::modelReset).wait(testutil::hangLimitMs));
    int shown = 0;
    for (int row = 0; row < items->rowCount(); ++row) {
        auto role = [&](const char* name) { return items->data(items->index(row, 0), items->roleNames().key(name)).toString(); };
        if (role("name") == "BigT" || role("name") == "Older") {
            EXPECT_EQ(role("lang").toStdString(), en.native);
            ++shown;
        }
    }
    EXPECT_EQ(shown, 2);
    TrainingModel model;
    model.open(q(dir), false);
    EXPECT_EQ(model.getTrainingName().toStdString(), "BigT - " + en.native);
    model.exportVoice();
    ASSERT_TRUE(waitFor([&] { return !boxes.boxes.isEmpty() && !model.getIsLoading(); }, testutil::hangLimitMs));
    EXPECT_EQ(boxes.boxes[0].value("msg").toString(), "IDS_EXPORT_DONE");
    JsonRef speaker = JsonRef::parse(testutil::readFile(voicesDir() / "custom_BigT" / "speakers" / "spk-0.json").toStdString());
    EXPECT_EQ(speaker.get("lang").toString(), "en-us");
    EXPECT_EQ(speaker.get("eng").toString(), en.name);
    EXPECT_EQ(speaker.get("native").toString(), en.native);
    removeAll(voicesDir());
}
