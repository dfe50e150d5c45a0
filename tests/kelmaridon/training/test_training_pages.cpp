// The training side of kelmaridon's window: the environment prompt and its
// busy cover, the trainings page and the new-training popup.
#include "common/MessageBoxContext.h"
#include "common/QmlProgram.h"
#include "recording/KelmaridonStartup.h"
#include "recording/RecordingProject.h"
#include "training/TrainingFolder.h"
#include "training/TrainingRecord.h"
#include "training/TrainingTypes.h"

#include "QuickFind.h"
#include "TrainingTestSupport.h"

#include <QQmlApplicationEngine>
#include <QRegularExpression>
#include <QQuickWindow>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

namespace fs = std::filesystem;
using namespace trainingtest;
using testutil::findNamed;
using testutil::waitFor;

namespace {

QStringList warnings;

void collect(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        warnings.append(text);
}

// kelmaridon's window as the program loads it.
class Window
{
public:
    Window()
    {
        warnings.clear();
        previous = qInstallMessageHandler(collect);
        static bool registered = false;
        if (!registered) {
            KelmaridonStartup startup;
            addTrainingTypes(startup);
            startup.registerTypes();
            registered = true;
        }
        engine = std::make_unique<QQmlApplicationEngine>();
        QmlProgram::setRootContext(*engine, "Quorvine Voice Cloning");
        engine->load(QUrl(QStringLiteral("qrc:/qml/main.qml")));
        if (!engine->rootObjects().isEmpty())
            window = qobject_cast<QQuickWindow*>(engine->rootObjects().first());
        if (window)
            navUtil = window->findChild<QObject*>("navUtil");
    }
    ~Window()
    {
        engine.reset();
        qInstallMessageHandler(previous);
    }

    QObject* find(const QString& name) const { return findNamed(window->contentItem(), name); }
    QObject* waitForNamed(const QString& name) const
    {
        QObject* found = nullptr;
        waitFor([&] { return (found = find(name)) != nullptr; }, 10000);
        return found;
    }
    QString source() const { return navUtil->property("currentSource").toString(); }
    void nav(const QString& page) const
    {
        QMetaObject::invokeMethod(navUtil, "nav", Q_ARG(QVariant, page), Q_ARG(QVariant, QVariantMap()));
    }
    QQuickItem* page() const { return navUtil->property("currentPage").value<QQuickItem*>(); }
    // Presses a button of the message box on top.
    void pressBox(int button) const
    {
        QObject* b = waitForNamed(QString("msgboxButton%1").arg(button));
        ASSERT_TRUE(b);
        QMetaObject::invokeMethod(b, "clicked");
        waitFor([&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return find(QString("msgboxButton%1").arg(button)) == nullptr;
        }, 10000);
    }

    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow* window = nullptr;
    QObject* navUtil = nullptr;

private:
    QtMessageHandler previous = nullptr;
};

void click(QObject* button)
{
    ASSERT_TRUE(button);
    QMetaObject::invokeMethod(button, "clicked");
}

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
    ASSERT_TRUE(model);
    QSignalSpy selectFolder(model, SIGNAL(toSelEnvPath()));

    // The prompt's button opens the folder dialog.
    QObject* button = w.waitForNamed("msgboxButton0");
    ASSERT_TRUE(button);
    EXPECT_EQ(button->property("text").toString(), "Select Folder");
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
    w.pressBox(0);
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
    ASSERT_TRUE(layer);
    EXPECT_FALSE(layer->property("visible").toBool());
    model->setProperty("installingEnv", true);
    model->setProperty("installingProgress", "Installing...45%");
    EXPECT_TRUE(layer->property("visible").toBool());
    EXPECT_EQ(w.find("busyText")->property("text").toString(), "Installing...45%");
    model->setProperty("installingEnv", false);
    EXPECT_FALSE(layer->property("visible").toBool());
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
    ASSERT_TRUE(w.window);
    w.nav("Trainings.qml");
    EXPECT_EQ(w.source(), "Trainings.qml");
    QObject* list = w.find("trainingList");
    ASSERT_TRUE(list);
    ASSERT_TRUE(waitFor([&] { return list->property("count").toInt() == 2; }, 10000));
    EXPECT_FALSE(w.find("trainingsEmpty")->property("visible").toBool());

