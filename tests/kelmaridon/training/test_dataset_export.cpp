#include "training/DatasetExport.h"

#include "common/Sqlite3DB.h"
#include "common/Sqlite3Query.h"
#include "recording/RecordingProject.h"
#include "recording/TakeWav.h"

#include "TrainingTestSupport.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

void run(const fs::path& db, const std::string& sql)
{
    Sqlite3DB conn;
    ASSERT_TRUE(conn.open((db).string(), "", 2));
    Sqlite3Query q;
    q.sql = sql;
    ASSERT_TRUE(conn.exec(q)) << conn.errmsg();
}

} // namespace

TEST(DatasetExport, RecordedSentencesInIdOrder)
{
    testutil::TempDir tmp;
    const fs::path dir = tmp.path() / "Anna";
    {
        RecordingProject project;
        ASSERT_TRUE(project.open(dir.u8string(), "Anna", "en-us")) << project.lastError();
    }
    const fs::path db = dir / "recording.db";
    run(db, "update recording set text='Hello|world\r\n' where id=7");
    run(db, "update recording set text='tab\there' where id=12");
    run(db, "update recording set text='Three.' where id=3");
    run(db, "update recording set status=1 where id in (12, 3, 7, 9, 10, 11)");
    run(db, "update recording set status=-1 where id=5");
    const fs::path wav = dir / "wav";
    fs::create_directories(wav);
    const std::string samples(9600, '\x11');
    for (int id : {3, 5, 7, 12})
        testutil::writeFile(wav / (std::to_string(id) + ".wav"), QByteArray::fromStdString(TakeWav::header(9600) + samples));
    // Broken takes: cut off before its header was written, a bare header, none.
    testutil::writeFile(wav / "9.wav", QByteArray::fromStdString(std::string(44, '\0') + samples));
    testutil::writeFile(wav / "10.wav", QByteArray::fromStdString(TakeWav::header(0)));

    std::string language, error;
    std::vector<int64_t> leftOut;
    ASSERT_TRUE(exportDataset(dir.u8string(), language, &error, &leftOut)) << error;
    EXPECT_EQ(language, "en-us");
    EXPECT_EQ(testutil::readFile(dir / "metadata.csv"), "wav/3.wav|Three.\nwav/7.wav|Hello world \nwav/12.wav|tab\there\n");
    EXPECT_EQ(leftOut, std::vector<int64_t>({9, 10, 11}));
    EXPECT_EQ(leftOutText(leftOut), "Left out of the dataset, no valid take: 9, 10, 11");

    // Only broken takes: refused, saying which.
    run(db, "update recording set status=0 where id in (3, 7, 12)");
    EXPECT_FALSE(exportDataset(dir.u8string(), language, &error));
    EXPECT_EQ(error, "Left out of the dataset, no valid take: 9, 10, 11");
    run(db, "update recording set status=0 where id in (9, 10, 11)");

    // A language the prompts database does not know gives no preprocessing language.
    run(db, "update config set val='xx-xx' where name='lang'");
    language = "old";
    ASSERT_TRUE(exportDataset(dir.u8string(), language, nullptr));
    EXPECT_EQ(language, "");

    // An id past 32 bits names its own take, not the one its low 32 bits name.
    run(db, "update recording set id=4294967299, status=1 where id=12");
    testutil::writeFile(wav / "4294967299.wav", QByteArray::fromStdString(TakeWav::header(9600) + samples));
    ASSERT_TRUE(exportDataset(dir.u8string(), language, &error)) << error;
    EXPECT_EQ(testutil::readFile(dir / "metadata.csv"), "wav/4294967299.wav|tab\there\n");

    // Nothing recorded: an empty list.
    run(db, "update recording set status=0");
    ASSERT_TRUE(exportDataset(dir.u8string(), language, &error));
    EXPECT_EQ(testutil::readFile(dir / "metadata.csv"), QByteArray());

    // A list that cannot be written leaves the old one.
    run(db, "update recording set status=1 where id=3");
    fs::create_directories(dir / "metadata.csv.tmp");
    EXPECT_FALSE(exportDataset(dir.u8string(), language, &error));
    EXPECT_EQ(error, "Is a directory");
    EXPECT_EQ(testutil::readFile(dir / "metadata.csv"), QByteArray());

    // No database: its error, and no list written.
    const fs::path empty = tmp.path() / "empty";
    fs::create_directories(empty);
    EXPECT_FALSE(exportDataset(empty.u8string(), language, &error));
    EXPECT_EQ(error.rfind("RecordingDb, ", 0), 0u) << error;
    EXPECT_FALSE(fs::exists(empty / "metadata.csv"));
}

TEST(DatasetExport, CleanedText)
{
    const std::pair<const char*, const char*> cases[] = {
        {"plain", "plain"},
        {"a|b", "a b"},
        {"a||\r\n|b", "a b"},
        {"\nstart and end\r", " start and end "},
        {"keeps\ttabs", "keeps\ttabs"},
        {"", ""},
        {"caf\xC3\xA9 \xFF|x", "caf\xC3\xA9 \xEF\xBF\xBD x"},
        {"cut\xE2\x82", "cut\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(cleanPromptText(in), out) << in;
}
