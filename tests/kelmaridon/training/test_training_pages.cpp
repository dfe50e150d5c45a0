// The training side of kelmaridon's window: the environment prompt and its
// busy cover, the trainings page and the new-training popup.
#include "common/QmlProgram.h"
#include "recording/KelmaridonStartup.h"
#include "recording/RecordingProject.h"
#include "training/TrainingFolder.h"
#include "training/TrainingRecord.h"
#include "training/TrainingTypes.h"

#include "LoopbackServers.h"
#include "MsgboxLog.h"
#include "QuickClick.h"
#include "QuickFind.h"
#include "TrainingTestSupport.h"

#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QQuickItem>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>

namespace fs = std::filesystem;
using namespace trainingtest;
using testutil::waitFor;

namespace {

QStringList warnings;

// kelmaridon's window as the program loads it; warnings are collected.
struct Window
{
    Window()
    {
        warnings.clear();
        previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type != QtDebugMsg && type != QtInfoMsg)
                warnings.append(text);
        });
        static bool registered = false;
        if (!registered) {
            KelmaridonStartup startup;
            addTrainingTypes(startup);
            startup.registerTypes();
            registered = true;
        }
        QmlProgram::setRootContext(engine, "Quorvine Voice Cloning");
        engine.load(QUrl(QStringLiteral("qrc:/qml/main.qml")));
        window = qobject_cast<QQuickWindow*>(engine.rootObjects().value(0));
        navUtil = window ? window->findChild<QObject*>("navUtil") : nullptr;
    }
    ~Window() { qInstallMessageHandler(previous); }

    // The named object once it is there; null after 10 s.
    QObject* find(const QString& name) const
    {
        QObject* found = nullptr;
        waitFor([&] { return (found = testutil::findNamed(window->contentItem(), name)) != nullptr; }, testutil::hangLimitMs);
        return found;
    }
    bool gone(const QString& name) const
    {
        return waitFor([&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return !testutil::findNamed(window->contentItem(), name);
        }, testutil::hangLimitMs);
    }
    void click(const QString& name) const
    {
        QObject* o = find(name);
        ASSERT_TRUE(o) << name.toStdString();
        QMetaObject::invokeMethod(o, "clicked");
    }
    QString source() const { return navUtil->property("currentSource").toString(); }
    void nav(const QString& page, const QVariantMap& props = QVariantMap()) const
    {
        QMetaObject::invokeMethod(navUtil, "nav", Q_ARG(QVariant, page), Q_ARG(QVariant, props));
    }
    // A real press and release of the mouse at the middle of the named item.
    void mouseClick(const QString& name) const
    {
        // A page a loader let go is not in the window any more, but is found until it is deleted.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        auto* item = qobject_cast<QQuickItem*>(find(name));
        ASSERT_TRUE(item) << name.toStdString();
        testutil::clickCentre(window, item);
    }

    QQmlApplicationEngine engine;
    QQuickWindow* window = nullptr;
    QObject* navUtil = nullptr;
    QtMessageHandler previous = nullptr;
};

fs::path makeRecording(const std::string& name)
{
    fs::path dir = RecordingProject::rootDir() / name;
    RecordingProject project;
    EXPECT_TRUE(project.open(dir.u8string(), name, "en-us")) << project.lastError();
    return dir;
}

} // namespace

TEST(TrainingPages, WindowAsksForTheEnvironmentAndCoversThePagesWhileInstalling)
{
    saveTenvPath(QString());
    Window w;
    ASSERT_TRUE(w.window) << warnings.join("\n").toStdString();
    QObject* model = w.window->findChild<QObject*>("homeModel");
    QSignalSpy selectFolder(model, SIGNAL(toSelEnvPath()));
    ASSERT_TRUE(w.find("msgboxButton0"));
    EXPECT_EQ(w.find("msgboxButton0")->property("text").toString(), "Select Folder");
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();

    // The box's button opens the folder dialog.
    w.click("msgboxButton0");
    EXPECT_EQ(selectFolder.count(), 1);
    QObject* dialog = nullptr;
    for (QObject* o : w.window->findChildren<QObject*>())
        if (QString(o->metaObject()->className()).contains("FileDialog"))
            dialog = o;
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->property("selectFolder").toBool());
    EXPECT_EQ(dialog->property("title").toString(), "IDS_SELECT_TRAINING_ENV_ROOT");
    QMetaObject::invokeMethod(dialog, "reject");

    // While installing, a busy layer with the progress covers the pages.
    QObject* layer = w.find("busyLayer");
    EXPECT_FALSE(layer->property("visible").toBool());
    model->setProperty("installingEnv", true);
    model->setProperty("installingProgress", "Installing...45%");
    EXPECT_TRUE(layer->property("visible").toBool());
    EXPECT_EQ(w.find("busyText")->property("text").toString(), "Installing...45%");
}

