#include "projects/ProjectFolder.h"
#include "synthesis/AudioExport.h"
#include "synthesis/FfmpegRun.h"
#include "synthesis/WavJoin.h"
#include "voices/LocalVoice.h"

#include "ExportTestUtil.h"
#include "NearlyFullDisk.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace fs = std::filesystem;
using namespace exporttest;
using testutil::NearlyFullDisk;
using testutil::readFile;

namespace {

uint32_t le32(const QByteArray& b, int at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | uint8_t(b[at + i]);
    return v;
}

ProjectVoice voiceOf(int)
{
    ProjectVoice v;
    v.name = "Alice";
    v.color = "#A22A2B";
    return v;
}

class AudioExport : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(project.create(dir.path() / "proj", "P", LocalVoice{}, 1.0f)) << project.error();
        out = dir.path() / "out";
        fs::create_directories(out);
    }

    ExportSources sources()
    {
        return {[this](int id) { return project.segWavPath(id); }, project.mergedWavPath()};
    }

    // A segment's audio file with n samples.
    void segAudio(int id, uint32_t n) { writeToneWav(project.segWavPath(id), n); }

    void exportSegs(const std::vector<ProjectSeg>& segs, const std::string& ext, bool merge,
                    bool withText = false, const std::string& textExt = ".txt")
    {
        exportAudioAndText(sources(), segs, voiceOf, out.u8string(), ext, merge, withText, textExt,
                           true, status);
    }

    std::vector<std::string> outFiles()
    {
        std::vector<std::string> names;
        for (auto& e : fs::directory_iterator(out))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    testutil::TempDir dir;
    ProjectFolder project;
    fs::path out;
    ExportStatus status;
};

} // namespace

TEST(WavJoin, JoinsTheDataPartsBehindANewHeader)
{
    testutil::TempDir dir;
    const fs::path a = dir.path() / "a.wav", b = dir.path() / "b.wav", joined = dir.path() / "j.wav";
    // The inputs' headers claim wrong counts: only their sizes matter.
    writeToneWav(a, 1000, 7, 300);
    writeToneWav(b, 2000, 0, 900);
    double seconds = -1;
    std::string error;
    ASSERT_TRUE(mergeWavFiles({a.u8string(), b.u8string()}, joined.u8string(), &seconds, &error));
    EXPECT_DOUBLE_EQ(seconds, 3000 / 22050.0);

    const QByteArray bytes = readFile(joined);
    ASSERT_EQ(bytes.size(), 44 + 6000);
    EXPECT_EQ(bytes.left(4), "RIFF");
    EXPECT_EQ(le32(bytes, 4), 36u + 6000);
    EXPECT_EQ(bytes.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(bytes, 24), 22050u);
    EXPECT_EQ(bytes.mid(36, 4), "data");
    EXPECT_EQ(le32(bytes, 40), 6000u);
    EXPECT_EQ(bytes.mid(44), readFile(a).mid(44) + readFile(b).mid(44));

    const ProbeInfo info = probe(joined);
    EXPECT_EQ(info.codec, "pcm_s16le");
    EXPECT_EQ(info.channels, 1);
    EXPECT_NEAR(info.duration, 3000 / 22050.0, 0.001);
}

TEST(WavJoin, NoInputsGiveAnEmptyFileAndFailuresNameThePath)
{
    testutil::TempDir dir;
    const fs::path joined = dir.path() / "j.wav";
    double seconds = -1;
    std::string error;
    ASSERT_TRUE(mergeWavFiles({}, joined.u8string(), &seconds, &error));
    EXPECT_EQ(seconds, 0);
    const QByteArray bytes = readFile(joined);
    ASSERT_EQ(bytes.size(), 44);
    EXPECT_EQ(le32(bytes, 40), 0u);

    const std::string missing = (dir.path() / "missing.wav").u8string();
    EXPECT_FALSE(mergeWavFiles({missing}, joined.u8string(), &seconds, &error));
    EXPECT_EQ(error, std::string(std::strerror(ENOENT)) + "(" + missing + ")");

    // A folder where the output should go.
    const fs::path folder = dir.path() / "folder";
    fs::create_directories(folder);
    EXPECT_FALSE(mergeWavFiles({}, folder.u8string(), &seconds, &error));
    EXPECT_EQ(error, std::string(std::strerror(EISDIR)) + "(" + folder.u8string() + ")");
}

