// The recording pages' models with SDL's disk driver as microphone and speaker.
#include "common/FileUtils.h"
#include "recording/PromptsDb.h"
#include "recording/RecordingDetailModel.h"
#include "recording/RecordingModel.h"
#include "recording/RecordingProject.h"
#include "recording/RecordingSettingModel.h"
#include "training/DatasetExport.h"

#include "MsgboxLog.h"
#include "RecordingTestSupport.h"
#include "TestUtil.h"
#include "TreeChangeHold.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QDate>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <tuple>

namespace fs = std::filesystem;
using rectest::fileSize;
using rectest::isValidTake;
using rectest::statusOf;
using testutil::waitFor;

namespace {

QVariant cell(QAbstractItemModel* m, int row, const char* role)
{
    return m->data(m->index(row, 0), m->roleNames().key(role, -1));
}

QList<int> rids(QAbstractItemModel* m)
{
    QList<int> out;
    for (int r = 0; r < m->rowCount(); ++r)
        out << cell(m, r, "rid").toInt();
    return out;
}

QString manifestName(const fs::path& folder)
{
    RecordingProject p;
    p.readManifest(pathToUtf8(folder));
    return QString::fromStdString(p.name());
}

class RecordingModelsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::remove_all(RecordingProject::rootDir());
        rectest::useDiskAudio();
    }

    // A recording of the English sentences.
    fs::path makeRecording(const std::string& folder, const std::string& name)
    {
        fs::path dir = RecordingProject::rootDir() / folder;
        RecordingProject p;
        EXPECT_TRUE(p.open(pathToUtf8(dir), name, "en-us")) << p.lastError();
        return dir;
    }

    std::unique_ptr<RecordingDetailModel> openModel(const fs::path& dir)
    {
        auto m = std::make_unique<RecordingDetailModel>();
        m->setRecordingPath(QString::fromStdString(pathToUtf8(dir)));
        m->open();
        return m;
    }

    // Records the next prompt until the take holds more than a second; leaves it running.
    void startTake(RecordingDetailModel& m, const fs::path& take, bool edit = false)
    {
        if (edit)
            m.recordEditPrompt();
        else
            m.recordNextPrompt();
        ASSERT_GT(m.getRecordingId(), 0);
        ASSERT_TRUE(waitFor([&] { return fileSize(rectest::partOf(take)) > 44 + rectest::kSecond; }, testutil::hangLimitMs));
    }

    testutil::TempDir tmp;
};

} // namespace

