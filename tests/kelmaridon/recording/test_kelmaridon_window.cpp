// kelmaridon's window from its resources, with the program's types and constants.
#include "common/MessageBoxContext.h"
#include "common/QmlProgram.h"
#include "recording/KelmaridonStartup.h"
#include "training/TrainingFolder.h"
#include "training/TrainingRecord.h"
#include "training/TrainingTypes.h"

#include "TestUtil.h"

#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>

#include <gtest/gtest.h>

namespace {

QStringList warnings;

void collect(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        warnings.append(text);
}

// Walks QObject children and visual children (delegates and popups hang on the latter).
QObject* findNamed(QObject* root, const QString& name)
{
    if (!root)
        return nullptr;
    if (root->objectName() == name)
        return root;
    QList<QObject*> next = root->children();
    if (auto* item = qobject_cast<QQuickItem*>(root)) {
        for (QQuickItem* child : item->childItems())
            if (!next.contains(child))
                next.append(child);
    }
    for (QObject* child : next) {
        if (QObject* found = findNamed(child, name))
            return found;
    }
    return nullptr;
}

} // namespace

TEST(KelmaridonWindow, MainPageAndEveryPageLoadWithoutWarnings)
{
    warnings.clear();
    QtMessageHandler previous = qInstallMessageHandler(collect);
    {
        KelmaridonStartup startup;
        addTrainingTypes(startup);
        startup.registerTypes();
        QQmlApplicationEngine engine;
        QmlProgram::setRootContext(engine, QObject::tr(KelmaridonStartup::prodName()));
        engine.load(QUrl(QStringLiteral("qrc:/qml/main.qml")));
        ASSERT_EQ(engine.rootObjects().size(), 1) << warnings.join("\n").toStdString();
        auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
        ASSERT_TRUE(window);
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

        const std::vector<std::pair<QString, QString>> pages = {
            {"Trainings.qml", "training"}, {"Training.qml", "training"},
            {"RecordingDetail.qml", "recording"}, {"Recording.qml", "recording"}};
        for (const auto& [page, entry] : pages) {
            SCOPED_TRACE(page.toStdString());
            QVariantMap props = page == "Training.qml" ? trainingProps : QVariantMap();
            QMetaObject::invokeMethod(navUtil, "nav", Q_ARG(QVariant, page), Q_ARG(QVariant, props));
            EXPECT_EQ(navUtil->property("currentSource").toString(), page);
            EXPECT_EQ(mainLeft->property("current").toString(), entry);
            auto* shown = navUtil->property("currentPage").value<QQuickItem*>();
            EXPECT_TRUE(shown && shown->isVisible());
        }

        // Buttons with long labels take the width of their label here.
        showMsgboxYesNo(MessageBoxContext::instance(), "", "Question", nullptr, nullptr, MessageBoxContext::Question,
                        "Remove the whole recording", "No");
        QObject* longButton = nullptr;
        ASSERT_TRUE(testutil::waitFor([&] { return (longButton = findNamed(root, "msgboxButton0")); }, 5000));
        QObject* shortButton = findNamed(root, "msgboxButton1");
        ASSERT_TRUE(shortButton);
        EXPECT_GT(longButton->property("width").toReal(), 80.0);
        EXPECT_EQ(shortButton->property("width").toReal(), 80.0);
        QMetaObject::invokeMethod(shortButton, "clicked");
        EXPECT_TRUE(testutil::waitFor([&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return !findNamed(root, "msgboxButton1");
        }, 5000));
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
}
