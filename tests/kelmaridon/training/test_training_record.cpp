#include "training/TrainingRecord.h"

#include "common/FileUtils.h"
#include "recording/RecordingProject.h"
#include "training/TrainingFolder.h"

#include "TrainingTestSupport.h"

#include <json-c/json.h>

#include <gtest/gtest.h>

#include <QDateTime>

namespace fs = std::filesystem;
using namespace trainingtest;

TEST(TrainingRecord, CreateReadChangeAndSaveTheManifest)
{
    fs::remove_all(homeDir() / "quorvine_salvormithe_training");
    EXPECT_FALSE(trainingNameExists("Anna"));
    EXPECT_FALSE(fs::exists(homeDir() / "quorvine_salvormithe_training"));
    fs::path root = trainingRoot();
    EXPECT_TRUE(fs::is_directory(root));

    TrainingRecord record;
    std::string dir = (root / "Anna").u8string();
    ASSERT_TRUE(record.create(dir, "Anna", "/rec/Anna", "/ckpt/en-us-epoch=2164.ckpt")) << record.lastError;
    EXPECT_EQ(testutil::readFile(root / "Anna" / "manifest").toStdString(),
              R"({ "name": "Anna", "recording": "\/rec\/Anna", "baseon": "\/ckpt\/en-us-epoch=2164.ckpt", "bs": 0, )"
              R"("gpu": 0 })");
    EXPECT_EQ(std::distance(fs::directory_iterator(root / "Anna"), fs::directory_iterator()), 1);
    int64_t now = QDateTime::currentSecsSinceEpoch();
    EXPECT_NEAR(double(record.modifiedTime()), double(now), 5);

    // Keys of its own stay through a read and a save; setters change memory only.
    testutil::writeFile(root / "Anna" / "manifest",
                        R"({"name":"Anna","recording":"/rec/Anna","baseon":"","bs":0,"gpu":0,"extra":[1,2]})");
    TrainingRecord again;
    ASSERT_TRUE(again.read(dir));
    EXPECT_EQ(again.name(), "Anna");
    EXPECT_EQ(again.recording(), "/rec/Anna");
    EXPECT_EQ(again.baseOn(), "");
    EXPECT_EQ(again.epochs(), 0);
    again.setBatchSize(6);
    again.setGpu(1);
    again.setInitEpochs(2000);
    again.setEpochs(2150);
    EXPECT_EQ(testutil::readFile(root / "Anna" / "manifest").indexOf("2150"), -1);
    ASSERT_TRUE(again.save());
    TrainingRecord saved;
    ASSERT_TRUE(saved.read(dir));
    EXPECT_EQ(saved.batchSize(), 6);
    EXPECT_EQ(saved.gpu(), 1);
    EXPECT_EQ(saved.initEpochs(), 2000);
    EXPECT_EQ(saved.epochs(), 2150);
    EXPECT_NE(testutil::readFile(root / "Anna" / "manifest").indexOf(R"("extra": [ 1, 2 ])"), -1);

    // A copy has a manifest of its own.
    TrainingRecord copy(saved);
    copy.setEpochs(1);
    EXPECT_EQ(saved.epochs(), 2150);
    EXPECT_EQ(copy.epochs(), 1);

    // The title names the training's language, which it keeps from its
    // recording; one made before it kept it has none once the recording is gone.
    {
        RecordingProject project;
        ASSERT_TRUE(project.open((root / "rec").u8string(), "Rec", "de-de")) << project.lastError();
    }
    TrainingRecord titled;
    ASSERT_TRUE(titled.create((root / "Titled").u8string(), "Titled", (root / "rec").u8string(), ""));
    EXPECT_NE(testutil::readFile(root / "Titled" / "manifest").indexOf(R"("gpu": 0, "lang": "de-de" })"), -1);
    EXPECT_EQ(titled.title(), "Titled - Deutsch");
    TrainingRecord older(titled);
    json_object_object_del(older.manifest, "lang");
    fs::remove_all(root / "rec");
    EXPECT_EQ(titled.title(), "Titled - Deutsch");
    EXPECT_EQ(older.title(), "Titled - ");
    fs::remove_all(root / "Titled");

    // Names are compared byte for byte.
    EXPECT_TRUE(trainingNameExists("Anna"));
    EXPECT_FALSE(trainingNameExists("anna"));
    testutil::writeFile(root / "stray file", "x");
    fs::create_directories(root / "no manifest");
    EXPECT_FALSE(trainingNameExists("Bob"));
}

TEST(TrainingRecord, UnreadableManifestsAndFailedSaves)
{
    testutil::TempDir tmp;
    TrainingRecord record;
    EXPECT_FALSE(record.read(tmp.path().u8string()));
    EXPECT_EQ(record.lastError, "No such file or directory");
    EXPECT_EQ(record.modifiedTime(), 0);

    for (const char* text : {"[]", "plain text", ""}) {
        testutil::writeFile(tmp.path() / "manifest", text);
        EXPECT_FALSE(record.read(tmp.path().u8string())) << text;
        EXPECT_EQ(record.lastError, "invalid training.") << text;
    }
    EXPECT_EQ(record.batchSize(), 0);
    EXPECT_EQ(record.baseOn(), "");
    record.setBatchSize(3);
    EXPECT_EQ(record.batchSize(), 0);

    // A folder where the manifest should go: the save fails with the system's
    // text and leaves no temporary file behind.
    testutil::writeFile(tmp.path() / "manifest", R"({"name":"A"})");
    ASSERT_TRUE(record.read(tmp.path().u8string()));
    fs::remove(tmp.path() / "manifest");
    fs::create_directories(tmp.path() / "manifest");
    EXPECT_FALSE(record.save());
    EXPECT_EQ(record.lastError, "Is a directory");
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()), 1);
}

TEST(TrainingFolder, PreprocessOutput)
{
    testutil::TempDir tmp;
    const std::string dir = tmp.path().u8string();
    EXPECT_FALSE(isPreprocessed(dir));
    testutil::writeFile(tmp.path() / "config.json", "{}");
    EXPECT_FALSE(isPreprocessed(dir));
    testutil::writeFile(tmp.path() / "dataset.jsonl", "{}\n");
    EXPECT_TRUE(isPreprocessed(dir));
    removePreprocessOutput(dir);
    EXPECT_FALSE(fs::exists(tmp.path() / "config.json"));
    EXPECT_FALSE(fs::exists(tmp.path() / "dataset.jsonl"));
    removePreprocessOutput(dir);
    EXPECT_TRUE(fs::is_directory(tmp.path()));
}
