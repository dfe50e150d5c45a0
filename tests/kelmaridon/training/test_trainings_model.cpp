#include "training/TrainingsModel.h"

#include "common/FileUtils.h"
#include "recording/PromptsDb.h"
#include "recording/RecordingProject.h"
#include "training/TrainingFolder.h"

#include "ModelCells.h"
#include "MsgboxLog.h"
#include "TrainingTestSupport.h"
#include "TreeChangeHold.h"

#include <QAbstractItemModelTester>
#include <QDateTime>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

namespace fs = std::filesystem;
using testutil::cell;
using namespace trainingtest;
using testutil::waitFor;

namespace {

// A training folder changed `age` seconds ago.
fs::path listedTraining(const std::string& name, const std::string& recording, int epochs, int initEpochs, int age)
{
    fs::path dir = trainingRoot() / name;
    TrainingRecord record;
    EXPECT_TRUE(record.create(dir.u8string(), name, recording, ""));
    if (epochs || initEpochs) {
        record.setEpochs(epochs);
        record.setInitEpochs(initEpochs);
        EXPECT_TRUE(record.save());
    }
    fs::last_write_time(dir, fs::file_time_type::clock::now() - std::chrono::seconds(age));
    return dir;
}

} // namespace

TEST(TrainingsList, NewestFirstAndRemovalOfTheRightTraining)
{
    // A trainings folder that does not exist yet is made, and the list is empty.
    fs::remove_all(homeDir() / "quorvine_salvormithe_training");
    auto empty = std::make_unique<TrainingsModel>();
    ASSERT_TRUE(QSignalSpy(empty->trainingsItemModel(), &QAbstractItemModel::modelReset).wait(testutil::hangLimitMs));
    EXPECT_EQ(empty->trainingsItemModel()->rowCount(), 0);
    EXPECT_TRUE(fs::is_directory(homeDir() / "quorvine_salvormithe_training"));
    empty.reset();

    fs::path recording = RecordingProject::rootDir() / "Listed";
    RecordingProject project;
    ASSERT_TRUE(project.open(recording.u8string(), "Listed", "en-us"));
    fs::path a = listedTraining("A", recording.u8string(), 0, 0, 400);
    fs::path b = listedTraining("B", recording.u8string(), 120, 100, 300);
    fs::path c = listedTraining("C", (recording / "gone").u8string(), 0, 0, 200);
    fs::path d = listedTraining("D", "", 2150, 2000, 100);
    fs::create_directories(trainingRoot() / "no manifest");

    MsgboxLog log;
    TrainingsModel model;
    QAbstractItemModel* items = model.trainingsItemModel();
    QAbstractItemModelTester tester(items, QAbstractItemModelTester::FailureReportingMode::Warning);
    QSignalSpy reset(items, &QAbstractItemModel::modelReset);
    ASSERT_TRUE(reset.wait(testutil::hangLimitMs));

    EXPECT_EQ(testutil::column(items, "name"), QStringList({"D", "C", "B", "A"}));
    const QHash<int, QByteArray> roles = items->roleNames();
    EXPECT_EQ(QList<QByteArray>({roles[0], roles[1], roles[2], roles[3], roles[4], roles[5]}),
              QList<QByteArray>({"idx", "tpath", "name", "lang", "epochs", "modified"}));
    EXPECT_EQ(cell(items, 2, "tpath").toString(), q(b));
    EXPECT_EQ(cell(items, 2, "epochs").toInt(), 20);
    EXPECT_EQ(cell(items, 0, "epochs").toInt(), 150);
    EXPECT_EQ(cell(items, 3, "epochs").toInt(), 0);
    EXPECT_EQ(cell(items, 2, "lang").toString(), QString::fromStdString(findPromptLang("en-us").native));
    EXPECT_EQ(cell(items, 1, "lang").toString(), QString());
    TrainingRecord record;
    ASSERT_TRUE(record.read(b.u8string()));
    EXPECT_EQ(cell(items, 2, "modified").toString(),
              QDateTime::fromSecsSinceEpoch(record.modifiedTime()).toString("yyyy-MM-dd hh:mm:ss"));
    EXPECT_FALSE(items->data(items->index(0, 0), 6).isValid());

    model.removeTraining(-1);
    model.removeTraining(4);
    EXPECT_TRUE(log.boxes.isEmpty());

    // No keeps the training.
    model.removeTraining(0);
    ASSERT_EQ(log.boxes.size(), 1);
    EXPECT_EQ(log.boxes[0]["msg"].toString(), "IDS_CONFIRM_REMOVE_TRAINING");
    log.press(0, 1);
    EXPECT_TRUE(fs::exists(d));
    EXPECT_EQ(items->rowCount(), 4);

    // Two boxes at once: B (row 2) is asked for first, D (row 0) is answered
    // first. The removals run on a worker: the window goes on meanwhile, the
    // list shows it is busy, and each result finds its row again.
    model.removeTraining(2);
    model.removeTraining(0);
    QSignalSpy busy(&model, &TrainingsModel::isRemovingChanged);
    QSignalSpy closed(&model, &TrainingsModel::toClose);
    {
        testutil::TreeChangeHold hold;
        log.press(2, 0);
        log.press(1, 0);
        model.close();
        EXPECT_TRUE(hold.checkMeanwhile([&] {
            return model.getIsRemoving() && fs::exists(d) && items->rowCount() == 4 && closed.isEmpty();
        }));
    }
    ASSERT_TRUE(waitFor([&] { return closed.count() == 1; }, testutil::hangLimitMs));
    EXPECT_FALSE(model.getIsRemoving());
    EXPECT_EQ(busy.count(), 2);
    EXPECT_FALSE(fs::exists(d));
    EXPECT_FALSE(fs::exists(b));
    EXPECT_TRUE(fs::exists(a) && fs::exists(c));
    EXPECT_EQ(testutil::column(items, "name"), QStringList({"C", "A"}));
    EXPECT_EQ(cell(items, 1, "idx").toInt(), 1);
}

TEST(TrainingsList, AFolderAlreadyGoneJustLeavesTheList)
{
    fs::remove_all(trainingRoot());
    fs::path a = listedTraining("A", "", 0, 0, 200);
    fs::path c = listedTraining("C", "", 0, 0, 100);
    MsgboxLog log;
    TrainingsModel model;
    QAbstractItemModel* items = model.trainingsItemModel();
    ASSERT_TRUE(QSignalSpy(items, &QAbstractItemModel::modelReset).wait(testutil::hangLimitMs));
    fs::remove_all(c);
    model.removeTraining(0);
    log.press(0, 0);
    ASSERT_TRUE(waitFor([&] { return items->rowCount() == 1; }, testutil::hangLimitMs));
    EXPECT_EQ(testutil::column(items, "name"), QStringList({"A"}));
    EXPECT_EQ(log.boxes.size(), 1);
    EXPECT_EQ(cell(items, 0, "idx").toInt(), 0);
}
