#include "common/FileUtils.h"
#include "common/MessageBoxContext.h"
#include "projects/ProjectFolder.h"
#include "projects/ProjectModel.h"

#include "../synthesis/SynthesisFixture.h"
#include "ProjectTestUtil.h"
#include "TestUtil.h"

#include <QDate>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <thread>

namespace fs = std::filesystem;
using projecttest::sqliteShell;
using testutil::waitFor;

namespace {

// Message boxes the models asked for, with a way to press their buttons.
struct Boxes
{
    Boxes()
    {
        conn = QObject::connect(MessageBoxContext::instance(), &MessageBoxContext::msgbox,
                                [this](const QVariantMap& e) { list.append(e); });
    }
    ~Boxes() { QObject::disconnect(conn); }
    QString text(int i) const { return list.value(i).value("msg").toString(); }
    void press(int i, int button)
    {
        QVariantMap e = list.value(i);
        auto cb = e["cbs"].toList().value(button).value<MessageBoxContext::CallBack>();
        if (cb)
            cb();
    }
    QList<QVariantMap> list;
    QMetaObject::Connection conn;
};

// Keeps a model's worker busy from hold() on until release(), so that steps
// handed to it meanwhile wait in their order.
struct WorkerHold
{
    void hold(ProjectModel& model)
    {
        held = true;
        model.projectStore().run([gate = gate](ProjectFolder&) { gate->acquire(); });
    }
    void release() { gate->release(1000); }
    ~WorkerHold() { release(); }
    std::shared_ptr<QSemaphore> gate = std::make_shared<QSemaphore>(0);
    bool held = false;
};

class ProjectModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        voice = synthtest::installVoice("en_model", {0, 1});
        ASSERT_FALSE(voice.uid.empty());
    }
    void TearDown() override
    {
        model.reset();
        std::error_code ec;
        fs::remove_all(ProjectFolder::projectsDir(), ec);
        fs::remove_all(voicesDir(), ec);
    }

    // A project whose segments were last changed well in the past, opened in a model.
    void openProject(const std::vector<std::string>& texts, const QString& worker = "salvormithe")
    {
        dir = ProjectFolder::projectsDir() / "Story";
        {
            ProjectFolder p;
            ASSERT_TRUE(p.create(dir, "Story", voice, 1.0f)) << p.error();
            std::vector<ProjectSeg> segs;
            for (const std::string& t : texts) {
                ProjectSeg s;
                s.text = t;
                segs.push_back(s);
            }
            ASSERT_TRUE(segs.empty() || p.db().insertSegsAfter(0, segs, 0, 0));
        }
        sql("update seg set modified = modified - 100");
        model = std::make_unique<ProjectModel>();
        model->convertPool().setWorkerProgram(testutil::binDir() + "/" + worker);
        model->open(QString::fromStdString(dir.string()));
        ASSERT_TRUE(waitFor([&] { return model->isOpened(); }, testutil::hangLimitMs));
    }

    QString sql(const QString& query) { return sqliteShell(dir / "ttsdata", query); }
    QString textOf(int id) { return sql(QString("select text from seg where id=%1").arg(id)); }
    // Types text into a row and waits until it is stored: its delay began after
    // that of every edit typed before it, so their writes have come first.
    bool typeAndStore(int row, const QString& text)
    {
        const int id = idAt(row);
        model->segTextChanged(row, text.length(), text);
        return waitFor([&] { return idle() && textOf(id) == text; }, testutil::hangLimitMs);
    }
    // Hands a step to the store's worker and waits for its answer: the answers
    // of the steps handed over before it have come back by then.
    bool storeSettled()
    {
        auto back = std::make_shared<bool>(false);
        model->projectStore().call([](ProjectFolder&) { return true; }, [back](bool) { *back = true; });
        return waitFor([back] { return *back; }, testutil::hangLimitMs);
    }
    int rows() { return model->segsItemModel()->rowCount(); }
    QVariant cell(int row, int role) { return model->segsItemModel()->index(row, 0).data(role); }
    int idAt(int row) { return cell(row, 1).toInt(); }
    QString textAt(int row) { return cell(row, 4).toString(); }
    bool idle() { return !model->isConverting() && !model->isLoading(); }
    // Export settings: the segment of segId (0: all) as WAV files into folder, without text.
    static QVariantMap wavExport(const fs::path& folder, int segId)
    {
        return {{"seg_id", segId},
                {"save_url", QUrl::fromLocalFile(QString::fromStdString(folder.string())).toString()},
                {"audio_type", "WAV"},
                {"audio_merge", 0},
                {"with_text", false},
                {"with_speaker", true}};
    }

    LocalVoice voice;
    fs::path dir;
    std::unique_ptr<ProjectModel> model;
    Boxes boxes;
};

} // namespace

