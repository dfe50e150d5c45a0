#include "common/FileUtils.h"
#include "common/Platform.h"

#include "TestUtil.h"

#include <QCoreApplication>
#include <QDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

TEST(Folders, DataFolderFollowsXdgAndIsCreated)
{
    testutil::TempDir tmp;
    std::string old = platform::getEnv("XDG_DATA_HOME");
    platform::setEnv("XDG_DATA_HOME", (tmp.path() / "xdg").string());
    fs::path dir = appDataDir();
    EXPECT_EQ(dir, tmp.path() / "xdg" / "quorvine_salvormithe_win");
    EXPECT_TRUE(fs::is_directory(dir));

    // Unset: ~/.local/share below the home folder.
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(roamingDir(), homeDir() / ".local" / "share");
    // Creation fails (a file in the way): the same path comes back.
    platform::setEnv("XDG_DATA_HOME", (tmp.path() / "blocked").string());
    std::ofstream(tmp.path() / "blocked") << "x";
    EXPECT_EQ(appDataDir(), tmp.path() / "blocked" / "quorvine_salvormithe_win");
    platform::setEnv("XDG_DATA_HOME", old);
}

TEST(Folders, HomeAndProgramAsQtSeesThem)
{
    std::string old = platform::getEnv("HOME");
    for (const char* home : {"/tmp/qv home", "/tmp//a/./b/", "/tmp/a/../b", "", "relative/x", "/", "//srv/u"}) {
        platform::setEnv("HOME", home);
        EXPECT_EQ(homeDir(), fs::u8path(QDir::home().absolutePath().toStdString())) << home;
        EXPECT_EQ(homeDir() / "quorvine_salvormithe_projects",
                  fs::u8path(QDir::home().absolutePath().toStdString()) / "quorvine_salvormithe_projects")
            << home;
    }
    platform::setEnv("HOME", old);
    EXPECT_EQ(platform::executablePath(), fs::u8path(QCoreApplication::applicationFilePath().toStdString()));
}

TEST(Folders, FileDialogsStartInAFolderThatIsThere)
{
    testutil::TempDir tmp;
    std::string oldHome = platform::getEnv("HOME"), oldConfig = platform::getEnv("XDG_CONFIG_HOME");
    platform::setEnv("HOME", tmp.path().string());
    platform::setEnv("XDG_CONFIG_HOME", (tmp.path() / "config").string());
    // No documents folder yet: the home folder.
    EXPECT_EQ(platform::documentsFolder().toStdString(), tmp.path().string());
    fs::create_directory(tmp.path() / "Documents");
    EXPECT_EQ(platform::documentsFolder().toStdString(), (tmp.path() / "Documents").string());
    platform::setEnv("HOME", oldHome);
    platform::setEnv("XDG_CONFIG_HOME", oldConfig);
}

TEST(Folders, EspeakDataIsFound)
{
    fs::path d = espeakDataDir();
    // Beside the program there is none, so the system's data folder is used.
    EXPECT_TRUE(fs::exists(d / "phontab")) << d;
}

TEST(Folders, ExistsAndCreate)
{
    testutil::TempDir tmp;
    fs::path deep = tmp.path() / "a" / "b" / "c";
    EXPECT_FALSE(pathExists(deep));
    EXPECT_TRUE(createDirs(deep));
    EXPECT_TRUE(pathExists(deep));
    EXPECT_FALSE(createDirs(deep));
    std::ofstream(tmp.path() / "f") << "x";
    EXPECT_TRUE(pathExists(tmp.path() / "f"));
    // Below a file nothing can be created.
    EXPECT_FALSE(createDirs(tmp.path() / "f" / "sub"));
    EXPECT_FALSE(pathExists(tmp.path() / "f" / "sub"));
}