TEST(WavJoin, FailureLeavesNoHalfWrittenFile)
{
    testutil::TempDir dir;
    const fs::path a = dir.path() / "a.wav", joined = dir.path() / "j.wav";
    writeToneWav(a, 1000);
    writeToneWav(joined, 500);
    const std::string missing = (dir.path() / "missing.wav").u8string();
    double seconds = -1;
    std::string error;
    EXPECT_FALSE(mergeWavFiles({a.u8string(), missing}, joined.u8string(), &seconds, &error));
    EXPECT_EQ(error, std::string(std::strerror(ENOENT)) + "(" + missing + ")");
    // No file with a blank header and part of the samples stays behind.
    EXPECT_FALSE(fs::exists(joined));
    EXPECT_TRUE(fs::exists(a));
}

TEST_F(AudioExport, WavPerSegmentCopiesAndReplacesFiles)
{
    segAudio(3, 100);
    segAudio(5, 200);
    testutil::writeFile(out / "audio3.wav", "old contents");
    exportSegs({seg(3, "a"), seg(5, "b")}, ".wav", false);
    EXPECT_TRUE(status.ok) << status.error;
    EXPECT_EQ(outFiles(), (std::vector<std::string>{"audio3.wav", "audio5.wav"}));
    EXPECT_EQ(readFile(out / "audio3.wav"), readFile(project.segWavPath(3)));
    EXPECT_EQ(readFile(out / "audio5.wav"), readFile(project.segWavPath(5)));
}

TEST_F(AudioExport, MergeOfSeveralSegmentsCopiesTheJoinedFile)
{
    for (int id : {1, 2, 3})
        segAudio(id, 100);
    writeToneWav(project.mergedWavPath(), 300);
    exportSegs({seg(1, "a"), seg(2, "b"), seg(3, "c")}, ".wav", true);
    EXPECT_TRUE(status.ok) << status.error;
    EXPECT_EQ(outFiles(), (std::vector<std::string>{"audio.wav"}));
    EXPECT_EQ(readFile(out / "audio.wav"), readFile(project.mergedWavPath()));
}

TEST_F(AudioExport, OneSegmentWithMergeIsNamedBySegment)
{
    segAudio(12, 22050);
    writeToneWav(project.mergedWavPath(), 10);
    exportSegs({seg(12, "a")}, ".mp3", true);
    EXPECT_TRUE(status.ok) << status.error;
    EXPECT_EQ(outFiles(), (std::vector<std::string>{"audio12.mp3"}));
    const ProbeInfo info = probe(out / "audio12.mp3");
    EXPECT_EQ(info.codec, "mp3");
    EXPECT_NEAR(info.duration, 1.0, 0.1);
}

TEST_F(AudioExport, Mp3AndAacAreStereoAt22050WithTheSourceLength)
{
    segAudio(1, 22050 * 2);
    segAudio(2, 22050 * 3);
    exportSegs({seg(1, "a"), seg(2, "b")}, ".mp3", false);
    ASSERT_TRUE(status.ok) << status.error;
    for (auto [name, secs] : {std::pair{"audio1.mp3", 2.0}, std::pair{"audio2.mp3", 3.0}}) {
        const ProbeInfo info = probe(out / name);
        EXPECT_EQ(info.format, "mp3") << name;
        EXPECT_EQ(info.codec, "mp3") << name;
        EXPECT_EQ(info.channels, 2) << name;
        EXPECT_EQ(info.sampleRate, 22050) << name;
        EXPECT_NEAR(info.duration, secs, 0.1) << name;
    }

    ASSERT_TRUE(mergeWavFiles({project.segWavPath(1).u8string(), project.segWavPath(2).u8string()},
                              project.mergedWavPath().u8string(), nullptr, nullptr));
    exportSegs({seg(1, "a"), seg(2, "b")}, ".aac", true);
    ASSERT_TRUE(status.ok) << status.error;
    const ProbeInfo info = probe(out / "audio.aac");
    EXPECT_EQ(info.codec, "aac");
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.sampleRate, 22050);
    EXPECT_NEAR(info.duration, 5.0, 0.2);
}

TEST_F(AudioExport, FfmpegFailureReportsTheLast100BytesOfItsLog)
{
    segAudio(1, 1000);
    segAudio(3, 1000);
    exportSegs({seg(1, "a"), seg(2, "b"), seg(3, "c")}, ".mp3", false, true);
    EXPECT_FALSE(status.ok);
    // The same run again gives the log to compare with.
    const std::string src = project.segWavPath(2).u8string(), dst = (out / "audio2.mp3").u8string();
    std::string log;
    ASSERT_NE(runFfmpeg({"-vn", "-i", src.c_str(), "-ac", "2", "-ar", "22050", "-y", dst.c_str()}, &log), 0);
    ASSERT_GT(log.size(), 100u);
    EXPECT_EQ(status.error, log.substr(log.size() - 100));
    EXPECT_NE(status.error.find("No such file or directory"), std::string::npos);
    // The first failure ends the job.
    EXPECT_EQ(outFiles(), (std::vector<std::string>{"audio1.mp3"}));
}

