#include "training/Checkpoints.h"

#include "TrainingTestSupport.h"

#include <archive.h>
#include <archive_entry.h>

#include <gtest/gtest.h>

#include <climits>

namespace fs = std::filesystem;
using namespace trainingtest;

TEST(CheckpointEpoch, ReadsTheNumberAfterEpoch)
{
    struct Case
    {
        const char* text;
        int epoch;
    };
    const Case cases[] = {
        {"epoch=1234-step=5678.ckpt", 1234},
        {"last.ckpt", 0},
        {"/t/lightning_logs/version_0/checkpoints/epoch=20-step=9.ckpt", 20},
        {"/t/epoch=3x/epoch=20.ckpt", 3},
        {"en-us-epoch=2164-step=1355540.ckpt", 2164},
        {"epoch=2147483647.ckpt", INT_MAX},
        // Too big for an int: read as 0, never an exception.
        {"epoch=2147483648.ckpt", 0},
        {"epoch=99999999999999999999999999.ckpt", 0},
        {"EPOCH=5.ckpt", 0},
        {"epoch=.ckpt", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(checkpointEpoch(c.text), c.epoch) << c.text;
}

TEST(Checkpoints, ListedByEpochAndCheckedWhole)
{
    testutil::TempDir tmp;
    fs::path dir = tmp.path() / "checkpoints";
    writeCheckpoint(dir / "epoch=7-step=100.ckpt", 7);
    writeCheckpoint(dir / "epoch=12-step=200.ckpt", 12);
    testutil::writeFile(dir / "epoch=20.ckpt", QByteArray());
    fs::create_directories(dir / "epoch=30.ckpt");
    testutil::writeFile(dir / "epoch=40.ckpt.tmp", "half written");
    testutil::writeFile(dir / "notes.txt", "not a checkpoint");

    QStringList list = listCheckpoints(q(dir));
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0], q(dir / "epoch=12-step=200.ckpt"));
    EXPECT_EQ(list[1], q(dir / "epoch=7-step=100.ckpt"));
    EXPECT_EQ(maxCheckpointEpoch(q(dir)), 12);
    EXPECT_TRUE(listCheckpoints(q(tmp.path() / "none")).isEmpty());
    EXPECT_EQ(maxCheckpointEpoch(q(tmp.path() / "none")), 0);

    // Whole: every member read, the entries recorded.
    std::vector<ArchiveEntry> entries;
    std::string error;
    ASSERT_TRUE(readArchive((dir / "epoch=12-step=200.ckpt").string(), entries, &error)) << error;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].path, "checkpoint/meta.json");
    EXPECT_EQ(entries[1].name, "weights.bin");
    EXPECT_EQ(entries[1].size, 64 * 1024);
    EXPECT_EQ(verifyCheckpoint(list[0]), 1);

    // Cut in the middle of the weights member.
    QByteArray whole = testutil::readFile(dir / "epoch=12-step=200.ckpt");
    testutil::writeFile(dir / "cut.ckpt", whole.left(whole.size() / 2));
    entries.clear();
    EXPECT_FALSE(readArchive((dir / "cut.ckpt").string(), entries, &error));
    EXPECT_EQ(error, "archive_read_open failed.");
    EXPECT_EQ(verifyCheckpoint(q(dir / "cut.ckpt")), -1);

    // Cut inside its central directory (the last 60 bytes hold the end of its
    // last entry and the end record), every member whole: refused, as by the
    // training tool, which reads that directory.
    testutil::writeFile(dir / "cut.ckpt", whole.left(whole.size() - 60));
    EXPECT_EQ(verifyCheckpoint(q(dir / "cut.ckpt")), -1);

    // One flipped byte in the weights: the member's checksum no longer matches.
    writeDamagedCheckpoint(dir / "flipped.ckpt", 12);
    EXPECT_FALSE(readArchive((dir / "flipped.ckpt").string(), entries, &error));
    EXPECT_EQ(error, "Data verification failed.");
    EXPECT_EQ(verifyCheckpoint(q(dir / "flipped.ckpt")), -1);

    // Empty: never listed, and no usable checkpoint when asked directly.
    EXPECT_EQ(verifyCheckpoint(q(dir / "epoch=20.ckpt")), -1);

    // Missing, and unopenable with the system's text.
    EXPECT_EQ(verifyCheckpoint(q(dir / "missing.ckpt")), 0);
    EXPECT_FALSE(readArchive((dir / "missing.ckpt").string(), entries, &error));
    EXPECT_EQ(error, "No such file or directory");

    // Text that is no archive at all.
    testutil::writeFile(dir / "text.ckpt", "this is not an archive, just text of some length\n");
    EXPECT_EQ(verifyCheckpoint(q(dir / "text.ckpt")), -1);
}

TEST(Checkpoints, AnArchiveOfOnlyDotSlashIsWholeWithoutEntries)
{
    testutil::TempDir tmp;
    fs::path path = tmp.path() / "dot.ckpt";
    archive* a = archive_write_new();
    archive_write_set_format_pax_restricted(a);
    ASSERT_EQ(archive_write_open_filename(a, path.c_str()), ARCHIVE_OK);
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, "./");
    archive_entry_set_filetype(e, AE_IFDIR);
    archive_entry_set_perm(e, 0755);
    ASSERT_EQ(archive_write_header(a, e), ARCHIVE_OK);
    archive_entry_free(e);
    archive_write_close(a);
    archive_write_free(a);

    std::vector<ArchiveEntry> entries;
    EXPECT_TRUE(readArchive(path.string(), entries, nullptr));
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(verifyCheckpoint(q(path)), 1);
}

TEST(Checkpoints, FirstUsablePrefersTheCurrentRun)
{
    testutil::TempDir tmp;
    fs::path run = tmp.path() / "lightning_logs" / "version_0" / "checkpoints";
    fs::path pre = tmp.path() / "lightning_logs" / "pre";
    writeDamagedCheckpoint(run / "epoch=30-step=1.ckpt", 30);
    writeCheckpoint(run / "epoch=5-step=1.ckpt", 5);
    writeCheckpoint(pre / "epoch=50-step=1.ckpt", 50);
    const QString training = q(tmp.path());

    EXPECT_EQ(firstUsableCheckpoint(training, "base.ckpt"), q(run / "epoch=5-step=1.ckpt"));
    fs::remove(run / "epoch=5-step=1.ckpt");
    EXPECT_EQ(firstUsableCheckpoint(training, "base.ckpt"), q(pre / "epoch=50-step=1.ckpt"));
    fs::remove(pre / "epoch=50-step=1.ckpt");
    EXPECT_EQ(firstUsableCheckpoint(training, "base.ckpt"), "base.ckpt");
    EXPECT_EQ(firstUsableCheckpoint(q(tmp.path() / "none"), ""), "");
}
