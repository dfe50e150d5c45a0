#include "projects/ProjectDb.h"

#include "ProjectTestUtil.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

namespace fs = std::filesystem;
using projecttest::sqliteShell;
using projecttest::voice;

namespace {

class ProjectDbTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        file = dir.path() / "ttsdata";
        ASSERT_TRUE(db.openProjectDb(file.string())) << db.lastError();
    }

    ProjectSeg seg(const std::string& text, int voiceId = 0)
    {
        ProjectSeg s;
        s.voice_id = voiceId;
        s.srate = 1.0f;
        s.text = text;
        return s;
    }

    // Appends segments with the given texts; their ids.
    std::vector<int> append(const std::vector<std::string>& texts)
    {
        std::vector<ProjectSeg> segs;
        for (const auto& t : texts)
            segs.push_back(seg(t));
        EXPECT_TRUE(db.insertSegsAfter(0, segs, 0, 0)) << db.lastError();
        std::vector<int> ids;
        for (const auto& s : segs)
            ids.push_back(s.id);
        return ids;
    }

    std::vector<ProjectSeg> segs()
    {
        std::vector<ProjectSeg> out;
        EXPECT_TRUE(db.loadSegs([&](const ProjectSeg& s) { out.push_back(s); })) << db.lastError();
        return out;
    }

    std::vector<std::string> texts()
    {
        std::vector<std::string> out;
        for (const auto& s : segs())
            out.push_back(s.text);
        return out;
    }

    // sort of every segment by its text.
    std::map<std::string, int> sortByText()
    {
        std::map<std::string, int> out;
        for (const QString& line : sqliteShell(file, "select text, sort from seg").split('\n')) {
            QStringList parts = line.split('|');
            if (parts.size() == 2)
                out[parts[0].toStdString()] = parts[1].toInt();
        }
        return out;
    }

    testutil::TempDir dir;
    fs::path file;
    ProjectDb db;
};

} // namespace

TEST_F(ProjectDbTest, CreatesTheSchemaInWalMode)
{
    EXPECT_EQ(sqliteShell(file, "select type || ':' || name from sqlite_master where name not like 'sqlite_%' "
                                "order by name"),
              "index:idx_seg_sort\nindex:idx_seg_voice\nindex:idx_voice_uid_spk\ntable:seg\ntable:voice");
    EXPECT_EQ(sqliteShell(file, "PRAGMA journal_mode"), "wal");
    EXPECT_EQ(sqliteShell(file, "select sql from sqlite_master where name='seg'").simplified(),
              "CREATE TABLE seg ( id INTEGER PRIMARY KEY AUTOINCREMENT, sort INTEGER NOT NULL DEFAULT 0, "
              "voice_id INTEGER NOT NULL, srate REAL, text TEXT, modified INTEGER NOT NULL DEFAULT 0, "
              "converted INTEGER NOT NULL DEFAULT 0, seconds REAL, sentences INTEGER )");

    // Opening again does not run the script (it would fail on the existing tables).
    append({"kept"});
    ProjectDb again;
    ASSERT_TRUE(again.openProjectDb(file.string())) << again.lastError();
    std::vector<std::string> seen;
    ASSERT_TRUE(again.loadSegs([&](const ProjectSeg& s) { seen.push_back(s.text); }));
    EXPECT_EQ(seen, std::vector<std::string>{"kept"});
}

TEST(ProjectDb, FilesThatAreNoProjectDatabaseAreRefusedWhenOpened)
{
    testutil::TempDir dir;
    // A project database with enough rows to span many pages, cut in half.
    fs::path whole = dir.path() / "whole";
    {
        ProjectDb db;
        ASSERT_TRUE(db.openProjectDb(whole.string()));
        std::vector<ProjectSeg> segs(300);
        for (auto& s : segs)
            s.text = std::string(200, 'q');
        ASSERT_TRUE(db.insertSegsAfter(0, segs, 0, 0));
    }
    QByteArray bytes = testutil::readFile(whole);
    struct Case
    {
        const char* what;
        QByteArray content;
        const char* sql; // run on the file by the sqlite3 program instead
        std::string error;
    } cases[] = {
        {"random bytes", QByteArray(3000, 'z'), nullptr, "Invalid database. file is not a database"},
        {"empty file", QByteArray(), nullptr, "Invalid database. no such table: seg"},
        {"truncated", bytes.left(bytes.size() / 2), nullptr, "Invalid database. database disk image is malformed"},
        {"other tables", {}, "create table notes(x)", "Invalid database. no such table: seg"},
        {"a column missing", {}, "create table seg(id, sort, voice_id, srate, text, modified, converted, seconds)",
         "Invalid database. no such column: sentences"},
    };
    for (const Case& c : cases) {
        fs::path file = dir.path() / c.what;
        if (c.sql)
            sqliteShell(file, c.sql);
        else
            testutil::writeFile(file, c.content);
        ProjectDb db;
        EXPECT_FALSE(db.openProjectDb(file.string())) << c.what;
        EXPECT_EQ(db.lastError(), c.error) << c.what;
        EXPECT_FALSE(db.isOpen()) << c.what;
    }
}

