#include "common/AudioPlayer.h"

#include "TestUtil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

using testutil::TempDir;
using testutil::waitFor;

namespace {

// 16-bit PCM WAV from samples in -1..1, interleaved.
QByteArray wavBytes(const std::vector<float>& samples, int rate, int channels)
{
    QByteArray data;
    for (float s : samples) {
        auto v = int16_t(std::lround(std::max(-1.0f, std::min(1.0f, s)) * 32767.0f));
        data.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
    }
    auto u32 = [](QByteArray& b, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.append(char((v >> (8 * i)) & 0xff));
    };
    auto u16 = [](QByteArray& b, uint16_t v) { b.append(char(v & 0xff)).append(char(v >> 8)); };
    QByteArray h("RIFF");
    u32(h, uint32_t(36 + data.size()));
    h.append("WAVEfmt ");
    u32(h, 16);
    u16(h, 1);
    u16(h, uint16_t(channels));
    u32(h, uint32_t(rate));
    u32(h, uint32_t(rate * channels * 2));
    u16(h, uint16_t(channels * 2));
    u16(h, 16);
    h.append("data");
    u32(h, uint32_t(data.size()));
    return h + data;
}

QString writeTone(const TempDir& dir, const char* name, double seconds, float amplitude = 0.2f)
{
    const int rate = 22050;
    std::vector<float> s(size_t(seconds * rate));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = amplitude * float(std::sin(2 * M_PI * 440.0 * double(i) / rate));
    auto path = dir.path() / name;
    testutil::writeFile(path, wavBytes(s, rate, 1));
    return QString::fromStdString(path.string());
}

// A WAV of the given fmt body and data bytes, with the data size the header
// declares and an optional chunk before the data.
QByteArray wavLayout(const QByteArray& fmt, const QByteArray& data, uint32_t declared, const QByteArray& extra = {})
{
    auto u32 = [](uint32_t v) {
        QByteArray b;
        for (int i = 0; i < 4; ++i)
            b.append(char((v >> (8 * i)) & 0xff));
        return b;
    };
    QByteArray body = "WAVEfmt " + u32(uint32_t(fmt.size())) + fmt + extra + "data" + u32(declared) + data;
    return "RIFF" + u32(uint32_t(body.size())) + body;
}

QByteArray fmtBody(uint16_t tag, int channels, int rate, int bits, bool extensible = false)
{
    QByteArray f;
    auto u16 = [&f](int v) { f.append(char(v & 0xff)).append(char((v >> 8) & 0xff)); };
    auto u32 = [&](int v) {
        u16(v & 0xffff);
        u16(v >> 16);
    };
    u16(extensible ? 0xFFFE : tag);
    u16(channels);
    u32(rate);
    u32(rate * channels * bits / 8);
    u16(channels * bits / 8);
    u16(bits);
    if (extensible) {
        u16(22);
        u16(bits);
        u32(channels == 2 ? 3 : 4);
        u16(tag);
        f.append(QByteArray::fromHex("000000001000800000aa00389b71"));
    }
    return f;
}

double residentMiB()
{
    std::ifstream in("/proc/self/status");
    std::string key;
    long kib = 0;
    while (in >> key) {
        if (key == "VmRSS:") {
            in >> kib;
            break;
        }
        in.ignore(1 << 16, '\n');
    }
    return kib / 1024.0;
}

QString dataFile(const char* name)
{
    return QString::fromUtf8(std::getenv("QV_TEST_DATA")) + "/audio/" + name;
}

// Records the callbacks of plays in the order they arrive.
struct Events {
    QStringList list;
    AudioPlayer::ResultFn result(const QString& tag)
    {
        return [this, tag](bool ok, const QString& msg) {
            list << QString("%1 result %2 %3").arg(tag).arg(ok ? "ok" : "failed", msg);
        };
    }
    std::function<void()> start(const QString& tag)
    {
        return [this, tag]() { list << tag + " start"; };
    }
    bool has(const QString& e) const { return list.contains(e); }
};

// Waits until the shared mixer has played `seconds` more of the clock's
// sound: time as the mixer counts it, however slow the machine is.
bool mixerPlays(const AudioPlayer& clock, double seconds, const std::function<void()>& watch = nullptr)
{
    const double from = clock.position();
    return waitFor(
        [&] {
            if (watch)
                watch();
            return clock.position() >= from + seconds;
        },
        testutil::hangLimitMs);
}

class EnvGuard
{
public:
    EnvGuard(const char* name, const char* value) : name(name)
    {
        if (const char* old = std::getenv(name))
            saved = old;
        setenv(name, value, 1);
    }
    ~EnvGuard()
    {
        if (saved.empty())
            unsetenv(name);
        else
            setenv(name, saved.c_str(), 1);
    }

private:
    const char* name;
    std::string saved;
};

} // namespace

