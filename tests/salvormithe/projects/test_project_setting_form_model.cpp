#include "projects/ProjectSettingFormModel.h"

#include "projects/ProjectFolder.h"

#include "MsgboxLog.h"
#include "ProjectTestUtil.h"
#include "TestUtil.h"

#include <QDate>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

std::string today()
{
    return "Project-" + QDate::currentDate().toString("yyyyMMdd").toStdString();
}

using ProjectSettingFormTest = projecttest::WithoutProjects;

} // namespace

TEST_F(ProjectSettingFormTest, ProposesAFreeNameAndHoldsItsValues)
{
    {
        ProjectSettingFormModel fresh;
        EXPECT_EQ(fresh.getProjectName().toStdString(), today());
        EXPECT_FLOAT_EQ(fresh.getSrate(), 1.0f);
        EXPECT_FALSE(fresh.getVoice().isValid());
        EXPECT_TRUE(fs::is_directory(ProjectFolder::projectsDir()));
    }
    fs::create_directories(ProjectFolder::projectsDir() / today());
    fs::create_directories(ProjectFolder::projectsDir() / (today() + "(1)"));
    ProjectSettingFormModel model;
    EXPECT_EQ(model.getProjectName().toStdString(), today() + "(2)");

    QSignalSpy srate(&model, &ProjectSettingFormModel::srateChanged);
    QSignalSpy name(&model, &ProjectSettingFormModel::projectNameChanged);
    QSignalSpy voice(&model, &ProjectSettingFormModel::voiceChanged);
    model.setSrate(1.0000001f);
    EXPECT_EQ(srate.count(), 0);
    model.setSrate(1.1f);
    model.setSrate(1.1f);
    EXPECT_EQ(srate.count(), 1);
    model.setProjectName(model.getProjectName());
    model.setProjectName("Mine");
    EXPECT_EQ(name.count(), 1);
    // Equal voices are equal by their fields, though held in two variants.
    model.setVoice(QVariant::fromValue(projecttest::voice("v", 1)));
    model.setVoice(QVariant::fromValue(projecttest::voice("v", 1)));
    EXPECT_EQ(voice.count(), 1);
    model.setVoice(QVariant::fromValue(projecttest::voice("v", 2)));
    model.setVoice(QVariant());
    EXPECT_EQ(voice.count(), 3);
}

TEST_F(ProjectSettingFormTest, OkRefusesAnEmptyNameOrVoice)
{
    MsgboxLog log;
    ProjectSettingFormModel model;
    QSignalSpy ok(&model, &ProjectSettingFormModel::okTodo);

    struct Case
    {
        QString name;
        QVariant voice;
        const char* refusal; // null: accepted
    } cases[] = {
        {"", QVariant::fromValue(projecttest::voice("v", 0)), "IDS_EMPTY_PROJECT_NAME"},
        {"", QVariant(), "IDS_EMPTY_PROJECT_NAME"},
        {"Named", QVariant(), "IDS_EMPTY_DEFAULT_VOCIE"},
        {"Named", QVariant::fromValue(LocalVoice()), "IDS_EMPTY_DEFAULT_VOCIE"},
        {"Named", QVariant(QString("v")), "IDS_EMPTY_DEFAULT_VOCIE"},
        {"   ", QVariant::fromValue(projecttest::voice("v", 0)), nullptr},
        {QString(ProjectFolder::maxNameLength + 1, 'n'), QVariant::fromValue(projecttest::voice("v", 0)),
         "IDS_PROJECT_NAME_TOO_LONG"},
        {QString(ProjectFolder::maxNameLength, 'n'), QVariant::fromValue(projecttest::voice("v", 0)), nullptr},
        // Characters are counted, not UTF-16 units.
        {QString::fromUcs4(U"\U0001F600").repeated(ProjectFolder::maxNameLength),
         QVariant::fromValue(projecttest::voice("v", 0)), nullptr},
        {QString::fromUcs4(U"\U0001F600").repeated(ProjectFolder::maxNameLength + 1),
         QVariant::fromValue(projecttest::voice("v", 0)), "IDS_PROJECT_NAME_TOO_LONG"},
        {"Named", QVariant::fromValue(projecttest::voice("v", 3)), nullptr},
    };
    int accepted = 0;
    for (const Case& c : cases) {
        log.boxes.clear();
        model.setProjectName(c.name);
        model.setVoice(c.voice);
        model.ok();
        if (c.refusal) {
            ASSERT_EQ(log.boxes.size(), 1) << c.refusal;
            EXPECT_EQ(log.boxes[0]["msg"].toString(), QString(c.refusal));
            EXPECT_EQ(log.boxes[0]["icon"].toInt(), int(MessageBoxContext::Alert));
            EXPECT_EQ(log.boxes[0]["buttonNames"].toList(), QVariantList({"OK"}));
        } else {
            ++accepted;
            EXPECT_TRUE(log.boxes.isEmpty());
        }
        EXPECT_EQ(ok.count(), accepted);
    }
}

TEST_F(ProjectSettingFormTest, AnUnusableProjectsFolderStillGivesAForm)
{
    testutil::writeFile(ProjectFolder::projectsDir(), "a file where the folder belongs");
    ProjectSettingFormModel model;
    EXPECT_EQ(model.getProjectName().toStdString(), today());
    fs::remove(ProjectFolder::projectsDir());
}