    // Delete asks, Yes removes the row and the folder.
    click(w.waitForNamed("trainingDelete1"));
    w.pressBox(0);
    EXPECT_TRUE(waitFor([&] { return list->property("count").toInt() == 1; }, 10000));
    EXPECT_EQ(int(fs::exists(trainingRoot() / "First")) + int(fs::exists(trainingRoot() / "Second")), 1);

    // New Training opens the form; Cancel closes it.
    click(w.find("trainingsNew"));
    QObject* form = w.waitForNamed("createTrainingForm");
    ASSERT_TRUE(form);
    click(w.waitForNamed("createTrainingCancel"));
    EXPECT_TRUE(waitFor([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return w.find("createTrainingForm") == nullptr;
    }, 10000));

    // A row opens its training.
    QObject* row = w.waitForNamed("trainingRow0");
    ASSERT_TRUE(row);
    QMetaObject::invokeMethod(row, "open");
    EXPECT_TRUE(waitFor([&] { return w.source() == "Training.qml"; }, 10000));
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
}

TEST(TrainingPages, NewTrainingPopupCreatesTheTrainingAndOpensIt)
{
    testutil::TempDir tmp;
    saveTenvPath(q(tmp.path()));
    TrainingServer server(tmp.path() / "cat");
    fs::path recording = makeRecording("Popup");
    Window w;
    ASSERT_TRUE(w.window);
    w.nav("Trainings.qml");
    QObject* popup = nullptr;
    QVariant opened;
    QMetaObject::invokeMethod(w.page(), "newTraining", Q_RETURN_ARG(QVariant, opened));
    ASSERT_TRUE(w.waitForNamed("createTrainingForm"));
    for (QObject* o : w.window->findChildren<QObject*>())
        if (o->property("formModel").isValid() && o->property("canStart").isValid())
            popup = o;
    ASSERT_TRUE(popup);
    QObject* model = popup->property("formModel").value<QObject*>();
    ASSERT_TRUE(waitFor([&] { return !model->property("isLoading").toBool(); }, 30000));
    EXPECT_TRUE(model->property("newTrainingName").toString().startsWith("Voice"));
    EXPECT_EQ(model->property("newTrainingRecodingIdx").toInt(), -1);

    // Recording, model and consent chosen through the form's own controls.
    const QStringList options = model->property("recordingOptions").toStringList();
    const int idx = options.indexOf(QRegularExpression("^Popup - .*"));
    ASSERT_GT(idx, 0);
    QMetaObject::invokeMethod(w.find("recordingCombo"), "activated", Q_ARG(int, idx));
    EXPECT_EQ(model->property("newTrainingRecodingIdx").toInt(), idx);
    QMetaObject::invokeMethod(w.find("modelCombo"), "activated", Q_ARG(int, 1));
    EXPECT_FALSE(popup->property("canStart").toBool());
    QObject* check = w.find("policyCheck");
    check->setProperty("checked", true);
    QMetaObject::invokeMethod(check, "toggled");
    EXPECT_TRUE(popup->property("canStart").toBool());
    EXPECT_TRUE(w.find("createTrainingStart")->property("enabled").toBool());

    const std::string name = model->property("newTrainingName").toString().toStdString();
    click(w.find("createTrainingStart"));
    EXPECT_TRUE(waitFor([&] { return w.source() == "Training.qml"; }, 60000));
    EXPECT_TRUE(fs::exists(trainingRoot() / name / "manifest"));
    EXPECT_TRUE(waitFor([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return w.find("createTrainingForm") == nullptr;
    }, 10000));
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
}