TEST(AudioPlayer, StartComesFirstAndEndIsReportedOnce)
{
    TempDir dir;
    QString path = writeTone(dir, "a.wav", 0.4);
    Events ev;
    AudioPlayer player;
    double maxPos = 0;
    QElapsedTimer t;
    t.start();
    player.play(path, ev.result("a"), ev.start("a"));
    // The end is reported without a further call.
    ASSERT_TRUE(waitFor(
        [&] {
            maxPos = std::max(maxPos, player.position());
            return ev.list.size() == 2;
        },
        testutil::hangLimitMs));
    EXPECT_EQ(ev.list, QStringList({"a start", "a result ok "}));
    // The sound ran in real time, not skipped: it cannot end sooner.
    EXPECT_GE(t.elapsed(), 350);
    EXPECT_GT(maxPos, 0.1);
    EXPECT_LE(maxPos, 0.45);
    EXPECT_EQ(player.position(), 0);
    // Once: a second sound's reports, which end at least two end checks
    // later, follow with nothing of the first between.
    player.play(writeTone(dir, "b.wav", 1.0), ev.result("b"), ev.start("b"));
    ASSERT_TRUE(waitFor([&] { return ev.has("b result ok "); }, testutil::hangLimitMs));
    EXPECT_EQ(ev.list, QStringList({"a start", "a result ok ", "b start", "b result ok "}));
}

TEST(AudioPlayer, FilesThatCannotPlay)
{
    TempDir dir;
    Events ev;
    AudioPlayer player;
    player.play(QString::fromStdString((dir.path() / "missing.wav").string()), ev.result("missing"),
                ev.start("missing"));
    auto junk = dir.path() / "junk.wav";
    testutil::writeFile(junk, QByteArray(4000, 'x'));
    player.play(QString::fromStdString(junk.string()), ev.result("junk"), ev.start("junk"));
    // A folder is not a sound either.
    player.play(QString::fromStdString(dir.path().string()), ev.result("dir"), nullptr);
    ASSERT_TRUE(waitFor([&] { return ev.list.size() == 5; }, testutil::hangLimitMs));
    EXPECT_EQ(ev.list[0], "missing start");
    EXPECT_EQ(ev.list[1], "missing result failed Can not open WAV File!No such file or directory");
    EXPECT_EQ(ev.list[2], "junk start");
    EXPECT_EQ(ev.list[3], "junk result failed Can not open WAV File!");
    EXPECT_TRUE(ev.list[4].startsWith("dir result failed Can not open WAV File!")) << ev.list[4].toStdString();
    // Failed plays leave nothing current: stop reports nothing before the
    // reports of a later play.
    player.stop();
    player.play(QString::fromStdString((dir.path() / "missing.wav").string()), ev.result("later"), ev.start("later"));
    ASSERT_TRUE(waitFor([&] { return ev.list.size() >= 7; }, testutil::hangLimitMs));
    EXPECT_EQ(ev.list.mid(5),
              QStringList({"later start", "later result failed Can not open WAV File!No such file or directory"}));
}

