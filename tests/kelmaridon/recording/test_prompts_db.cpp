#include "common/Platform.h"
#include "common/Sqlite3Cursor.h"
#include "common/Sqlite3DB.h"
#include "recording/PromptsDb.h"

#include "TestUtil.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <map>
#include <set>

namespace fs = std::filesystem;

namespace {

std::string tableSql(Sqlite3DB& db, const std::string& name)
{
    Sqlite3Cursor c;
    db.query(("select sql from sqlite_master where name='" + name + "'").c_str(), c);
    return c.next() ? c.getText("sql") : std::string();
}

bool espeakKnows(const std::string& vlang)
{
    QProcess p;
    p.start("espeak-ng", {"-q", "-v", QString::fromStdString(vlang), "a"});
    return p.waitForFinished(testutil::hangLimitMs) && p.exitCode() == 0 && p.readAllStandardError().isEmpty();
}

} // namespace

TEST(PromptsDb, FirstUseWritesTheEmbeddedCopyAndReadsEveryLanguage)
{
    QByteArray embedded = embeddedPromptsDb();
    ASSERT_GT(embedded.size(), 4096);

    // The file lives in the user's own temporary folder.
    fs::path file = promptsFilePath();
    EXPECT_EQ(file.parent_path(), platform::userTempDir());
    EXPECT_EQ(file.filename(), "quorvine_salvormithe_prompts.db");
    ASSERT_TRUE(promptsDb().isOpen());
    EXPECT_EQ(testutil::readFile(file), embedded);

    Sqlite3DB& db = promptsDb();
    EXPECT_EQ(tableSql(db, "lang"),
              "CREATE TABLE lang(lang varchar PRIMARY KEY, name varchar, native varchar, vlang varchar, last integer null)");
    EXPECT_EQ(tableSql(db, "prompts"),
              "CREATE TABLE prompts(id INTEGER PRIMARY KEY AUTOINCREMENT, lang varchar, pid INTEGER, text varchar)");
    EXPECT_EQ(tableSql(db, "idx_prompts_lang"), "CREATE INDEX idx_prompts_lang on prompts(lang)");
    EXPECT_EQ(tableSql(db, "espeak_ng"),
              "CREATE TABLE espeak_ng(id INTEGER PRIMARY KEY AUTOINCREMENT, vlang varchar, vname varchar, vfile varchar)");

    // The ranked language first, then table order; every one with its sentences.
    const std::map<std::string, size_t> expected = {
        {"en-us", 300}, {"de-de", 150}, {"fr-fr", 150}, {"es-es", 150}, {"zh-cn", 150}};
    std::vector<PromptLang> langs = listPromptLangs();
    ASSERT_EQ(langs.size(), expected.size());
    EXPECT_EQ(langs[0].lang, "en-us");
    std::set<std::string> allTexts;
    for (const PromptLang& l : langs) {
        SCOPED_TRACE(l.lang);
        ASSERT_TRUE(expected.count(l.lang));
        EXPECT_FALSE(l.name.empty());
        EXPECT_FALSE(l.native.empty());
        EXPECT_TRUE(espeakKnows(l.vlang)) << l.vlang;
        PromptLang found = findPromptLang(l.lang);
        EXPECT_EQ(found.name, l.name);
        EXPECT_EQ(found.native, l.native);
        EXPECT_EQ(found.vlang, l.vlang);

        std::vector<Prompt> prompts = listPrompts(l.lang);
        ASSERT_EQ(prompts.size(), expected.at(l.lang));
        for (size_t i = 0; i < prompts.size(); ++i) {
            EXPECT_GE(prompts[i].pid, 1);
            EXPECT_FALSE(prompts[i].text.empty());
            if (i > 0) {
                EXPECT_GT(prompts[i].id, prompts[i - 1].id);
            }
            EXPECT_TRUE(allTexts.insert(prompts[i].text).second) << prompts[i].text;
        }
    }
    EXPECT_EQ(langs[0].name, "English (United States)");

    PromptLang unknown = findPromptLang("xx-yy");
    EXPECT_EQ(unknown.lang, "xx-yy");
    EXPECT_TRUE(unknown.name.empty() && unknown.native.empty() && unknown.vlang.empty());
    EXPECT_TRUE(listPrompts("xx-yy").empty());
}

TEST(PromptsDb, BrokenOrShortCopiesAreReplaced)
{
    testutil::TempDir tmp;
    QByteArray embedded = embeddedPromptsDb();
    const std::vector<std::pair<const char*, QByteArray>> cases = {
        {"missing", QByteArray()},
        {"empty", QByteArray("")},
        {"cut short", embedded.left(embedded.size() / 2)},
        {"header only", embedded.left(100)},
        {"not a database", QByteArray(8192, 'x')},
    };
    for (const auto& [what, content] : cases) {
        SCOPED_TRACE(what);
        fs::path file = tmp.path() / "prompts.db";
        fs::remove(file);
        if (std::string(what) != "missing")
            testutil::writeFile(file, content);
        Sqlite3DB db;
        ASSERT_TRUE(openPromptsFile(db, file));
        EXPECT_EQ(testutil::readFile(file), embedded);
        Sqlite3Cursor c;
        ASSERT_TRUE(db.query("select count(*) as n from prompts where lang='en-us'", c) && c.next());
        EXPECT_EQ(c.getInt("n"), 300);
        // No temporary copy is left beside it.
        EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()), 1);
    }

    // A whole copy is kept as it is.
    fs::path file = tmp.path() / "prompts.db";
    auto before = fs::last_write_time(file);
    Sqlite3DB db;
    ASSERT_TRUE(openPromptsFile(db, file));
    EXPECT_EQ(fs::last_write_time(file), before);

    // A folder that cannot hold the file: no database, nothing left behind.
    fs::path blocked = tmp.path() / "plain-file" / "prompts.db";
    testutil::writeFile(tmp.path() / "plain-file", "x");
    Sqlite3DB none;
    EXPECT_FALSE(openPromptsFile(none, blocked));
    EXPECT_FALSE(none.isOpen());
}