TEST_F(ProjectModelTest, OpensAndEditsSegmentsByIdWithOneWriteAfterTheLastKeystroke)
{
    openProject({"One.", "Two.", "Three.", "Four."});
    EXPECT_EQ(model->projectName(), "Story");
    EXPECT_EQ(rows(), 4);
    EXPECT_EQ(textAt(2), "Three.");
    EXPECT_EQ(cell(0, 3).toString(), QString::fromStdString(voice.name));
    EXPECT_EQ(cell(0, 2).toString(), "#A22A2B");
    EXPECT_EQ(model->defaultVoice()["uid"].toString(), "en_model");
    ASSERT_TRUE(waitFor([&] { return model->focusSegId() == idAt(0); }, testutil::hangLimitMs));

    // A burst of keystrokes in one bubble: one write, of the last text.
    QSignalSpy loading(model.get(), &ProjectModel::isLoadingChanged);
    const int two = idAt(1);
    model->segTextChanged(1, 5, "Two a");
    model->segTextChanged(1, 6, "Two ab");
    model->segTextChanged(1, 7, "Two abc");
    EXPECT_EQ(sql(QString("select text from seg where id=%1").arg(two)), "Two.");
    ASSERT_TRUE(waitFor([&] { return loading.count() == 2; }, testutil::hangLimitMs));
    EXPECT_EQ(sql(QString("select text from seg where id=%1").arg(two)), "Two abc");
    EXPECT_EQ(textAt(1), "Two abc");
    // Typing that follows in another bubble is the next write.
    ASSERT_TRUE(typeAndStore(0, "One 1."));
    EXPECT_EQ(loading.count(), 4);

    // Typing back to the stored text drops the edit still waiting.
    model->segTextChanged(1, 8, "Two abcd");
    model->segTextChanged(1, 7, "Two abc");
    ASSERT_TRUE(typeAndStore(0, "One 2."));
    EXPECT_EQ(sql(QString("select text from seg where id=%1").arg(two)), "Two abc");

    // An edit of "Three." lands on that segment although a row above it goes first.
    const int three = idAt(2), one = idAt(0);
    model->segTextChanged(2, 0, "Three changed");
    model->removeSeg(0);
    ASSERT_EQ(boxes.list.size(), 1);
    EXPECT_EQ(boxes.text(0), "IDS_CONFIRM_TO_REMOVE_SEG?");
    boxes.press(0, 0);
    ASSERT_TRUE(waitFor([&] { return rows() == 3; }, testutil::hangLimitMs));
    // The bubble shows the typing at once; the write comes after the removal.
    ASSERT_TRUE(waitFor([&] { return textAt(1) == "Three changed" && idle() &&
                                     sql(QString("select text from seg where id=%1").arg(three)) == "Three changed"; },
                        testutil::hangLimitMs));
    EXPECT_EQ(sql(QString("select text from seg where id=%1").arg(three)), "Three changed");
    EXPECT_EQ(sql(QString("select count(*) from seg where id=%1").arg(one)), "0");

    // Removing a segment drops its waiting edit: nothing comes back.
    const int four = idAt(2);
    model->segTextChanged(2, 0, "Four edited");
    model->removeSeg(2);
    boxes.press(1, 0);
    ASSERT_TRUE(waitFor([&] { return rows() == 2 && idle(); }, testutil::hangLimitMs));
    ASSERT_TRUE(typeAndStore(1, "Three again"));
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(sql(QString("select count(*) from seg where id=%1").arg(four)), "0");
    EXPECT_EQ(sql("select count(*) from seg"), "2");

    // A line break splits the bubble; Backspace at the start joins it again.
    model->segTextChanged(1, 10, "Three\nSplit off");
    ASSERT_TRUE(waitFor([&] { return rows() == 3 && idle(); }, testutil::hangLimitMs));
    EXPECT_EQ(textAt(1), "Three");
    EXPECT_EQ(textAt(2), "Split off");
    ASSERT_TRUE(waitFor([&] { return model->focusSegId() == idAt(2); }, testutil::hangLimitMs));
    model->mergeSeg(0, "ignored"); // the first bubble has nothing above it
    model->mergeSeg(2, "Split off");
    ASSERT_TRUE(waitFor([&] { return rows() == 2 && idle(); }, testutil::hangLimitMs));
    EXPECT_EQ(textAt(1), "Three Split off");
    EXPECT_EQ(sql(QString("select text from seg where id=%1").arg(three)), "Three Split off");
    ASSERT_TRUE(waitFor([&] { return model->focusSegTextCursor() == INT_MAX && model->focusSegId() == three; }, testutil::hangLimitMs));

    // Typing in the bubble above and joining within the delay keeps both.
    model->segTextChanged(0, 9, "Two abc +");
    model->mergeSeg(1, "Three Split off");
    ASSERT_TRUE(waitFor([&] { return rows() == 1 && idle(); }, testutil::hangLimitMs));
    EXPECT_EQ(textAt(0), "Two abc + Three Split off");
    EXPECT_EQ(sql("select text from seg"), "Two abc + Three Split off");
    EXPECT_TRUE(boxes.list.size() == 2);
}

TEST_F(ProjectModelTest, EmptyProjectTakesItsFirstTextAndCloseWritesWaitingEdits)
{
    openProject({});
    EXPECT_EQ(rows(), 0);
    model->initSegText("First line\n\n  Second line ");
    ASSERT_TRUE(waitFor([&] { return rows() == 2 && idle(); }, testutil::hangLimitMs));
    EXPECT_EQ(textAt(0), "First line");
    EXPECT_EQ(textAt(1), "Second line");
    // (The close below writes whatever still waits.)
    model->initSegText("ignored once there are segments");
    EXPECT_EQ(rows(), 2);

    // Leaving right after typing: the text is saved before the page goes.
    QSignalSpy closed(model.get(), &ProjectModel::closeTodo);
    model->segTextChanged(1, 3, "Last words");
    model->close();
    EXPECT_TRUE(model->isClosing());
    ASSERT_TRUE(closed.wait(testutil::hangLimitMs));
    EXPECT_FALSE(model->isClosing());
    EXPECT_EQ(sql("select group_concat(text, '|') from seg order by sort"), "First line|Last words");
}