TEST(AudioPlayer, ResourceFilesAndOtherFormatsPlay)
{
    const QStringList paths = {":/audio/tone.wav", "qrc:/audio/tone.wav", dataFile("tone.mp3"),
                               dataFile("tone.flac"), dataFile("tone.ogg")};
    for (const QString& path : paths) {
        Events ev;
        AudioPlayer player;
        double maxPos = 0;
        player.play(path, ev.result("r"), ev.start("r"));
        ASSERT_TRUE(waitFor(
            [&] {
                maxPos = std::max(maxPos, player.position());
                return ev.list.size() == 2;
            },
            testutil::hangLimitMs))
            << path.toStdString();
        EXPECT_EQ(ev.list, QStringList({"r start", "r result ok "})) << path.toStdString();
        // Decoded and played, close to the 0.6 s of the file.
        EXPECT_GT(maxPos, 0.3) << path.toStdString();
        EXPECT_LT(maxPos, 0.8) << path.toStdString();
    }
}

TEST(AudioPlayer, SecondPlayReplacesFirstAndStopReportsOnce)
{
    TempDir dir;
    QString longer = writeTone(dir, "long.wav", 3.0);
    QString shorter = writeTone(dir, "short.wav", 0.3);
    Events ev;
    AudioPlayer player;
    player.stop(); // nothing plays: nothing reported
    player.play(longer, ev.result("a"), ev.start("a"));
    ASSERT_TRUE(waitFor([&] { return player.position() > 0.05; }, testutil::hangLimitMs));
    player.play(shorter, ev.result("b"), ev.start("b"));
    ASSERT_TRUE(waitFor([&] { return ev.list.size() == 4; }, testutil::hangLimitMs));
    EXPECT_EQ(ev.list, QStringList({"a start", "a result ok ", "b start", "b result ok "}));

    ev.list.clear();
    player.play(longer, ev.result("c"), nullptr);
    ASSERT_TRUE(waitFor([&] { return player.position() > 0.05; }, testutil::hangLimitMs));
    player.stop();
    player.stop();
    ASSERT_TRUE(waitFor([&] { return ev.list.size() == 1; }, testutil::hangLimitMs));
    EXPECT_EQ(player.position(), 0);
    // Once: a later sound's reports, which end at least two end checks
    // later, follow with nothing of the stopped one between.
    player.play(writeTone(dir, "d.wav", 1.0), ev.result("d"), ev.start("d"));
    ASSERT_TRUE(waitFor([&] { return ev.has("d result ok "); }, testutil::hangLimitMs));
    EXPECT_EQ(ev.list, QStringList({"c result ok ", "d start", "d result ok "}));
}

TEST(AudioPlayer, PauseHoldsTheSoundAndSeekMoves)
{
    TempDir dir;
    QString path = writeTone(dir, "long.wav", 2.5);
    Events ev;
    AudioPlayer player;
    // Another sound on the mixer tells how much it has played meanwhile.
    AudioPlayer clock;
    clock.play(writeTone(dir, "clock.wav", 5.0), nullptr, nullptr);
    player.play(path, ev.result("a"), nullptr);
    ASSERT_TRUE(waitFor([&] { return player.position() > 0.1; }, testutil::hangLimitMs));
    player.setPause(true);
    ASSERT_TRUE(mixerPlays(clock, 0.1));
    double held = player.position();
    ASSERT_TRUE(mixerPlays(clock, 0.7));
    EXPECT_DOUBLE_EQ(player.position(), held);
    EXPECT_TRUE(ev.list.isEmpty());

    // A seek while paused moves the position and stays paused.
    player.seek(1);
    EXPECT_GE(player.position(), 1.0);
    ASSERT_TRUE(mixerPlays(clock, 0.3));
    EXPECT_LT(player.position(), 1.1);
    player.setPause(false);
    ASSERT_TRUE(waitFor([&] { return player.position() > 1.2; }, testutil::hangLimitMs));

    // Past the end: the sound ends and is reported.
    player.seek(10);
    ASSERT_TRUE(waitFor([&] { return ev.list.size() == 1; }, testutil::hangLimitMs));
    EXPECT_EQ(ev.list, QStringList({"a result ok "}));
}

