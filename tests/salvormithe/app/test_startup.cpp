#include "../synthesis/SynthesisFixture.h"

#include "app/AppMain.h"
#include "app/Startup.h"
#include "common/SingleInstanceGuard.h"
#include "synthesis/ConvertRequest.h"

#include "TestUtil.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <openssl/sha.h>

#include <csignal>

namespace fs = std::filesystem;

using testutil::hangLimitMs;
using testutil::waitFor;

namespace {

QString program()
{
    return testutil::binDir() + "/salvormithe";
}

bool guiRunning()
{
    SingleInstanceGuard probe("quorvine_salvormithe");
    return probe.isAnotherRunning();
}

struct Gui
{
    QProcess proc;
    Gui(const QStringList& args = {}, const QString& path = program())
    {
        proc.setProcessChannelMode(QProcess::ForwardedChannels);
        proc.start(path, args);
    }
    ~Gui()
    {
        if (proc.state() != QProcess::NotRunning) {
            proc.kill();
            proc.waitForFinished(hangLimitMs);
        }
    }
};

int runToEnd(const QStringList& args, QByteArray* err = nullptr, int msec = hangLimitMs, const QString& path = program(),
             const QByteArray& input = {})
{
    QProcess p;
    p.start(path, args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(msec)) {
        p.kill();
        p.waitForFinished();
        return -1000;
    }
    if (err)
        *err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2000;
}

} // namespace

TEST(Startup, KeyHashIsSha1OfKeyAndSalt)
{
    std::string joined = "quorvine_salvormithe_memLockKey";
    ASSERT_EQ(joined.size(), 31u);
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(joined.data()), joined.size(), digest);
    QString expected = QByteArray(reinterpret_cast<char*>(digest), SHA_DIGEST_LENGTH).toHex();
    EXPECT_EQ(keyHash("quorvine_salvormithe", "_memLockKey"), expected);
    EXPECT_EQ(keyHash("quorvine_salvormithe", "_memLockKey").size(), 40);
    EXPECT_NE(keyHash("quorvine_salvormithe", "_memLockKey"), keyHash("quorvine_salvormithe", "_sharedmemKey"));
}

TEST(Startup, ModeChoice)
{
    char prog[] = "salvormithe", conv[] = "--convert", other[] = "--other";
    char* a1[] = {prog};
    char* a2[] = {prog, conv};
    char* a3[] = {prog, other, conv};
    EXPECT_FALSE(isConvertMode(1, a1));
    EXPECT_TRUE(isConvertMode(2, a2));
    EXPECT_FALSE(isConvertMode(3, a3));
}

TEST(Startup, OneWindowPerUserWorkersBeside)
{
    Gui first;
    ASSERT_TRUE(first.proc.waitForStarted(hangLimitMs));
    ASSERT_TRUE(waitFor(guiRunning, hangLimitMs)) << "the first instance never took the lock";

    // A second instance ends at once with 0; so does one with "--convert" in a later place.
    EXPECT_EQ(runToEnd({}), 0);
    EXPECT_EQ(runToEnd({"--other", "--convert"}), 0);
    EXPECT_EQ(first.proc.state(), QProcess::Running);

    // Workers never take the lock: they run and answer beside the window.
    QByteArray err;
    EXPECT_EQ(runToEnd({"--convert"}, &err), 1);
    EXPECT_TRUE(err.contains("Invalid input")) << err.constData();
    EXPECT_EQ(first.proc.state(), QProcess::Running);

    // A killed instance leaves nothing that blocks the next start.
    ::kill(pid_t(first.proc.processId()), SIGKILL);
    first.proc.waitForFinished(hangLimitMs);
    EXPECT_FALSE(guiRunning());
    Gui next;
    ASSERT_TRUE(next.proc.waitForStarted(hangLimitMs));
    EXPECT_TRUE(waitFor(guiRunning, hangLimitMs));
    // It stays: an instance after it finds it running and ends at once with 0.
    EXPECT_EQ(runToEnd({}), 0);
    EXPECT_EQ(next.proc.state(), QProcess::Running);
}

