#include "projects/HomeModel.h"

#include "common/FileUtils.h"
#include "projects/ImportedText.h"
#include "projects/ProjectFolder.h"

#include "MsgboxLog.h"
#include "ProjectTestUtil.h"
#include "TestUtil.h"

#include <QSignalSpy>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace testutil;

namespace {

QVariant amy()
{
    return QVariant::fromValue(projecttest::voice("en_US-amy", 0));
}

QUrl fileUrl(const fs::path& p)
{
    return QUrl::fromLocalFile(QString::fromStdString(p.u8string()));
}

// Segment texts of the project in display order.
std::vector<std::string> segTexts(const QString& path)
{
    std::vector<std::string> texts;
    ProjectFolder project;
    if (project.open(utf8ToPath(path.toStdString())))
        project.db().loadSegs([&](const ProjectSeg& s) { texts.push_back(s.text); });
    return texts;
}

std::string manifestName(const QString& path)
{
    ProjectFolder project;
    project.loadManifest(utf8ToPath(path.toStdString()));
    return project.projectName();
}

class HomeModelTest : public projecttest::WithoutProjects
{
protected:
    // Converts the files and waits until the busy mask goes.
    void convert(HomeModel& model, const QList<QUrl>& urls)
    {
        model.convertFiles(urls, amy(), 1.0f);
        EXPECT_TRUE(model.getIsLoading());
        EXPECT_TRUE(waitFor([&] { return !model.getIsLoading(); }, testutil::hangLimitMs));
    }

    TempDir files;
};

} // namespace

TEST(ImportedText, DecodesUtf8AndReadsHtml)
{
    struct Case
    {
        QByteArray bytes;
        bool ok;
        QString text;
    } cases[] = {
        {"plain", true, "plain"},
        {"\xEF\xBB\xBF" "with mark", true, "with mark"},
        {"\xEF\xBB\xBF\xEF\xBB\xBF" "x", true, QString(QChar(0xFEFF)) + "x"},
        {"caf\xC3\xA9", true, QString::fromUtf8("caf\xC3\xA9")},
        {"latin1 caf\xE9!", false, ""},
        {"cut \xE3\x81", false, ""},
        {"\xFF\xFEu\0t\0", false, ""},
        {"", true, ""},
    };
    for (const Case& c : cases) {
        QString text;
        EXPECT_EQ(decodeUtf8Text(c.bytes, text), c.ok) << c.bytes.toHex().constData();
        EXPECT_EQ(text, c.text) << c.bytes.toHex().constData();
    }
    EXPECT_TRUE(isHtmlFileName("Story.HTML"));
    EXPECT_TRUE(isHtmlFileName("a.htm"));
    EXPECT_FALSE(isHtmlFileName("a.html.txt"));
    EXPECT_EQ(importedPlainText("x.html", "<p>a <b>b</b></p><script>var z;</script><p>c&nbsp;d</p>"),
              QString("a b\nc d"));
    EXPECT_EQ(importedPlainText("x.txt", "<p>a</p>"), QString("<p>a</p>"));
}

