// kelmaridon's window from its resources, with the program's types and constants.
#include "common/FileUtils.h"
#include "common/MessageBoxContext.h"
#include "common/QmlProgram.h"
#include "recording/KelmaridonStartup.h"
#include "recording/RecordingProject.h"
#include "training/TrainingEnvironment.h"
#include "training/TrainingFolder.h"
#include "training/TrainingRecord.h"
#include "training/TrainingTypes.h"

#include "QuickClick.h"
#include "QuickFind.h"
#include "RecordingTestSupport.h"
#include "TestUtil.h"

#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using testutil::findNamed;

namespace {

QStringList warnings;

void collect(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        warnings.append(text);
}

// kelmaridon's main window, loaded as the program loads it.
QQuickWindow* loadWindow(QQmlApplicationEngine& engine)
{
    KelmaridonStartup startup;
    addTrainingTypes(startup);
    startup.registerTypes();
    QmlProgram::setRootContext(engine, QObject::tr(KelmaridonStartup::prodName()));
    engine.load(QUrl(QStringLiteral("qrc:/qml/main.qml")));
    return engine.rootObjects().size() == 1 ? qobject_cast<QQuickWindow*>(engine.rootObjects().first()) : nullptr;
}

} // namespace

TEST(KelmaridonWindow, MainPageAndEveryPageLoadWithoutWarnings)
{
    warnings.clear();
    QtMessageHandler previous = qInstallMessageHandler(collect);
    {
        // An installed training environment: the window asks for none.
        testutil::TempDir tenv;
        saveTenvPath(QString::fromStdString(tenv.path().u8string()));
        QQmlApplicationEngine engine;
        auto* window = loadWindow(engine);
        ASSERT_TRUE(window) << warnings.join("\n").toStdString();
        EXPECT_EQ(window->title(), "Quorvine Voice Cloning");
        EXPECT_EQ(window->width(), 1024);
        EXPECT_EQ(window->minimumHeight(), 650);
        EXPECT_TRUE(window->flags() & Qt::FramelessWindowHint);

        QObject* navUtil = window->findChild<QObject*>("navUtil");
        QObject* mainLeft = window->findChild<QObject*>("mainLeft");
        ASSERT_TRUE(navUtil && mainLeft);
        EXPECT_EQ(navUtil->property("currentSource").toString(), "Recording.qml");
        EXPECT_EQ(mainLeft->property("current").toString(), "recording");
        QQuickItem* root = window->contentItem();
        EXPECT_TRUE(findNamed(root, "navEntry_recording"));
        EXPECT_TRUE(findNamed(root, "navEntry_training"));

        // The training page opens a training that exists.
        TrainingRecord training;
        std::string trainingDir = (trainingRoot() / "Window").u8string();
        ASSERT_TRUE(training.create(trainingDir, "Window", "", ""));
        training.setBatchSize(2);
        ASSERT_TRUE(training.save());
        const QVariantMap trainingProps{{"trainingPath", QString::fromStdString(trainingDir)}};

        // RecordingDetail.qml needs a recording: the recording pages' test shows it.
        const std::vector<std::pair<QString, QString>> pages = {
            {"Trainings.qml", "training"}, {"Training.qml", "training"}, {"Recording.qml", "recording"}};
        for (const auto& [page, entry] : pages) {
            SCOPED_TRACE(page.toStdString());
            QVariantMap props = page == "Training.qml" ? trainingProps : QVariantMap();
            QMetaObject::invokeMethod(navUtil, "nav", Q_ARG(QVariant, page), Q_ARG(QVariant, props));
            // The training page leaves once its model has closed.
            EXPECT_TRUE(testutil::waitFor([&] { return navUtil->property("currentSource").toString() == page; }, testutil::hangLimitMs));
            EXPECT_EQ(mainLeft->property("current").toString(), entry);
            auto* shown = navUtil->property("currentPage").value<QQuickItem*>();
            EXPECT_TRUE(shown && shown->isVisible());
        }

        // Buttons with long labels take the width of their label here.
        showMsgboxYesNo(MessageBoxContext::instance(), "", "Question", nullptr, nullptr, MessageBoxContext::Question,
                        "Remove the whole recording", "No");
        QObject* longButton = nullptr;
        ASSERT_TRUE(testutil::waitFor([&] { return (longButton = findNamed(root, "msgboxButton0")); }, testutil::hangLimitMs));
        QObject* shortButton = findNamed(root, "msgboxButton1");
        ASSERT_TRUE(shortButton);
        EXPECT_GT(longButton->property("width").toReal(), 80.0);
        EXPECT_EQ(shortButton->property("width").toReal(), 80.0);
        QMetaObject::invokeMethod(shortButton, "clicked");
        EXPECT_TRUE(testutil::waitFor([&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return !findNamed(root, "msgboxButton1");
        }, testutil::hangLimitMs));
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
}

namespace {

void click(QObject* button)
{
    ASSERT_TRUE(button);
    QMetaObject::invokeMethod(button, "clicked");
}

// Waits for a named item, optionally also for it to be shown.
QObject* waitNamed(QQuickItem* root, const QString& name, bool visible = false)
{
    QObject* found = nullptr;
    testutil::waitFor([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        found = findNamed(root, name);
        return found && (!visible || found->property("visible").toBool());
    }, testutil::hangLimitMs);
    return found;
}

bool waitGone(QQuickItem* root, const QString& name)
{
    return testutil::waitFor([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return !findNamed(root, name);
    }, testutil::hangLimitMs);
}

} // namespace

TEST(KelmaridonWindow, RecordingPagesCreateRecordAndReopen)
{
    namespace fs = std::filesystem;
    rectest::useDiskAudio();
    fs::path folders = RecordingProject::rootDir();
    fs::remove_all(folders);
    {
        RecordingProject old;
        ASSERT_TRUE(old.open(pathToUtf8(folders / "old"), "Old one", "de-de")) << old.lastError();
    }
    warnings.clear();
    QtMessageHandler previous = qInstallMessageHandler(collect);
    {
        testutil::TempDir tenv;
        saveTenvPath(QString::fromStdString(tenv.path().u8string()));
        QQmlApplicationEngine engine;
        auto* window = loadWindow(engine);
        ASSERT_TRUE(window) << warnings.join("\n").toStdString();
        QObject* navUtil = window->findChild<QObject*>("navUtil");
        QQuickItem* root = window->contentItem();
        auto source = [&] { return navUtil->property("currentSource").toString(); };
        // The shown page: its items and popups, not those of pages being unloaded.
        auto page = [&] { return navUtil->property("currentPage").value<QQuickItem*>(); };

        // The list page: one recording; "New Record" opens the form.
        QObject* list = waitNamed(page(), "recordingList");
        ASSERT_TRUE(list);
        EXPECT_EQ(list->property("count").toInt(), 1);
        click(findNamed(page(), "recordingNew"));
        QObject* nameField = waitNamed(page(), "recordingNameField");
        ASSERT_TRUE(nameField);
        EXPECT_TRUE(nameField->property("text").toString().startsWith("Recording")) << nameField->property("text").toString().toStdString();
        EXPECT_EQ(findNamed(page(), "recordingLangBox")->property("currentText").toString(), "English");
        nameField->setProperty("text", "  Page test ");
        QCoreApplication::processEvents();
        click(findNamed(page(), "settingOk"));
        ASSERT_TRUE(testutil::waitFor([&] { return source() == "RecordingDetail.qml"; }, testutil::hangLimitMs));
        ASSERT_TRUE(waitGone(page(), "recordingNameField"));

        // The new recording opens with the prompt popup.
        QObject* name = waitNamed(page(), "recordingName");
        ASSERT_TRUE(name);
        EXPECT_EQ(name->property("text").toString(), "Page test - English");
        fs::path take = folders / "Page test" / "wav" / "1.wav";
        click(waitNamed(page(), "promptStart", true));
        EXPECT_TRUE(waitNamed(page(), "promptStop", true));
        ASSERT_TRUE(testutil::waitFor([&] { return rectest::fileSize(rectest::partOf(take)) > 44 + rectest::kSecond; }, testutil::hangLimitMs));
        click(findNamed(page(), "promptStop"));
        EXPECT_TRUE(waitNamed(page(), "promptAgain", true));
        auto* detail = page()->property("detailModel").value<QObject*>();
        ASSERT_TRUE(detail);
        QSignalSpy playing(detail, SIGNAL(playingIdChanged()));
        click(waitNamed(page(), "promptPlay", true));
        EXPECT_TRUE(testutil::waitFor([&] { return playing.count() == 2; }, testutil::hangLimitMs)); // started, ended
        EXPECT_TRUE(waitNamed(page(), "promptPlay", true));
        click(findNamed(page(), "promptNext"));
        EXPECT_EQ(findNamed(page(), "promptNumber")->property("text").toString(), "#2");
        click(findNamed(page(), "promptDone"));
        ASSERT_TRUE(waitGone(page(), "promptDone"));
        EXPECT_TRUE(rectest::isValidTake(take));
        QObject* recList = findNamed(page(), "recList");
        ASSERT_TRUE(recList);
        EXPECT_EQ(recList->property("count").toInt(), 1);
        EXPECT_EQ(findNamed(page(), "recordingCount")->property("text").toString(), "Sentences: 1");

        // A double click opens the recorded sentence without "Next".
        QMetaObject::invokeMethod(waitNamed(page(), "recItem0"), "edit");
        QObject* next = waitNamed(page(), "promptNext");
        ASSERT_TRUE(next);
        EXPECT_FALSE(next->property("visible").toBool());
        EXPECT_TRUE(findNamed(page(), "promptAgain")->property("visible").toBool());
        click(findNamed(page(), "promptDone"));
        ASSERT_TRUE(waitGone(page(), "promptDone"));

        // Back on the list the new recording is there; opened again, it holds its sentence.
        QMetaObject::invokeMethod(navUtil, "nav", Q_ARG(QVariant, "Recording.qml"), Q_ARG(QVariant, QVariantMap()));
        list = waitNamed(page(), "recordingList");
        ASSERT_TRUE(list);
        EXPECT_EQ(list->property("count").toInt(), 2);
        QVariantMap props{{"recordingPath", QString::fromStdString(pathToUtf8(folders / "Page test"))}};
        QMetaObject::invokeMethod(navUtil, "nav", Q_ARG(QVariant, "RecordingDetail.qml"), Q_ARG(QVariant, props));
        recList = waitNamed(page(), "recList");
        ASSERT_TRUE(recList);
        EXPECT_EQ(recList->property("count").toInt(), 1);
        EXPECT_TRUE(findNamed(page(), "recordingAdd")->property("visible").toBool());
        EXPECT_FALSE(findNamed(page(), "promptDone"));

        // The row menu's "Delete" asks first.
        QMetaObject::invokeMethod(findNamed(page(), "recMenu0"), "remove");
        click(waitNamed(root, "msgboxButton0"));
        EXPECT_TRUE(testutil::waitFor([&] { return recList->property("count").toInt() == 0; }, testutil::hangLimitMs));
        EXPECT_EQ(findNamed(page(), "recordingCount")->property("text").toString(), "Sentences: 0");
        ASSERT_TRUE(waitGone(root, "msgboxButton0"));

        // A recording that is gone: an error, and the list again.
        props["recordingPath"] = QString::fromStdString(pathToUtf8(folders / "gone"));
        QMetaObject::invokeMethod(navUtil, "nav", Q_ARG(QVariant, "RecordingDetail.qml"), Q_ARG(QVariant, props));
        click(waitNamed(root, "msgboxButton0"));
        EXPECT_TRUE(testutil::waitFor([&] { return source() == "Recording.qml"; }, testutil::hangLimitMs));
        EXPECT_FALSE(fs::exists(folders / "gone"));
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
}

namespace {

// A real click in the middle of a shown item, through the window.
void clickOn(QQuickWindow* window, QObject* object)
{
    auto* item = qobject_cast<QQuickItem*>(object);
    ASSERT_TRUE(item && item->isVisible());
    testutil::clickCentre(window, item);
}

bool shown(QObject* object)
{
    auto* item = qobject_cast<QQuickItem*>(object);
    return item && item->isVisible();
}

} // namespace

TEST(KelmaridonWindow, TheHeaderStaysUsableDuringATakeAndClosingEndsTheTakeAsStopDoes)
{
    namespace fs = std::filesystem;
    rectest::useDiskAudio();
    fs::path dir = RecordingProject::rootDir() / "Header";
    fs::remove_all(RecordingProject::rootDir());
    {
        RecordingProject created;
        ASSERT_TRUE(created.open(pathToUtf8(dir), "Header", "en-us")) << created.lastError();
    }
    const fs::path take = dir / "wav" / "1.wav";
    warnings.clear();
    QtMessageHandler previous = qInstallMessageHandler(collect);
    {
        testutil::TempDir tenv;
        saveTenvPath(QString::fromStdString(tenv.path().u8string()));
        QQmlApplicationEngine engine;
        QSignalSpy quit(&engine, &QQmlEngine::quit);
        auto* window = loadWindow(engine);
        ASSERT_TRUE(window) << warnings.join("\n").toStdString();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        QObject* navUtil = window->findChild<QObject*>("navUtil");
        QQuickItem* root = window->contentItem();
        auto page = [&] { return navUtil->property("currentPage").value<QQuickItem*>(); };
        QVariantMap props{{"recordingPath", QString::fromStdString(pathToUtf8(dir))}};
        QMetaObject::invokeMethod(navUtil, "nav", Q_ARG(QVariant, "RecordingDetail.qml"), Q_ARG(QVariant, props));

        // A take runs in the prompt popup.
        clickOn(window, waitNamed(page(), "promptStart", true));
        ASSERT_TRUE(waitNamed(page(), "promptStop", true));
        ASSERT_TRUE(testutil::waitFor([&] { return rectest::fileSize(rectest::partOf(take)) > 44 + rectest::kSecond; }, testutil::hangLimitMs));

        // The page below stays shut off: "Train Now" opens no form.
        clickOn(window, findNamed(page(), "recordingTrain"));
        QCoreApplication::processEvents();
        EXPECT_FALSE(findNamed(page(), "createTrainingForm"));
        // The header's menu opens over it, and Escape closes the menu only.
        QObject* about = findNamed(root, "aboutItem");
        ASSERT_TRUE(about);
        EXPECT_FALSE(shown(about));
        clickOn(window, findNamed(root, "menuButton"));
        EXPECT_TRUE(testutil::waitFor([&] { return shown(about); }, testutil::hangLimitMs));
        QTest::keyClick(window, Qt::Key_Escape);
        EXPECT_TRUE(testutil::waitFor([&] { return !shown(about); }, testutil::hangLimitMs));
        EXPECT_TRUE(shown(findNamed(page(), "promptStop")));
        EXPECT_EQ(rectest::statusOf(dir, 1), 0);

        // The window's close button: the take ends as "Stop Recording" ends it, then the program quits.
        clickOn(window, findNamed(root, "closeButton"));
        EXPECT_TRUE(testutil::waitFor([&] { return quit.count() == 1; }, testutil::hangLimitMs));
        EXPECT_TRUE(rectest::isValidTake(take));
        EXPECT_FALSE(fs::exists(rectest::partOf(take)));
        EXPECT_EQ(rectest::statusOf(dir, 1), 1);
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
}

TEST(KelmaridonWindow, ARetakeOfOneShortSoundIsRefusedWithAMessageAndTheGoodTakeStays)
{
    namespace fs = std::filesystem;
    fs::path dir = RecordingProject::rootDir() / "Burst";
    fs::remove_all(RecordingProject::rootDir());
    {
        RecordingProject created;
        ASSERT_TRUE(created.open(pathToUtf8(dir), "Burst", "en-us")) << created.lastError();
    }
    const fs::path take = dir / "wav" / "1.wav";
    testutil::TempDir tmp;
    warnings.clear();
    QtMessageHandler previous = qInstallMessageHandler(collect);
    {
        testutil::TempDir tenv;
        saveTenvPath(QString::fromStdString(tenv.path().u8string()));
        QQmlApplicationEngine engine;
        // Closed before the page and its recorder go.
        rectest::FifoMicrophone mic(tmp.path() / "microphone.fifo");
        auto* window = loadWindow(engine);
        ASSERT_TRUE(window) << warnings.join("\n").toStdString();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        QObject* navUtil = window->findChild<QObject*>("navUtil");
        QQuickItem* root = window->contentItem();
        auto page = [&] { return navUtil->property("currentPage").value<QQuickItem*>(); };
        QVariantMap props{{"recordingPath", QString::fromStdString(pathToUtf8(dir))}};
        QMetaObject::invokeMethod(navUtil, "nav", Q_ARG(QVariant, "RecordingDetail.qml"), Q_ARG(QVariant, props));
        // Presses the button, lets the microphone give exactly the samples, then presses "Stop Recording".
        auto record = [&](const char* button, const QByteArray& samples) {
            clickOn(window, waitNamed(page(), button, true));
            ASSERT_TRUE(waitNamed(page(), "promptStop", true));
            ASSERT_TRUE(mic.feed(samples));
            ASSERT_TRUE(testutil::waitFor([&] { return rectest::fileSize(rectest::partOf(take)) == 44 + samples.size(); },
                                          testutil::hangLimitMs));
            clickOn(window, findNamed(page(), "promptStop"));
        };
        auto count = [&] { return findNamed(page(), "recordingCount")->property("text").toString(); };

        // A good take of 6.4 s of speech.
        record("promptStart", rectest::speech(6.4));
        ASSERT_TRUE(waitNamed(page(), "promptAgain", true));
        const QByteArray accepted = testutil::readFile(take);
        EXPECT_EQ(accepted.size(), 44 + 614400);
        EXPECT_EQ(count(), "Sentences: 1");

        // "Try again" where the microphone gives a tenth of a second of sound, then zeros.
        record("promptAgain", rectest::speech(3).mid(rectest::kSecond, rectest::kSecond / 10) +
                                  QByteArray(5 * rectest::kSecond, '\0'));
        auto* text = qobject_cast<QQuickItem*>(waitNamed(root, "msgboxText", true));
        ASSERT_TRUE(text);
        QString message;
        QMetaObject::invokeMethod(text, "getText", Q_RETURN_ARG(QString, message), Q_ARG(int, 0),
                                  Q_ARG(int, text->property("length").toInt()));
        EXPECT_EQ(message, "The take was not kept: no speech was heard in it (only a short sound, or a steady hum, tone "
                         "or noise). Please read the whole sentence aloud. Your previous take of this sentence is "
                         "unchanged.");
        EXPECT_EQ(testutil::readFile(take), accepted);
        EXPECT_FALSE(fs::exists(rectest::partOf(take)));
        EXPECT_EQ(rectest::statusOf(dir, 1), 1);
        EXPECT_EQ(count(), "Sentences: 1");
        EXPECT_EQ(findNamed(page(), "recList")->property("count").toInt(), 1);
        clickOn(window, findNamed(root, "msgboxButton0"));
        EXPECT_TRUE(waitGone(root, "msgboxButton0"));
        EXPECT_TRUE(shown(findNamed(page(), "promptAgain")));
        mic.close();
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
}