TEST(Startup, BrokenRootPageEndsWithMinusOne)
{
    testutil::TempDir tmp;
    auto qml = tmp.path() / "main.qml";
    testutil::writeFile(qml, "import QtQuick 2.15\nItem { this is not qml }\n");
    QProcess p;
    p.start(testutil::binDir() + "/broken_root", {QString::fromStdString(qml.string())});
    ASSERT_TRUE(p.waitForFinished(hangLimitMs));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 255);
    // The lock went with it.
    EXPECT_FALSE(guiRunning());
}

TEST(Startup, TheWorkerProgramNeedsNoQtAndItsWindowIsAModuleBesideIt)
{
    QProcess readelf;
    readelf.start("readelf", {"-d", program()});
    ASSERT_TRUE(readelf.waitForFinished(hangLimitMs));
    QByteArray dynamic = readelf.readAllStandardOutput();
    EXPECT_TRUE(dynamic.contains("libjson-c")) << dynamic.constData();
    EXPECT_FALSE(dynamic.contains("libQt5")) << dynamic.constData();
    EXPECT_FALSE(dynamic.contains("libespeak")) << dynamic.constData();
    EXPECT_TRUE(fs::exists(fs::u8path((testutil::binDir() + "/salvormithe_window.so").toStdString())));

    // Without its module the program still converts, but its window cannot open:
    // a clear message and exit code 1, no lock taken.
    testutil::TempDir tmp;
    fs::copy_file(program().toStdString(), tmp.path() / "salvormithe");
    QString alone = QString::fromStdString((tmp.path() / "salvormithe").string());
    QByteArray err;
    EXPECT_EQ(runToEnd({}, &err, hangLimitMs, alone), 1);
    EXPECT_TRUE(err.contains("salvormithe: cannot start the window: ")) << err.constData();
    EXPECT_TRUE(err.contains("salvormithe_window.so")) << err.constData();
    EXPECT_FALSE(guiRunning());
    EXPECT_EQ(runToEnd({"--convert"}, &err, hangLimitMs, alone), 1);
    EXPECT_EQ(err, "Invalid input(0).");
}

TEST(Startup, InstalledLayoutConvertsAndOpensTheWindow)
{
    testutil::TempDir tmp;
    fs::path prefix = tmp.path() / "prefix";
    QProcess install;
    install.start("cmake", {"--install", testutil::binDir() + "/..", "--prefix", QString::fromStdString(prefix.string())});
    ASSERT_TRUE(install.waitForFinished(hangLimitMs));
    ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().constData();
    const QString installed = QString::fromStdString((prefix / "bin" / "salvormithe").string());
    EXPECT_TRUE(fs::is_symlink(installed.toStdString()));

    // A conversion through the installed program.
    LocalVoice v = synthtest::installVoice("en_installed", {0});
    fs::path wav = tmp.path() / "installed.wav";
    QByteArray err;
    QByteArray request = QByteArray::fromStdString(
        ConvertRequest::make(v, 1.0f, {"Spoken by the installed program."}, wav.string()).encode());
    EXPECT_EQ(runToEnd({"--convert"}, &err, hangLimitMs, installed, request), 0) << err.constData();
    synthtest::Wav w = synthtest::readWav(wav);
    EXPECT_TRUE(synthtest::isSpeechWav(w));
    EXPECT_GT(w.rms(), 500.0);
    fs::remove_all(voicesDir());

    // Its window opens: it holds the one-instance lock until it is stopped.
    Gui gui({}, installed);
    ASSERT_TRUE(gui.proc.waitForStarted(hangLimitMs));
    EXPECT_TRUE(waitFor(guiRunning, hangLimitMs));
    EXPECT_EQ(gui.proc.state(), QProcess::Running);
}
