// The training page from kelmaridon's resources, on a training whose tools are scripted.
#include "common/QmlProgram.h"
#include "recording/KelmaridonStartup.h"
#include "recording/PromptsDb.h"
#include "training/TrainingTypes.h"

#include "MsgboxLog.h"
#include "TrainingTestSupport.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>

#include <gtest/gtest.h>

namespace {

QStringList warnings;

void collect(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        warnings.append(text);
}

} // namespace

TEST(TrainingPage, ShowsTheTrainingAndItsControlsFollowTheRun)
{
    using namespace trainingtest;
    MsgboxLog boxes;
    testutil::TempDir tmp;
    useScriptedEnvironment(tmp.path() / "tenv", tmp.path() / "control");
    std::filesystem::path dir = makeTraining("Page Voice", "", 5);

    warnings.clear();
    QtMessageHandler previous = qInstallMessageHandler(collect);
    KelmaridonStartup startup;
    addTrainingTypes(startup);
    startup.registerTypes();
    QQmlEngine engine;
    QmlProgram::setRootContext(engine, "Quorvine Voice Cloning");
    QQmlComponent component(&engine, QUrl("qrc:/qml/Training.qml"));
    std::unique_ptr<QObject> page(component.createWithInitialProperties({{"trainingPath", q(dir)}, {"toStart", false}}));
    ASSERT_TRUE(page) << component.errorString().toStdString();
    auto item = [&](const char* name) { return page->findChild<QObject*>(name); };
    for (const char* name : {"trainingName", "trainingModified", "trainingGenerate", "trainingEpochs", "trainingQuality",
                             "trainingLogPane", "trainingStart", "trainingStop", "trainingBatchSize", "trainingGpu",
                             "trainingBusy"})
        ASSERT_TRUE(item(name)) << name;

    EXPECT_EQ(item("trainingName")->property("text").toString().toStdString(),
              "Page Voice - " + findPromptLang("en-us").native);
    EXPECT_FALSE(item("trainingModified")->property("text").toString().isEmpty());
    EXPECT_EQ(item("trainingEpochs")->property("text").toString(), "0");
    EXPECT_TRUE(item("trainingQuality")->property("text").toString().contains("Poor"));
    EXPECT_EQ(item("trainingBatchSize")->property("text").toString(), "5");
    EXPECT_TRUE(item("trainingStart")->property("visible").toBool());
    EXPECT_TRUE(item("trainingGenerate")->property("visible").toBool());
    EXPECT_FALSE(item("trainingStop")->property("visible").toBool());
    EXPECT_FALSE(item("trainingLogPane")->property("visible").toBool());
    EXPECT_FALSE(item("trainingBusy")->property("visible").toBool());

    // Start: the settings lock, the stop button and the log show.
    QMetaObject::invokeMethod(item("trainingStart"), "clicked");
    EXPECT_TRUE(item("trainingStop")->property("visible").toBool());
    EXPECT_FALSE(item("trainingStart")->property("visible").toBool());
    EXPECT_FALSE(item("trainingGenerate")->property("visible").toBool());
    EXPECT_TRUE(item("trainingBatchSize")->property("readOnly").toBool());
    EXPECT_FALSE(item("trainingGpu")->property("enabled").toBool());
    ASSERT_TRUE(testutil::waitFor([&] { return item("trainingLogPane")->property("visible").toBool(); }, testutil::hangLimitMs));
    ASSERT_TRUE(testutil::waitFor(
        [&] { return page->findChild<QObject*>("trainingLogs")->property("text").toString() == "training\n"; }, testutil::hangLimitMs));

    // Stop: back to the start button, with the box.
    QMetaObject::invokeMethod(item("trainingStop"), "clicked");
    EXPECT_TRUE(item("trainingStart")->property("visible").toBool());
    EXPECT_FALSE(item("trainingBatchSize")->property("readOnly").toBool());
    EXPECT_TRUE(item("trainingGpu")->property("enabled").toBool());
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].value("msg").toString(), "IDS_TRAINING_END!");

    page.reset();
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
}