TEST_F(HomeModelTest, CreateProjectKeepsTheTypedNameAndGoesToIt)
{
    MsgboxLog log;
    HomeModel model;
    QSignalSpy toProject(&model, &HomeModel::gotoProject);

    model.createProject("CON", amy(), 1.2f);
    ASSERT_EQ(toProject.count(), 1);
    QString path = toProject.at(0).at(0).toString();
    EXPECT_EQ(utf8ToPath(path.toStdString()), ProjectFolder::projectsDir() / "%43%4f%4e");
    EXPECT_EQ(manifestName(path), "CON");
    EXPECT_EQ(projecttest::sqliteShell(utf8ToPath(path.toStdString()) / "ttsdata",
                                       "select uid, spk, round(srate, 2) from voice where id=0"),
              "en_US-amy|0|1.2");

    model.createProject("CON", amy(), 1.0f);
    ASSERT_EQ(toProject.count(), 2);
    EXPECT_EQ(utf8ToPath(toProject.at(1).at(0).toString().toStdString()).filename(), "%43%4f%4e(1)");
    EXPECT_TRUE(log.boxes.isEmpty());

    // A name too long for a folder: the folder's name is shortened, the project keeps the name.
    QString longName = QString(150, QChar(0xe9)) + QString(150, 'x');
    model.createProject(longName, amy(), 1.0f);
    ASSERT_EQ(toProject.count(), 3);
    EXPECT_LE(utf8ToPath(toProject.at(2).at(0).toString().toStdString()).filename().string().size(), 255u);
    EXPECT_EQ(manifestName(toProject.at(2).at(0).toString()), longName.toStdString());
    EXPECT_TRUE(log.boxes.isEmpty());

    // The longest name taken, of characters the manifest writes escaped, is listed again;
    // a longer one (a pasted text) is refused with its reason.
    const int half = ProjectFolder::maxNameLength / 2;
    const QString longest = QString(half, '"') + QString(ProjectFolder::maxNameLength - half, QChar(1));
    model.createProject(longest, amy(), 1.0f);
    ASSERT_EQ(toProject.count(), 4);
    std::vector<ProjectListItem> items;
    ProjectFolder::listProjects(items);
    EXPECT_EQ(std::count_if(items.begin(), items.end(),
                            [&](const ProjectListItem& i) { return i.name == longest.toStdString(); }),
              1);
    model.createProject(QString(70000, 'x'), amy(), 1.0f);
    EXPECT_EQ(toProject.count(), 4);
    ASSERT_EQ(log.boxes.size(), 1);
    EXPECT_EQ(log.boxes[0]["msg"].toString(), "IDS_PROJECT_NAME_TOO_LONG");
    EXPECT_EQ(items.size(), 4u);
    log.boxes.clear();
    toProject.clear();

    // The cap counts characters: 600 emoji (1,200 UTF-16 units) are a name.
    const QString emojis = QString::fromUcs4(U"\U0001F600").repeated(600);
    model.createProject(emojis, amy(), 1.0f);
    ASSERT_EQ(toProject.count(), 1);
    EXPECT_EQ(manifestName(toProject.at(0).at(0).toString()), emojis.toStdString());
    EXPECT_TRUE(log.boxes.isEmpty());
    toProject.clear();

    // A file where the projects folder belongs: an error box, and no project.
    fs::remove_all(ProjectFolder::projectsDir());
    writeFile(ProjectFolder::projectsDir(), "not a folder");
    model.createProject("Doomed", amy(), 1.0f);
    EXPECT_EQ(toProject.count(), 0);
    ASSERT_EQ(log.boxes.size(), 1);
    EXPECT_EQ(log.boxes[0]["icon"].toInt(), int(MessageBoxContext::Error));
    EXPECT_FALSE(log.boxes[0]["msg"].toString().isEmpty());
    fs::remove(ProjectFolder::projectsDir());
}

TEST_F(HomeModelTest, OneTextFileAndOneHtmlFileBecomeProjects)
{
    MsgboxLog log;
    HomeModel model;
    QSignalSpy toProject(&model, &HomeModel::gotoProject);
    QSignalSpy toProjects(&model, &HomeModel::gotoProjects);

    fs::path txt = files.path() / "a.txt";
    writeFile(txt, "\xEF\xBB\xBF" "First line.\r\n\r\n  Second line.\t\r\nThird \xE2\x80\x94 line.\r\n");
    convert(model, {fileUrl(txt)});
    ASSERT_EQ(toProject.count(), 1);
    QString path = toProject.at(0).at(0).toString();
    EXPECT_EQ(utf8ToPath(path.toStdString()).filename(), "a.txt");
    EXPECT_EQ(manifestName(path), "a.txt");
    EXPECT_EQ(segTexts(path),
              (std::vector<std::string>{"First line.", "Second line.", "Third \xE2\x80\x94 line."}));
    // The segments follow the project's default voice and rate.
    EXPECT_EQ(projecttest::sqliteShell(utf8ToPath(path.toStdString()) / "ttsdata",
                                       "select count(*) from seg where voice_id=0 and srate=0"),
              "3");

    fs::path html = files.path() / "Story.HTML";
    writeFile(html, "<html><head><title>T</title><style>p { color: red }</style></head><body>"
                    "<h1>Story</h1><p>Once upon a <b>time</b>.</p><p>Tom &amp; Jerry</p>"
                    "Before<br>After</body></html>");
    convert(model, {fileUrl(html)});
    ASSERT_EQ(toProject.count(), 2);
    path = toProject.at(1).at(0).toString();
    EXPECT_EQ(manifestName(path), "Story.HTML");
    EXPECT_EQ(segTexts(path),
              (std::vector<std::string>{"Story", "Once upon a time.", "Tom & Jerry", "Before", "After"}));
    EXPECT_EQ(toProjects.count(), 0);
    EXPECT_TRUE(log.boxes.isEmpty());

    // Nothing to convert: nothing happens.
    model.convertFiles({}, amy(), 1.0f);
    EXPECT_FALSE(model.getIsLoading());
    EXPECT_EQ(toProject.count(), 2);
}