TEST(ProjectDb, CreationInAMissingFolderFailsWithTheSqliteMessage)
{
    testutil::TempDir dir;
    ProjectDb db;
    EXPECT_FALSE(db.openProjectDb((dir.path() / "no" / "such" / "ttsdata").string()));
    EXPECT_EQ(db.lastError(), "unable to open database file");
}

TEST_F(ProjectDbTest, InsertingAfterASegmentShiftsTheLaterRows)
{
    std::vector<int> ids = append({"s1", "s2", "s3", "s4", "s5", "s6", "s7"});
    std::map<std::string, int> before = sortByText();
    EXPECT_EQ(before["s5"], 5);
    EXPECT_EQ(before["s6"], 6);

    std::vector<ProjectSeg> add = {seg("a"), seg("b"), seg("c")};
    ASSERT_TRUE(db.insertSegsAfter(ids[4], add, 0, 0)) << db.lastError();
    std::map<std::string, int> after = sortByText();
    EXPECT_EQ(after["s5"], 5);
    EXPECT_EQ(after["a"], 6);
    EXPECT_EQ(after["b"], 7);
    EXPECT_EQ(after["c"], 8);
    EXPECT_EQ(after["s6"], 9);
    EXPECT_EQ(after["s7"], 10);
    EXPECT_EQ(after["s1"], 1);
    EXPECT_GT(add[0].id, ids.back());
    EXPECT_GT(add[0].modified, 0);
    EXPECT_EQ(texts(), (std::vector<std::string>{"s1", "s2", "s3", "s4", "s5", "a", "b", "c", "s6", "s7"}));
}

TEST_F(ProjectDbTest, InsertCountsAndMissingAnchors)
{
    std::vector<ProjectSeg> first = {seg("x"), seg("y")};
    ASSERT_TRUE(db.insertSegsAfter(999, first, 0, 0));
    EXPECT_EQ(sortByText(), (std::map<std::string, int>{{"x", 1}, {"y", 2}}));

    // After an id that does not exist: appended after the largest sort.
    std::vector<ProjectSeg> more = {seg("skip"), seg("m1"), seg("m2")};
    ASSERT_TRUE(db.insertSegsAfter(12345, more, 1, 99));
    EXPECT_EQ(more[0].id, 0);
    EXPECT_EQ(sortByText()["m2"], 4);

    std::vector<ProjectSeg> one = {seg("p"), seg("q")};
    ASSERT_TRUE(db.insertSegsAfter(first[0].id, one, 0, 1));
    EXPECT_EQ(texts(), (std::vector<std::string>{"x", "p", "y", "m1", "m2"}));

    std::vector<ProjectSeg> none = {seg("never")};
    EXPECT_TRUE(db.insertSegsAfter(0, none, 1, 0));
    EXPECT_EQ(texts().size(), 5u);
}

TEST_F(ProjectDbTest, VoicesDefaultRowAndLookups)
{
    EXPECT_EQ(db.maxVoiceId(), 0);
    ASSERT_TRUE(db.saveDefaultVoice(voice("amy", 0), 1.25f, "#A22A2B")) << db.lastError();
    EXPECT_EQ(db.findVoiceId(voice("amy", 0)), 0);
    EXPECT_EQ(db.addVoice(voice("bob", 3, "Bob"), "#010101"), 1);
    EXPECT_EQ(db.addVoice(voice("amy", 0), "#0000FD"), 2);
    EXPECT_EQ(db.findVoiceId(voice("amy", 0)), 2);
    EXPECT_EQ(db.findVoiceId(voice("bob", 3)), 1);
    EXPECT_EQ(db.findVoiceId(voice("bob", 4)), 0);
    EXPECT_EQ(db.maxVoiceId(), 2);

    std::vector<ProjectVoice> all;
    ASSERT_TRUE(db.loadVoices([&](const ProjectVoice& v) { all.push_back(v); }, -1));
    ASSERT_EQ(all.size(), 3u);
    std::vector<ProjectVoice> def;
    ASSERT_TRUE(db.loadVoices([&](const ProjectVoice& v) { def.push_back(v); }, 0));
    ASSERT_EQ(def.size(), 1u);
    EXPECT_EQ(def[0].id, 0);
    EXPECT_EQ(def[0].uid, "amy");
    EXPECT_EQ(def[0].color, "#A22A2B");
    EXPECT_EQ(def[0].lang, "en_US");
    EXPECT_EQ(def[0].quality, 2);
    EXPECT_EQ(def[0].sex, 1);
    EXPECT_FLOAT_EQ(def[0].srate, 1.25f);
    EXPECT_EQ(sqliteShell(file, "select srate from voice where id=1"), "0.0");

    // Replacing the default voice keeps one row 0.
    ASSERT_TRUE(db.saveDefaultVoice(voice("cat", 1, "Cat"), 0.8f, "#A22A2B"));
    EXPECT_EQ(sqliteShell(file, "select count(*) || ':' || uid from voice where id=0"), "1:cat");
}

