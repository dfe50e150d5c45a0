#include "projects/ProjectsModel.h"

#include "common/FileUtils.h"
#include "projects/ProjectFolder.h"

#include "ModelCells.h"
#include "MsgboxLog.h"
#include "ProjectTestUtil.h"
#include "TestUtil.h"
#include "TreeChangeHold.h"

#include <QAbstractItemModelTester>
#include <QDateTime>
#include <QSignalSpy>

#include <memory>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace testutil;

namespace {

// A listed project folder: a manifest is all the list reads.
fs::path makeProject(const std::string& folder, const std::string& name, int64_t created)
{
    fs::path dir = ProjectFolder::projectsDir() / folder;
    fs::create_directories(dir);
    writeFile(dir / "manifest", QByteArray::fromStdString("{ \"project_name\": \"" + name +
                                                          "\", \"created\": " + std::to_string(created) + " }"));
    return dir;
}

using ProjectsModelTest = projecttest::WithoutProjects;

} // namespace

TEST_F(ProjectsModelTest, ListsNewestFirstWithTheirRoles)
{
    makeProject("old", "Old one", 0);
    fs::path newest = makeProject("new", "New one", 1700000200);
    makeProject("mid", "Middle", 1700000100);
    fs::create_directories(ProjectFolder::projectsDir() / "no-manifest");

    ProjectsModel model;
    QAbstractItemModel* items = model.projectsItemModel();
    QAbstractItemModelTester tester(items, QAbstractItemModelTester::FailureReportingMode::Warning);
    QSignalSpy reset(items, &QAbstractItemModel::modelReset);
    EXPECT_TRUE(waitFor([&] { return reset.count() == 1; }, testutil::hangLimitMs));

    EXPECT_EQ(column(items, "name"), QStringList({"New one", "Middle", "Old one"}));
    EXPECT_EQ(items->roleNames().values().size(), 4);
    EXPECT_EQ(cell(items, 2, "idx").toInt(), 2);
    EXPECT_EQ(cell(items, 0, "path").toString().toStdString(), newest.u8string());
    EXPECT_EQ(cell(items, 0, "created").toString(),
              QDateTime::fromSecsSinceEpoch(1700000200).toString("yyyy-MM-dd hh:mm:ss"));
    EXPECT_EQ(cell(items, 2, "created").toString(),
              QDateTime::fromSecsSinceEpoch(0).toString("yyyy-MM-dd hh:mm:ss"));
    EXPECT_FALSE(cell(items, 3, "name").isValid());
    EXPECT_FALSE(items->data(items->index(0, 0), 4).isValid());
}

