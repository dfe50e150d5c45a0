#include "common/FileUtils.h"
#include "projects/ProjectFolder.h"

#include "ProjectTestUtil.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include "common/TextUtils.h"

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <ctime>
#include <functional>
#include <set>

namespace fs = std::filesystem;
using projecttest::sqliteShell;
using projecttest::voice;

namespace {

class ProjectFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::error_code ec;
        fs::remove_all(ProjectFolder::projectsDir(), ec);
    }
    void TearDown() override { SetUp(); }

    fs::path projectPath(const std::string& name) { return ProjectFolder::projectsDir() / name; }

    void setCreated(const fs::path& folder, const QByteArray& value)
    {
        testutil::writeFile(folder / "manifest", "{ \"project_name\": \"p\", \"created\": " + value + " }");
    }
};

} // namespace

TEST_F(ProjectFolderTest, CreateWritesDatabaseManifestAndDefaultVoice)
{
    fs::path dir = projectPath("Mein Projekt");
    int64_t before = std::time(nullptr);
    {
        ProjectFolder p;
        ASSERT_TRUE(p.create(dir, "Mein Projekt ü", voice("amy", 2), 1.2f)) << p.error();
        EXPECT_EQ(p.projectName(), "Mein Projekt ü");
        EXPECT_GE(p.created(), before);
    }
    EXPECT_TRUE(testutil::readFile(dir / "manifest").startsWith("{ \"project_name\": \"Mein Projekt \xC3\xBC\", \"created\": "));
    EXPECT_EQ(sqliteShell(dir / "ttsdata", "PRAGMA integrity_check"), "ok");
    EXPECT_EQ(sqliteShell(dir / "ttsdata", "select id || uid || spk || color || srate from voice"),
              "0amy2#A22A2B1.20000004768372");
    EXPECT_FALSE(fs::exists(dir / "manifest.tmp"));

    ProjectFolder again;
    ASSERT_TRUE(again.open(dir)) << again.error();
    EXPECT_EQ(again.projectName(), "Mein Projekt ü");
    std::vector<ProjectVoice> voices;
    ASSERT_TRUE(again.db().loadVoices([&](const ProjectVoice& v) { voices.push_back(v); }, -1));
    ASSERT_EQ(voices.size(), 1u);
    EXPECT_EQ(voices[0].uid, "amy");
}

TEST_F(ProjectFolderTest, CreateOverAnExistingDatabaseReplacesOnlyTheDefaultVoice)
{
    fs::path dir = projectPath("p");
    {
        ProjectFolder p;
        ASSERT_TRUE(p.create(dir, "p", voice("amy", 0), 1.0f));
        std::vector<ProjectSeg> segs(2);
        ASSERT_TRUE(p.db().insertSegsAfter(0, segs, 0, 0));
    }
    ProjectFolder p;
    ASSERT_TRUE(p.create(dir, "p2", voice("bob", 1), 1.0f)) << p.error();
    EXPECT_EQ(sqliteShell(dir / "ttsdata", "select count(*) from seg"), "2");
    EXPECT_EQ(sqliteShell(dir / "ttsdata", "select group_concat(uid) from voice"), "bob");
}

TEST_F(ProjectFolderTest, CreateFailures)
{
    // A folder where the database file is expected.
    fs::path dir = projectPath("blocked");
    fs::create_directories(dir / "ttsdata");
    ProjectFolder p;
    EXPECT_FALSE(p.create(dir, "x", voice("amy", 0), 1.0f));
    EXPECT_FALSE(p.error().empty());

    // A folder where the manifest is expected.
    fs::path dir2 = projectPath("nomanifest");
    fs::create_directories(dir2 / "manifest");
    ProjectFolder p2;
    EXPECT_FALSE(p2.create(dir2, "x", voice("amy", 0), 1.0f));
    EXPECT_EQ(p2.error(), "Save manifest failed. Is a directory");

    // Names that mean the folder itself or its parent: nothing is written there.
    for (const char* name : {"..", "."}) {
        fs::path odd = ProjectFolder::projectsDir() / name;
        ProjectFolder p3;
        EXPECT_FALSE(p3.create(odd, "x", voice("amy", 0), 1.0f)) << name;
        EXPECT_EQ(p3.error(), "Invalid project folder (" + pathToUtf8(odd) + ").");
    }
    for (const fs::path& where : {ProjectFolder::projectsDir(), ProjectFolder::projectsDir().parent_path()}) {
        EXPECT_FALSE(fs::exists(where / "ttsdata"));
        EXPECT_FALSE(fs::exists(where / "manifest"));
    }
}