TEST_F(RecordingModelsTest, CreatesNamesAndRemovesRecordings)
{
    MsgboxLog log;
    fs::path root = RecordingProject::rootDir();
    QString today = "Recording" + QDate::currentDate().toString("yyyyMMdd");

    // The form proposes a free name, lists the languages and checks its input.
    {
        RecordingSettingModel form;
        EXPECT_TRUE(fs::is_directory(root));
        EXPECT_EQ(form.getName(), today);
        QStringList langs = form.langs();
        ASSERT_EQ(langs.size(), int(listPromptLangs().size()));
        EXPECT_EQ(langs.first(), "English");
        QSignalSpy ok(&form, &RecordingSettingModel::okPressed);
        form.ok(-1);
        form.ok(langs.size());
        form.setName("   ");
        form.ok(0);
        ASSERT_EQ(log.boxes.size(), 3);
        EXPECT_EQ(log.boxes[0]["msg"].toString(), "IDS_INVALID_LANG");
        EXPECT_EQ(log.boxes[1]["msg"].toString(), "IDS_INVALID_LANG");
        EXPECT_EQ(log.boxes[2]["msg"].toString(), "IDS_EMPTY_NAME");
        EXPECT_EQ(log.boxes[2]["icon"].toInt(), int(MessageBoxContext::Error));
        form.setName("  My voice ");
        form.ok(1);
        ASSERT_EQ(ok.count(), 1);
        EXPECT_EQ(ok[0][0].toString(), "My voice");
        EXPECT_EQ(ok[0][1].toString(), QString::fromStdString(listPromptLangs()[1].lang));
    }
    fs::create_directories(root / today.toStdString());
    fs::create_directories(root / (today + "(1)").toStdString());
    EXPECT_EQ(RecordingSettingModel().getName(), today + "(2)");

    // The same name twice gets a numbered folder; the manifest keeps the typed name.
    RecordingModel model;
    QSignalSpy go(&model, &RecordingModel::gotoRecording);
    model.createRecording("My voice", "en-us");
    model.createRecording("My voice", "en-us");
    model.createRecording("a/b:c", "de-de");
    ASSERT_EQ(go.count(), 3);
    EXPECT_EQ(go[0][0].toString().toStdString(), pathToUtf8(root / "My voice"));
    EXPECT_EQ(go[1][0].toString().toStdString(), pathToUtf8(root / "My voice(1)"));
    EXPECT_EQ(go[2][0].toString().toStdString(), pathToUtf8(root / "a%2fb%3ac"));
    EXPECT_EQ(manifestName(root / "My voice(1)"), "My voice");
    EXPECT_EQ(manifestName(root / "a%2fb%3ac"), "a/b:c");
    EXPECT_TRUE(fs::exists(root / "My voice(1)" / "recording.db"));
    EXPECT_EQ(model.recordingsItemModel()->rowCount(), 0); // read once, when built

    // A language without prompts is refused and leaves nothing behind.
    model.createRecording("Nothing", "xx-yy");
    EXPECT_EQ(go.count(), 3);
    ASSERT_EQ(log.boxes.size(), 4);
    EXPECT_EQ(log.boxes[3]["msg"].toString(), "RecordingDb, no prompts;");
    EXPECT_FALSE(fs::exists(root / "Nothing"));

    // The list, and removals confirmed after the rows moved.
    RecordingModel listed;
    QAbstractItemModel* items = listed.recordingsItemModel();
    QAbstractItemModelTester tester(items, QAbstractItemModelTester::FailureReportingMode::Warning);
    ASSERT_EQ(items->rowCount(), 3);
    QStringList langs;
    for (int r = 0; r < 3; ++r)
        langs << cell(items, r, "lang").toString();
    langs.sort();
    EXPECT_EQ(langs, QStringList({"Deutsch", "English", "English"}));
    EXPECT_FALSE(cell(items, 3, "name").isValid());
    QString first = cell(items, 0, "path").toString();
    QString last = cell(items, 2, "path").toString();
    listed.removeRecording(2);
    listed.removeRecording(0);
    listed.removeRecording(0);
    listed.removeRecording(3);
    ASSERT_EQ(log.boxes.size(), 7);
    EXPECT_EQ(log.boxes[4]["msg"].toString(), "Confirm to delete?");
    log.press(5, 1); // No
    EXPECT_EQ(items->rowCount(), 3);
    // The removal runs on a worker while the window goes on, and the list shows it is busy.
    QSignalSpy busy(&listed, &RecordingModel::isRemovingChanged);
    {
        testutil::TreeChangeHold hold;
        log.press(6, 0);
        EXPECT_TRUE(hold.checkMeanwhile(
            [&] { return listed.getIsRemoving() && fs::exists(first.toStdString()) && items->rowCount() == 3; }));
    }
    ASSERT_TRUE(waitFor([&] { return !listed.getIsRemoving(); }, testutil::hangLimitMs));
    EXPECT_EQ(busy.count(), 2);
    EXPECT_FALSE(fs::exists(first.toStdString()));
    ASSERT_EQ(items->rowCount(), 2);
    EXPECT_EQ(cell(items, 1, "path").toString(), last);
    EXPECT_EQ(cell(items, 1, "idx").toInt(), 1);
    log.press(5, 0); // that entry is gone already
    EXPECT_EQ(items->rowCount(), 2);
    log.press(4, 0); // asked for row 2, now row 1
    ASSERT_TRUE(waitFor([&] { return !listed.getIsRemoving(); }, testutil::hangLimitMs));
    EXPECT_FALSE(fs::exists(last.toStdString()));
    ASSERT_EQ(items->rowCount(), 1);
    EXPECT_EQ(log.boxes.size(), 7);
}