TEST_F(ProjectsModelTest, RemovesTheConfirmedProjectWhereverItsRowIsNow)
{
    fs::path a = makeProject("a", "A", 400);
    makeProject("b", "B", 300);
    fs::path c = makeProject("c", "C", 200);
    fs::path d = makeProject("d", "D", 100);
    writeFile(c / "ttsdata", "data");
    fs::create_directories(c / "audio" / "seg1-sentences");

    MsgboxLog log;
    ProjectsModel model;
    QAbstractItemModel* items = model.projectsItemModel();
    QAbstractItemModelTester tester(items, QAbstractItemModelTester::FailureReportingMode::Warning);

    model.removeProject(-1);
    model.removeProject(4);
    EXPECT_TRUE(log.boxes.isEmpty());

    // No keeps the project.
    model.removeProject(0);
    ASSERT_EQ(log.boxes.size(), 1);
    EXPECT_EQ(log.boxes[0]["msg"].toString(), QString("IDS_CONFIRM_TO_REMOVE?"));
    EXPECT_EQ(log.boxes[0]["icon"].toInt(), int(MessageBoxContext::Question));
    EXPECT_EQ(log.boxes[0]["buttons"].toList(), QVariantList({int(MessageBoxContext::Yes), int(MessageBoxContext::No)}));
    log.press(0, 1);
    EXPECT_TRUE(fs::exists(a));
    EXPECT_EQ(items->rowCount(), 4);

    // Two boxes open at once: C (row 2) is asked for first, A (row 0) is
    // answered first. Each removal runs on a worker while the window goes on,
    // the list shows it is busy, and the result finds its row again.
    model.removeProject(2);
    model.removeProject(0);
    QSignalSpy changed(items, &QAbstractItemModel::dataChanged);
    QSignalSpy busy(&model, &ProjectsModel::isRemovingChanged);
    {
        TreeChangeHold hold;
        log.press(2, 0);
        EXPECT_TRUE(hold.checkMeanwhile([&] { return model.getIsRemoving() && fs::exists(a) && items->rowCount() == 4; }));
    }
    ASSERT_TRUE(waitFor([&] { return !model.getIsRemoving(); }, testutil::hangLimitMs));
    EXPECT_EQ(busy.count(), 2);
    EXPECT_FALSE(fs::exists(a));
    EXPECT_EQ(column(items, "name"), QStringList({"B", "C", "D"}));
    EXPECT_EQ(cell(items, 1, "idx").toInt(), 1);
    EXPECT_GE(changed.count(), 1);
    log.press(1, 0);
    ASSERT_TRUE(waitFor([&] { return items->rowCount() == 2; }, testutil::hangLimitMs));
    EXPECT_FALSE(fs::exists(c));
    EXPECT_TRUE(fs::exists(d));
    EXPECT_EQ(column(items, "name"), QStringList({"B", "D"}));
    EXPECT_EQ(cell(items, 1, "idx").toInt(), 1);

    // A folder deleted behind the program's back leaves the list quietly.
    fs::remove_all(d);
    model.removeProject(1);
    log.press(3, 0);
    ASSERT_TRUE(waitFor([&] { return items->rowCount() == 1; }, testutil::hangLimitMs));
    EXPECT_EQ(column(items, "name"), QStringList({"B"}));
    EXPECT_EQ(log.boxes.size(), 4);
}

TEST_F(ProjectsModelTest, FoldersWhoseManifestCannotBeReadAreNamedInOneMessage)
{
    makeProject("good", "Good", 100);
    const fs::path root = ProjectFolder::projectsDir();
    auto broken = [&](const std::string& folder, const QByteArray& manifest) {
        fs::create_directories(root / folder);
        writeFile(root / folder / "manifest", manifest);
    };
    broken("array", "[]");
    broken("invalid", "{\"project_name\": ");
    broken("empty", "");
    broken("a <b> & c", "7");
    fs::create_directories(root / "db-only");
    writeFile(root / "db-only" / "ttsdata", "");
    // A folder with neither is no project and goes unmentioned.
    fs::create_directories(root / "stray");

    MsgboxLog log;
    auto model = std::make_unique<ProjectsModel>();
    QAbstractItemModel* items = model->projectsItemModel();
    ASSERT_TRUE(waitFor([&] { return log.boxes.size() == 1; }, testutil::hangLimitMs));
    EXPECT_EQ(column(items, "name"), QStringList({"Good"}));
    const QString intro = QString("These project folders in %1 cannot be read and are not listed:")
                              .arg(QString::fromStdString(root.u8string()));
    EXPECT_EQ(log.boxes[0]["msg"].toString(),
              intro + "<br/>a &lt;b&gt; &amp; c<br/>array<br/>db-only<br/>empty<br/>invalid");
    EXPECT_EQ(log.boxes[0]["icon"].toInt(), int(MessageBoxContext::Warning));
    EXPECT_EQ(log.boxes[0]["buttons"].toList(), QVariantList({int(MessageBoxContext::OK)}));

    // A long list is cut after ten names.
    for (int i = 0; i < 7; ++i)
        broken("z" + std::to_string(i), "null");
    model = std::make_unique<ProjectsModel>();
    ASSERT_TRUE(waitFor([&] { return log.boxes.size() == 2; }, testutil::hangLimitMs));
    QStringList lines = log.boxes[1]["msg"].toString().split("<br/>");
    ASSERT_EQ(lines.size(), 12);
    EXPECT_EQ(lines[10], "z4");
    EXPECT_EQ(lines[11], "and 2 more");
}