TEST_F(ProjectDbTest, DefaultVoiceChangeStampsOnlyItsSegments)
{
    std::vector<ProjectSeg> s = {seg("def", 0), seg("other", 5)};
    ASSERT_TRUE(db.insertSegsAfter(0, s, 0, 0));
    sqliteShell(file, "update seg set modified=100");
    ASSERT_TRUE(db.saveDefaultVoice(voice("amy", 0), 1.0f, "#A22A2B"));
    EXPECT_EQ(sqliteShell(file, "select modified from seg where text='other'"), "100");
    EXPECT_GT(sqliteShell(file, "select modified from seg where text='def'").toLongLong(), 100);
}

TEST_F(ProjectDbTest, UpdatesAndResultsAreStored)
{
    std::vector<ProjectSeg> s = {seg("one")};
    ASSERT_TRUE(db.insertSegsAfter(0, s, 0, 0));
    ProjectSeg& r = s[0];
    r.text = "changed";
    r.voice_id = 4;
    r.srate = 1.5f;
    ASSERT_TRUE(db.updateSeg(r));
    ASSERT_TRUE(db.updateSegResult(r, 3.25, 2));
    EXPECT_EQ(r.seconds, 3.25);
    EXPECT_EQ(r.sentences, 2);
    std::vector<ProjectSeg> got = segs();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].text, "changed");
    EXPECT_EQ(got[0].voice_id, 4);
    EXPECT_FLOAT_EQ(got[0].srate, 1.5f);
    EXPECT_EQ(got[0].modified, r.modified);
    EXPECT_EQ(got[0].converted, r.converted);
    EXPECT_EQ(got[0].seconds, 3.25);
    EXPECT_EQ(got[0].sentences, 2);

    std::vector<int> deleted;
    ASSERT_TRUE(db.deleteSeg(r.id, [&](int id) { deleted.push_back(id); }));
    EXPECT_EQ(deleted, std::vector<int>{r.id});
    EXPECT_TRUE(segs().empty());
}

TEST_F(ProjectDbTest, PasteIntoTheMiddleOfAProject)
{
    std::vector<int> ids = append({"s1", "s2", "s3", "s4", "s5", "s6"});
    // Make the pasted-into segment id 7 with sort 4, as a user would see it.
    ASSERT_TRUE(sqliteShell(file, "update seg set id=7 where text='s4'").isEmpty());
    ProjectSeg base = seg("", 2);
    base.id = 7;
    base.srate = 0.9f;
    std::vector<ProjectSeg> out;
    ASSERT_TRUE(db.splitTextToSegs(base, "one\r\n\r\n  two  \n\tthree", out)) << db.lastError();
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].id, 7);
    EXPECT_EQ(out[1].text, "two");
    EXPECT_EQ(out[2].text, "three");
    EXPECT_GT(out[2].id, 7);
    std::map<std::string, int> sorts = sortByText();
    EXPECT_EQ(sorts["one"], 4);
    EXPECT_EQ(sorts["two"], 5);
    EXPECT_EQ(sorts["three"], 6);
    EXPECT_EQ(sorts["s5"], 7);
    EXPECT_EQ(sorts["s6"], 8);
    EXPECT_EQ(sorts["s3"], 3);
    EXPECT_EQ(sqliteShell(file, "select voice_id || ':' || srate from seg where id=7"), "2:0.899999976158142");
    EXPECT_EQ(texts(), (std::vector<std::string>{"s1", "s2", "s3", "one", "two", "three", "s5", "s6"}));
    (void)ids;
}