TEST(TrainingPages, TrainingsPageListsOpensAndRemoves)
{
    testutil::TempDir env;
    saveTenvPath(q(env.path()));
    fs::remove_all(trainingRoot());
    fs::path recording = makeRecording("Page");
    for (const char* name : {"First", "Second"}) {
        TrainingRecord record;
        ASSERT_TRUE(record.create((trainingRoot() / name).u8string(), name, recording.u8string(), ""));
    }
    Window w;
    w.nav("Trainings.qml");
    QObject* list = w.find("trainingList");
    ASSERT_TRUE(list);
    ASSERT_TRUE(waitFor([&] { return list->property("count").toInt() == 2; }, testutil::hangLimitMs));

    // Delete asks; Yes removes the row and its folder.
    w.click("trainingDelete1");
    w.click("msgboxButton0");
    EXPECT_TRUE(waitFor([&] { return list->property("count").toInt() == 1; }, testutil::hangLimitMs));
    EXPECT_EQ(int(fs::exists(trainingRoot() / "First")) + int(fs::exists(trainingRoot() / "Second")), 1);

    // New Training opens the form, Cancel closes it; a row opens its training.
    w.click("trainingsNew");
    ASSERT_TRUE(w.find("createTrainingForm"));
    w.click("createTrainingCancel");
    EXPECT_TRUE(w.gone("createTrainingForm"));
    QMetaObject::invokeMethod(w.find("trainingRow0"), "open");
    EXPECT_TRUE(waitFor([&] { return w.source() == "Training.qml"; }, testutil::hangLimitMs));
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
}

TEST(TrainingPages, NewTrainingPopupCreatesTheTrainingAndOpensIt)
{
    testutil::TempDir tmp;
    saveTenvPath(q(tmp.path()));
    TrainingServer server(tmp.path() / "cat");
    makeRecording("Popup");
    Window w;
    w.nav("Trainings.qml");
    w.click("trainingsNew");
    ASSERT_TRUE(w.find("createTrainingForm"));
    QObject* model = nullptr;
    for (QObject* o : w.window->findChildren<QObject*>())
        if (QString(o->metaObject()->className()) == "CreateTrainingModel")
            model = o;
    ASSERT_TRUE(model);
    ASSERT_TRUE(waitFor([&] { return !model->property("isLoading").toBool(); }, testutil::hangLimitMs));

    // Recording, model and consent chosen through the form's own controls.
    const int idx = model->property("recordingOptions").toStringList().indexOf(QRegularExpression("Popup - .*"));
    ASSERT_GT(idx, 0);
    QMetaObject::invokeMethod(w.find("recordingCombo"), "activated", Q_ARG(int, idx));
    QMetaObject::invokeMethod(w.find("modelCombo"), "activated", Q_ARG(int, 1));
    EXPECT_FALSE(w.find("createTrainingStart")->property("enabled").toBool());
    w.find("policyCheck")->setProperty("checked", true);
    QMetaObject::invokeMethod(w.find("policyCheck"), "toggled");
    EXPECT_TRUE(w.find("createTrainingStart")->property("enabled").toBool());

    const std::string name = model->property("newTrainingName").toString().toStdString();
    w.click("createTrainingStart");
    EXPECT_TRUE(waitFor([&] { return w.source() == "Training.qml"; }, testutil::hangLimitMs));
    EXPECT_TRUE(fs::exists(trainingRoot() / name / "manifest"));
    EXPECT_TRUE(w.gone("createTrainingForm"));
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
}

