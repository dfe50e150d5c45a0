#include "app/AppMain.h"
#include "app/Startup.h"
#include "common/SingleInstanceGuard.h"

#include "TestUtil.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <openssl/sha.h>

#include <csignal>

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
    Gui(const QStringList& args = {})
    {
        proc.setProcessChannelMode(QProcess::ForwardedChannels);
        proc.start(program(), args);
    }
    ~Gui()
    {
        if (proc.state() != QProcess::NotRunning) {
            proc.kill();
            proc.waitForFinished(5000);
        }
    }
};

int runToEnd(const QStringList& args, QByteArray* err = nullptr, int msec = 15000)
{
    QProcess p;
    p.start(program(), args);
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
    ASSERT_TRUE(first.proc.waitForStarted(5000));
    ASSERT_TRUE(waitFor(guiRunning, 10000)) << "the first instance never took the lock";

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
    first.proc.waitForFinished(5000);
    EXPECT_FALSE(guiRunning());
    Gui next;
    ASSERT_TRUE(next.proc.waitForStarted(5000));
    EXPECT_TRUE(waitFor(guiRunning, 10000));
    EXPECT_FALSE(next.proc.waitForFinished(500));
}

TEST(Startup, BrokenRootPageEndsWithMinusOne)
{
    testutil::TempDir tmp;
    auto qml = tmp.path() / "main.qml";
    testutil::writeFile(qml, "import QtQuick 2.15\nItem { this is not qml }\n");
    QProcess p;
    p.start(testutil::binDir() + "/broken_root", {QString::fromStdString(qml.string())});
    ASSERT_TRUE(p.waitForFinished(15000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 255);
    // The lock went with it.
    EXPECT_FALSE(guiRunning());
}
