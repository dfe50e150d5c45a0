#include "training/HomeModel.h"

#include "training/ExtractProcess.h"

#include "LoopbackServers.h"
#include "MsgboxLog.h"
#include "TrainingTestSupport.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QRegularExpression>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <atomic>

#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace trainingtest;
using testutil::waitFor;

namespace {

// Installs into root and waits for the end; the progress texts shown on the way.
QStringList install(HomeModel& model, const fs::path& root)
{
    QStringList shown;
    QMetaObject::Connection c = QObject::connect(&model, &HomeModel::installingProgressChanged, [&]() {
        shown << model.getInstallingProgress();
    });
    model.installEnv(QUrl::fromLocalFile(q(root)));
    EXPECT_TRUE(waitFor([&] { return !model.getInstallingEnv(); }, 180000));
    QObject::disconnect(c);
    return shown;
}

int indexOfMatch(const QStringList& texts, const QString& pattern)
{
    return texts.indexOf(QRegularExpression(pattern));
}

// A "7z" first on PATH that does what dir/"mode" says: "hold" unpacks a part
// and waits, "full" unpacks a part and fails as on a full disk, "ok" unpacks
// nothing and succeeds, else the real 7z.
QByteArray use7z(const fs::path& dir)
{
    fs::create_directories(dir);
    testutil::writeFile(dir / "7z", QString(R"sh(#!/bin/sh
for a; do case "$a" in -o*) out="${a#-o}";; esac; done
case "$(cat '%1/mode')" in
hold) mkdir -p "$out/Scripts"; echo > "$out/Scripts/part"; echo $$ > '%1/pid'; echo ' 5%'; exec sleep 600;;
full) mkdir -p "$out"; echo > "$out/part"; echo 'errno=28 : No space left on device' >&2; exit 2;;
ok) mkdir -p "$out"; echo ' 100%'; exit 0;;
esac
exec '%2' "$@"
)sh").arg(q(dir), QStandardPaths::findExecutable("7z")).toUtf8());
    QFile::setPermissions(q(dir / "7z"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QByteArray old = qgetenv("PATH");
    qputenv("PATH", (q(dir) + ":").toUtf8() + old);
    return old;
}

ino_t inode(const fs::path& p)
{
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

TEST(EnvInstaller, SevenZipProgressAndErrorsAreParsed)
{
    ExtractProcess p;
    QList<int> seen;
    p.progress = [&seen](int percent) { seen << percent; };
    const std::vector<std::pair<QByteArray, QList<int>>> cases = {
        {"  45% 3 - Scripts/python", {45}}, {"\b\b\b\b 7% 12\r\n 8%", {8}}, {"Everything is Ok", {}},
        {"\b\b\b 9", {}}, {"1% 40 - torch/cuda.py", {91}}, {" 12\n", {}}, {"% 3", {}}};
    for (const auto& [chunk, expected] : cases) {
        seen.clear();
        parse7zProgress(p, 1, chunk);
        EXPECT_EQ(seen, expected) << chunk.toStdString();
    }
    // Standard error never moves the progress; it is kept as the error text.
    seen.clear();
    parse7zProgress(p, 2, "  ERROR: Data Error 50% \n");
    parse7zProgress(p, 2, "Unexpected end");
    EXPECT_TRUE(seen.isEmpty());
    EXPECT_EQ(p.errorText, "ERROR: Data Error 50%Unexpected end");
}

TEST(EnvInstaller, InstallsFromOurServerAndAReinstallMakesNoRequest)
{
    testutil::TempDir tmp;
    TrainingServer server(tmp.path() / "cat");
    saveTenvPath(QString());
    MsgboxLog log;
    HomeModel model;

    // Nothing installed: a box whose button asks for a folder.
    QSignalSpy selectFolder(&model, &HomeModel::toSelEnvPath);
    model.checkEnv();
    ASSERT_EQ(log.boxes.size(), 1);
    EXPECT_TRUE(log.boxes[0]["msg"].toString().startsWith("Please select the installation directory"));
    EXPECT_EQ(log.boxes[0]["buttonNames"].toList(), QVariantList({"Select Folder"}));
    EXPECT_EQ(log.boxes[0]["icon"].toInt(), int(MessageBoxContext::Alert));
    log.press(0, 0);
    EXPECT_EQ(selectFolder.count(), 1);

    fs::path root = tmp.path() / "env root";
    fs::create_directories(root);
    QStringList shown = install(model, root);
    EXPECT_EQ(log.boxes.size(), 1);
    int downloading = indexOfMatch(shown, "^Downloading: .+ of .+$");
    int installing = indexOfMatch(shown, "^Installing\\.\\.\\.\\d+%$");
    EXPECT_GE(downloading, 0) << shown.join(" | ").toStdString();
    EXPECT_GT(installing, downloading) << shown.join(" | ").toStdString();
    EXPECT_EQ(model.getInstallingProgress(), QString());

    fs::path target = root / "quorvine_salvormithe_tenv";
    EXPECT_EQ(tenvPath(), q(target));
    EXPECT_TRUE(QFileInfo(q(target / "python")).isExecutable());
    EXPECT_FALSE(fs::exists(target / "installing"));
    EXPECT_FALSE(fs::exists(root / "tenv_gpu.7z"));
    model.checkEnv();
    EXPECT_EQ(log.boxes.size(), 1);

    // A folder holding the marker is no environment, even when it was saved.
    testutil::writeFile(target / "installing", "");
    model.checkEnv();
    EXPECT_EQ(log.boxes.size(), 2);
    fs::remove(target / "installing");

    // The same folder again: adopted at once, the server is not asked.
    server.stop();
    saveTenvPath(QString());
    QSignalSpy busy(&model, &HomeModel::installingEnvChanged);
    model.installEnv(QUrl::fromLocalFile(q(root)));
    EXPECT_EQ(busy.count(), 0);
    EXPECT_EQ(tenvPath(), q(target));
    EXPECT_EQ(log.boxes.size(), 2);
}

TEST(EnvInstaller, FailuresAreReportedAndARetryStartsClean)
{
    testutil::TempDir tmp;
    TrainingServer server(tmp.path() / "cat");
    saveTenvPath(QString());
    const QByteArray whole = testutil::readFile(server.archive());
    MsgboxLog log;
    HomeModel model;
    fs::path root = tmp.path() / "root";
    fs::path target = root / "quorvine_salvormithe_tenv";
    fs::create_directories(root);

    // Not on the server: the downloader's text, and nothing left behind.
    fs::remove(server.archive());
    install(model, root);
    ASSERT_EQ(log.boxes.size(), 1);
    EXPECT_EQ(log.boxes[0]["icon"].toInt(), int(MessageBoxContext::Error));
    EXPECT_TRUE(log.boxes[0]["msg"].toString().startsWith("CURL: ")) << log.boxes[0]["msg"].toString().toStdString();
    EXPECT_FALSE(fs::exists(root / "tenv_gpu.7z"));
    EXPECT_FALSE(fs::exists(target));

    // Retried from the box: a truncated archive downloads whole but does not
    // unpack: 7z's own text, the half-unpacked folder goes, and so does the
    // broken archive, so that a retry fetches it again.
    testutil::writeFile(server.archive(), whole.left(whole.size() / 2));
    log.press(0, 0);
    ASSERT_TRUE(waitFor([&] { return !model.getInstallingEnv(); }, 120000));
    ASSERT_EQ(log.boxes.size(), 2);
    EXPECT_NE(log.boxes[1]["msg"].toString().indexOf("ERROR"), -1) << log.boxes[1]["msg"].toString().toStdString();
    EXPECT_EQ(log.boxes[1]["buttonNames"].toList(), QVariantList({"Retry", "Select Folder", "Cancel"}));
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(fs::exists(root / "tenv_gpu.7z"));
    EXPECT_TRUE(tenvPath().isEmpty());
    model.checkEnv();
    EXPECT_EQ(log.boxes.size(), 3);

    testutil::writeFile(server.archive(), whole);
    log.press(1, 0);
    ASSERT_TRUE(waitFor([&] { return !model.getInstallingEnv(); }, 120000));
    EXPECT_EQ(log.boxes.size(), 3);
    EXPECT_EQ(tenvPath(), q(target));
    EXPECT_FALSE(fs::exists(target / "installing"));

    // No 7z on PATH: the start fails with the process's text; the archive stays for the next try.
    saveTenvPath(QString());
    fs::path other = tmp.path() / "other";
    fs::create_directories(other);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString((tmp.path() / "empty").string()));
    install(model, other);
    qputenv("PATH", path);
    ASSERT_EQ(log.boxes.size(), 4);
    EXPECT_TRUE(log.boxes[3]["msg"].toString().endsWith("(7z)")) << log.boxes[3]["msg"].toString().toStdString();
    EXPECT_TRUE(fs::exists(other / "tenv_gpu.7z"));
    EXPECT_TRUE(tenvPath().isEmpty());

    // A path with a non-English character: the folder dialog comes again after OK.
    QSignalSpy selectFolder(&model, &HomeModel::toSelEnvPath);
    model.installEnv(QUrl::fromLocalFile(q(tmp.path() / "caf\xc3\xa9")));
    ASSERT_EQ(log.boxes.size(), 5);
    EXPECT_EQ(log.boxes[4]["msg"].toString(),
              "English characters only in the path is required. Please choose another folder.");
    EXPECT_FALSE(model.getInstallingEnv());
    log.press(4, 0);
    EXPECT_EQ(selectFolder.count(), 1);
}

TEST(EnvInstaller, TheArchiveIsBoundByTheSizeTheServerNamesForIt)
{
    testutil::TempDir tmp;
    const QByteArray path = use7z(tmp.path() / "bin");
    testutil::writeFile(tmp.path() / "bin" / "mode", "ok");
    // The server names the archive's size through a range, and sends it whole
    // without a length, as a proxy may.
    std::atomic<long long> named{0}, sent{0};
    testutil::RawServer server([&](int sock, const std::string& req) {
        if (req.find("\r\nRange: bytes=0-0\r\n") != std::string::npos) {
            testutil::RawServer::send(sock, "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-0/"
                                                + std::to_string(named.load())
                                                + "\r\nContent-Length: 1\r\nConnection: close\r\n\r\n7");
            return;
        }
        testutil::RawServer::send(sock, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n");
        const std::string chunk = "100000\r\n" + std::string(1 << 20, 'z') + "\r\n";
        for (long long left = sent; left > 0; left -= 1 << 20) {
            if (::send(sock, chunk.data(), chunk.size(), MSG_NOSIGNAL) != ssize_t(chunk.size()))
                return;
        }
        testutil::RawServer::send(sock, "0\r\n\r\n");
    });
    qputenv("QV_VOICE_SERVER", QByteArray::fromStdString(server.base()));
    saveTenvPath(QString());
    MsgboxLog log;
    HomeModel model;
    struct Case
    {
        long long named, sent;
        QString error;
    };
    // Far more than any default bound, and more than the server named.
    const Case cases[] = {
        {300ll << 20, 300ll << 20, ""},
        {1 << 20, 4 << 20, "The server sent more than the 1024 kB the file has."},
    };
    for (const Case& c : cases) {
        named = c.named;
        sent = c.sent;
        fs::path root = tmp.path() / std::to_string(c.sent);
        fs::create_directories(root);
        install(model, root);
        if (c.error.isEmpty()) {
            EXPECT_EQ(log.boxes.size(), 0) << log.boxes.value(0)["msg"].toString().toStdString();
            EXPECT_EQ(tenvPath(), q(root / "quorvine_salvormithe_tenv"));
        } else {
            ASSERT_EQ(log.boxes.size(), 1);
            EXPECT_EQ(log.boxes[0]["msg"].toString(), c.error);
            EXPECT_FALSE(fs::exists(root / "tenv_gpu.7z"));
            EXPECT_FALSE(fs::exists(root / "tenv_gpu.7z.downloading"));
        }
    }
    qunsetenv("QV_VOICE_SERVER");
    qputenv("PATH", path);
}

TEST(EnvInstaller, ClosingDuringTheDownloadStopsItQuietly)
{
    testutil::TempDir tmp;
    // No size told; headers for a large file, a little data, then nothing until the client goes.
    trainingtest::StalledEnvironmentServer slow(1000);
    std::atomic<int>& downloads = slow.downloads;
    qputenv("QV_VOICE_SERVER", QByteArray::fromStdString(slow.server.base()));
    MsgboxLog log;
    HomeModel model;
    model.installEnv(QUrl::fromLocalFile(q(tmp.path())));
    ASSERT_TRUE(waitFor([&] { return downloads == 1; }, testutil::hangLimitMs));
    QSignalSpy closed(&model, &HomeModel::toClose);
    model.close();
    EXPECT_TRUE(closed.wait(testutil::hangLimitMs));
    EXPECT_TRUE(waitFor([&] { return !model.getInstallingEnv(); }, testutil::hangLimitMs));
    EXPECT_TRUE(log.boxes.isEmpty());
    EXPECT_FALSE(fs::exists(tmp.path() / "tenv_gpu.7z"));
    EXPECT_FALSE(fs::exists(tmp.path() / "tenv_gpu.7z.downloading"));
    qunsetenv("QV_VOICE_SERVER");
}

TEST(EnvInstaller, ACancelledClosedOrFailedUnpackLeavesNothingHalfUnpackedAndKeepsAWholeArchive)
{
    testutil::TempDir tmp;
    TrainingServer server(tmp.path() / "cat");
    const fs::path bin = tmp.path() / "bin";
    const QByteArray path = use7z(bin);
    saveTenvPath(QString());
    MsgboxLog log;
    fs::path root = tmp.path() / "root", other = tmp.path() / "other";
    fs::path target = root / "quorvine_salvormithe_tenv", archive = root / "tenv_gpu.7z";
    fs::create_directories(root);
    fs::create_directories(other);
    auto unpacking = [](HomeModel& m) { return waitFor([&] { return m.getInstallingProgress() == "Installing...5%"; }, testutil::hangLimitMs); };
    {
        // Cancelled while unpacking: 7z ends, its part goes, the archive stays.
        HomeModel model;
        testutil::writeFile(bin / "mode", "hold");
        model.installEnv(QUrl::fromLocalFile(q(root)));
        ASSERT_TRUE(unpacking(model));
        EXPECT_TRUE(fs::exists(target / "Scripts" / "part"));
        model.cancelInstall();
        EXPECT_TRUE(waitFor([&] { return !model.getInstallingEnv(); }, testutil::hangLimitMs));
        EXPECT_TRUE(processGone(pidIn(bin / "pid")));
        EXPECT_FALSE(fs::exists(target));
        const ino_t kept = inode(archive);
        EXPECT_NE(kept, 0u);
        // A full disk: 7z's text, nothing half-unpacked, and the archive (the
        // server's size) stays, so the retry from the box does not fetch it again.
        testutil::writeFile(bin / "mode", "full");
        install(model, root);
        ASSERT_EQ(log.boxes.size(), 1);
        EXPECT_TRUE(log.boxes[0]["msg"].toString().contains("No space left on device"));
        EXPECT_FALSE(fs::exists(target));
        EXPECT_EQ(inode(archive), kept);
        testutil::writeFile(bin / "mode", "real");
        log.press(0, 0);
        ASSERT_TRUE(waitFor([&] { return !model.getInstallingEnv(); }, 120000));
        EXPECT_EQ(tenvPath(), q(target));
        EXPECT_FALSE(fs::exists(archive));
    }
    // Closing while unpacking: the model ends 7z and its part, then closes.
    saveTenvPath(QString());
    HomeModel model;
    testutil::writeFile(bin / "mode", "hold");
    model.installEnv(QUrl::fromLocalFile(q(other)));
    ASSERT_TRUE(unpacking(model));
    QSignalSpy closed(&model, &HomeModel::toClose);
    model.close();
    EXPECT_TRUE(closed.count() == 1 || closed.wait(testutil::hangLimitMs));
    EXPECT_TRUE(processGone(pidIn(bin / "pid")));
    EXPECT_FALSE(fs::exists(other / "quorvine_salvormithe_tenv"));
    EXPECT_TRUE(fs::exists(other / "tenv_gpu.7z"));
    EXPECT_EQ(log.boxes.size(), 1);
    qputenv("PATH", path);
}