TEST(TrainingPages, WhileInstallingTheHeaderWorksAndTheCoverCancelsOrTheWindowClosesIt)
{
    testutil::TempDir tmp;
    useFakeEnvironment(tmp.path() / "env", "exit 0\n");
    // The archive's size is not told; its download starts and stalls.
    trainingtest::StalledEnvironmentServer slow(5000);
    std::atomic<int>& downloads = slow.downloads;
    qputenv("QV_VOICE_SERVER", QByteArray::fromStdString(slow.server.base()));
    MsgboxLog boxes;
    Window w;
    ASSERT_TRUE(w.window && QTest::qWaitForWindowExposed(w.window));
    QObject* home = w.window->findChild<QObject*>("homeModel");
    fs::path root = tmp.path() / "root";
    fs::create_directories(root);
    auto install = [&](int n) {
        QMetaObject::invokeMethod(home, "installEnv", Q_ARG(QUrl, QUrl::fromLocalFile(q(root))));
        return waitFor([&] { return downloads == n && w.find("busyLayer")->property("visible").toBool(); }, testutil::hangLimitMs);
    };

    // Covered, the page takes no click; the header's buttons do.
    ASSERT_TRUE(install(1));
    w.mouseClick("recordingNew");
    QCoreApplication::processEvents();
    EXPECT_FALSE(testutil::findNamed(w.window->contentItem(), "settingTitle"));
    w.mouseClick("maximizeButton");
    EXPECT_TRUE(waitFor([&] { return w.window->visibility() == QWindow::Maximized; }, testutil::hangLimitMs));

    // Cancel on the cover ends the download and leaves nothing; the page takes clicks again.
    w.mouseClick("installCancel");
    EXPECT_TRUE(waitFor([&] { return !home->property("installingEnv").toBool(); }, testutil::hangLimitMs));
    EXPECT_TRUE(fs::is_empty(root));
    w.mouseClick("recordingNew");
    EXPECT_TRUE(w.find("settingTitle"));
    w.click("settingCancel");
    EXPECT_TRUE(w.gone("settingTitle"));

    // Closing the window during the install ends the install, then the program.
    ASSERT_TRUE(install(2));
    QObject::disconnect(&w.engine, &QQmlEngine::quit, qApp, nullptr);
    QSignalSpy quit(&w.engine, &QQmlEngine::quit);
    w.mouseClick("closeButton");
    EXPECT_TRUE(quit.count() == 1 || quit.wait(testutil::hangLimitMs));
    EXPECT_FALSE(home->property("installingEnv").toBool());
    EXPECT_TRUE(fs::is_empty(root));
    EXPECT_TRUE(boxes.boxes.isEmpty());
    qunsetenv("QV_VOICE_SERVER");
}

TEST(TrainingPages, LeavingTheTrainingPageDuringASlowProbeStopsTheProbe)
{
    testutil::TempDir tmp;
    const fs::path env = tmp.path() / "env";
    useFakeEnvironment(env, "echo $$ > \"$(dirname \"$0\")/probe.pid\"\nexec sleep 600\n");
    Window w;
    w.nav("Training.qml", {{"trainingPath", q(makeTraining("Slow Probe"))}, {"toStart", false}});
    ASSERT_TRUE(waitFor([&] { return pidIn(env / "probe.pid") > 0; }, testutil::hangLimitMs));
    EXPECT_TRUE(w.find("trainingBusy")->property("visible").toBool());
    // The page goes at once, and so does the probe.
    w.nav("Trainings.qml");
    EXPECT_TRUE(waitFor([&] { return w.source() == "Trainings.qml"; }, testutil::hangLimitMs));
    EXPECT_TRUE(waitFor([&] { return processGone(pidIn(env / "probe.pid")); }, testutil::hangLimitMs));
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
}