TEST_F(RecordingModelsTest, RecordsPlaysRedoesSkipsRemovesAndKeepsTheState)
{
    MsgboxLog log;
    fs::path dir = makeRecording("anna", "Anna");
    std::vector<Prompt> prompts = listPrompts("en-us");
    RecordingProject paths;
    ASSERT_TRUE(paths.openExisting(pathToUtf8(dir)));

    auto model = std::make_unique<RecordingDetailModel>();
    QSignalSpy noItems(model.get(), &RecordingDetailModel::noItems);
    model->setRecordingPath(QString::fromStdString(pathToUtf8(dir)));
    model->open();
    EXPECT_EQ(noItems.count(), 1);
    EXPECT_EQ(model->getRecordingName(), "Anna - English");
    EXPECT_FALSE(model->getRecordingTimeDisplay().isEmpty());
    EXPECT_EQ(model->getNextPromptId(), 1);
    EXPECT_EQ(model->getNextPrompt().toStdString(), prompts[0].text);
    EXPECT_FALSE(model->getNextPromptFinished());
    QAbstractItemModel* items = model->recItemsItemModel();
    QAbstractItemModelTester tester(items, QAbstractItemModelTester::FailureReportingMode::Warning);

    // Record, stop: a valid take, and the prompt is recorded.
    startTake(*model, paths.takePath(1));
    EXPECT_EQ(model->getRecordingId(), 1);
    model->stopRecording();
    EXPECT_EQ(model->getRecordingId(), 0);
    EXPECT_TRUE(model->getNextPromptFinished());
    EXPECT_EQ(model->getTotalItems(), 1);
    EXPECT_TRUE(isValidTake(paths.takePath(1)));
    EXPECT_EQ(statusOf(dir, 1), 1);

    // Playback starts and ends by itself.
    QList<int> playing;
    QObject::connect(model.get(), &RecordingDetailModel::playingIdChanged,
                     [&] { playing << model->getPlayingId(); });
    model->playRecord(1);
    ASSERT_TRUE(waitFor([&] { return playing.size() == 2; }, testutil::hangLimitMs));
    EXPECT_EQ(playing, QList<int>({1, 0}));

    // Try again replaces the take; still one entry.
    testutil::writeFile(paths.takePath(1), QByteArray(1000, 'x'));
    startTake(*model, paths.takePath(1));
    model->stopRecording();
    EXPECT_TRUE(isValidTake(paths.takePath(1)));
    EXPECT_EQ(model->getTotalItems(), 1);

    // Next moves on; Next without a take skips the prompt for good.
    model->todoNextPrompt();
    EXPECT_EQ(model->getNextPromptId(), 2);
    model->todoNextPrompt();
    EXPECT_EQ(statusOf(dir, 2), -1);
    EXPECT_EQ(model->getNextPromptId(), 3);
    EXPECT_EQ(model->getNextPrompt().toStdString(), prompts[2].text);

    // Done after a take moves on; Done without one keeps the prompt.
    startTake(*model, paths.takePath(3));
    model->stopRecording();
    model->recordDone();
    EXPECT_EQ(model->getNextPromptId(), 4);
    model->recordDone();
    EXPECT_EQ(model->getNextPromptId(), 4);
    EXPECT_EQ(rids(items), QList<int>({3, 1}));
    EXPECT_EQ(cell(items, 0, "rtext").toString().toStdString(), prompts[2].text);

    // Editing a recorded prompt records it again without touching the list.
    model->editRecord(2);
    EXPECT_EQ(model->getEditPromptId(), 0);
    model->editRecord(1);
    EXPECT_EQ(model->getEditPromptId(), 1);
    EXPECT_TRUE(model->getEditPromptFinished());
    fs::remove(paths.takePath(1));
    startTake(*model, paths.takePath(1), true);
    model->stopRecording();
    EXPECT_TRUE(model->getEditPromptFinished());
    EXPECT_TRUE(isValidTake(paths.takePath(1)));
    EXPECT_EQ(model->getTotalItems(), 2);

    // Removal asks first; an answer for an entry already gone does nothing.
    model->removeRecord(0);
    model->removeRecord(0);
    model->removeRecord(5);
    ASSERT_EQ(log.boxes.size(), 2);
    EXPECT_EQ(log.boxes[0]["msg"].toString(), "IDS_CONFIRM_REMOVE_RECORD?");
    log.press(0, 1);
    EXPECT_EQ(model->getTotalItems(), 2);
    log.press(0, 0);
    EXPECT_EQ(model->getTotalItems(), 1);
    EXPECT_EQ(rids(items), QList<int>({1}));
    EXPECT_EQ(cell(items, 0, "idx").toInt(), 0);
    log.press(1, 0);
    EXPECT_EQ(model->getTotalItems(), 1);
    EXPECT_EQ(statusOf(dir, 3), -1);
    EXPECT_TRUE(fs::exists(paths.takePath(3)));
    EXPECT_EQ(log.boxes.size(), 2);

    // Reopened: the same state. A bare header is no take.
    model.reset();
    testutil::writeFile(paths.takePath(4), QByteArray(44, '\0'));
    model = openModel(dir);
    EXPECT_EQ(model->getTotalItems(), 1);
    EXPECT_EQ(rids(model->recItemsItemModel()), QList<int>({1}));
    EXPECT_EQ(model->getNextPromptId(), 4);
    EXPECT_FALSE(model->getNextPromptFinished());
    EXPECT_EQ(log.boxes.size(), 2);
}