TEST(AudioPlayer, TwoPlayersDoNotCutEachOtherOff)
{
    TempDir dir;
    QString path = writeTone(dir, "long.wav", 1.5);
    Events ev;
    auto a = std::make_unique<AudioPlayer>();
    AudioPlayer b;
    a->play(path, ev.result("a"), nullptr);
    b.play(path, ev.result("b"), nullptr);
    ASSERT_TRUE(waitFor([&] { return a->position() > 0.1 && b.position() > 0.1; }, testutil::hangLimitMs));
    a->stop();
    ASSERT_TRUE(waitFor([&] { return ev.list.size() == 1; }, testutil::hangLimitMs));
    EXPECT_EQ(ev.list, QStringList({"a result ok "}));
    // b goes on after a stopped and after a is gone with its mixer channel.
    a.reset();
    double before = b.position();
    ASSERT_TRUE(waitFor([&] { return b.position() > before + 0.1 || ev.list.size() > 1; }, testutil::hangLimitMs));
    EXPECT_GT(b.position(), before + 0.1);
    EXPECT_EQ(ev.list.size(), 1);
    ASSERT_TRUE(waitFor([&] { return ev.list.size() == 2; }, testutil::hangLimitMs));
    EXPECT_EQ(ev.list[1], "b result ok ");
}

TEST(AudioPlayer, ManyPlayersEachKeepTheirSound)
{
    TempDir dir;
    QString path = writeTone(dir, "a.wav", 0.5);
    Events ev;
    std::vector<std::unique_ptr<AudioPlayer>> players;
    std::vector<double> maxPos(12, 0.0);
    for (int i = 0; i < 12; ++i) {
        players.push_back(std::make_unique<AudioPlayer>());
        players.back()->play(path, ev.result(QString::number(i)), nullptr);
    }
    ASSERT_TRUE(waitFor(
        [&] {
            for (size_t i = 0; i < players.size(); ++i)
                maxPos[i] = std::max(maxPos[i], players[i]->position());
            return ev.list.size() == 12;
        },
        testutil::hangLimitMs));
    for (int i = 0; i < 12; ++i) {
        EXPECT_TRUE(ev.has(QString("%1 result ok ").arg(i))) << i;
        EXPECT_GT(maxPos[size_t(i)], 0.3) << i;
    }
}

TEST(AudioPlayer, PlayFromAWorkerThreadReportsOnTheGuiThread)
{
    TempDir dir;
    QString path = writeTone(dir, "a.wav", 0.2);
    AudioPlayer player;
    std::vector<QThread*> threads;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        player.play(
            path,
            [&](bool ok, const QString&) {
                threads.push_back(QThread::currentThread());
                done = ok;
            },
            [&] { threads.push_back(QThread::currentThread()); });
    });
    worker.join();
    ASSERT_TRUE(waitFor([&] { return done.load(); }, testutil::hangLimitMs));
    ASSERT_EQ(threads.size(), 2u);
    EXPECT_EQ(threads[0], QCoreApplication::instance()->thread());
    EXPECT_EQ(threads[1], QCoreApplication::instance()->thread());
}

TEST(AudioPlayer, DestroyedWhilePlayingCallsNothing)
{
    TempDir dir;
    QString path = writeTone(dir, "long.wav", 2.0);
    Events ev;
    {
        AudioPlayer player;
        player.play(path, ev.result("a"), ev.start("a"));
        ASSERT_TRUE(waitFor([&] { return player.position() > 0.1; }, testutil::hangLimitMs));
        // Queued jobs and pending end checks die with the player.
        player.stop();
        player.play(path, ev.result("b"), ev.start("b"));
    }
    // A later player's sound ends at least two end checks after any of the
    // gone player's.
    AudioPlayer later;
    later.play(writeTone(dir, "c.wav", 1.0), ev.result("c"), ev.start("c"));
    ASSERT_TRUE(waitFor([&] { return ev.has("c result ok "); }, testutil::hangLimitMs));
    EXPECT_EQ(ev.list, QStringList({"a start", "c start", "c result ok "}));
}