TEST(TrainingPages, LeavingOrClosingWhileTrainingAsksAndStopsOnlyOnYes)
{
    testutil::TempDir tmp;
    const fs::path control = tmp.path() / "control";
    useScriptedEnvironment(tmp.path() / "env", control);
    const QString training = q(makeTraining("Asked", "", 2));
    MsgboxLog boxes;
    Window w;
    ASSERT_TRUE(w.window && QTest::qWaitForWindowExposed(w.window));
    QObject::disconnect(&w.engine, &QQmlEngine::quit, qApp, nullptr);
    QSignalSpy quit(&w.engine, &QQmlEngine::quit);
    auto startTraining = [&](int run) {
        w.nav("Training.qml", {{"trainingPath", training}, {"toStart", false}});
        EXPECT_TRUE(waitFor([&] { return w.source() == "Training.qml"; }, testutil::hangLimitMs));
        w.mouseClick("trainingStart");
        return waitFor([&] { return runs(control, "train") == run && pidIn(control / "train.pid") > 0; }, testutil::hangLimitMs);
    };
    auto asked = [&](int n) {
        return waitFor([&] { return boxes.boxes.size() == n && testutil::findNamed(w.window->contentItem(), "msgboxButton1"); },
                       testutil::hangLimitMs);
    };

    // The menu asks; No keeps the page and the training.
    ASSERT_TRUE(startTraining(1));
    const qint64 first = pidIn(control / "train.pid");
    w.mouseClick("navEntry_recording");
    ASSERT_TRUE(asked(1));
    EXPECT_TRUE(w.find("msgboxText")->property("text").toString().contains("Training is running. Stop it and leave?"));
    w.mouseClick("msgboxButton1");
    EXPECT_TRUE(w.gone("msgboxButton1"));
    EXPECT_EQ(w.source(), "Training.qml");
    EXPECT_FALSE(processGone(first));
    EXPECT_TRUE(w.find("trainingStop")->property("visible").toBool());

    // Asked again, Yes stops it and leaves, without the stopped box.
    w.mouseClick("navEntry_recording");
    ASSERT_TRUE(asked(2));
    w.mouseClick("msgboxButton0");
    EXPECT_TRUE(waitFor([&] { return w.source() == "Recording.qml"; }, testutil::hangLimitMs));
    EXPECT_TRUE(waitFor([&] { return processGone(first); }, testutil::hangLimitMs));

    // Closing the window asks the same; No keeps the window, Yes ends the program.
    fs::remove(control / "train.pid");
    ASSERT_TRUE(startTraining(2));
    const qint64 second = pidIn(control / "train.pid");
    w.mouseClick("closeButton");
    ASSERT_TRUE(asked(3));
    w.mouseClick("msgboxButton1");
    EXPECT_TRUE(w.gone("msgboxButton1"));
    QCoreApplication::processEvents();
    EXPECT_EQ(quit.count(), 0);
    EXPECT_FALSE(processGone(second));
    w.mouseClick("closeButton");
    ASSERT_TRUE(asked(4));
    w.mouseClick("msgboxButton0");
    EXPECT_TRUE(quit.count() == 1 || quit.wait(testutil::hangLimitMs));
    EXPECT_TRUE(waitFor([&] { return processGone(second); }, testutil::hangLimitMs));
    EXPECT_EQ(boxes.boxes.size(), 4);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
}

TEST(TrainingPages, TheBatchSizeFieldShowsWhatTheTrainingRunsWith)
{
    testutil::TempDir tmp;
    const fs::path control = tmp.path() / "control";
    useScriptedEnvironment(tmp.path() / "env", control);
    const fs::path dir = makeTraining("Batch", "", 4);
    MsgboxLog boxes;
    Window w;
    ASSERT_TRUE(w.window && QTest::qWaitForWindowExposed(w.window));
    w.nav("Training.qml", {{"trainingPath", q(dir)}, {"toStart", false}});
    QObject* field = w.find("trainingBatchSize");
    QObject* refused = w.find("trainingBatchSizeRefused");
    QObject* start = w.find("trainingStart");
    ASSERT_TRUE(field && refused && start);
    auto shown = [&] { return field->property("text").toString(); };
    EXPECT_EQ(shown(), "4");
    EXPECT_FALSE(refused->property("visible").toBool());
    // Typed over the whole field with real keys.
    auto type = [&](const QString& keys) {
        w.mouseClick("trainingBatchSize");
        QTest::keyClick(w.window, Qt::Key_A, Qt::ControlModifier);
        for (QChar c : keys)
            QTest::keyClick(w.window, c.toLatin1());
    };

    // Out of range or no number: shown as typed and marked refused; Start does nothing.
    for (const QString& entry : {QString("64"), QString("0"), QString("x"), QString("33")}) {
        SCOPED_TRACE(entry.toStdString());
        type(entry);
        EXPECT_EQ(shown(), entry);
        EXPECT_TRUE(refused->property("visible").toBool());
        EXPECT_FALSE(start->property("enabled").toBool());
        w.mouseClick("trainingStart");
        EXPECT_FALSE(w.find("trainingStop")->property("visible").toBool());
    }
    EXPECT_EQ(readRecord(dir).batchSize(), 4);

    // A batch size in range: the training runs with it, and the manifest says so.
    type("12");
    EXPECT_FALSE(refused->property("visible").toBool());
    w.mouseClick("trainingStart");
    ASSERT_TRUE(waitFor([&] { return runs(control, "train") == 1; }, testutil::hangLimitMs));
    auto toolRuns = [&] { return testutil::readFile(control / "train.runs"); };
    EXPECT_TRUE(toolRuns().contains("--batch-size 12 ")) << toolRuns().toStdString();
    EXPECT_EQ(readRecord(dir).batchSize(), 12);
    EXPECT_EQ(shown(), "12");

    // Started again with another size, after preprocessing: the manifest has it at once.
    w.mouseClick("trainingStop");
    ASSERT_TRUE(waitFor(
        [&] { return boxes.boxes.size() == 1 && testutil::findNamed(w.window->contentItem(), "msgboxButton0"); },
        testutil::hangLimitMs));
    w.mouseClick("msgboxButton0");
    ASSERT_TRUE(w.gone("msgboxButton0"));
    type("7");
    w.mouseClick("trainingStart");
    ASSERT_TRUE(waitFor([&] { return runs(control, "train") == 2; }, testutil::hangLimitMs));
    EXPECT_TRUE(toolRuns().split('\n').value(1).contains("--batch-size 7 ")) << toolRuns().toStdString();
    EXPECT_EQ(readRecord(dir).batchSize(), 7);
    EXPECT_EQ(shown(), "7");
    w.mouseClick("trainingStop");
    EXPECT_EQ(runs(control, "preprocess"), 1);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
}

