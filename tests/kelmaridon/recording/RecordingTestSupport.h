#pragma once

#include "common/Sqlite3Cursor.h"
#include "common/Sqlite3DB.h"
#include "platform/PiperHelper.h"
#include "recording/TakeWav.h"

#include "TestUtil.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace rectest {

// Bytes of one second of a take's samples.
constexpr int kSecond = 96000;

// Seconds of a sawtooth with an odd period, so that no block repeats another.
inline QByteArray sawtooth(double seconds)
{
    QByteArray samples;
    for (int i = 0; i < int(seconds * 48000); ++i) {
        int16_t s = int16_t((i % 977) * 67 - 32000);
        samples.append(char(s & 0xFF));
        samples.append(char((s >> 8) & 0xFF));
    }
    return samples;
}

// espeak-ng's speech of text at 48000 Hz, at a man's (110 Hz) or another
// speaker's pitch, as a take's samples; no silence before or after.
inline QByteArray spoken(const std::string& text, double pitchHz = 110)
{
    static const testutil::TempDir voiceDir;
    const std::filesystem::path model = voiceDir.path() / ("speaker" + std::to_string(int(pitchHz)) + ".onnx");
    std::filesystem::path config = model;
    config += ".json";
    testutil::writeFile(model, "no weights");
    testutil::writeFile(config, QByteArray::fromStdString("{\"audio\":{\"sample_rate\":48000},\"espeak\":{\"voice\":"
                                                          "\"en-us\"},\"speech\":{\"pitch_hz\":" +
                                                          std::to_string(pitchHz) + "}}"));
    QByteArray samples;
    PiperHelper voice;
    PiperHelper::RunConfig run;
    run.modelPath = model;
    run.modelConfigPath = config;
    run.sentenceSilenceSeconds = 0;
    bool ok = voice.load(run, [&](const std::vector<short>& s) {
        samples.append(reinterpret_cast<const char*>(s.data()), int(s.size() * sizeof(short)));
    }) && voice.update(text);
    EXPECT_TRUE(ok) << voice.lastErr();
    return samples;
}

// Seconds of speech: prompt sentences read one after another, cut to length.
inline QByteArray speech(double seconds)
{
    static const QByteArray reading =
        spoken("Bees buzzed busily among the clover blossoms. Could you speak a little louder, please? "
               "Four hundred people attended the charity dinner. My friend plays the guitar beautifully.");
    QByteArray out;
    const int bytes = int(seconds * 48000) * 2;
    while (out.size() < bytes)
        out += reading;
    return out.left(bytes);
}

// SDL's disk driver as the sound device: the microphone reads a minute of
// speech, ten times as fast as a real one, and the speaker writes to /dev/null.
inline void useDiskAudio()
{
    static const testutil::TempDir micDir;
    const std::filesystem::path microphone = micDir.path() / "speech.raw";
    if (!std::filesystem::exists(microphone))
        testutil::writeFile(microphone, speech(60));
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIODELAY", "10", 1);
    ::setenv("SDL_DISKAUDIOFILEIN", microphone.c_str(), 1);
    ::setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
}

// A microphone that gives exactly the samples the test feeds it, in blocks of
// a tenth of a second: SDL's disk driver reads a FIFO that the test writes.
// The driver waits for more until the microphone is closed, so it must be
// closed before the recorder that reads it (declare it after the recorder).
class FifoMicrophone
{
public:
    explicit FifoMicrophone(const std::filesystem::path& fifo)
    {
        ::mkfifo(fifo.c_str(), 0600);
        // Read and write: opening never waits, and the reader gets no end of file until close.
        fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        ::fcntl(fd, F_SETPIPE_SZ, 1 << 20);
        ::setenv("SDL_AUDIODRIVER", "disk", 1);
        ::setenv("SDL_DISKAUDIODELAY", "0", 1);
        ::setenv("SDL_DISKAUDIOFILEIN", fifo.c_str(), 1);
        ::setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    }
    ~FifoMicrophone() { close(); }
    FifoMicrophone(const FifoMicrophone&) = delete;
    FifoMicrophone& operator=(const FifoMicrophone&) = delete;

    // False when the FIFO is missing or full (a megabyte not read yet).
    bool feed(const QByteArray& samples)
    {
        return fd >= 0 && ::write(fd, samples.constData(), size_t(samples.size())) == samples.size();
    }
    // The microphone then gives silence.
    void close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

private:
    int fd = -1;
};

inline int64_t fileSize(const std::filesystem::path& p)
{
    std::error_code ec;
    auto n = std::filesystem::file_size(p, ec);
    return ec ? -1 : int64_t(n);
}

// The file a running take is written into.
inline std::filesystem::path partOf(const std::filesystem::path& take)
{
    return TakeWav::partPath(take);
}

// A take of the given samples behind a valid header.
inline QByteArray takeOf(const QByteArray& samples)
{
    return QByteArray::fromStdString(TakeWav::header(uint64_t(samples.size()))) + samples;
}

// This test program started again as a recorder into take (see the child's
// hook in test_voice_recorder.cpp): it prints "capturing" once a block is in
// and "result <ok> <message>" when the recorder reports. With a size limit
// it stops after the report and ends; without one it records until killed.
inline std::unique_ptr<QProcess> startTakeChild(const std::filesystem::path& take, int64_t sizeLimit = 0)
{
    auto child = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QV_TAKE_CHILD", QString::fromStdString(take.u8string()));
    if (sizeLimit > 0)
        env.insert("QV_TAKE_SIZE_LIMIT", QString::number(sizeLimit));
    child->setProcessEnvironment(env);
    child->setProcessChannelMode(QProcess::SeparateChannels);
    child->start(QCoreApplication::applicationFilePath(), QStringList());
    child->waitForStarted(testutil::hangLimitMs);
    return child;
}

inline uint32_t u32(const QByteArray& b, int offset)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | uint8_t(b[offset + i]);
    return v;
}

// A finished take: audio behind a header that matches the file's size.
inline bool isValidTake(const std::filesystem::path& p)
{
    QByteArray take = testutil::readFile(p);
    return take.size() > 44 && take.left(4) == "RIFF" && u32(take, 4) == uint32_t(take.size() - 8) &&
           take.mid(36, 4) == "data" && u32(take, 40) == uint32_t(take.size() - 44);
}

// The status of sentence id in a recording's database; -2 when it cannot be read.
inline int statusOf(const std::filesystem::path& folder, int id)
{
    Sqlite3DB db;
    Sqlite3Cursor c;
    std::string sql = "select status from recording where id=" + std::to_string(id);
    if (!db.open((folder / "recording.db").string(), "", SQLITE_OPEN_READONLY) || !db.query(sql.c_str(), c) ||
        !c.next())
        return -2;
    return int(c.getInt64("status"));
}

} // namespace rectest