TEST_F(ProjectModelTest, SegmentVoiceAndRate)
{
    openProject({"Hello there.", "General Kenobi."});
    LocalVoice other;
    ASSERT_TRUE(findInstalledVoice("en_model", 1, other));

    model->segSetting(1);
    QVariantMap s = model->currentSettingSeg();
    EXPECT_EQ(s["idx"].toInt(), 1);
    EXPECT_EQ(s["id"].toInt(), idAt(1));
    EXPECT_DOUBLE_EQ(s["srate"].toDouble(), 1.0);
    EXPECT_EQ(s["voice_id"].toInt(), 0);
    EXPECT_EQ(s["voice"].value<LocalVoice>().uid, "en_model");

    // A split above lands while the dialog is open: the choice goes to the
    // dialog's segment, now one row further down.
    const int general = idAt(1);
    model->segTextChanged(0, 6, "Hello\nthere.");
    ASSERT_TRUE(waitFor([&] { return rows() == 3 && idle(); }, testutil::hangLimitMs));
    ASSERT_EQ(idAt(2), general);

    // Another voice with its own rate: a new voice row with the next colour.
    model->okSegSetting(1, false, other, 1.5f);
    ASSERT_TRUE(waitFor([&] { return model->currentSettingSeg().isEmpty(); }, testutil::hangLimitMs));
    EXPECT_EQ(cell(2, 3).toString(), QString::fromStdString(other.name));
    EXPECT_EQ(cell(1, 3).toString(), QString::fromStdString(voice.name));
    EXPECT_EQ(cell(2, 2).toString(), QString::fromStdString(ProjectFolder::voiceColor(1)));
    EXPECT_EQ(sql(QString("select voice_id || ':' || round(srate, 2) from seg where id=%1").arg(general)), "1:1.5");
    // The same voice again reuses its row.
    auto segRate = [&](int row) {
        return sql(QString("select voice_id || ':' || round(srate, 2) from seg where id=%1").arg(idAt(row)));
    };
    model->okSegSetting(0, false, other, 0.8f);
    ASSERT_TRUE(waitFor([&] { return segRate(0) == "1:0.8"; }, testutil::hangLimitMs));
    EXPECT_EQ(sql("select count(*) from voice"), "2");

    // The default voice at its own rate follows later changes of that rate.
    model->okSegSetting(0, true, LocalVoice{}, 1.0f);
    ASSERT_TRUE(waitFor([&] { return segRate(0) == "0:0.0"; }, testutil::hangLimitMs));
    model->okSegSetting(0, true, LocalVoice{}, 1.3f);
    ASSERT_TRUE(waitFor([&] { return segRate(0) == "0:1.3"; }, testutil::hangLimitMs));
    ASSERT_TRUE(waitFor([&] { return std::fabs(cell(0, 5).value<ProjectSeg>().srate - 1.3f) < 0.01f; }, testutil::hangLimitMs));

    // No voice chosen: the dialog is told to open its picker.
    model->segSetting(0);
    model->okSegSetting(0, false, LocalVoice{}, 1.0f);
    ASSERT_TRUE(waitFor([&] { return boxes.list.size() == 1; }, testutil::hangLimitMs));
    EXPECT_EQ(boxes.text(0), "IDS_INVALID_VOICE");
    boxes.press(0, 0);
    EXPECT_TRUE(model->currentSettingSeg()["select_voice"].toBool());
    model->cancelSegSetting();
    EXPECT_TRUE(model->currentSettingSeg().isEmpty());

    // The project settings: name and default voice; default-voice segments are due again.
    model->openProjSetting();
    EXPECT_TRUE(model->projSettingInfo()["setting"].toBool());
    EXPECT_EQ(model->projSettingInfo()["projectName"].toString(), "Story");
    model->openProjSettingResult(true, "Renamed", 1.0f, other);
    EXPECT_TRUE(model->projSettingInfo().isEmpty());
    ASSERT_TRUE(waitFor([&] { return model->projectName() == "Renamed"; }, testutil::hangLimitMs));
    ASSERT_TRUE(waitFor([&] { return model->defaultVoice()["spk"].toInt() == 1; }, testutil::hangLimitMs));
    EXPECT_EQ(model->defaultVoice()["spk"].toInt(), 1);
    EXPECT_EQ(sql("select spk from voice where id=0"), "1");
    EXPECT_TRUE(testutil::readFile(dir / "manifest").contains("\"Renamed\""));
}