TEST_F(ProjectFolderTest, OpenNeedsTheDatabaseButNotTheManifest)
{
    fs::path dir = projectPath("only-manifest");
    fs::create_directories(dir);
    setCreated(dir, "5");
    ProjectFolder p;
    EXPECT_FALSE(p.open(dir));
    EXPECT_EQ(p.error(), "Invalid database.");

    fs::path dir2 = projectPath("only-db");
    {
        ProjectFolder made;
        ASSERT_TRUE(made.create(dir2, "gone", voice("amy", 0), 1.0f));
    }
    fs::remove(dir2 / "manifest");
    ProjectFolder p2;
    ASSERT_TRUE(p2.open(dir2)) << p2.error();
    EXPECT_EQ(p2.projectName(), "");
    EXPECT_EQ(p2.created(), 0);
}

TEST_F(ProjectFolderTest, ManifestRoundTripKeepsUnknownKeys)
{
    fs::path dir = projectPath("keys");
    ProjectFolder p;
    ASSERT_TRUE(p.create(dir, "first", voice("amy", 0), 1.0f));
    testutil::writeFile(dir / "manifest",
                        R"({"project_name": 12, "created": "1700000000", "extra": {"a": [1, 2]}})");
    ASSERT_TRUE(p.loadManifest(dir));
    EXPECT_EQ(p.projectName(), "12");
    EXPECT_EQ(p.created(), 1700000000);
    p.setProjectName("Renamed");
    ASSERT_TRUE(p.saveManifest()) << p.error();

    ProjectFolder q;
    ASSERT_TRUE(q.loadManifest(dir));
    EXPECT_EQ(q.projectName(), "Renamed");
    EXPECT_EQ(q.created(), 1700000000);
    EXPECT_TRUE(testutil::readFile(dir / "manifest").contains("\"extra\": { \"a\": [ 1, 2 ] }"));

    setCreated(dir, "\"abc\"");
    ASSERT_TRUE(q.loadManifest(dir));
    EXPECT_EQ(q.created(), 0);
    setCreated(dir, "17.9");
    ASSERT_TRUE(q.loadManifest(dir));
    EXPECT_EQ(q.created(), 17);
    setCreated(dir, "4102444800");
    ASSERT_TRUE(q.loadManifest(dir));
    EXPECT_EQ(q.created(), 4102444800LL);
    testutil::writeFile(dir / "manifest", "[1, 2]");
    EXPECT_FALSE(q.loadManifest(dir));
    testutil::writeFile(dir / "manifest", "{broken");
    EXPECT_FALSE(q.loadManifest(dir));
    EXPECT_EQ(q.projectName(), "");
}

TEST_F(ProjectFolderTest, FailedSaveLeavesTheOldManifest)
{
    fs::path dir = projectPath("safe");
    ProjectFolder p;
    ASSERT_TRUE(p.create(dir, "Safe", voice("amy", 0), 1.0f));
    QByteArray old = testutil::readFile(dir / "manifest");
    // The temporary file cannot be written.
    fs::create_directories(dir / "manifest.tmp");
    p.setProjectName("Never");
    EXPECT_FALSE(p.saveManifest());
    EXPECT_EQ(p.error(), "Is a directory");
    EXPECT_EQ(testutil::readFile(dir / "manifest"), old);
    std::vector<ProjectListItem> items;
    ProjectFolder::listProjects(items);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].name, "Safe");
}