TEST_F(AudioExport, WavCopyFailureIsReportedNotThrown)
{
    segAudio(1, 100);
    fs::remove_all(out);
    exportSegs({seg(1, "a")}, ".wav", false, true);
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.error, std::strerror(ENOENT));
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(AudioExport, SegmentWithoutTextAndAudioIsSkipped)
{
    segAudio(1, 100);
    segAudio(3, 100);
    exportSegs({seg(1, "a"), seg(2, " \n"), seg(3, "c")}, ".wav", false, true, ".docx");
    EXPECT_TRUE(status.ok) << status.error;
    EXPECT_EQ(outFiles(), (std::vector<std::string>{"audio1.wav", "audio3.wav", "text.docx"}));
    // A Word document (a zip package), with the blank segment's paragraph too.
    EXPECT_TRUE(readFile(out / "text.docx").startsWith("PK\x03\x04"));
    // Any other extension but .html and .pdf holds plain text.
    exportSegs({seg(1, "a"), seg(2, " \n"), seg(3, "c")}, ".wav", false, true, ".odt");
    EXPECT_EQ(readFile(out / "text.odt"), "Alice:\na\n\nAlice:\n \n\n\nAlice:\nc\n\n");
}

TEST_F(AudioExport, SegmentsOfUnicodeBlanksAreSkippedAndTheRestWritten)
{
    segAudio(1, 100);
    segAudio(4, 100);
    // Em space, thin space, no-break space: no audio was made for them.
    const std::vector<ProjectSeg> segs{seg(1, "a"), seg(2, "\u2003"), seg(3, "\u2009\u00a0 \u2003"), seg(4, "d")};
    for (const char* ext : {".wav", ".mp3"}) {
        fs::remove_all(out);
        fs::create_directories(out);
        exportSegs(segs, ext, false, true);
        EXPECT_TRUE(status.ok) << status.error;
        const std::string e = ext;
        EXPECT_EQ(outFiles(), (std::vector<std::string>{"audio1" + e, "audio4" + e, "text.txt"}));
    }
}

TEST_F(AudioExport, NoSegmentsWriteNothing)
{
    status.ok = false;
    status.error = "old";
    exportSegs({}, ".mp3", true, true);
    EXPECT_TRUE(status.ok);
    EXPECT_EQ(status.error, "");
    EXPECT_TRUE(outFiles().empty());
}

TEST_F(AudioExport, StopEndsTheEncodeAtOnceAndLeavesNoUnfinishedFile)
{
    // An hour of speech: no encode is through with it when the stop comes.
    segAudio(1, 22050);
    segAudio(2, 22050u * 3600);
    fs::create_hard_link(project.segWavPath(2), project.mergedWavPath());
    struct Case
    {
        std::string ext;
        bool merge;
        const char* growing;              // the file being encoded at the stop
        std::vector<std::string> left;    // files finished before it
    } cases[] = {
        {".mp3", true, "audio.mp3", {}},
        {".aac", true, "audio.aac", {}},
        {".mp3", false, "audio2.mp3", {"audio1.mp3"}},
    };
    for (const Case& c : cases) {
        fs::remove_all(out);
        fs::create_directories(out);
        status.stop = false;
        std::atomic<bool> done{false};
        std::thread worker([&] {
            exportSegs({seg(1, "a"), seg(2, "b")}, c.ext, c.merge, true);
            done = true;
        });
        const bool grew = testutil::waitFor([&] {
            std::error_code ec;
            const auto size = fs::file_size(out / c.growing, ec);
            return done || (!ec && size > 0);
        }, 60000);
        status.stop = true;
        const bool endedSoon = testutil::waitFor([&] { return done.load(); }, 30000);
        worker.join();
        EXPECT_TRUE(grew) << c.growing;
        EXPECT_TRUE(endedSoon) << c.growing;
        EXPECT_TRUE(status.ok) << status.error;
        EXPECT_TRUE(status.cancelled) << c.growing;
        EXPECT_EQ(status.error, "");
        // Neither the cut file nor the text after it.
        EXPECT_EQ(outFiles(), c.left) << c.growing;
    }

    // A stop raised before the job began is not lost.
    fs::remove_all(out);
    fs::create_directories(out);
    status.stop = true;
    exportSegs({seg(1, "a"), seg(2, "b")}, ".wav", false, true);
    EXPECT_TRUE(status.cancelled);
    EXPECT_TRUE(outFiles().empty());
}

