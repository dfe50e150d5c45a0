#include "training/CreateTrainingModel.h"

#include "common/FileUtils.h"
#include "recording/PromptsDb.h"
#include "recording/RecordingProject.h"
#include "training/BaseCheckpoints.h"
#include "training/CheckpointServer.h"
#include "training/Checkpoints.h"
#include "training/TrainingFolder.h"
#include "training/TrainingRecord.h"

#include "LoopbackServers.h"
#include "MsgboxLog.h"
#include "TrainingTestSupport.h"

#include <QDate>
#include <QRegularExpression>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>

namespace fs = std::filesystem;
using namespace trainingtest;
using testutil::waitFor;

namespace {

fs::path makeRecording(const std::string& name, const std::string& lang)
{
    fs::path dir = RecordingProject::rootDir() / name;
    RecordingProject project;
    EXPECT_TRUE(project.open(dir.u8string(), name, lang)) << project.lastError();
    return dir;
}

QString native(const std::string& lang)
{
    return QString::fromStdString(findPromptLang(lang).native);
}

void load(CreateTrainingModel& model)
{
    model.beforeNewTraining();
    EXPECT_TRUE(model.getIsLoading());
    EXPECT_TRUE(waitFor([&] { return !model.getIsLoading(); }, testutil::hangLimitMs));
}

// Starts the creation; the training folder it went to, empty when it failed.
QString create(CreateTrainingModel& model, QStringList* progress = nullptr)
{
    QSignalSpy done(&model, &CreateTrainingModel::gotoTraining);
    QMetaObject::Connection c = QObject::connect(&model, &CreateTrainingModel::downloadProgressChanged, [&]() {
        if (progress)
            *progress << model.getDownloadProgress();
    });
    model.createTraining();
    EXPECT_TRUE(waitFor([&] { return !model.getIsCreating(); }, 60000));
    QObject::disconnect(c);
    return done.isEmpty() ? QString() : done[0][0].toString();
}

} // namespace

TEST(CreateTraining, FromARecordingOnTheEnglishBaseCheckpoint)
{
    testutil::TempDir tmp;
    TrainingServer server(tmp.path() / "cat");
    std::map<std::string, std::string> served;
    ASSERT_TRUE(fetchCheckpointLangs([&](const std::string& k, const std::string& v) { served[k] = v; }));
    ASSERT_EQ(served.count("de-de"), 1u);
    fs::path anna = makeRecording("Anna", "en-us");
    fs::path bernd = makeRecording("Bernd", "de-de");
    const QString today = "Voice" + QDate::currentDate().toString("yyyyMMdd");
    fs::create_directories(trainingRoot() / today.toStdString());

    MsgboxLog log;
    CreateTrainingModel model;
    model.setInitRecordingPath(q(anna) + "/");
    load(model);
    EXPECT_EQ(model.getNewTrainingName(), today + "(1)");
    const QStringList recordings = model.getRecordingOptions();
    EXPECT_EQ(recordings.value(0, "x"), QString());
    const int annaIdx = recordings.indexOf("Anna - " + native("en-us"));
    const int berndIdx = recordings.indexOf("Bernd - " + native("de-de"));
    ASSERT_GT(annaIdx, 0) << recordings.join(" | ").toStdString();
    ASSERT_GT(berndIdx, 0);

    // Preselected from the recording page; English once, even though the server lists en-us.
    EXPECT_EQ(model.getNewTrainingRecodingIdx(), annaIdx);
    EXPECT_EQ(model.getModelOptions(), QStringList({"", "English", "None"}));
    EXPECT_EQ(model.getNewTrainingModelIdx(), -1);
    model.setNewTrainingRecodingIdx(berndIdx);
    EXPECT_EQ(model.getModelOptions(), QStringList({"", "English", native("de-de"), "None"}));
    model.setNewTrainingRecodingIdx(annaIdx);

    // Refusals; None asks first and No leaves the form as it was.
    model.setNewTrainingName("  ");
    model.createTraining();
    model.setNewTrainingName("Anna's voice");
    model.createTraining();
    model.setNewTrainingModelIdx(2);
    model.createTraining();
    ASSERT_EQ(log.boxes.size(), 3);
    EXPECT_EQ(log.boxes[0]["msg"].toString(), "IDS_EMPTY_TRAINING_NAME");
    EXPECT_EQ(log.boxes[1]["msg"].toString(), "IDS_EMPTY_INVALID_MODEL");
    EXPECT_EQ(log.boxes[2]["icon"].toInt(), int(MessageBoxContext::Question));
    log.press(2, 1);
    EXPECT_FALSE(model.getIsCreating());

    // English: the en-us base checkpoint is downloaded into the data folder's "ckpt".
    model.setNewTrainingModelIdx(1);
    QStringList progress;
    QString path = create(model, &progress);
    EXPECT_EQ(log.boxes.size(), 3);
    EXPECT_EQ(path, q(trainingRoot() / "Anna's voice"));
    EXPECT_NE(progress.indexOf(QRegularExpression("^IDS_DOWNLOADING_MODEL:.+ of .+$")), -1)
        << progress.join(" | ").toStdString();
    TrainingRecord record;
    ASSERT_TRUE(record.read(path.toStdString())) << record.lastError;
    EXPECT_EQ(record.name(), "Anna's voice");
    EXPECT_EQ(record.recording(), anna.u8string());
    const fs::path ckpt = appDataDir() / "ckpt" / served["en-us"];
    EXPECT_EQ(record.baseOn(), ckpt.u8string());
    EXPECT_EQ(verifyCheckpoint(q(ckpt)), 1);

    // The same name again is refused.
    EXPECT_TRUE(create(model).isEmpty());
    ASSERT_EQ(log.boxes.size(), 4);
    EXPECT_EQ(log.boxes[3]["msg"].toString(), "A voice with the name Anna's voice already exists. Please use another name.");

    // A typed name stays one folder inside the trainings folder; the checkpoint
    // on disk is used as it is, without the server.
    server.stop();
    for (const char* typed : {"../../outside", ".."}) {
        model.setNewTrainingName(typed);
        path = create(model);
        EXPECT_EQ(utf8ToPath(path.toStdString()).parent_path(), trainingRoot()) << path.toStdString();
        ASSERT_TRUE(record.read(path.toStdString()));
        EXPECT_EQ(record.name(), std::string(typed));
    }
    EXPECT_FALSE(fs::exists(trainingRoot().parent_path() / "outside"));
    EXPECT_EQ(log.boxes.size(), 4);
}