TEST(AudioPlayer, InitFailureIsReportedAndTheNextPlayTriesAgain)
{
    TempDir dir;
    QString path = writeTone(dir, "a.wav", 0.2);
    Events ev;
    AudioPlayer player;
    {
        EnvGuard driver("SDL_AUDIODRIVER", "no-such-driver");
        player.play(path, ev.result("a"), ev.start("a"));
        ASSERT_TRUE(waitFor([&] { return ev.list.size() == 1; }, testutil::hangLimitMs));
    }
    EXPECT_EQ(ev.list, QStringList({"a result failed Player init failed!"}));
    player.play(path, ev.result("b"), ev.start("b"));
    ASSERT_TRUE(waitFor([&] { return ev.list.size() == 3; }, testutil::hangLimitMs));
    EXPECT_EQ(ev.list.mid(1), QStringList({"b start", "b result ok "}));
}

TEST(AudioPlayer, WrittenSamplesCarryTheGainAndRoundOff)
{
    TempDir dir;
    auto out = dir.path() / "out.raw";
    // Device rate and layout, so the samples reach the mixer unchanged.
    const int rate = 44100;
    std::vector<float> s;
    s.insert(s.end(), size_t(rate / 4 * 2), 0.1f);
    s.insert(s.end(), size_t(rate / 4 * 2), 0.9f);
    auto wav = dir.path() / "dc.wav";
    testutil::writeFile(wav, wavBytes(s, rate, 2));
    {
        EnvGuard driver("SDL_AUDIODRIVER", "disk");
        EnvGuard file("SDL_DISKAUDIOFILE", out.c_str());
        EnvGuard delay("SDL_DISKAUDIODELAY", "0");
        Events ev;
        AudioPlayer player;
        player.play(QString::fromStdString(wav.string()), ev.result("a"), nullptr);
        ASSERT_TRUE(waitFor([&] { return player.position() >= 0.5 || !ev.list.isEmpty(); }, testutil::hangLimitMs));
        EXPECT_TRUE(ev.list.isEmpty());
    }
    QByteArray raw = testutil::readFile(out);
    ASSERT_GT(raw.size(), 0);
    const float* f = reinterpret_cast<const float*>(raw.constData());
    size_t n = size_t(raw.size()) / sizeof(float);
    size_t quiet = 0, loud = 0, other = 0;
    float peak = 0;
    const float quietWant = 2.0f * (3277.0f / 32768.0f);
    const float loudWant = 0.5f + 0.5f * std::tanh((2.0f * (29490.0f / 32768.0f) - 0.5f) / 0.5f);
    for (size_t i = 0; i < n; ++i) {
        peak = std::max(peak, std::fabs(f[i]));
        if (std::fabs(f[i] - quietWant) < 1e-4f)
            ++quiet;
        else if (std::fabs(f[i] - loudWant) < 1e-4f)
            ++loud;
        else if (f[i] != 0.0f)
            ++other;
    }
    // Quiet samples are doubled exactly; loud ones are rounded off below full scale.
    EXPECT_EQ(quiet, size_t(rate / 4 * 2));
    EXPECT_EQ(loud, size_t(rate / 4 * 2));
    EXPECT_EQ(other, 0u);
    EXPECT_LT(peak, 1.0f);
}