TEST_F(AudioExport, BlankSegmentsGiveTheSameOutcomeInEveryFormat)
{
    // Blank segments have no audio of their own; their join holds no sample.
    const std::vector<ProjectSeg> segs{seg(1, " "), seg(2, "\u2003\n")};
    ASSERT_TRUE(mergeWavFiles({}, project.mergedWavPath().u8string(), nullptr, nullptr));
    for (const char* ext : {".wav", ".mp3", ".aac"}) {
        for (bool merge : {true, false}) {
            fs::remove_all(out);
            fs::create_directories(out);
            exportSegs(segs, ext, merge, true);
            EXPECT_TRUE(status.ok) << ext << merge << ": " << status.error;
            EXPECT_FALSE(status.cancelled);
            EXPECT_EQ(outFiles(), (std::vector<std::string>{"text.txt"})) << ext << merge;
        }
    }
}

TEST_F(AudioExport, StopEndsAPdfExportWhoseGuiThreadIsBlocked)
{
    // The owner stops the job and then waits for its worker thread without
    // running events, as a page model's destructor does: the PDF layout that
    // the job waits for can never run in this thread.
    segAudio(1, 2205);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        exportSegs({seg(1, "Hello there.")}, ".wav", false, true, ".pdf");
        done = true;
    });
    // The audio is written in full before the text is begun.
    const auto full = fs::file_size(project.segWavPath(1));
    std::error_code ec;
    while (fs::file_size(out / "audio1.wav", ec) != full)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // Most often the job waits for the layout by now; either way it must end.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    status.stop = true;
    for (int i = 0; i < 6000 && !done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool endedWithoutEvents = done;
    // Let a job that is still waiting finish, so the test itself ends.
    testutil::waitFor([&] { return done.load(); }, testutil::hangLimitMs);
    worker.join();
    testutil::waitFor([] { return false; }, 100);
    EXPECT_TRUE(endedWithoutEvents);
    EXPECT_TRUE(status.ok) << status.error;
    // A stopped text export leaves no partial document behind.
    EXPECT_EQ(outFiles(), (std::vector<std::string>{"audio1.wav"}));
}

TEST_F(AudioExport, StopDuringThePdfLayoutDropsTheDocument)
{
    segAudio(1, 2205);
    std::vector<ProjectSeg> segs;
    // Many bubbles; only the first segment has text and audio.
    for (int i = 1; i <= 3000; ++i)
        segs.push_back(i == 1 ? seg(1, "A bubble among very many.") : seg(100000 + i, " "));
    std::atomic<bool> done{false};
    std::thread worker([&] {
        exportAudioAndText(sources(), segs, voiceOf, out.u8string(), ".wav", false, true, ".pdf",
                           true, status);
        done = true;
    });
    // The layout has begun in this thread when the file appears.
    ASSERT_TRUE(testutil::waitFor([&] { return fs::exists(out / "text.pdf"); }, 60000));
    status.stop = true;
    ASSERT_TRUE(testutil::waitFor([&] { return done.load(); }, 60000));
    worker.join();
    testutil::waitFor([] { return false; }, 300);
    EXPECT_TRUE(status.ok) << status.error;
    EXPECT_EQ(outFiles(), (std::vector<std::string>{"audio1.wav"}));
}

TEST_F(AudioExport, AFullDiskFailsTheExportAndLeavesNoBrokenFile)
{
    const fs::path full = dir.path() / "full";
    NearlyFullDisk disk(full, 16 * 1024);
    if (!disk.mounted)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    out = full;
    segAudio(1, 22050 * 30);
    segAudio(2, 500);
    // Letters in no order, so that not even the packed Word document fits.
    std::string longText(100 * 1024, 'x');
    uint32_t r = 12345;
    for (char& ch : longText)
        ch = char('a' + (r = r * 1103515245 + 12345) % 26);
    struct Case
    {
        std::string audioExt, textExt;
        int segId;
        const char* broken;   // the file that does not fit
        const char* written;  // the file before it, or ""
    } cases[] = {
        {".wav", "", 1, "audio1.wav", ""},
        {".mp3", "", 1, "audio1.mp3", ""},
        {".aac", "", 1, "audio1.aac", ""},
        {".wav", ".txt", 2, "text.txt", "audio2.wav"},
        {".wav", ".html", 2, "text.html", "audio2.wav"},
        {".wav", ".pdf", 2, "text.pdf", "audio2.wav"},
        {".wav", ".docx", 2, "text.docx", "audio2.wav"},
    };
    for (const Case& c : cases) {
        for (const std::string& name : outFiles())
            if (name != "filler")
                fs::remove(out / name);
        exportSegs({seg(c.segId, longText)}, c.audioExt, false, !c.textExt.empty(), c.textExt);
        EXPECT_FALSE(status.ok) << c.broken;
        EXPECT_NE(status.error.find(std::strerror(ENOSPC)), std::string::npos) << c.broken << ": " << status.error;
        std::vector<std::string> left{"filler"};
        if (*c.written)
            left.insert(left.begin(), c.written);
        EXPECT_EQ(outFiles(), left) << c.broken;
    }
}