TEST_F(ProjectModelTest, ConvertsWithProgressPlaysAllAndThenFindsEverythingUpToDate)
{
    openProject({"Hi. Yo.", "   ", "A second segment, long enough to be found by the slider at the end."});
    // The blank segment once had audio: it must not be heard or counted.
    const int blank = idAt(1);
    ProjectFolder side;
    ASSERT_TRUE(side.open(dir));
    testutil::writeFile(side.segWavPath(blank), QByteArray(44 + 22050 * 2, '\1'));
    sql(QString("update seg set seconds=5, converted=modified-50 where id=%1").arg(blank));
    model.reset();
    model = std::make_unique<ProjectModel>();
    model->convertPool().setWorkerProgram(testutil::binDir() + "/salvormithe");
    model->open(QString::fromStdString(dir.string()));
    ASSERT_TRUE(waitFor([&] { return model->isOpened(); }, testutil::hangLimitMs));

    QStringList progress;
    QObject::connect(model.get(), &ProjectModel::convertingProgressChanged,
                     [&] { progress << model->convertingProgress(); });
    model->playAll();
    EXPECT_TRUE(model->isConverting());
    ASSERT_TRUE(waitFor([&] { return model->playingSegId() != 0; }, testutil::hangLimitMs)) << progress.join(",").toStdString();
    EXPECT_FALSE(model->isConverting());
    EXPECT_EQ(model->playingSegId(), idAt(0));
    EXPECT_TRUE(progress.contains("Converting..."));
    EXPECT_TRUE(progress.contains("Converting...33%"));
    EXPECT_TRUE(progress.contains("Converting...100%"));
    EXPECT_EQ(progress.last(), "");
    EXPECT_TRUE(boxes.list.isEmpty()) << boxes.text(0).toStdString();

    for (int row : {0, 2}) {
        synthtest::Wav w = synthtest::readWav(side.segWavPath(idAt(row)));
        EXPECT_TRUE(synthtest::isSpeechWav(w));
        EXPECT_GT(w.rms(), 300.0);
        EXPECT_FALSE(fs::exists(side.audioDir() / ("seg" + std::to_string(idAt(row)) + "-sentences")));
    }
    EXPECT_FALSE(fs::exists(side.segWavPath(blank)));
    EXPECT_EQ(sql(QString("select sentences || ':' || seconds from seg where id=%1").arg(blank)), "0:0.0");
    EXPECT_EQ(sql(QString("select sentences from seg where id=%1").arg(idAt(0))), "2");
    const double first = sql(QString("select seconds from seg where id=%1").arg(idAt(0))).toDouble();
    const double second = sql(QString("select seconds from seg where id=%1").arg(idAt(2))).toDouble();
    synthtest::Wav merged = synthtest::readWav(side.mergedWavPath());
    EXPECT_NEAR(merged.seconds(), first + second, 0.01);

    // Play-all: the position moves, the slider seeks into the last segment, pause and stop.
    ASSERT_TRUE(waitFor([&] { return model->playingTimeDisplay() != "00:00:00"; }, testutil::hangLimitMs));
    model->movePlayingProgress(90);
    ASSERT_TRUE(waitFor([&] { return model->playingSegId() == idAt(2) && model->playingProgress() >= 50; }, testutil::hangLimitMs));
    ASSERT_TRUE(waitFor([&] { return model->focusSegId() == idAt(2); }, testutil::hangLimitMs));
    model->playPauseResume(true);
    EXPECT_TRUE(model->playingPaused());
    model->stopPlayingAll();
    ASSERT_TRUE(waitFor([&] { return model->playingSegId() == 0 && !model->playingPaused(); }, testutil::hangLimitMs));

    // Everything is up to date: the next play converts nothing.
    progress.clear();
    const auto stamp = fs::last_write_time(side.segWavPath(idAt(0)));
    model->playAll();
    ASSERT_TRUE(waitFor([&] { return model->playingSegId() != 0; }, testutil::hangLimitMs));
    EXPECT_FALSE(progress.join(",").contains("%"));
    EXPECT_EQ(fs::last_write_time(side.segWavPath(idAt(0))), stamp);
    model->stopPlayingAll();

    // Preview plays one segment and reports its end.
    ASSERT_TRUE(waitFor([&] { return model->playingSegId() == 0; }, testutil::hangLimitMs));
    model->previewSeg(2);
    ASSERT_TRUE(waitFor([&] { return model->previewingSegId() == idAt(2); }, testutil::hangLimitMs));
    ASSERT_TRUE(waitFor([&] { return model->previewingSegId() == 0; }, testutil::hangLimitMs));
    EXPECT_TRUE(boxes.list.isEmpty());
}

TEST_F(ProjectModelTest, PlayWritesWaitingTypingFirstAndNeverKeepsAudioOfOlderText)
{
    openProject({"Short."});
    const int id = idAt(0);
    ProjectFolder side;
    ASSERT_TRUE(side.open(dir));
    // Play pressed right after typing: the typed text is what is heard.
    const QString typed = "Short. Then a second sentence that takes a good while longer to say.";
    model->segTextChanged(0, typed.length(), typed);
    model->playAll();
    EXPECT_TRUE(model->isConverting());
    ASSERT_TRUE(waitFor([&] { return model->playingSegId() == id; }, testutil::hangLimitMs));
    EXPECT_TRUE(boxes.list.isEmpty()) << boxes.text(0).toStdString();
    EXPECT_EQ(sql(QString("select text || '|' || sentences from seg where id=%1").arg(id)), typed + "|2");
    const double seconds = sql(QString("select seconds from seg where id=%1").arg(id)).toDouble();
    EXPECT_GT(seconds, 2.0);
    EXPECT_NEAR(synthtest::readWav(side.mergedWavPath()).seconds(), seconds, 0.01);
    model->stopPlayingAll();
    ASSERT_TRUE(waitFor([&] { return model->playingSegId() == 0; }, testutil::hangLimitMs));

    // An edit that lands while the segment converts: the audio of the older
    // text is not kept, the segment is converted again from the stored text.
    sql(QString("update seg set text='sleep:1500.', converted=0 where id=%1").arg(id));
    model.reset();
    model = std::make_unique<ProjectModel>();
    model->convertPool().setWorkerProgram(testutil::binDir() + "/fake_convert_worker");
    model->open(QString::fromStdString(dir.string()));
    ASSERT_TRUE(waitFor([&] { return model->isOpened(); }, testutil::hangLimitMs));
    model->playAll();
    ASSERT_TRUE(waitFor([&] { return model->convertingProgress() == "Converting..."; }, testutil::hangLimitMs));
    model->segTextChanged(0, 0, "sleep:10. Then more. The end.");
    ASSERT_TRUE(waitFor([&] { return model->playingSegId() == id; }, testutil::hangLimitMs));
    EXPECT_TRUE(boxes.list.isEmpty()) << boxes.text(0).toStdString();
    // The stand-in child makes one second a sentence.
    EXPECT_EQ(sql(QString("select sentences || '|' || seconds from seg where id=%1").arg(id)), "3|3.0");
    EXPECT_NEAR(synthtest::readWav(side.mergedWavPath()).seconds(), 3.0, 0.01);
    EXPECT_EQ(textAt(0), "sleep:10. Then more. The end.");
}