TEST_F(HomeModelTest, ThreeFilesLeadToTheProjectList)
{
    HomeModel model;
    QSignalSpy toProject(&model, &HomeModel::gotoProject);
    QSignalSpy toProjects(&model, &HomeModel::gotoProjects);
    QList<QUrl> urls;
    for (const char* name : {"one.txt", "two #2.txt", "one.txt"}) {
        fs::path dir = files.path() / std::to_string(urls.size());
        fs::create_directories(dir);
        writeFile(dir / name, QByteArray("Text of ") + name);
        urls.append(fileUrl(dir / name));
    }
    convert(model, urls);
    EXPECT_EQ(toProjects.count(), 1);
    EXPECT_EQ(toProject.count(), 0);
    std::vector<ProjectListItem> items;
    ProjectFolder::listProjects(items);
    std::set<fs::path> folders;
    for (const ProjectListItem& item : items)
        folders.insert(item.path.filename());
    EXPECT_EQ(folders, (std::set<fs::path>{"one.txt", "two #2.txt", "one(1).txt"}));
}

TEST_F(HomeModelTest, AFailingFileStopsTheConversionWithItsReason)
{
    fs::path good = files.path() / "good.txt";
    fs::path after = files.path() / "after.txt";
    writeFile(good, "Good text.");
    writeFile(after, "After text.");
    fs::path folder = files.path() / "folder.txt";
    fs::create_directories(folder);
    fs::path latin1 = files.path() / "latin1.txt";
    writeFile(latin1, "Caf\xE9 au lait.");
    // Neither a FIFO nor a device is opened: reading either would never end.
    fs::path fifo = files.path() / "fifo.txt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::path huge = files.path() / "huge.txt";
    writeFile(huge, "");
    fs::resize_file(huge, 33u * 1024 * 1024);

    struct Case
    {
        fs::path bad;
        QString reason;
    } cases[] = {
        {folder, "directory"},
        {files.path() / "missing.txt", "No such file"},
        {latin1, "IDS_FILE_NOT_UTF8"},
        {fifo, "IDS_FILE_NOT_REGULAR"},
        {"/dev/zero", "IDS_FILE_NOT_REGULAR"},
        {huge, "IDS_FILE_TOO_LARGE"},
    };
    for (const Case& c : cases) {
        fs::remove_all(ProjectFolder::projectsDir());
        MsgboxLog log;
        HomeModel model;
        QSignalSpy toProject(&model, &HomeModel::gotoProject);
        QSignalSpy toProjects(&model, &HomeModel::gotoProjects);
        convert(model, {fileUrl(good), fileUrl(c.bad), fileUrl(after)});

        ASSERT_EQ(log.boxes.size(), 1) << c.bad;
        QString msg = log.boxes[0]["msg"].toString();
        EXPECT_TRUE(msg.contains(c.reason, Qt::CaseInsensitive)) << msg.toStdString();
        EXPECT_TRUE(msg.contains(QString::fromStdString(c.bad.filename().u8string()))) << msg.toStdString();
        EXPECT_EQ(log.boxes[0]["icon"].toInt(), int(MessageBoxContext::Error));
        EXPECT_EQ(toProject.count() + toProjects.count(), 0);
        std::vector<ProjectListItem> items;
        ProjectFolder::listProjects(items);
        ASSERT_EQ(items.size(), 1u) << c.bad;
        EXPECT_EQ(items[0].name, "good.txt");
    }
}

TEST_F(HomeModelTest, CloseEndsTheWorkerAndSendsThePageNowhere)
{
    {
        HomeModel idle;
        QSignalSpy closed(&idle, &HomeModel::toClose);
        idle.close();
        EXPECT_EQ(closed.count(), 1);
        EXPECT_FALSE(idle.getIsLoading());
    }

    QList<QUrl> urls;
    for (int i = 0; i < 20; ++i) {
        fs::path p = files.path() / ("f" + std::to_string(i) + ".txt");
        writeFile(p, "Line one.\nLine two.");
        urls.append(fileUrl(p));
    }
    HomeModel model;
    QSignalSpy toProject(&model, &HomeModel::gotoProject);
    QSignalSpy toProjects(&model, &HomeModel::gotoProjects);
    QSignalSpy closed(&model, &HomeModel::toClose);
    model.convertFiles(urls, amy(), 1.0f);
    model.close();
    EXPECT_TRUE(model.getIsLoading());
    ASSERT_TRUE(waitFor([&] { return closed.count() == 1; }, testutil::hangLimitMs));
    EXPECT_FALSE(model.getIsLoading());
    EXPECT_EQ(toProject.count() + toProjects.count(), 0);
}
