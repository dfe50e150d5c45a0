#include "common/Sqlite3BlobParam.h"
#include "common/Sqlite3Cursor.h"
#include "common/Sqlite3DB.h"
#include "common/Sqlite3InsertQuery.h"
#include "common/Sqlite3Query.h"
#include "common/Sqlite3Value.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

namespace fs = std::filesystem;

namespace {

int openFdCount()
{
    int n = 0;
    for (auto it = fs::directory_iterator("/proc/self/fd"); it != fs::directory_iterator(); ++it)
        ++n;
    return n;
}

Sqlite3Value rawValue(int32_t kind, const std::string& bytes)
{
    return Sqlite3Value(kind, bytes);
}

class Sqlite3Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(db.open((dir.path() / "test.db").string(), "",
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE))
            << db.errmsg();
        ASSERT_TRUE(db.exec(Sqlite3Query("create table t (id INTEGER PRIMARY KEY, name TEXT, "
                                         "n INTEGER, big INTEGER, d REAL, data BLOB)")))
            << db.errmsg();
    }

    testutil::TempDir dir;
    Sqlite3DB db;
};

} // namespace

TEST(Sqlite3Value, NumberKindsConvert)
{
    Sqlite3Value i(42);
    EXPECT_EQ(i.kind, Sqlite3Value::Int);
    EXPECT_EQ(i.bytes.size(), 4u);
    EXPECT_EQ(i.toInt(-1), 42);
    EXPECT_EQ(i.toInt64(-1), 42);
    EXPECT_EQ(i.toDouble(-1), 42.0);
    EXPECT_EQ(Sqlite3Value(-7).toString(), "-7");

    Sqlite3Value big = Sqlite3Value::fromInt64(0x100000005LL);
    EXPECT_EQ(big.toInt(-1), 5); // low 32 bits
    EXPECT_EQ(big.toInt64(-1), 0x100000005LL);
    EXPECT_EQ(big.toDouble(-1), 4294967301.0);
    EXPECT_EQ(big.toString(), "4294967301");
    EXPECT_EQ(Sqlite3Value::fromInt64(0xFFFFFFFFLL).toInt(0), -1);

    Sqlite3Value d(-2.75);
    EXPECT_EQ(d.toInt(0), -2);
    EXPECT_EQ(d.toInt64(0), -2);
    EXPECT_EQ(d.toDouble(0), -2.75);
    EXPECT_EQ(Sqlite3Value(1.5).toString(), "1.500000");
    // Out of range and NaN never become undefined behaviour.
    EXPECT_EQ(Sqlite3Value(1e30).toInt(0), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(Sqlite3Value(-1e30).toInt64(0), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(Sqlite3Value(std::nan("")).toInt(9), 9);
}

TEST(Sqlite3Value, NullAndWrongSizePayloadsGiveDefaults)
{
    Sqlite3Value n;
    EXPECT_EQ(n.kind, Sqlite3Value::Null);
    EXPECT_EQ(n.toInt(3), 3);
    EXPECT_EQ(n.toInt64(4), 4);
    EXPECT_EQ(n.toDouble(5.5), 5.5);
    EXPECT_EQ(n.toString(), "");

    Sqlite3Value shortInt = rawValue(Sqlite3Value::Int, "ab");
    EXPECT_EQ(shortInt.toInt(7), 7);
    EXPECT_EQ(shortInt.toInt64(7), 7);
    EXPECT_EQ(shortInt.toDouble(7), 7);
    EXPECT_EQ(shortInt.toString(), "0");
    EXPECT_EQ(rawValue(Sqlite3Value::Int64, "abcd").toInt64(8), 8);
    EXPECT_EQ(rawValue(Sqlite3Value::Int64, "abcd").toString(), "0");
    EXPECT_EQ(rawValue(Sqlite3Value::Double, "abc").toDouble(1.25), 1.25);
    EXPECT_EQ(rawValue(Sqlite3Value::Double, "abc").toString(), "0.000000");
}

TEST(Sqlite3Value, TextAndBlobParseLeniently)
{
    for (int32_t kind : {int32_t(Sqlite3Value::Text), int32_t(Sqlite3Value::Blob)}) {
        SCOPED_TRACE(kind);
        EXPECT_EQ(rawValue(kind, "12abc").toInt(-1), 12);
        EXPECT_EQ(rawValue(kind, "12abc").toInt64(-1), 12);
        EXPECT_EQ(rawValue(kind, "2.5x").toDouble(-1), 2.5);
        EXPECT_EQ(rawValue(kind, "").toInt(-1), -1);
        EXPECT_EQ(rawValue(kind, "").toInt64(-1), 0);
        EXPECT_EQ(rawValue(kind, "").toDouble(-1), 0);
        EXPECT_EQ(rawValue(kind, "abc").toInt(-1), -1);
        EXPECT_EQ(rawValue(kind, "abc").toInt64(-1), -1);
        EXPECT_EQ(rawValue(kind, "abc").toDouble(-1), -1);
        // Out of range is a default, not an exception.
        EXPECT_EQ(rawValue(kind, "99999999999").toInt(-1), -1);
        EXPECT_EQ(rawValue(kind, "99999999999").toInt64(-1), 99999999999LL);
        EXPECT_EQ(rawValue(kind, "999999999999999999999").toInt64(-1), -1);
        EXPECT_EQ(rawValue(kind, "1e999").toDouble(-1), -1);
        EXPECT_EQ(rawValue(kind, std::string("a\0b", 3)).toString(), std::string("a\0b", 3));
    }
    Sqlite3Value c("hello");
    EXPECT_EQ(c.kind, Sqlite3Value::Text);
    EXPECT_EQ(c.bytes, "hello");
}

TEST(Sqlite3InsertQuery, BuildsExactTextAndParameters)
{
    Sqlite3ValueMap values;
    values["text"] = Sqlite3Value("x");
    values["id"] = Sqlite3Value(3);
    Sqlite3Query q;
    q.addInt(99);
    buildInsertQuery(values, q, "seg", {}, "INSERT INTO");
    EXPECT_EQ(q.sql, "INSERT INTO [seg]([id],[text]) VALUES(?,?)");
    // The builder's parameters follow those already in the query.
    EXPECT_EQ(q.params.size(), 3u);

    Sqlite3Query r;
    values["skip"] = Sqlite3Value(1.5);
    buildInsertQuery(values, r, "voice", {"skip", "text"}, "replace into");
    EXPECT_EQ(r.sql, "replace into [voice]([id]) VALUES(?)");
    EXPECT_EQ(r.params.size(), 1u);

    // Columns come in the map's key order and are written lower-cased.
    Sqlite3Query mixed;
    buildInsertQuery({{"id", Sqlite3Value(1)}, {"Name", Sqlite3Value("n")}}, mixed, "t", {"id"},
                     "INSERT INTO");
    EXPECT_EQ(mixed.sql, "INSERT INTO [t]([name]) VALUES(?)");

    Sqlite3Query empty;
    buildInsertQuery({}, empty, "t", {}, "INSERT INTO");
    EXPECT_EQ(empty.sql, "INSERT INTO [t]() VALUES()");
}

TEST_F(Sqlite3Test, InsertedValuesReadBackByKind)
{
    Sqlite3ValueMap values;
    values["id"] = Sqlite3Value(1);
    values["name"] = Sqlite3Value::fromText(std::string("ab\0cd", 5));
    values["n"] = Sqlite3Value();
    values["big"] = Sqlite3Value::fromInt64(1LL << 40);
    values["d"] = Sqlite3Value(0.25);
    values["data"] = Sqlite3Value::fromBlob(std::string("\x01\x00\x02\x00", 4));
    Sqlite3Query q;
    buildInsertQuery(values, q, "t", {}, "INSERT INTO");
    ASSERT_TRUE(db.exec(q)) << db.errmsg();

    Sqlite3Cursor c;
    ASSERT_TRUE(db.query("select * from t", c)) << db.errmsg();
    ASSERT_TRUE(c.next());
    EXPECT_EQ(c.row(), 0);
    EXPECT_EQ(c.getInt("id"), 1);
    EXPECT_EQ(c.getText("name"), std::string("ab\0cd", 5)); // a zero byte does not end a text
    EXPECT_EQ(c.getInt("n"), 0);        // NULL
    EXPECT_EQ(c.getText("n"), "");
    EXPECT_EQ(c.getInt64("big"), 1LL << 40);
    EXPECT_EQ(c.getDouble("d"), 0.25);
    EXPECT_EQ(c.getBlob("data"), std::string("\x01\x00\x02\x00", 4));
    EXPECT_EQ(c.getInt("nosuch"), 0);
    EXPECT_FALSE(c.next());
    EXPECT_FALSE(c.failed());
    // The end stays the end instead of starting the query over.
    EXPECT_FALSE(c.next());
}

TEST_F(Sqlite3Test, ColumnNamesAreMatchedLowerCased)
{
    ASSERT_TRUE(db.exec(Sqlite3Query("insert into t (id, name) values (5, 'five')")));
    Sqlite3Cursor c;
    ASSERT_TRUE(db.query("select id, name as Label from t", c));
    ASSERT_TRUE(c.next());
    EXPECT_EQ(c.columnIndex("ID"), 0);
    EXPECT_EQ(c.getInt("Id"), 5);
    EXPECT_EQ(c.columnIndex("Label"), -1);
    EXPECT_EQ(c.getText("label"), "");
}

TEST_F(Sqlite3Test, ExecIsTrueOnlyWhenTheStatementRunsToItsEnd)
{
    EXPECT_TRUE(db.exec(Sqlite3Query("update t set n=1 where id=12345")));
    ASSERT_TRUE(db.exec(Sqlite3Query("insert into t (id) values (1)")));
    EXPECT_FALSE(db.exec(Sqlite3Query("select * from t")));
    EXPECT_FALSE(db.exec(Sqlite3Query("insert into t (id) values (1)")));
    EXPECT_NE(db.errmsg().find("UNIQUE"), std::string::npos) << db.errmsg();
    Sqlite3Query empty;
    buildInsertQuery({}, empty, "t", {}, "INSERT INTO");
    EXPECT_FALSE(db.exec(empty));
}

TEST_F(Sqlite3Test, CursorOutlivesItsQuery)
{
    Sqlite3Query ins("insert into t (id, name, data) values (?, ?, ?)");
    ins.addInt(1);
    ins.addText(std::string(200, 'k'));
    ins.addParam(std::make_unique<Sqlite3BlobParam>(std::string(300, 'b')));
    ASSERT_TRUE(db.exec(ins));

    Sqlite3Cursor c;
    {
        auto q = std::make_unique<Sqlite3Query>("select id from t where name=? and data=?");
        q->addText(std::string(200, 'k'));
        q->addParam(std::make_unique<Sqlite3BlobParam>(std::string(300, 'b')));
        ASSERT_TRUE(c.prepare(db.get(), *q)) << db.errmsg();
        // The query and its parameters are freed before the rows are read.
        q.reset();
    }
    ASSERT_TRUE(c.next()) << db.errmsg();
    EXPECT_EQ(c.getInt("id"), 1);
}

TEST_F(Sqlite3Test, NextTellsAnErrorFromTheEnd)
{
    Sqlite3Cursor c;
    ASSERT_TRUE(db.query("select abs(-9223372036854775807 - 1) as v", c));
    EXPECT_FALSE(c.next());
    EXPECT_TRUE(c.failed());
    EXPECT_NE(db.errmsg().find("integer overflow"), std::string::npos) << db.errmsg();

    Sqlite3Cursor bad;
    EXPECT_FALSE(db.query("select * from nosuch", bad));
    EXPECT_FALSE(bad.next());
    EXPECT_TRUE(bad.failed());
}

TEST(Sqlite3DB, DamagedDatabaseIsReportedNotShortened)
{
    testutil::TempDir dir;
    std::string path = (dir.path() / "damaged.db").string();
    {
        Sqlite3DB db;
        ASSERT_TRUE(db.open(path, "", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE));
        ASSERT_TRUE(db.exec(Sqlite3Query("create table t (id INTEGER PRIMARY KEY, s TEXT)")));
        for (int i = 0; i < 400; ++i) {
            Sqlite3Query q("insert into t (s) values (?)");
            q.addText(std::string(100, 'a' + i % 26));
            ASSERT_TRUE(db.exec(q));
        }
    }
    // Overwrite the table's root page (page 2 of 4096 bytes).
    {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(4096);
        std::string junk(4096, '\xA5');
        f.write(junk.data(), junk.size());
    }
    Sqlite3DB db;
    ASSERT_TRUE(db.open(path, "", SQLITE_OPEN_READWRITE));
    Sqlite3Cursor c;
    ASSERT_TRUE(db.query("select * from t", c)) << db.errmsg();
    int rows = 0;
    while (c.next())
        ++rows;
    EXPECT_TRUE(c.failed());
    EXPECT_LT(rows, 400);
    EXPECT_NE(db.errmsg().find("malformed"), std::string::npos) << db.errmsg();
}

TEST(Sqlite3DB, NonDatabaseFileFailsWithSqliteMessage)
{
    testutil::TempDir dir;
    fs::path path = dir.path() / "notes.txt";
    testutil::writeFile(path, QByteArray(2000, 'x'));
    Sqlite3DB db;
    ASSERT_TRUE(db.open(path.string(), "", SQLITE_OPEN_READWRITE));
    EXPECT_FALSE(db.exec(Sqlite3Query("create table t (a)")));
    EXPECT_EQ(db.errmsg(), "file is not a database");
}

TEST(Sqlite3DB, OpenFailuresAndKeys)
{
    testutil::TempDir dir;
    Sqlite3DB db;
    EXPECT_EQ(db.errmsg(), "");
    EXPECT_FALSE(db.open((dir.path() / "missing.db").string(), "", SQLITE_OPEN_READWRITE));
    EXPECT_EQ(db.errmsg(), "unable to open database file");

    fs::path keyed = dir.path() / "keyed.db";
    EXPECT_FALSE(db.open(keyed.string(), "secret", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE));
    EXPECT_NE(db.errmsg().find("not supported"), std::string::npos) << db.errmsg();
    EXPECT_FALSE(fs::exists(keyed));
    EXPECT_FALSE(db.isOpen());
}

TEST(Sqlite3DB, SecondOpenClosesTheFirstConnection)
{
    testutil::TempDir dir;
    Sqlite3DB db;
    ASSERT_TRUE(db.open((dir.path() / "a.db").string(), "", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE));
    ASSERT_TRUE(db.exec(Sqlite3Query("create table a (x)")));
    int fds = openFdCount();
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(db.open((dir.path() / "b.db").string(), "", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE));
        ASSERT_TRUE(db.exec(Sqlite3Query("create table if not exists b (x)")));
    }
    EXPECT_EQ(openFdCount(), fds);
    EXPECT_EQ(db.filePath(), (dir.path() / "b.db").string());
    Sqlite3Cursor c;
    ASSERT_TRUE(db.query("select name from sqlite_master", c));
    ASSERT_TRUE(c.next());
    EXPECT_EQ(c.getText("name"), "b");
}