TEST_F(ProjectModelTest, MissingVoicesStopTheRunOrTheOpen)
{
    openProject({"Spoken by the default voice.", "Spoken by a voice that went away."});
    sql("insert into voice (id, uid, spk, name, native) values (7, 'gone_voice', 0, 'Gone', 'Weg')");
    sql(QString("update seg set voice_id=7 where id=%1").arg(idAt(1)));
    model.reset();
    model = std::make_unique<ProjectModel>();
    model->convertPool().setWorkerProgram(testutil::binDir() + "/salvormithe");
    model->open(QString::fromStdString(dir.string()));
    ASSERT_TRUE(waitFor([&] { return model->isOpened(); }, testutil::hangLimitMs));

    model->playAll();
    ASSERT_TRUE(waitFor([&] { return !boxes.list.isEmpty(); }, testutil::hangLimitMs));
    EXPECT_EQ(boxes.text(0), "Voice Gone(Weg) is unavailable. Please select another voice.");
    EXPECT_FALSE(model->isConverting());
    EXPECT_EQ(model->convertingProgress(), "");
    // No child runs and every step of the run has come back: nothing follows.
    ASSERT_TRUE(waitFor([&] { return model->convertPool().isIdle(); }, testutil::hangLimitMs));
    ASSERT_TRUE(storeSettled());
    EXPECT_EQ(model->playingSegId(), 0);
    EXPECT_EQ(boxes.list.size(), 1);

    // Without any voice row the project does not open and the page is let go.
    model.reset();
    sql("delete from voice");
    model = std::make_unique<ProjectModel>();
    QSignalSpy closed(model.get(), &ProjectModel::closeTodo);
    model->open(QString::fromStdString(dir.string()));
    ASSERT_TRUE(closed.wait(testutil::hangLimitMs));
    EXPECT_FALSE(model->isOpened());
    ASSERT_EQ(boxes.list.size(), 2);
    EXPECT_EQ(boxes.text(1), "IDS_NO_DEFAULT_VOICE");
}

TEST_F(ProjectModelTest, CancelStaysBusyUntilTheChildrenEndAndCloseWaitsForThem)
{
    openProject({"sleep:1500. sleep:1500. sleep:1500.", "sleep:1500."}, "fake_convert_worker");
    model->playAll();
    ASSERT_TRUE(waitFor([&] { return model->convertingProgress() == "Converting..."; }, testutil::hangLimitMs));
    EXPECT_TRUE(model->isSegConverting(0));
    EXPECT_FALSE(model->isSegConverting(5));
    model->cancelConvert();
    EXPECT_TRUE(model->isLoading());
    EXPECT_TRUE(model->isConverting());
    EXPECT_FALSE(model->convertPool().isIdle());
    ASSERT_TRUE(waitFor([&] { return !model->isLoading(); }, testutil::hangLimitMs));
    EXPECT_TRUE(model->convertPool().isIdle());
    EXPECT_FALSE(model->isConverting());
    EXPECT_EQ(model->convertingProgress(), "");
    EXPECT_FALSE(model->isSegConverting(0));
    // Cancelled: what was to follow the conversion does not start, also once
    // every step of the run has come back.
    ASSERT_TRUE(storeSettled());
    EXPECT_EQ(model->playingSegId(), 0);

    // Closing during a conversion: the page goes only after the children ended.
    model->segTextChanged(0, 0, "sleep:1600. sleep:1600.");
    ASSERT_TRUE(waitFor([&] { return model->isLoading(); }, testutil::hangLimitMs));
    ASSERT_TRUE(waitFor([&] { return !model->isLoading(); }, testutil::hangLimitMs));
    model->playAll();
    ASSERT_TRUE(waitFor([&] { return !model->convertPool().isIdle(); }, testutil::hangLimitMs));
    QSignalSpy closed(model.get(), &ProjectModel::closeTodo);
    model->close();
    EXPECT_TRUE(model->isClosing());
    ASSERT_TRUE(closed.wait(testutil::hangLimitMs));
    // Closed: its worker has ended and no child runs, so nothing can follow.
    EXPECT_TRUE(model->convertPool().isIdle());
    EXPECT_EQ(model->playingSegId(), 0);
    EXPECT_TRUE(boxes.list.isEmpty());
    model.reset();
}

TEST_F(ProjectModelTest, ABurstOfResultsShowsItsFirstShareAndTheWholeThenClears)
{
    const int count = 20;
    openProject(std::vector<std::string>(size_t(count), "sleep:0."), "fake_convert_worker");
    ProjectFolder side;
    ASSERT_TRUE(side.open(dir));
    auto written = [&] {
        int n = 0;
        for (int row = 0; row < count; ++row)
            n += fs::exists(side.segSentencesDir(idAt(row)) / "0.wav") ? 1 : 0;
        return n;
    };
    // Once every job is queued, this thread is held, as a window being drawn
    // holds it, until every child has written its sentence and ended: the
    // results then come at once.
    QStringList progress;
    QObject::connect(model.get(), &ProjectModel::convertingProgressChanged, [&] {
        progress << model->convertingProgress();
        if (progress.last() != "Converting...")
            return;
        QElapsedTimer held;
        held.start();
        while (!(written() == count && model->convertPool().isIdle()) && held.elapsed() < testutil::hangLimitMs)
            QThread::msleep(10);
    });
    model->playAll();
    ASSERT_TRUE(waitFor([&] { return model->playingSegId() != 0; }, testutil::hangLimitMs));
    // A second of the joined audio played: long after any share still to come.
    ASSERT_TRUE(waitFor([&] { return model->playingTimeDisplay() == "00:00:01"; }, testutil::hangLimitMs));
    // Results that came before every part was planned show no share.
    ASSERT_EQ(progress.size(), 4) << progress.join("|").toStdString();
    EXPECT_EQ(progress[0], "Converting...");
    EXPECT_TRUE(QRegularExpression("Converting\\.\\.\\.[1-9][0-9]?%").match(progress[1]).hasMatch())
        << progress[1].toStdString();
    EXPECT_EQ(progress[2], "Converting...100%");
    EXPECT_EQ(progress[3], "");
    EXPECT_EQ(model->convertingProgress(), "");
    EXPECT_TRUE(boxes.list.isEmpty()) << boxes.text(0).toStdString();
}