TEST_F(ProjectFolderTest, ListIsNewestFirstAndSkipsNonProjects)
{
    std::vector<ProjectListItem> items;
    ProjectFolder::listProjects(items);
    EXPECT_TRUE(items.empty());
    EXPECT_TRUE(fs::is_directory(ProjectFolder::projectsDir()));

    for (auto [name, created] : {std::pair{"old", "100"}, {"new", "300"}, {"mid", "200"}}) {
        fs::create_directories(projectPath(name));
        testutil::writeFile(projectPath(name) / "manifest",
                            QByteArray("{\"project_name\": \"") + name + "\", \"created\": " + created + "}");
    }
    fs::create_directories(projectPath("no-manifest"));
    fs::create_directories(projectPath("array") );
    testutil::writeFile(projectPath("array") / "manifest", "[]");
    testutil::writeFile(projectPath("plain-file"), "{\"project_name\": \"file\"}");
    fs::create_directories(projectPath("dir-manifest") / "manifest");
    struct utimbuf times = {1600000000, 1600000000};
    ASSERT_EQ(::utime(projectPath("mid").c_str(), &times), 0);

    items.push_back({});
    ProjectFolder::listProjects(items);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].name, "new");
    EXPECT_EQ(items[1].name, "mid");
    EXPECT_EQ(items[2].name, "old");
    EXPECT_EQ(items[1].created, 200);
    EXPECT_EQ(items[1].modified, 1600000000);
    EXPECT_EQ(items[1].path, projectPath("mid"));
    EXPECT_NEAR(double(items[0].modified), double(std::time(nullptr)), 60.0);
}

TEST_F(ProjectFolderTest, ListingReadsOnlyManifestsThatAreSmallFiles)
{
    auto project = [&](const std::string& name) {
        ProjectFolder p;
        EXPECT_TRUE(p.create(projectPath(name), name, voice("amy", 0), 1.0f)) << p.error();
        return projectPath(name) / "manifest";
    };
    project("healthy");
    // A link to the manifest of a project kept elsewhere still counts.
    fs::path kept = project("kept");
    fs::rename(kept.parent_path(), ProjectFolder::projectsDir().parent_path() / "kept-elsewhere");
    fs::create_directories(projectPath("linked"));
    fs::create_symlink(ProjectFolder::projectsDir().parent_path() / "kept-elsewhere" / "manifest",
                       projectPath("linked") / "manifest");
    fs::path fifo = project("fifo");
    fs::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    fs::path device = project("device");
    fs::remove(device);
    fs::create_symlink("/dev/zero", device);
    fs::path huge = project("huge");
    fs::resize_file(huge, uint64_t(1) << 30);

    std::vector<ProjectListItem> items;
    ProjectFolder::listProjects(items);
    std::set<std::string> names;
    for (const ProjectListItem& item : items)
        names.insert(item.name);
    EXPECT_EQ(names, (std::set<std::string>{"healthy", "kept"}));

    // Opening such a project does not wait on its manifest either.
    ProjectFolder p;
    ASSERT_TRUE(p.open(fifo.parent_path())) << p.error();
    EXPECT_EQ(p.projectName(), "");
    fs::remove_all(ProjectFolder::projectsDir().parent_path() / "kept-elsewhere");
}

TEST_F(ProjectFolderTest, SaveManifestMakesItsTemporaryFileAfresh)
{
    fs::path dir = projectPath("p");
    ProjectFolder p;
    ASSERT_TRUE(p.create(dir, "p", voice("amy", 0), 1.0f));
    fs::path victim = dir / "victim.txt";
    testutil::writeFile(victim, "precious");
    fs::path tmp = dir / "manifest.tmp";
    std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"link to a file", [&] { fs::create_symlink(victim, tmp); }},
        {"dangling link", [&] { fs::create_symlink(dir / "nowhere", tmp); }},
        {"fifo", [&] { ::mkfifo(tmp.c_str(), 0644); }},
        {"stale file", [&] { testutil::writeFile(tmp, "stale"); }},
    };
    for (const auto& [what, makeTmp] : cases) {
        makeTmp();
        p.setProjectName(what);
        EXPECT_TRUE(p.saveManifest()) << what << ": " << p.error();
        EXPECT_EQ(testutil::readFile(victim), "precious") << what;
        EXPECT_FALSE(fs::exists(fs::symlink_status(tmp))) << what;
        EXPECT_FALSE(fs::exists(dir / "nowhere")) << what;
        ProjectFolder q;
        ASSERT_TRUE(q.open(dir));
        EXPECT_EQ(q.projectName(), what);
    }
}

