#include "common/FileUtils.h"
#include "common/Sqlite3Cursor.h"
#include "common/Sqlite3DB.h"
#include "common/Sqlite3Query.h"
#include "recording/PromptsDb.h"
#include "recording/RecordingDb.h"
#include "recording/RecordingProject.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <utime.h>

namespace fs = std::filesystem;

namespace {

int64_t scalar(const fs::path& file, const std::string& sql)
{
    Sqlite3DB db;
    Sqlite3Cursor c;
    if (!db.open(file.string(), "", SQLITE_OPEN_READONLY) || !db.query(sql.c_str(), c) || !c.next())
        return -1;
    return c.getInt64("n");
}

void setMtime(const fs::path& p, time_t t)
{
    utimbuf b{t, t};
    ASSERT_EQ(::utime(p.c_str(), &b), 0);
}

} // namespace

TEST(RecordingDb, SentencesMoveThroughTheirStates)
{
    testutil::TempDir tmp;
    std::string path = (tmp.path() / "recording.db").string();
    RecordingDb rdb;
    ASSERT_TRUE(rdb.create(path, "en-us")) << rdb.lastError();
    EXPECT_EQ(rdb.lang(), "en-us");

    // The schema text as written, one row a prompt in prompt order, one config row.
    {
        Sqlite3DB db;
        ASSERT_TRUE(db.open(path, "", SQLITE_OPEN_READONLY));
        Sqlite3Cursor c;
        ASSERT_TRUE(db.query("select name, sql from sqlite_master where name in ('config','recording','idx_recording_status') order by rowid", c));
        std::vector<std::string> sql;
        while (c.next())
            sql.push_back(c.getText("sql"));
        ASSERT_EQ(sql.size(), 3u);
        EXPECT_EQ(sql[0], "CREATE TABLE config(\n    name VARCHAR PRIMARY KEY,\n    val VARCHAR\n)");
        EXPECT_EQ(sql[1], "CREATE TABLE recording(\n    id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
                          "    text VARCHAR NOT NULL,\n    status INTEGER NOT NULL DEFAULT 0,\n    pid INTEGER\n)");
        EXPECT_EQ(sql[2], "CREATE INDEX idx_recording_status on recording(status)");
    }
    std::vector<Prompt> prompts = listPrompts("en-us");
    EXPECT_EQ(scalar(path, "select count(*) as n from recording"), int64_t(prompts.size()));
    EXPECT_EQ(scalar(path, "select count(*) as n from recording where status=0"), int64_t(prompts.size()));
    EXPECT_EQ(scalar(path, "select max(id) as n from recording"), int64_t(prompts.size()));
    EXPECT_EQ(scalar(path, "select count(*) as n from config"), 1);
    EXPECT_EQ(scalar(path, "select pid as n from recording where id=7"), prompts[6].pid);

    std::string text;
    EXPECT_EQ(rdb.nextPrompt(text), 1);
    EXPECT_EQ(text, prompts[0].text);
    ASSERT_TRUE(rdb.setRecorded(1));
    ASSERT_TRUE(rdb.removePrompt(2));    // from a prompt: kept as removed
    ASSERT_TRUE(rdb.setRecorded(4));
    EXPECT_EQ(rdb.nextPrompt(text), 3);
    EXPECT_EQ(scalar(path, "select status as n from recording where id=2"), -1);

    std::vector<RecordedPrompt> rows;
    ASSERT_TRUE(rdb.recordedPrompts(rows));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].id, 4);
    EXPECT_EQ(rows[1].id, 1);
    EXPECT_EQ(rows[1].text, prompts[0].text);
    EXPECT_EQ(rows[1].pid, prompts[0].pid);

    // A row from no prompt is deleted; an unknown id is no failure.
    {
        Sqlite3DB db;
        ASSERT_TRUE(db.open(path, "", SQLITE_OPEN_READWRITE));
        ASSERT_TRUE(db.exec(Sqlite3Query("insert into recording(text, pid) values('own words', 0)")));
    }
    int64_t own = int64_t(prompts.size()) + 1;
    ASSERT_TRUE(rdb.removePrompt(own));
    EXPECT_EQ(scalar(path, "select count(*) as n from recording where id=" + std::to_string(own)), 0);
    EXPECT_TRUE(rdb.setStatus(999999, 1));

    // Everything done: no next sentence.
    {
        Sqlite3DB db;
        ASSERT_TRUE(db.open(path, "", SQLITE_OPEN_READWRITE));
        ASSERT_TRUE(db.exec(Sqlite3Query("update recording set status=1 where status=0")));
    }
    EXPECT_EQ(rdb.nextPrompt(text), 0);

    // Open again: the language comes from the file.
    RecordingDb again;
    ASSERT_TRUE(again.open(path)) << again.lastError();
    EXPECT_EQ(again.lang(), "en-us");

    // Creating over an existing file fails at the schema and changes nothing.
    RecordingDb twice;
    EXPECT_FALSE(twice.create(path, "de-de"));
    EXPECT_EQ(twice.lastError(), "table config already exists");
    EXPECT_EQ(scalar(path, "select count(*) as n from config"), 1);
}