TEST_F(ProjectModelTest, AnAbandonedRunsJoinNeverEmptiesTheNextRunsAudio)
{
    openProject({"sleep:100. Then a second sentence."}, "fake_convert_worker");
    const int id = idAt(0);
    ProjectFolder side;
    ASSERT_TRUE(side.open(dir));
    // Preview; once its first sentence is in, the worker is held, so that the
    // segment's join waits there when the second one ends.
    WorkerHold hold;
    QMetaObject::Connection holdAtHalf =
        QObject::connect(model.get(), &ProjectModel::convertingProgressChanged, [&] {
            if (model->convertingProgress() == "Converting...50%")
                hold.hold(*model);
        });
    model->previewSeg(0);
    ASSERT_TRUE(waitFor([&] { return model->convertingProgress() == "Converting...100%"; }, testutil::hangLimitMs));
    QObject::disconnect(holdAtHalf);
    ASSERT_TRUE(hold.held);
    ASSERT_TRUE(waitFor([&] { return model->convertPool().isIdle(); }, testutil::hangLimitMs));
    model->cancelConvert();
    ASSERT_TRUE(waitFor([&] { return idle(); }, testutil::hangLimitMs));

    // Preview again while the old join still waits: its children write first.
    model->previewSeg(0);
    ASSERT_TRUE(waitFor([&] { return model->convertPool().isIdle(); }, testutil::hangLimitMs));
    hold.release();
    ASSERT_TRUE(waitFor([&] { return model->previewingSegId() == id; }, testutil::hangLimitMs));
    EXPECT_TRUE(boxes.list.isEmpty()) << boxes.text(0).toStdString();
    // The stand-in child makes one second a sentence.
    EXPECT_EQ(sql(QString("select sentences || '|' || seconds from seg where id=%1").arg(id)), "2|2.0");
    EXPECT_NEAR(synthtest::readWav(side.segWavPath(id)).seconds(), 2.0, 0.01);
}