TEST(CreateTraining, CheckpointNamesFromTheServerStayInTheirFolder)
{
    const fs::path dir = appDataDir() / "ckpt";
    std::string error;
    EXPECT_EQ(CreateTrainingModel::baseCheckpointPath("en-us-epoch=2164.ckpt", error),
              (dir / "en-us-epoch=2164.ckpt").u8string());
    for (const char* bad : {"", ".", "..", "../x.ckpt", "/tmp/x.ckpt", "a/b.ckpt", "a\\b.ckpt"}) {
        error.clear();
        EXPECT_TRUE(CreateTrainingModel::baseCheckpointPath(bad, error).empty()) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }

    // A server that names a path outside: the creation fails and nothing is written.
    testutil::HttplibServer evil;
    std::atomic<int> downloads{0};
    evil.server.Get("/ckpt.php", [&](const httplib::Request& req, httplib::Response& res) {
        if (req.get_param_value("r") == "langs")
            return res.set_content(R"({"en-us":"../../escaped.ckpt","fr-fr":"fr.ckpt"})", "application/json");
        ++downloads;
        res.status = 404;
    });
    qputenv("QV_VOICE_SERVER", QByteArray::fromStdString(evil.start()));
    makeRecording("Claire", "fr-fr");
    MsgboxLog log;
    CreateTrainingModel model;
    model.setInitRecordingPath(q(RecordingProject::rootDir() / "Claire"));
    load(model);
    ASSERT_EQ(model.getModelOptions(), QStringList({"", "English", native("fr-fr"), "None"}));
    model.setNewTrainingName("Claire");
    model.setNewTrainingModelIdx(1);
    EXPECT_TRUE(create(model).isEmpty());
    ASSERT_EQ(log.boxes.size(), 1);
    EXPECT_NE(log.boxes[0]["msg"].toString().indexOf("invalid base model file name"), -1);
    EXPECT_EQ(downloads.load(), 0);
    EXPECT_FALSE(fs::exists(appDataDir() / "escaped.ckpt"));

    // A failed download ends the job with the downloader's text and makes no training.
    model.setNewTrainingModelIdx(2);
    EXPECT_TRUE(create(model).isEmpty());
    ASSERT_EQ(log.boxes.size(), 2);
    EXPECT_TRUE(log.boxes[1]["msg"].toString().startsWith("CURL: ")) << log.boxes[1]["msg"].toString().toStdString();
    EXPECT_EQ(downloads.load(), 1);
    EXPECT_FALSE(trainingNameExists("Claire"));
    qunsetenv("QV_VOICE_SERVER");
}