TEST(AudioPlayer, ThreeHoursOfSpeechPlayFromTheFile)
{
    TempDir dir;
    // A joined project of three hours at 22050 Hz, mono, 16-bit: silence,
    // written as a hole in the file.
    const int seconds = 3 * 3600;
    const qint64 bytes = qint64(seconds) * 22050 * 2;
    const auto path = dir.path() / "audio.wav";
    testutil::writeFile(path, wavLayout(fmtBody(1, 1, 22050, 16), {}, uint32_t(bytes)));
    std::filesystem::resize_file(path, std::uintmax_t(44 + bytes));
    Events ev;
    AudioPlayer player;
    AudioPlayer clock;
    clock.play(writeTone(dir, "clock.wav", 5.0), nullptr, nullptr);
    const double before = residentMiB();
    double peak = before;
    auto watch = [&](const std::function<bool()>& pred) {
        return [&peak, pred] {
            peak = std::max(peak, residentMiB());
            return pred();
        };
    };
    player.play(QString::fromStdString(path.string()), ev.result("long"), ev.start("long"));
    ASSERT_TRUE(waitFor(watch([&] { return player.position() > 0.2; }), testutil::hangLimitMs));
    EXPECT_EQ(ev.list, QStringList({"long start"}));

    // Two hours in: the position is there at once and moves on from there.
    player.seek(7200);
    EXPECT_GE(player.position(), 7200.0);
    EXPECT_LT(player.position(), 7200.5);
    ASSERT_TRUE(waitFor(watch([&] { return player.position() > 7200.2; }), testutil::hangLimitMs));

    player.setPause(true);
    ASSERT_TRUE(mixerPlays(clock, 0.1));
    const double held = player.position();
    ASSERT_TRUE(mixerPlays(clock, 0.6, [&peak] { peak = std::max(peak, residentMiB()); }));
    EXPECT_DOUBLE_EQ(player.position(), held);
    player.setPause(false);
    ASSERT_TRUE(waitFor(watch([&] { return player.position() > held + 0.1; }), testutil::hangLimitMs));
    EXPECT_EQ(ev.list.size(), 1);

    // The last second plays out and the end is reported once.
    player.seek(seconds - 1);
    ASSERT_TRUE(waitFor(watch([&] { return ev.list.size() == 2; }), testutil::hangLimitMs));
    EXPECT_EQ(ev.list[1], "long result ok ");
    EXPECT_EQ(player.position(), 0);
    // The sound was never held in memory, neither as read nor as converted.
    EXPECT_LT(peak - before, 50.0);
}

TEST(AudioPlayer, WavLayoutsPlayToTheirEnd)
{
    auto tone = [](int frames, int channels, int bytesPerSample) {
        QByteArray d;
        for (int i = 0; i < frames * channels; ++i) {
            const float v = 0.2f * float(std::sin(i * 0.05));
            if (bytesPerSample == 1) {
                d.append(char(uint8_t(128 + int(v * 127))));
            } else if (bytesPerSample == 2) {
                auto s = int16_t(v * 32767);
                d.append(char(s & 0xff)).append(char((s >> 8) & 0xff));
            } else {
                d.append(reinterpret_cast<const char*>(&v), 4);
            }
        }
        return d;
    };
    const QByteArray mono16 = tone(11025, 1, 2); // half a second at 22050 Hz
    struct Case
    {
        const char* name;
        QByteArray wav;
        double seconds;
    };
    const std::vector<Case> cases = {
        {"a chunk of odd size before the data",
         wavLayout(fmtBody(1, 1, 22050, 16), mono16, uint32_t(mono16.size()), QByteArray("LIST\x03\0\0\0abc\0", 12)),
         0.5},
        {"data size left at 0 by a streaming writer", wavLayout(fmtBody(1, 1, 22050, 16), mono16, 0), 0.5},
        {"a cut file that declares more data", wavLayout(fmtBody(1, 1, 22050, 16), mono16, 4 * 22050 * 2), 0.5},
        {"8-bit stereo at 11025 Hz", wavLayout(fmtBody(1, 2, 11025, 8), tone(5512, 2, 1), 5512 * 2), 0.5},
        {"32-bit float in the extensible layout", wavLayout(fmtBody(3, 2, 48000, 32, true), tone(24000, 2, 4), 24000 * 8),
         0.5},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const auto path = dir.path() / "layout.wav";
        testutil::writeFile(path, c.wav);
        Events ev;
        AudioPlayer player;
        double maxPos = 0;
        player.play(QString::fromStdString(path.string()), ev.result("w"), ev.start("w"));
        ASSERT_TRUE(waitFor(
            [&] {
                maxPos = std::max(maxPos, player.position());
                return ev.list.size() == 2;
            },
            testutil::hangLimitMs))
            << c.name;
        EXPECT_EQ(ev.list, QStringList({"w start", "w result ok "})) << c.name;
        EXPECT_GT(maxPos, c.seconds * 0.8) << c.name;
        EXPECT_LT(maxPos, c.seconds + 0.05) << c.name;
    }
}