TEST_F(ProjectModelTest, ClosingBeforeAnExportStartsStopsItAndLeavesWithoutAWord)
{
    std::vector<std::string> texts;
    for (int i = 0; i < 8; ++i)
        texts.push_back("Segment number " + std::to_string(i) + " of the export.");
    openProject(texts);
    testutil::TempDir out;
    QVariantMap settings{{"seg_id", 0},
                         {"save_url", QUrl::fromLocalFile(QString::fromStdString(out.path().string())).toString()},
                         {"audio_type", "MP3"},
                         {"audio_merge", 0},
                         {"with_text", true},
                         {"text_type", ".txt"},
                         {"with_speaker", true}};
    // The export job is handed to a held worker; the page closes before it
    // starts, and the close never waits for it. The job comes once the
    // project's joined audio is on disk: the page turns busy with it then.
    ProjectFolder side;
    ASSERT_TRUE(side.open(dir));
    const fs::path joined = side.mergedWavPath();
    WorkerHold hold;
    QSignalSpy closed(model.get(), &ProjectModel::closeTodo);
    QObject::connect(model.get(), &ProjectModel::isLoadingChanged, model.get(), [&] {
        if (!model->isLoading() || hold.held || !fs::exists(joined))
            return;
        hold.hold(*model);
        QTimer::singleShot(0, model.get(), [&] {
            model->close();
            EXPECT_TRUE(model->isClosing());
            hold.release();
        });
    });
    model->exportSegs(settings);
    ASSERT_TRUE(closed.wait(testutil::hangLimitMs));
    ASSERT_TRUE(hold.held);
    // Nothing said and nothing busy any more; nothing written.
    EXPECT_TRUE(boxes.list.isEmpty()) << boxes.text(0).toStdString();
    EXPECT_FALSE(model->isLoading());
    const fs::path target =
        out.path() / ("quorvine_salvormithe_export_" + QDate::currentDate().toString("yyyyMMdd").toStdString());
    EXPECT_FALSE(fs::exists(target / "text.txt"));
    EXPECT_FALSE(fs::exists(target / ("audio" + std::to_string(idAt(0)) + ".mp3")));
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(ProjectModelTest, ExportsIntoDatedFoldersAndOpensThem)
{
    openProject({"Export me as sound.", "And me as well."});
    QStringList opened;
    bool canOpen = true;
    model->setOpenFolderHook([&](const QString& folder) {
        opened << folder;
        return canOpen;
    });
    testutil::TempDir out;
    QVariantMap settings{{"seg_id", 0},
                         {"save_url", QUrl::fromLocalFile(QString::fromStdString(out.path().string())).toString()},
                         {"audio_type", "MP3"},
                         {"audio_merge", 1},
                         {"with_text", true},
                         {"text_type", ".pdf"},
                         {"with_speaker", true}};

    // No folder, or one that is not on this computer: refused before anything converts.
    QVariantMap bad = settings;
    for (const QString& url : {QString(), QString("https://example.com/x"), QString("relative/folder")}) {
        bad["save_url"] = url;
        model->exportSegs(bad);
        EXPECT_FALSE(model->isConverting());
    }
    ASSERT_EQ(boxes.list.size(), 3);
    EXPECT_EQ(boxes.text(2), "IDS_INVALID_SAVE_FOLDER");

    const std::string day = QDate::currentDate().toString("yyyyMMdd").toStdString();
    const fs::path first = out.path() / ("quorvine_salvormithe_export_" + day);
    model->exportSegs(settings);
    ASSERT_TRUE(waitFor([&] { return boxes.list.size() == 4 && idle(); }, testutil::hangLimitMs));
    EXPECT_EQ(boxes.text(3), QString("Exported Completed!\nThe files are in %1").arg(first.c_str()));
    EXPECT_TRUE(opened.isEmpty());
    boxes.press(3, 0);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].toStdString(), first.string());
    QProcess ffprobe;
    ffprobe.start("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name,channels", "-of", "csv=p=0",
                              QString::fromStdString((first / "audio.mp3").string())});
    ASSERT_TRUE(ffprobe.waitForFinished(testutil::hangLimitMs));
    EXPECT_EQ(QString::fromUtf8(ffprobe.readAllStandardOutput()).trimmed(), "mp3,2");
    EXPECT_TRUE(testutil::readFile(first / "text.pdf").startsWith("%PDF"));

    // The same day again: the name with "(1)"; ".docx" is a Word document.
    settings["seg_id"] = idAt(1);
    settings["audio_type"] = "WAV";
    settings["text_type"] = ".docx";
    model->exportSegs(settings);
    ASSERT_TRUE(waitFor([&] { return boxes.list.size() == 5 && idle(); }, testutil::hangLimitMs));
    // No file browser: the page says so, with the folder.
    canOpen = false;
    boxes.press(4, 0);
    const fs::path second = out.path() / ("quorvine_salvormithe_export_" + day + "(1)");
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[1].toStdString(), second.string());
    ASSERT_EQ(boxes.list.size(), 6);
    EXPECT_EQ(boxes.text(5), QString("The folder %1 could not be opened.").arg(second.c_str()));
    EXPECT_TRUE(fs::exists(second / ("audio" + std::to_string(idAt(1)) + ".wav")));
    EXPECT_TRUE(testutil::readFile(second / "text.docx").startsWith("PK\x03\x04"));
    EXPECT_FALSE(fs::exists(second / "text.txt"));

    // Leaving the page while a PDF export runs never hangs.
    settings["seg_id"] = 0;
    settings["text_type"] = ".pdf";
    // The export can end before a poll would see it running: close as soon as it starts.
    QSignalSpy closed(model.get(), &ProjectModel::closeTodo);
    QMetaObject::Connection closeOnStart =
        QObject::connect(model.get(), &ProjectModel::isLoadingChanged, model.get(), [&] {
            if (model->isLoading())
                QTimer::singleShot(0, model.get(), [&] { model->close(); });
        });
    model->exportSegs(settings);
    ASSERT_TRUE(closed.wait(testutil::hangLimitMs));
    QObject::disconnect(closeOnStart);
    EXPECT_EQ(boxes.list.size(), 6);
}

TEST_F(ProjectModelTest, CancelWhileWaitingEditsAreWrittenEndsThePreviewAndTheExport)
{
    openProject({"First words.", "Second words."}, "fake_convert_worker");
    const int id = idAt(0);
    ProjectFolder side;
    ASSERT_TRUE(side.open(dir));
    testutil::TempDir out;
    const QVariantMap settings = wavExport(out.path(), 0);
    QSignalSpy converting(model.get(), &ProjectModel::isConvertingChanged);
    // What a bubble learns through its row: the segment's converting state when it changes.
    QStringList rowStates;
    QObject::connect(model->segsItemModel(), &QAbstractItemModel::dataChanged, model.get(),
                     [&](const QModelIndex& from, const QModelIndex& to) {
                         if (from.row() <= 0 && to.row() >= 0)
                             rowStates << (model->isSegConverting(0) ? "converting" : "idle");
                     });

    // Typing waits at a held worker when a preview, then an export, is asked
    // and cancelled: the edit is written, and nothing of the run follows.
    const std::function<void()> starts[] = {[&] { model->previewSeg(0); }, [&] { model->exportSegs(settings); }};
    int round = 0;
    for (const auto& start : starts) {
        const QString typed = QString("Typed words, round %1.").arg(++round);
        WorkerHold hold;
        hold.hold(*model);
        model->segTextChanged(0, typed.length(), typed);
        start();
        EXPECT_TRUE(model->isConverting());
        model->cancelConvert();
        EXPECT_FALSE(model->isConverting());
        hold.release();
        ASSERT_TRUE(waitFor([&] { return sql(QString("select text from seg where id=%1").arg(id)) == typed && idle(); },
                            testutil::hangLimitMs));
    }
    EXPECT_EQ(converting.count(), 4);
    EXPECT_FALSE(fs::exists(side.segWavPath(id)));
    EXPECT_TRUE(fs::is_empty(out.path()));
    EXPECT_TRUE(boxes.list.isEmpty()) << boxes.text(0).toStdString();
    EXPECT_EQ(model->previewingSegId(), 0);

    // The next export runs alone: the day's first folder, the one box, and one
    // change of isConverting each way however many sentences it converts.
    rowStates.clear();
    model->exportSegs(settings);
    ASSERT_TRUE(waitFor([&] { return !boxes.list.isEmpty() && idle(); }, testutil::hangLimitMs));
    const fs::path first =
        out.path() / ("quorvine_salvormithe_export_" + QDate::currentDate().toString("yyyyMMdd").toStdString());
    ASSERT_EQ(boxes.list.size(), 1);
    EXPECT_EQ(boxes.text(0), QString("Exported Completed!\nThe files are in %1").arg(first.c_str()));
    EXPECT_TRUE(fs::exists(first / ("audio" + std::to_string(id) + ".wav")));
    EXPECT_EQ(converting.count(), 6);
    EXPECT_EQ(rowStates.value(0), "converting");
    EXPECT_EQ(rowStates.count("converting"), 1);
    EXPECT_EQ(rowStates.last(), "idle");
}