TEST(CreateTraining, WithTheServerDownTheBaseCheckpointOnDiskIsUsedAndNoneIsDroppedUnasked)
{
    testutil::TempDir tmp;
    TrainingServer server(tmp.path() / "cat");
    fs::path recording = makeRecording("Offline", "en-us");
    MsgboxLog log;
    auto form = [&](CreateTrainingModel& model, const char* name) {
        model.setInitRecordingPath(q(recording));
        load(model);
        EXPECT_EQ(model.getModelOptions(), QStringList({"", "English", "None"}));
        model.setNewTrainingName(name);
        model.setNewTrainingModelIdx(1);
    };
    auto baseOf = [](const QString& path) {
        TrainingRecord record;
        EXPECT_TRUE(record.read(path.toStdString())) << path.toStdString();
        return record.baseOn();
    };

    // Fetched once while the server is there.
    CreateTrainingModel online;
    form(online, "Offline 1");
    const std::string base = baseOf(create(online));
    ASSERT_FALSE(base.empty());

    // Server down: English starts from the checkpoint already in the data folder.
    server.stop();
    CreateTrainingModel offline;
    form(offline, "Offline 2");
    EXPECT_EQ(baseOf(create(offline)), base);
    EXPECT_TRUE(log.boxes.isEmpty());

    // Without it the user is asked: No creates nothing, Yes trains from nothing.
    fs::remove(utf8ToPath(base));
    CreateTrainingModel missing;
    form(missing, "Offline 3");
    missing.createTraining();
    ASSERT_EQ(log.boxes.size(), 1);
    EXPECT_EQ(log.boxes[0]["icon"].toInt(), int(MessageBoxContext::Question));
    EXPECT_TRUE(log.boxes[0]["msg"].toString().startsWith("The base model English cannot be downloaded now"));
    log.press(0, 1);
    EXPECT_FALSE(missing.getIsCreating());
    EXPECT_FALSE(trainingNameExists("Offline 3"));
    QSignalSpy done(&missing, &CreateTrainingModel::gotoTraining);
    missing.createTraining();
    ASSERT_EQ(log.boxes.size(), 2);
    log.press(1, 0);
    ASSERT_TRUE(done.wait(60000));
    EXPECT_EQ(baseOf(done[0][0].toString()), "");
}

TEST(CreateTraining, OnlyARegularFileInTheDataFolderIsTakenForTheBaseCheckpoint)
{
    testutil::TempDir tmp;
    TrainingServer server(tmp.path() / "cat");
    std::map<std::string, std::string> served;
    ASSERT_TRUE(fetchCheckpointLangs([&](const std::string& k, const std::string& v) { served[k] = v; }));
    rememberBaseCheckpoints(served);
    const fs::path recording = makeRecording("Linked", "en-us");
    const fs::path ckpt = baseCheckpointDir() / served["en-us"];
    const fs::path elsewhere = tmp.path() / "elsewhere.ckpt";
    writeCheckpoint(elsewhere, 7);
    const QByteArray bytes = testutil::readFile(elsewhere);
    fs::create_directories(tmp.path() / "folder");

    struct Case
    {
        const char* name;
        std::function<void()> plant;
        bool taken;
    };
    const std::vector<Case> cases = {
        {"a regular file", [&] { fs::copy_file(elsewhere, ckpt); }, true},
        {"a link to a file", [&] { fs::create_symlink(elsewhere, ckpt); }, false},
        {"a link to a folder", [&] { fs::create_symlink(tmp.path() / "folder", ckpt); }, false},
    };
    MsgboxLog log;
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::create_directories(ckpt.parent_path());
        fs::remove(ckpt);
        c.plant();
        // Offered when the server is down only for a file of its own.
        EXPECT_EQ(keptBaseCheckpoints().count("en-us"), c.taken ? 1u : 0u);

        CreateTrainingModel model;
        model.setInitRecordingPath(q(recording));
        load(model);
        const std::string name = "Linked " + std::to_string(++n);
        model.setNewTrainingName(QString::fromStdString(name));
        model.setNewTrainingModelIdx(1);
        const QString path = create(model);
        EXPECT_EQ(!path.isEmpty(), c.taken);
        EXPECT_EQ(trainingNameExists(name), c.taken);
        if (c.taken) {
            TrainingRecord record;
            ASSERT_TRUE(record.read(path.toStdString()));
            EXPECT_EQ(record.baseOn(), ckpt.u8string());
        } else {
            ASSERT_FALSE(log.boxes.isEmpty());
            EXPECT_TRUE(log.boxes.last()["msg"].toString().contains("Not a regular file"))
                << log.boxes.last()["msg"].toString().toStdString();
        }
        EXPECT_EQ(testutil::readFile(elsewhere), bytes);
    }
    fs::remove(ckpt);
}