namespace {

// Bytes this process has read from files and pipes so far.
long long bytesRead()
{
    std::ifstream in("/proc/self/io");
    std::string key;
    long long value = 0;
    while (in >> key >> value) {
        if (key == "rchar:")
            return value;
    }
    return 0;
}

// An MP3 of a tag and then frames of 8 kbit/s at 8 kHz: 72 ms of sound in
// each 72 bytes.
QByteArray shortFramesMp3(int bytes)
{
    QByteArray mp3("ID3\x03\0\0\0\0\0\0", 10);
    QByteArray frame(72, '\0');
    frame[0] = char(0xFF);
    frame[1] = char(0xE3);
    frame[2] = char(0x18);
    frame[3] = char(0xC0);
    while (mp3.size() < bytes)
        mp3 += frame;
    return mp3;
}

} // namespace

TEST(AudioPlayer, FilesThatCannotPlayAreRefusedAtOnceAndCheaply)
{
    TempDir dir;
    const auto path = dir.path() / "sound";
    struct Case
    {
        const char* name;
        std::function<void()> make;
        QString message;
        long long mostRead;
    };
    const QString refused = "Can not open WAV File!";
    const QString notAFile = refused + "Not a regular file";
    const std::vector<Case> cases = {
        {"a RIFF of 64 MiB of empty chunks",
         [&] {
             testutil::writeFile(path, QByteArray("RIFF\xff\xff\xff\xffWAVE", 12));
             std::filesystem::resize_file(path, 12 + (64u << 20));
         },
         refused, 1 << 20},
        {"a pipe", [&] { ::mkfifo(path.c_str(), 0600); }, notAFile, 1 << 20},
        {"a link to /dev/zero", [&] { std::filesystem::create_symlink("/dev/zero", path); }, notAFile, 1 << 20},
        {"16-bit PCM at 1 Hz", [&] { testutil::writeFile(path, wavLayout(fmtBody(1, 1, 1, 16), QByteArray(44000, 1), 44000)); },
         refused, 1 << 20},
        {"IMA ADPCM", [&] { testutil::writeFile(path, wavLayout(fmtBody(0x11, 1, 22050, 4), QByteArray(4096, 1), 4096)); },
         refused, 1 << 20},
        {"an MP3 of 17 minutes in 1 MiB", [&] { testutil::writeFile(path, shortFramesMp3(1 << 20)); },
         refused, 2 << 20},
        {"an MP3 file of 5 MiB", [&] { testutil::writeFile(path, shortFramesMp3(5 << 20)); }, refused, 1 << 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.make();
        // Opens a pipe for writing whenever a reader waits on it, so that a
        // reader could never wait for ever.
        std::atomic<bool> done{false};
        std::thread writer([&] {
            while (!done) {
                int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0)
                    ::close(fd);
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
        Events ev;
        AudioPlayer player;
        const double before = residentMiB();
        const long long readBefore = bytesRead();
        player.play(QString::fromStdString(path.string()), ev.result("x"), nullptr);
        EXPECT_TRUE(waitFor([&] { return !ev.list.isEmpty(); }, testutil::hangLimitMs));
        const long long read = bytesRead() - readBefore;
        const double grown = residentMiB() - before;
        done = true;
        writer.join();
        EXPECT_EQ(ev.list, QStringList({"x result failed " + c.message}));
        EXPECT_LT(read, c.mostRead);
        EXPECT_LT(grown, 40.0);
        std::filesystem::remove(path);
    }
}

TEST(AudioPlayer, EveryPcmLayoutPlaysFromTheFileAsTheSameSound)
{
    // A quarter of a second of one value at the mixer's rate and layout,
    // then silence to 256 MiB; the mixer gets value * Gain, rounded off.
    auto roundOff = [](float x) {
        return std::fabs(x) <= 0.5f ? x : std::copysign(0.5f + 0.5f * std::tanh((std::fabs(x) - 0.5f) / 0.5f), x);
    };
    auto repeat = [](const QByteArray& sample) {
        QByteArray d;
        for (int i = 0; i < 44100 / 4 * 2; ++i)
            d += sample;
        return d;
    };
    auto le = [](uint64_t v, int bytes) {
        QByteArray b;
        for (int i = 0; i < bytes; ++i)
            b.append(char((v >> (8 * i)) & 0xff));
        return b;
    };
    double tenth = 0.1;
    uint64_t tenthBits;
    std::memcpy(&tenthBits, &tenth, 8);
    struct Case
    {
        const char* name;
        QByteArray fmt;
        QByteArray sample;
        float heard;
    };
    const std::vector<Case> cases = {
        {"24-bit", fmtBody(1, 2, 44100, 24), le(838861, 3), 2.0f * (838861.0f / 8388608.0f)},
        {"20 bits in 24", fmtBody(1, 2, 44100, 24, true).replace(18, 2, le(20, 2)), le(838864, 3),
         2.0f * (838864.0f / 8388608.0f)},
        {"64-bit float", fmtBody(3, 2, 44100, 64), le(tenthBits, 8), 2.0f * float(0.1)},
        {"A-law", fmtBody(6, 2, 44100, 8), QByteArray(1, char(0xAA)), roundOff(2.0f * 32256.0f / 32768.0f)},
        {"mu-law", fmtBody(7, 2, 44100, 8), QByteArray(1, char(0x80)), roundOff(2.0f * 32124.0f / 32768.0f)},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray data = repeat(c.sample);
        const uint32_t declared = 256u << 20;
        const auto wav = dir.path() / "layout.wav";
        testutil::writeFile(wav, wavLayout(c.fmt, data, declared));
        std::filesystem::resize_file(wav, std::filesystem::file_size(wav) - data.size() + declared);
        const auto out = dir.path() / "out.raw";
        double peak = 0, before = 0;
        {
            EnvGuard driver("SDL_AUDIODRIVER", "disk");
            EnvGuard file("SDL_DISKAUDIOFILE", out.c_str());
            EnvGuard delay("SDL_DISKAUDIODELAY", "0");
            Events ev;
            AudioPlayer player;
            before = peak = residentMiB();
            player.play(QString::fromStdString(wav.string()), ev.result("w"), nullptr);
            ASSERT_TRUE(waitFor(
                [&] {
                    peak = std::max(peak, residentMiB());
                    return player.position() >= 0.3 || !ev.list.isEmpty();
                },
                testutil::hangLimitMs));
            EXPECT_TRUE(ev.list.isEmpty());
        }
        const QByteArray raw = testutil::readFile(out);
        const float* f = reinterpret_cast<const float*>(raw.constData());
        size_t heard = 0;
        for (size_t i = 0; i < size_t(raw.size()) / sizeof(float); ++i)
            heard += std::fabs(f[i] - c.heard) < 1e-5f;
        EXPECT_EQ(heard, size_t(44100 / 4 * 2));
        EXPECT_LT(peak - before, 40.0);
    }
}