TEST_F(ProjectFolderTest, LongProjectNamesGetFoldersWithinTheNameLimit)
{
    std::string euros;
    for (int i = 0; i < 100; ++i)
        euros += "\xE2\x82\xAC:";
    for (const std::string& name : {std::string(300, 'a'), euros}) {
        std::vector<fs::path> made;
        for (int copy = 0; copy < 2; ++copy) {
            fs::path path = uniquePath(ProjectFolder::projectsDir() / sanitizeFileName(name));
            ASSERT_FALSE(path.empty());
            EXPECT_LE(path.filename().string().size(), 255u);
            EXPECT_TRUE(isValidUtf8(path.filename().string()));
            ProjectFolder p;
            ASSERT_TRUE(p.create(path, name, voice("amy", 0), 1.0f)) << p.error();
            made.push_back(path);
        }
        EXPECT_EQ(made[1].filename().string(), made[0].filename().string() + "(1)");
        ProjectFolder p;
        ASSERT_TRUE(p.open(made[1]));
        EXPECT_EQ(p.projectName(), name);
    }
    // A folder name past the limit gets a message that says so.
    ProjectFolder p;
    EXPECT_FALSE(p.create(projectPath(std::string(300, 'x')), "x", voice("amy", 0), 1.0f));
    EXPECT_EQ(p.error().rfind("Cannot create the project folder. File name too long (", 0), 0u) << p.error();
}

TEST_F(ProjectFolderTest, AudioPathsAndRemoval)
{
    fs::path dir = projectPath("audio");
    ProjectFolder p;
    ASSERT_TRUE(p.create(dir, "a", voice("amy", 0), 1.0f));
    EXPECT_EQ(p.sentenceWavPath(12, 3), dir / "audio" / "seg12-sentences" / "3.wav");
    EXPECT_TRUE(fs::is_directory(dir / "audio" / "seg12-sentences"));
    EXPECT_EQ(p.segWavPath(12), dir / "audio" / "seg12.wav");
    EXPECT_EQ(p.mergedWavPath(), dir / "audio" / "audio.wav");

    testutil::writeFile(p.sentenceWavPath(12, 0), "RIFF");
    testutil::writeFile(p.segWavPath(12), "RIFF");
    testutil::writeFile(p.segWavPath(13), "RIFF");
    testutil::writeFile(p.mergedWavPath(), "RIFF");
    p.removeSegAudio(12);
    EXPECT_FALSE(fs::exists(dir / "audio" / "seg12-sentences"));
    EXPECT_FALSE(fs::exists(dir / "audio" / "seg12.wav"));
    EXPECT_FALSE(fs::exists(dir / "audio" / "audio.wav"));
    EXPECT_TRUE(fs::exists(dir / "audio" / "seg13.wav"));

    // A segment that was never converted.
    testutil::writeFile(p.mergedWavPath(), "RIFF");
    p.removeSegAudio(99);
    EXPECT_FALSE(fs::exists(dir / "audio" / "audio.wav"));
    EXPECT_TRUE(fs::exists(dir / "audio" / "seg13.wav"));
}

TEST(ProjectFolder, VoiceColors)
{
    EXPECT_EQ(ProjectFolder::voiceColor(0), "#A22A2B");
    EXPECT_EQ(ProjectFolder::voiceColor(55), "#A22A2B");
    EXPECT_EQ(ProjectFolder::voiceColor(1), "#010101");
    EXPECT_EQ(ProjectFolder::voiceColor(54), "#81FFD5");
    // Negative numbers are taken as unsigned: 2^32 - 1 mod 55 is 25.
    EXPECT_EQ(ProjectFolder::voiceColor(-1), "#BF00FE");
}