TEST_F(ProjectModelTest, AnExportStoppedByLeavingOrClosingLeavesNoEmptyFolder)
{
    openProject({"Exported through a pipe."});
    const int id = idAt(0);
    // The segment's audio is up to date and is a pipe: the export waits at it
    // until the test writes into it.
    sql(QString("update seg set converted = modified + 100 where id=%1").arg(id));
    ProjectFolder side;
    ASSERT_TRUE(side.open(dir));
    const std::string pipe = side.segWavPath(id).string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    testutil::TempDir out;
    const fs::path target =
        out.path() / ("quorvine_salvormithe_export_" + QDate::currentDate().toString("yyyyMMdd").toStdString());
    const QVariantMap settings = wavExport(out.path(), id);

    for (bool closeWindow : {false, true}) {
        SCOPED_TRACE(closeWindow ? "closing the window" : "leaving the page");
        model.reset();
        model = std::make_unique<ProjectModel>();
        model->open(QString::fromStdString(dir.string()));
        ASSERT_TRUE(waitFor([&] { return model->isOpened(); }, testutil::hangLimitMs));
        model->exportSegs(settings);
        ASSERT_TRUE(waitFor([&] { return fs::exists(target); }, testutil::hangLimitMs));
        // The export reads what comes through the pipe once the page has stopped it.
        std::thread feeder([&pipe] {
            const int fd = ::open(pipe.c_str(), O_WRONLY);
            if (fd >= 0) {
                (void)!::write(fd, "RIFF", 4);
                ::close(fd);
            }
        });
        if (closeWindow) {
            model.reset();
        } else {
            QSignalSpy closed(model.get(), &ProjectModel::closeTodo);
            model->close();
            ASSERT_TRUE(closed.wait(testutil::hangLimitMs));
        }
        // A job stopped before it reached the pipe leaves the feeder waiting for a reader.
        const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
        feeder.join();
        ::close(reader);
        EXPECT_FALSE(fs::exists(target));
        EXPECT_TRUE(fs::is_empty(out.path()));
        EXPECT_TRUE(boxes.list.isEmpty()) << boxes.text(0).toStdString();
    }
}

TEST(PlayList, TimeTextCurrentItemSeekAndProgress)
{
    EXPECT_EQ(playTimeText(3725.4), "01:02:05");
    EXPECT_EQ(playTimeText(0), "00:00:00");
    EXPECT_EQ(playTimeText(59.99), "00:00:59");
    EXPECT_EQ(playTimeText(360000), "100:00:00");

    const QList<PlayItem> items{{1, 2.5}, {2, 0}, {3, 3.9}};
    struct Case { double p; int item; } cases[] = {{0, 0}, {2.5, 0}, {2.6, 2}, {6.4, 2}, {6.5, -1}};
    for (const Case& c : cases)
        EXPECT_EQ(playItemAt(items, c.p), c.item) << c.p;
    // The slider spans the exact total: 6.4 s here; a 553-segment project of
    // 33:49 loses nearly five minutes when each length is cut to whole seconds.
    QList<PlayItem> long553;
    for (int i = 0; i < 553; ++i)
        long553.append({i + 1, 2029.4 / 553});
    struct Seek { const QList<PlayItem>& list; int percent; int second; } seeks[] = {
        {items, 0, 0}, {items, 50, 3}, {items, 100, 6}, {long553, 50, 1014}, {long553, 100, 2029}};
    for (const Seek& c : seeks)
        EXPECT_EQ(playSeekSeconds(c.list, c.percent), c.second) << c.percent;
    EXPECT_EQ(playProgressPercent(items, 3.2), 50);
    EXPECT_EQ(playProgressPercent({}, 3.2), 0);
}

TEST(ExportSettingsMap, FolderFormatsAndDatedName)
{
    struct Case { QString url; QString folder; } folders[] = {
        {"file:///home/me/Export%20here", "/home/me/Export here"},
        {"/home/me/plain/", "/home/me/plain"},
        {"", ""},
        {"relative/dir", ""},
        {"https://example.com/dir", ""},
        {"file:relative", ""},
    };
    for (const Case& c : folders)
        EXPECT_EQ(ExportSettings::fromMap({{"save_url", c.url}}).localFolder(), c.folder) << c.url.toStdString();

    ExportSettings s = ExportSettings::fromMap({{"audio_type", "AAC"}, {"text_type", ".odt"}});
    EXPECT_EQ(s.audioExtension(), ".aac");
    EXPECT_EQ(s.textExtension(), ".txt");
    EXPECT_EQ(s.audio_merge, 1);
    EXPECT_TRUE(s.with_speaker);
    EXPECT_FALSE(s.with_text);
    for (const char* kept : {".html", ".pdf", ".txt", ".docx"})
        EXPECT_EQ(ExportSettings::fromMap({{"text_type", kept}}).textExtension(), kept);
    EXPECT_EQ(ExportSettings::exportFolderName(QDate(2024, 3, 9)), "quorvine_salvormithe_export_20240309");
}