TEST(RecordingDb, FailuresCarryTheirTexts)
{
    testutil::TempDir tmp;
    RecordingDb unknown;
    EXPECT_FALSE(unknown.create((tmp.path() / "u.db").string(), "xx-yy"));
    EXPECT_EQ(unknown.lastError(), "RecordingDb, no prompts;");

    {
        Sqlite3DB db;
        ASSERT_TRUE(db.open((tmp.path() / "noconfig.db").string(), "", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE));
        ASSERT_TRUE(db.exec(Sqlite3Query("create table config(name varchar primary key, val varchar)")));
    }
    RecordingDb noConfig;
    EXPECT_FALSE(noConfig.open((tmp.path() / "noconfig.db").string()));
    EXPECT_EQ(noConfig.lastError(), "RecordingDb, Invalid config 'lang'.");

    RecordingDb missing;
    EXPECT_FALSE(missing.open((tmp.path() / "absent.db").string()));
    EXPECT_EQ(missing.lastError(), "RecordingDb, unable to open database file");
    EXPECT_FALSE(fs::exists(tmp.path() / "absent.db"));

    RecordingDb closed;
    std::string text;
    std::vector<RecordedPrompt> rows;
    EXPECT_EQ(closed.nextPrompt(text), -1);
    EXPECT_FALSE(closed.recordedPrompts(rows));
    EXPECT_FALSE(closed.removePrompt(1));
    EXPECT_EQ(closed.lastError(), "RecordingDb, invalid db pointer.");
}

TEST(RecordingProject, CreateOpenAndTakes)
{
    fs::path dir = RecordingProject::rootDir() / "Anna";
    {
        RecordingProject p;
        ASSERT_TRUE(p.open(dir.string(), "Anna", "en-us")) << p.lastError();
        EXPECT_EQ(p.name(), "Anna");
        EXPECT_EQ(p.lang(), "en-us");
        EXPECT_GT(p.modified(), 0);
        EXPECT_EQ(p.db().lang(), "en-us");
    }
    EXPECT_EQ(testutil::readFile(dir / "manifest"), QByteArray("{ \"name\": \"Anna\", \"lang\": \"en-us\" }"));
    EXPECT_EQ(scalar(dir / "recording.db", "select count(*) as n from recording"), 300);

    // Opening again with other values changes neither manifest nor database.
    {
        RecordingProject p;
        ASSERT_TRUE(p.open(dir.string(), "Bert", "de-de"));
        EXPECT_EQ(p.name(), "Anna");
        EXPECT_EQ(p.db().lang(), "en-us");
        EXPECT_FALSE(fs::exists(dir / "wav"));
        EXPECT_EQ(p.takePath(17), dir / "wav" / "17.wav");
        EXPECT_TRUE(fs::is_directory(dir / "wav"));
    }
    EXPECT_EQ(scalar(dir / "recording.db", "select count(*) as n from config where val='en-us'"), 1);

    // A damaged manifest reads as empty.
    testutil::writeFile(dir / "manifest", "[1,2]");
    {
        RecordingProject p;
        ASSERT_TRUE(p.openExisting(dir.string()));
        EXPECT_EQ(p.name(), "");
        EXPECT_EQ(p.lang(), "");
    }

    // A deleted project is not brought back by opening it.
    fs::remove_all(dir);
    RecordingProject gone;
    EXPECT_FALSE(gone.openExisting(dir.string()));
    EXPECT_NE(gone.lastError().find("No such file or directory"), std::string::npos) << gone.lastError();
    EXPECT_FALSE(fs::exists(dir));
}