TEST_F(RecordingModelsTest, TakesEndSafelyWhateverIsPressed)
{
    MsgboxLog log;
    fs::path dir = makeRecording("bob", "Bob");
    RecordingProject paths;
    ASSERT_TRUE(paths.openExisting(pathToUtf8(dir)));
    // Prompt 2 has an old take but was never accepted.
    testutil::writeFile(paths.takePath(2), rectest::takeOf(rectest::sawtooth(2)));

    auto model = openModel(dir);
    // "Next" during a take acts on the prompt being recorded only.
    startTake(*model, paths.takePath(1));
    model->todoNextPrompt();
    EXPECT_EQ(model->getRecordingId(), 0);
    EXPECT_EQ(statusOf(dir, 1), 1);
    EXPECT_EQ(model->getNextPromptId(), 2);
    EXPECT_TRUE(model->getNextPromptFinished());
    // The completion posted by the recorder finds the take handled.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(statusOf(dir, 2), 0);
    EXPECT_EQ(model->getTotalItems(), 1);
    EXPECT_TRUE(isValidTake(paths.takePath(1)));

    // "Done" during a take: the take counts, the next prompt follows.
    startTake(*model, paths.takePath(2));
    model->recordDone();
    EXPECT_EQ(statusOf(dir, 2), 1);
    EXPECT_EQ(model->getNextPromptId(), 3);
    EXPECT_EQ(model->getTotalItems(), 2);
    EXPECT_TRUE(log.boxes.isEmpty());

    // A take that cannot be marked recorded is reported.
    {
        Sqlite3DB locker;
        ASSERT_TRUE(locker.open((dir / "recording.db").string(), "", SQLITE_OPEN_READWRITE));
        ASSERT_EQ(sqlite3_exec(locker.get(), "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        startTake(*model, paths.takePath(3));
        model->stopRecording();
        ASSERT_EQ(log.boxes.size(), 1);
        EXPECT_TRUE(log.boxes[0]["msg"].toString().startsWith("RecordingDb, ")) << log.boxes[0]["msg"].toString().toStdString();
        EXPECT_EQ(model->getTotalItems(), 2);
        sqlite3_exec(locker.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    EXPECT_EQ(statusOf(dir, 3), 0);

    // Destroyed in the middle of a take: the take is whole.
    fs::remove(paths.takePath(3));
    startTake(*model, paths.takePath(3));
    model.reset();
    EXPECT_TRUE(isValidTake(paths.takePath(3)));

    // A recording folder that is gone: an error, the page closes, nothing is made.
    fs::path gone = RecordingProject::rootDir() / "gone";
    auto missing = std::make_unique<RecordingDetailModel>();
    QSignalSpy toClose(missing.get(), &RecordingDetailModel::toClose);
    missing->setRecordingPath(QString::fromStdString(pathToUtf8(gone)));
    missing->open();
    EXPECT_EQ(toClose.count(), 1);
    ASSERT_EQ(log.boxes.size(), 2);
    EXPECT_FALSE(log.boxes[1]["msg"].toString().isEmpty());
    missing->recordNextPrompt();
    missing->playRecord(1);
    missing->todoNextPrompt();
    EXPECT_EQ(missing->getRecordingId(), 0);
    EXPECT_FALSE(fs::exists(gone));
    EXPECT_EQ(log.boxes.size(), 2);
}

TEST_F(RecordingModelsTest, TryAgainAndCutOffTakesNeverLoseTheAcceptedTake)
{
    MsgboxLog log;
    fs::path dir = makeRecording("cara", "Cara");
    RecordingProject paths;
    ASSERT_TRUE(paths.openExisting(pathToUtf8(dir)));
    const fs::path take1 = paths.takePath(1), take2 = paths.takePath(2);
    auto model = openModel(dir);
    startTake(*model, take1);
    model->stopRecording();
    const QByteArray accepted = testutil::readFile(take1);

    // "Try again" whose take cannot be made: the accepted take stays, and "Next" still counts it.
    fs::create_directories(rectest::partOf(take1));
    model->recordNextPrompt();
    fs::remove(rectest::partOf(take1));
    model->todoNextPrompt();
    EXPECT_EQ(statusOf(dir, 1), 1);
    // In edit mode with no microphone; then a double click and a stop before
    // the first block: both takes are too short and refused.
    model.reset();
    ::setenv("SDL_DISKAUDIOFILEIN", (tmp.path() / "away.raw").c_str(), 1);
    model = openModel(dir);
    model->editRecord(0);
    model->recordEditPrompt();
    ::setenv("SDL_DISKAUDIOFILEIN", "/dev/urandom", 1);
    ::setenv("SDL_DISKAUDIODELAY", "1000", 1);
    model->recordEditPrompt();
    model->recordEditPrompt();
    model->stopRecording();
    ASSERT_EQ(log.boxes.size(), 4);
    EXPECT_EQ(log.boxes[0]["msg"].toString(), "Is a directory");
    EXPECT_EQ(log.boxes[1]["msg"].toString(), "Please check your computer's microphone.");
    for (int i : {2, 3})
        EXPECT_EQ(log.boxes[i]["msg"].toString(), "The take was not kept: it is shorter than one second. Please read the "
                                                  "whole sentence before you stop. Your previous take of this sentence "
                                                  "is unchanged.");
    EXPECT_EQ(testutil::readFile(take1), accepted);
    EXPECT_TRUE(model->getEditPromptFinished());
    model.reset();

    // Killed mid-capture, a retake of 1 and a first take of 2: the parts hold a WAV up to their last block.
    auto retake = rectest::startTakeChild(take1), first = rectest::startTakeChild(take2);
    QByteArray out;
    ASSERT_TRUE(waitFor([&] {
        out += retake->readAllStandardOutput() + first->readAllStandardOutput();
        return out == "capturing\ncapturing\n";
    }, 30000)) << out.toStdString();
    for (QProcess* child : {retake.get(), first.get()}) {
        ::kill(pid_t(child->processId()), SIGKILL);
        EXPECT_TRUE(child->waitForFinished(testutil::hangLimitMs));
    }
    ::setenv("SDL_DISKAUDIODELAY", "10", 1);
    EXPECT_TRUE(isValidTake(rectest::partOf(take1)));
    EXPECT_TRUE(isValidTake(rectest::partOf(take2)));
    EXPECT_EQ(testutil::readFile(take1), accepted);
    // Reopened: the parts are gone, only the accepted take counts.
    model = openModel(dir);
    EXPECT_FALSE(fs::exists(rectest::partOf(take1)) || fs::exists(rectest::partOf(take2)) || fs::exists(take2));
    EXPECT_EQ(model->getNextPromptId(), 2);
    EXPECT_FALSE(model->getNextPromptFinished());
    model->editRecord(0);
    EXPECT_TRUE(model->getEditPromptFinished());
    EXPECT_EQ(log.boxes.size(), 4);
}

TEST_F(RecordingModelsTest, HostileFilesAreRefusedOrReplacedNeverFollowed)
{
    MsgboxLog log;
    fs::path dir = makeRecording("dana", "Dana");
    RecordingProject paths;
    ASSERT_TRUE(paths.openExisting(pathToUtf8(dir)) && paths.db().setRecorded(1));
    const fs::path victim = tmp.path() / "victim", take1 = paths.takePath(1);
    testutil::writeFile(victim, "precious");
    const QByteArray input = rectest::sawtooth(2);
    using Make = std::function<void(const fs::path&)>;
    auto sparse = [](uint64_t size) { return [size](const fs::path& p) { std::ofstream(p).close(); fs::resize_file(p, size); }; };
    const Make fifo = [](const fs::path& p) { ::mkfifo(p.c_str(), 0600); };
    const Make devZero = [](const fs::path& p) { fs::create_symlink("/dev/zero", p); };
    auto bytes = [](QByteArray b) { return [b](const fs::path& p) { testutil::writeFile(p, b); }; };

    // Manifests: only a small regular file is read; the recording opens without a name.
    const std::tuple<Make, size_t> manifests[] = {{sparse(uint64_t(8) << 30), 1}, {fifo, 0}, {devZero, 0}};
    for (const auto& [make, listed] : manifests) {
        fs::remove(dir / "manifest");
        make(dir / "manifest");
        EXPECT_EQ(listRecordings().size(), listed);
        EXPECT_EQ(openModel(dir)->getRecordingName(), " - ");
    }
    // Takes: never counted, never handed to the player.
    const std::tuple<Make, const char*> takes[] = {
        {fifo, "not a regular file"},
        {devZero, "not a regular file"},
        {[&](const fs::path& p) { fs::create_symlink(victim, p); }, "not a regular file"},
        {sparse(uint64_t(3) << 30), "File too large"},
        {bytes(rectest::takeOf(QByteArray())), "no audio"},
        {bytes(QByteArray(44, '\0') + input), "not a 48000 Hz mono 16-bit WAV file"},
    };
    auto model = openModel(dir);
    for (const auto& [make, reason] : takes) {
        fs::remove(take1);
        make(take1);
        model->editRecord(0);
        EXPECT_FALSE(model->getEditPromptFinished()) << reason;
        model->playRecord(1);
        EXPECT_EQ(log.boxes.last()["msg"].toString(),
                  QString("Invalid take: %1 (%2)").arg(reason, QString::fromStdString(pathToUtf8(take1))));
    }
    EXPECT_EQ(log.boxes.size(), 6);
    EXPECT_EQ(model->getPlayingId(), 0);

    // A take, its part file and the dataset list that are links: replaced, the file they point to untouched.
    fs::remove(take1);
    fs::create_symlink(victim, take1);
    fs::create_symlink(victim, rectest::partOf(take1));
    fs::create_symlink(victim, dir / "metadata.csv");
    startTake(*model, take1, true);
    model->stopRecording();
    std::string language, error;
    EXPECT_TRUE(exportDataset(pathToUtf8(dir), language, &error)) << error;
    EXPECT_TRUE(isValidTake(take1) && !fs::is_symlink(take1));
    EXPECT_TRUE(testutil::readFile(dir / "metadata.csv").startsWith("wav/1.wav|"));
    EXPECT_EQ(testutil::readFile(victim), "precious");
}

TEST_F(RecordingModelsTest, ShortAndSilentTakesAreRefusedAndTheAcceptedTakeStays)
{
    MsgboxLog log;
    fs::path dir = makeRecording("erin", "Erin");
    RecordingProject paths;
    ASSERT_TRUE(paths.openExisting(pathToUtf8(dir)));
    const fs::path take1 = paths.takePath(1);
    std::unique_ptr<RecordingDetailModel> model;
    rectest::FifoMicrophone mic(tmp.path() / "microphone.fifo");
    model = openModel(dir);
    // Records exactly the given samples, then presses stop (or "Next").
    auto take = [&](const QByteArray& samples, bool next = false) {
        model->recordNextPrompt();
        ASSERT_TRUE(mic.feed(samples));
        ASSERT_TRUE(waitFor([&] { return fileSize(rectest::partOf(take1)) == 44 + samples.size(); }, testutil::hangLimitMs));
        next ? model->todoNextPrompt() : model->stopRecording();
    };
    const QString tooShort = "The take was not kept: it is shorter than one second. Please read the whole sentence "
                             "before you stop.";
    const QString silent = "The take was not kept: it is silent (the microphone gave no sound, or almost none). "
                           "Please check your computer's microphone and its volume.";
    const QString unchanged = " Your previous take of this sentence is unchanged.";

    // A first take cut short, then one from a muted microphone: nothing is kept.
    take(rectest::sawtooth(0.3));
    take(QByteArray(5 * rectest::kSecond, '\0'));
    ASSERT_EQ(log.boxes.size(), 2);
    EXPECT_EQ(log.boxes[0]["msg"].toString(), tooShort);
    EXPECT_EQ(log.boxes[1]["msg"].toString(), silent);
    EXPECT_FALSE(fs::exists(take1));
    EXPECT_EQ(statusOf(dir, 1), 0);
    EXPECT_FALSE(model->getNextPromptFinished());

    // A good take, then "Try again" stopped 0.3 s later and "Try again" with a
    // muted microphone: the good take stays byte for byte, and so does its row.
    take(rectest::sawtooth(7.9));
    const QByteArray accepted = testutil::readFile(take1);
    EXPECT_EQ(accepted.size(), 44 + 758400);
    EXPECT_EQ(statusOf(dir, 1), 1);
    take(rectest::sawtooth(0.3));
    take(QByteArray(5 * rectest::kSecond, '\0'));
    ASSERT_EQ(log.boxes.size(), 4);
    EXPECT_EQ(log.boxes[2]["msg"].toString(), tooShort + unchanged);
    EXPECT_EQ(log.boxes[3]["msg"].toString(), silent + unchanged);
    EXPECT_EQ(testutil::readFile(take1), accepted);
    EXPECT_FALSE(fs::exists(rectest::partOf(take1)));
    EXPECT_EQ(statusOf(dir, 1), 1);
    EXPECT_TRUE(model->getNextPromptFinished());
    EXPECT_EQ(model->getTotalItems(), 1);

    // "Next" that ends a take cut short stays on the prompt; the next "Next" moves on.
    take(rectest::sawtooth(0.3), true);
    ASSERT_EQ(log.boxes.size(), 5);
    EXPECT_EQ(log.boxes[4]["msg"].toString(), tooShort + unchanged);
    EXPECT_EQ(model->getNextPromptId(), 1);
    model->todoNextPrompt();
    EXPECT_EQ(model->getNextPromptId(), 2);
    EXPECT_EQ(testutil::readFile(take1), accepted);
    EXPECT_EQ(log.boxes.size(), 5);
}

TEST_F(RecordingModelsTest, ATakeBeginsOnlyOncePlaybackHasStopped)
{
    MsgboxLog log;
    fs::path dir = makeRecording("finn", "Finn");
    RecordingProject paths;
    ASSERT_TRUE(paths.openExisting(pathToUtf8(dir)));
    const fs::path take1 = paths.takePath(1);
    auto model = openModel(dir);
    startTake(*model, take1);
    model->stopRecording();
    ASSERT_EQ(statusOf(dir, 1), 1);

    // The speaker plays a tenth of the take a second: the playback is still on when "Try again" comes.
    ::setenv("SDL_DISKAUDIODELAY", "1000", 1);
    bool partWhilePlaying = false;
    QObject::connect(model.get(), &RecordingDetailModel::playingIdChanged, [&] {
        if (model->getPlayingId() == 0)
            partWhilePlaying = fs::exists(rectest::partOf(take1));
    });
    model->playRecord(1);
    ASSERT_TRUE(waitFor([&] { return model->getPlayingId() == 1; }, testutil::hangLimitMs));
    model->recordNextPrompt();
    EXPECT_EQ(model->getRecordingId(), 1);
    EXPECT_FALSE(fs::exists(rectest::partOf(take1)) && model->getPlayingId() != 0);
    ASSERT_TRUE(waitFor([&] { return fileSize(rectest::partOf(take1)) > 44 + rectest::kSecond; }, testutil::hangLimitMs));
    EXPECT_EQ(model->getPlayingId(), 0);
    EXPECT_FALSE(partWhilePlaying);
    // Nothing plays into a take.
    model->playRecord(1);
    model->stopRecording();
    EXPECT_TRUE(isValidTake(take1));
    EXPECT_EQ(model->getPlayingId(), 0);
    EXPECT_TRUE(log.boxes.isEmpty());
    ::setenv("SDL_DISKAUDIODELAY", "10", 1);
}

TEST_F(RecordingModelsTest, ARecordingRemovedWhileOpenIsLeftWithOneMessageAndNotMadeAgain)
{
    MsgboxLog log;
    const QString goneText = "The recording \"%1\" is no longer there: its folder was deleted or moved.";
    fs::path dir = makeRecording("gail", "Gail");
    RecordingProject paths;
    ASSERT_TRUE(paths.openExisting(pathToUtf8(dir)));
    auto model = openModel(dir);
    QSignalSpy toClose(model.get(), &RecordingDetailModel::toClose);
    startTake(*model, paths.takePath(1));
    model->stopRecording();
    ASSERT_EQ(model->getTotalItems(), 1);

    // Removed between takes: the next press says so once and asks to leave; nothing is made.
    fs::remove_all(dir);
    model->recordNextPrompt();
    ASSERT_EQ(log.boxes.size(), 1);
    EXPECT_EQ(log.boxes[0]["msg"].toString(), goneText.arg("Gail"));
    EXPECT_EQ(toClose.count(), 1);
    EXPECT_EQ(model->getRecordingId(), 0);
    model->todoNextPrompt();
    model->playRecord(1);
    model->editRecord(0);
    model->recordEditPrompt();
    model->stopRecording();
    model->recordDone();
    model->removeRecord(0);
    EXPECT_FALSE(fs::exists(dir));
    EXPECT_EQ(log.boxes.size(), 1);
    EXPECT_EQ(toClose.count(), 1);

    // Removed during a take: stopping it says the same, once, and leaves no take anywhere.
    fs::path other = makeRecording("hal", "Hal");
    RecordingProject otherPaths;
    ASSERT_TRUE(otherPaths.openExisting(pathToUtf8(other)));
    model = openModel(other);
    QSignalSpy otherClose(model.get(), &RecordingDetailModel::toClose);
    startTake(*model, otherPaths.takePath(1));
    fs::remove_all(other);
    model->stopRecording();
    model->todoNextPrompt();
    ASSERT_EQ(log.boxes.size(), 2);
    EXPECT_EQ(log.boxes[1]["msg"].toString(), goneText.arg("Hal"));
    EXPECT_EQ(otherClose.count(), 1);
    EXPECT_FALSE(fs::exists(other));
    QCoreApplication::processEvents();
    EXPECT_EQ(log.boxes.size(), 2);
}