TEST_F(ProjectDbTest, BlankPastes)
{
    append({"a", "b"});
    int id = segs()[0].id;
    ProjectSeg base = seg("");
    base.id = id;
    std::vector<ProjectSeg> out;
    ASSERT_TRUE(db.splitTextToSegs(base, " \r\n\t \n\xE3\x80\x80", out));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(texts(), (std::vector<std::string>{"", "b"}));

    base.id = 0;
    ASSERT_TRUE(db.splitTextToSegs(base, "", out));
    EXPECT_EQ(texts(), (std::vector<std::string>{"", "b", ""}));

    ASSERT_TRUE(db.splitTextToSegs(base, "x\ny", out));
    EXPECT_EQ(texts(), (std::vector<std::string>{"", "b", "", "x", "y"}));
}

TEST_F(ProjectDbTest, MergesJoinTextsWithOneBlank)
{
    std::vector<int> ids = append({"Hello", "world", "gone", ""});
    ProjectSeg kept = segs()[0];
    std::vector<int> deleted;
    auto onDeleted = [&](int id) { deleted.push_back(id); };
    ASSERT_TRUE(db.mergeSegText(kept, ids[1], "world", onDeleted)) << db.lastError();
    EXPECT_EQ(kept.text, "Hello world");
    EXPECT_EQ(deleted, std::vector<int>{ids[1]});

    ProjectSeg other = segs()[1];
    ASSERT_EQ(other.text, "gone");
    ASSERT_TRUE(db.mergeSegText(other, ids[3], "", onDeleted));
    EXPECT_EQ(other.text, "gone");
    EXPECT_EQ(texts(), (std::vector<std::string>{"Hello world", "gone"}));
}

TEST_F(ProjectDbTest, FailedMergeKeepsBothSegments)
{
    std::vector<int> ids = append({"Hello", "world"});
    // The update of the kept segment fails; the delete must not stay.
    sqliteShell(file, "create trigger no_boom before update on seg when new.text like '%boom%' "
                      "begin select raise(abort, 'boom refused'); end;");
    ProjectSeg kept = segs()[0];
    bool called = false;
    EXPECT_FALSE(db.mergeSegText(kept, ids[1], "boom", [&](int) { called = true; }));
    EXPECT_EQ(db.lastError(), "boom refused");
    EXPECT_FALSE(called);
    EXPECT_EQ(kept.text, "Hello");
    EXPECT_EQ(texts(), (std::vector<std::string>{"Hello", "world"}));
    // The connection is usable again afterwards.
    ASSERT_TRUE(db.mergeSegText(kept, ids[1], "world", nullptr)) << db.lastError();
    EXPECT_EQ(texts(), (std::vector<std::string>{"Hello world"}));
}

TEST(ProjectDb, ClosingFoldsTheLogIntoAnIntactFile)
{
    testutil::TempDir dir;
    fs::path file = dir.path() / "ttsdata";
    {
        ProjectDb db;
        ASSERT_TRUE(db.openProjectDb(file.string()));
        std::vector<ProjectSeg> segs(50);
        for (int i = 0; i < 50; ++i)
            segs[i].text = "line " + std::to_string(i);
        ASSERT_TRUE(db.insertSegsAfter(0, segs, 0, 0));
    }
    // Nothing is left in the write-ahead log.
    std::error_code ec;
    fs::path wal = dir.path() / "ttsdata-wal";
    EXPECT_TRUE(!fs::exists(wal) || fs::file_size(wal, ec) == 0);
    EXPECT_EQ(projecttest::sqliteShell(file, "PRAGMA integrity_check"), "ok");
    EXPECT_EQ(projecttest::sqliteShell(file, "select count(*) from seg"), "50");
}

TEST(ProjectDb, DamagedFileIsReportedByLoads)
{
    testutil::TempDir dir;
    fs::path file = dir.path() / "ttsdata";
    {
        ProjectDb db;
        ASSERT_TRUE(db.openProjectDb(file.string()));
        std::vector<ProjectSeg> segs(300);
        for (auto& s : segs)
            s.text = std::string(200, 'q');
        ASSERT_TRUE(db.insertSegsAfter(0, segs, 0, 0));
    }
    // Damage the pages that follow the schema.
    {
        std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(4096);
        std::string junk(4096 * 4, '\x5A');
        f.write(junk.data(), junk.size());
    }
    ProjectDb db;
    ASSERT_TRUE(db.openProjectDb(file.string()));
    int rows = 0;
    EXPECT_FALSE(db.loadSegs([&](const ProjectSeg&) { ++rows; }));
    EXPECT_FALSE(db.lastError().empty());
    EXPECT_LT(rows, 300);
}