TEST(RecordingProject, FailedCreateLeavesNothing)
{
    testutil::TempDir tmp;
    // A new folder: removed again with everything in it.
    fs::path fresh = tmp.path() / "fresh";
    RecordingProject p;
    EXPECT_FALSE(p.open(fresh.string(), "X", "xx-yy"));
    EXPECT_EQ(p.lastError(), "RecordingDb, no prompts;");
    EXPECT_FALSE(fs::exists(fresh));

    // A folder that was there before stays, without the half-made database.
    fs::path existing = tmp.path() / "existing";
    fs::create_directories(existing);
    testutil::writeFile(existing / "notes.txt", "keep");
    RecordingProject q;
    EXPECT_FALSE(q.open(existing.string(), "X", "xx-yy"));
    EXPECT_TRUE(fs::exists(existing / "notes.txt"));
    EXPECT_FALSE(fs::exists(existing / "recording.db"));
    EXPECT_FALSE(fs::exists(existing / "manifest"));

    // A folder that cannot be made.
    testutil::writeFile(tmp.path() / "file", "x");
    RecordingProject r;
    EXPECT_FALSE(r.open((tmp.path() / "file" / "sub").string(), "X", "en-us"));
    EXPECT_EQ(r.lastError(), "Not a directory");

    // A manifest that cannot be written fails the creation too.
    fs::path blocked = tmp.path() / "blocked";
    fs::create_directories(blocked / "manifest.tmp");
    RecordingProject s;
    EXPECT_FALSE(s.open(blocked.string(), "X", "en-us"));
    EXPECT_FALSE(s.lastError().empty());
    EXPECT_FALSE(fs::exists(blocked / "recording.db"));
}

TEST(RecordingProject, ListNewestFirstSkippingWhatIsNoProject)
{
    fs::path root = RecordingProject::rootDir();
    fs::remove_all(root);
    const std::vector<std::pair<std::string, time_t>> projects = {
        {"old", 1000000000}, {"newest", 1700000000}, {"middle", 1500000000}};
    for (const auto& [name, time] : projects) {
        RecordingProject p;
        ASSERT_TRUE(p.open((root / name).string(), name + " voice", "en-us")) << p.lastError();
    }
    fs::create_directories(root / "no-db");
    testutil::writeFile(root / "no-db" / "manifest", "{}");
    fs::create_directories(root / "no-manifest");
    testutil::writeFile(root / "no-manifest" / "recording.db", "");
    fs::create_directories(root / "manifest-folder" / "manifest");
    testutil::writeFile(root / "manifest-folder" / "recording.db", "");
    testutil::writeFile(root / "plain-file", "x");
    fs::create_symlink(root / "nowhere", root / "dangling");
    for (const auto& [name, time] : projects)
        setMtime(root / name, time);

    std::vector<RecordingInfo> list = listRecordings();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, "newest voice");
    EXPECT_EQ(list[0].modified, 1700000000);
    EXPECT_EQ(list[0].path, (root / "newest").string());
    EXPECT_EQ(list[0].lang, "en-us");
    EXPECT_EQ(list[1].name, "middle voice");
    EXPECT_EQ(list[2].name, "old voice");

    // No root yet: it is made, and the list is empty.
    fs::remove_all(root);
    EXPECT_TRUE(listRecordings().empty());
    EXPECT_TRUE(fs::is_directory(root));
}