TEST(UniquePath, NumbersFilesAndFolders)
{
    testutil::TempDir tmp;
    fs::path exp = tmp.path() / "Export";
    EXPECT_EQ(uniquePath(exp), exp);
    fs::create_directory(exp);
    fs::create_directory(tmp.path() / "Export(1)");
    EXPECT_EQ(uniquePath(exp), tmp.path() / "Export(2)");

    fs::path a = tmp.path() / "a.txt";
    std::ofstream(a) << "x";
    EXPECT_EQ(uniquePath(a), tmp.path() / "a(1).txt");
    std::ofstream(tmp.path() / "a(1).txt") << "x";
    EXPECT_EQ(uniquePath(a), tmp.path() / "a(2).txt");

    // A dangling link counts as taken.
    fs::create_symlink(tmp.path() / "nowhere", tmp.path() / "link");
    EXPECT_EQ(uniquePath(tmp.path() / "link"), tmp.path() / "link(1)");
}

TEST(UniquePath, FailsInsteadOfLooping)
{
    testutil::TempDir tmp;
    // A path below a regular file cannot be examined: ENOTDIR is not "not found".
    std::ofstream(tmp.path() / "file") << "x";
    fs::path below = tmp.path() / "file" / "x";
    fs::path res = uniquePath(below);
    EXPECT_TRUE(res.empty() || res == below);
}

TEST(Sanitize, ReservedNamesAndSpecialCharacters)
{
    EXPECT_EQ(sanitizeFileName("CON"), "%43%4f%4e");
    EXPECT_EQ(sanitizeFileName("nul"), "%6e%75%6c");
    EXPECT_EQ(sanitizeFileName("clock$"), "%63%6c%6f%63%6b%24");
    EXPECT_EQ(sanitizeFileName("CON.txt"), "CON.txt");
    EXPECT_EQ(sanitizeFileName("con1"), "con1");
    EXPECT_EQ(sanitizeFileName("LPT2"), "LPT2");
    EXPECT_EQ(sanitizeFileName("my:project"), "my%3aproject");
    EXPECT_EQ(sanitizeFileName("a/b:c"), "a%2fb%3ac");
    EXPECT_EQ(sanitizeFileName("100%"), "100%25");
    EXPECT_EQ(sanitizeFileName("tab\there"), "tab%09here");
    EXPECT_EQ(sanitizeFileName("a\\b*c?d\"e<f>g|h\ni\rj"), "a%5cb%2ac%3fd%22e%3cf%3eg%7ch%0ai%0dj");
    // UTF-8 passes unchanged.
    EXPECT_EQ(sanitizeFileName("Grüße 你好"), "Grüße 你好");
}

TEST(Sanitize, NeverNamesTheFolderItselfOrItsParent)
{
    for (const char* bad : {"", ".", ".."}) {
        std::string s = sanitizeFileName(bad);
        EXPECT_FALSE(s.empty());
        EXPECT_NE(s, ".");
        EXPECT_NE(s, "..");
        testutil::TempDir tmp;
        fs::path p = tmp.path() / s;
        EXPECT_EQ(p.parent_path(), tmp.path()) << bad;
        EXPECT_EQ(fs::weakly_canonical(p).parent_path(), fs::weakly_canonical(tmp.path()));
    }
    EXPECT_EQ(sanitizeFileName("..."), "...");
}

TEST(Sanitize, LongNamesAreCutWithoutSplittingACharacterOrAnEscape)
{
    const std::string a246(246, 'a');
    struct Case
    {
        std::string name, expected;
    } cases[] = {
        {std::string(300, 'a'), std::string(247, 'a')},
        {std::string(247, 'a'), std::string(247, 'a')},
        {a246 + "\xC3\xA9", a246},                              // a two-byte character across the limit
        {std::string(245, 'a') + "\xE2\x82\xAC", std::string(245, 'a')},
        {a246 + ":", a246},                                      // "%3a" across the limit
        {std::string(245, 'a') + ":", std::string(245, 'a')},
        {std::string(244, 'a') + ":bbb", std::string(244, 'a') + "%3a"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sanitizeFileName(c.name), c.expected) << c.name.size();
}

TEST(RegexReplace, WalksMatchesLeftToRight)
{
    std::regex digits("[0-9]+");
    EXPECT_EQ(regexReplace("a1b22c333", digits, [](const std::smatch& m) { return "<" + m.str() + ">"; }),
              "a<1>b<22>c<333>");
    EXPECT_EQ(regexReplace("none", digits, [](const std::smatch&) { return std::string("x"); }), "none");
}