namespace {

// A real click on the link to url in a rich text item.
void clickLink(QQuickWindow* window, QQuickItem* text, const QString& url)
{
    for (int y = 1; y < int(text->height()); y += 2) {
        for (int x = 1; x < int(text->width()); x += 2) {
            QString at;
            QMetaObject::invokeMethod(text, "linkAt", Q_RETURN_ARG(QString, at), Q_ARG(qreal, x), Q_ARG(qreal, y));
            if (at == url)
                return QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, text->mapToScene(QPointF(x, y)).toPoint());
        }
    }
    ADD_FAILURE() << "no link to " << url.toStdString();
}

} // namespace

TEST(TrainingPages, LinksThatNoBrowserCanOpenShowTheirAddress)
{
    testutil::TempDir env, noOpener;
    saveTenvPath(q(env.path()));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(noOpener.path().u8string()));
    qunsetenv("BROWSER");
    qunsetenv("DEFAULT_BROWSER");
    qputenv("QV_VOICE_SERVER", "http://127.0.0.1:9/");
    {
        Window w;
        ASSERT_TRUE(w.window);
        // The box names the address; OK closes it.
        auto told = [&](const QString& page) {
            QObject* text = w.find("msgboxText");
            QString shown;
            if (text)
                QMetaObject::invokeMethod(text, "getText", Q_RETURN_ARG(QString, shown), Q_ARG(int, 0),
                                          Q_ARG(int, text->property("length").toInt()));
            w.mouseClick("msgboxButton0");
            EXPECT_TRUE(w.gone("msgboxText"));
            EXPECT_EQ(shown, "The web page http://127.0.0.1:9/" + page + " could not be opened.");
        };
        w.mouseClick("menuButton");
        w.mouseClick("menuEntry2");
        told("tutorial.html");
        w.mouseClick("menuButton");
        w.mouseClick("aboutItem");
        w.mouseClick("aboutSite");
        told("");
        QTest::keyClick(w.window, Qt::Key_Escape);
        EXPECT_TRUE(w.gone("aboutSite"));

        w.nav("Trainings.qml");
        w.click("trainingsNew");
        auto* policy = qobject_cast<QQuickItem*>(w.find("policyText"));
        ASSERT_TRUE(policy && waitFor([&] { return policy->isVisible(); }, testutil::hangLimitMs));
        for (const QString page : {"terms.html", "privacy-policy.html"}) {
            clickLink(w.window, policy, "http://127.0.0.1:9/" + page);
            told(page);
        }
    }
    qputenv("PATH", path);
    qunsetenv("QV_VOICE_SERVER");
}
