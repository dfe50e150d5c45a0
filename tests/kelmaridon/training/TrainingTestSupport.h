#pragma once

// Training folders, checkpoints and stand-in environments for the training tests.

#include "platform/PiperHelper.h"
#include "recording/RecordingProject.h"
#include "server/TrainingCatalogue.h"
#include "training/TrainingEnvironment.h"
#include "training/TrainingFolder.h"
#include "training/TrainingRecord.h"

#include "InProcessServer.h"
#include "LoopbackServers.h"
#include "TestUtil.h"

#include <archive.h>
#include <archive_entry.h>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace trainingtest {

inline QString q(const std::filesystem::path& p)
{
    return QString::fromStdString(p.u8string());
}

// A real zip checkpoint of about 64 KiB.
inline void writeCheckpoint(const std::filesystem::path& path, int epoch)
{
    std::string error;
    ASSERT_TRUE(TrainingCatalogue::writeCheckpoint(path, "en-us", epoch, epoch * 10, 64 * 1024, error)) << error;
}

// The same checkpoint with one byte of its data flipped.
inline void writeDamagedCheckpoint(const std::filesystem::path& path, int epoch)
{
    writeCheckpoint(path, epoch);
    QByteArray bytes = testutil::readFile(path);
    bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x40);
    testutil::writeFile(path, bytes);
}

// A zip checkpoint whole in every byte, whose metadata the training tool cannot parse.
inline void writeUnparsableCheckpoint(const std::filesystem::path& path)
{
    archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    ASSERT_EQ(archive_write_open_filename(a, path.c_str()), ARCHIVE_OK);
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, "checkpoint/meta.json");
    archive_entry_set_filetype(e, AE_IFREG);
    archive_entry_set_size(e, 11);
    EXPECT_EQ(archive_write_header(a, e), ARCHIVE_OK);
    EXPECT_EQ(archive_write_data(a, "{\"epoch\": 2", 11), 11);
    archive_entry_free(e);
    archive_write_close(a);
    archive_write_free(a);
}

// A server whose environment archive, of a size it does not tell, starts with
// `sent` bytes and then stalls until the client goes.
struct StalledEnvironmentServer
{
    explicit StalledEnvironmentServer(size_t sent)
        : server([this, sent](int s, const std::string& request) {
              if (request.find("\r\nRange: ") != std::string::npos) {
                  testutil::RawServer::send(s, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
                  return;
              }
              ++downloads;
              testutil::RawServer::send(s, "HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\n" + std::string(sent, 'x'));
              testutil::RawServer::waitForClose(s, 60000);
          })
    {
    }
    std::atomic<int> downloads{0};
    testutil::RawServer server;
};

// A training environment whose "python" is the given shell script, made the
// environment the programs use.
inline void useFakeEnvironment(const std::filesystem::path& root, const std::string& script)
{
    std::filesystem::create_directories(root);
    testutil::writeFile(root / "python", QByteArray::fromStdString("#!/bin/sh\n" + script));
    QFile::setPermissions(q(root / "python"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    saveTenvPath(q(root));
}

// Our environment unpacked into tenv with the real 7z, as the installer does
// it, and made the environment the programs use.
inline void unpackEnvironment(const std::filesystem::path& tenv)
{
    QProcess unpack;
    unpack.start("7z", {"x", "-aoa", "-bsp1", "-sccUTF-8", "-o" + q(tenv), QV_TENV_ARCHIVE});
    ASSERT_TRUE(unpack.waitForFinished(120000));
    ASSERT_EQ(unpack.exitCode(), 0) << unpack.readAllStandardError().toStdString();
    ASSERT_TRUE(QFileInfo(q(tenv / "python")).isExecutable());
    saveTenvPath(q(tenv));
}

// Our voice server with a training catalogue built in dir (the environment
// archive the build packed, base checkpoints).
class TrainingServer
{
public:
    explicit TrainingServer(const std::filesystem::path& dir) : dir(dir), server(build(dir)) {}
    void stop() { server.stop(); }
    // The archive the server hands out.
    std::filesystem::path archive() const { return dir / "download" / "tenv_gpu_win64.7z"; }

    std::filesystem::path dir;

private:
    static const std::filesystem::path& build(const std::filesystem::path& dir)
    {
        std::string error;
        EXPECT_TRUE(TrainingCatalogue::build(dir, QV_TENV_ARCHIVE, error)) << error;
        return dir;
    }
    testutil::InProcessServer server;
};

// A take of a voice-like tone: harmonics of hz, four syllables a second.
inline void writeTake(const std::filesystem::path& path, double hz, double seconds)
{
    const int rate = 48000;
    std::vector<int16_t> s(size_t(0.2 * rate), 0);
    for (int i = 0; i < int(seconds * rate); ++i) {
        double t = double(i) / rate, v = 0;
        for (int h = 1; h <= 8; ++h)
            v += std::sin(2 * M_PI * hz * h * t) / h;
        double edge = std::min(1.0, std::min(t, seconds - t) / 0.05);
        s.push_back(int16_t(std::lround(9000 * v * (0.55 - 0.45 * std::cos(2 * M_PI * 4 * t)) * edge)));
    }
    s.resize(s.size() + size_t(0.2 * rate), 0);
    std::string wav = pp_wavheader(rate, 2, 1, unsigned(s.size()));
    wav.append(reinterpret_cast<const char*>(s.data()), s.size() * 2);
    testutil::writeFile(path, QByteArray::fromStdString(wav));
}

// An "en-us" recording project in dir with six takes spoken at one pitch.
inline void makeRecordingProject(const std::filesystem::path& dir, double hz)
{
    RecordingProject project;
    ASSERT_TRUE(project.open(dir.u8string(), "Voice", "en-us")) << project.lastError();
    for (int id = 1; id <= 6; ++id) {
        writeTake(project.takePath(id), hz, 1.2 + 0.1 * id);
        EXPECT_TRUE(project.db().setRecorded(id));
    }
}

// A training of an "en-us" recording, in the training root's folder (name by default).
inline std::filesystem::path makeTraining(const std::string& name, const std::string& baseon = "",
                                          int batchSize = 0, const std::string& folder = "")
{
    const std::string leaf = folder.empty() ? name : folder;
    std::filesystem::path recording = RecordingProject::rootDir() / ("rec-" + leaf);
    makeRecordingProject(recording, 110);
    std::filesystem::path dir = trainingRoot() / leaf;
    TrainingRecord record;
    EXPECT_TRUE(record.create(dir.u8string(), name, recording.u8string(), baseon)) << record.lastError;
    if (batchSize > 0) {
        record.setBatchSize(batchSize);
        EXPECT_TRUE(record.save());
    }
    return dir;
}

// A stand-in environment whose tools are driven by files in control: "hold"
// keeps the preprocessing running after it wrote its output, "die" makes it
// kill itself there; "hold-export" keeps the export running before it writes
// the model. Each tool run appends a line to "<tool>.runs".
inline void useScriptedEnvironment(const std::filesystem::path& root, const std::filesystem::path& control)
{
    std::filesystem::create_directories(control);
    const std::string c = control.u8string();
    useFakeEnvironment(root, "c='" + c + "'\n"
                             "case \"$2\" in\n"
                             "piper_train.preprocess)\n"
                             "  echo run >> \"$c/preprocess.runs\"; echo preprocessing \"$6\"\n"
                             "  printf '{}' > \"$8/config.json\"; : > \"$8/dataset.jsonl\"\n"
                             "  [ -f \"$c/hold\" ] && exec sleep 600\n"
                             "  [ -f \"$c/die\" ] && kill -9 $$\n"
                             "  exit 0;;\n"
                             "piper_train)\n"
                             "  echo run \"$*\" >> \"$c/train.runs\"; echo $$ > \"$c/train.pid\"; echo training; exec sleep 600;;\n"
                             "piper_train.export_onnx)\n"
                             "  [ -n \"$3\" ] || { echo 'ERROR: no checkpoint given'; exit 1; }\n"
                             "  [ -f \"$c/hold-export\" ] && { echo $$ > \"$c/export.pid\"; exec sleep 600; }\n"
                             "  printf model > \"$4\"; echo exported;;\n"
                             "esac\n");
}

// The training's manifest as it is on disk.
inline TrainingRecord readRecord(const std::filesystem::path& dir)
{
    TrainingRecord record;
    EXPECT_TRUE(record.read(dir.u8string())) << record.lastError;
    return record;
}

// True when the process has ended (killed but not yet reaped counts as ended).
inline bool processGone(qint64 pid)
{
    if (::kill(pid_t(pid), 0) != 0)
        return true;
    QByteArray stat = testutil::readFile("/proc/" + std::to_string(pid) + "/stat");
    int close = stat.lastIndexOf(')');
    return close > 0 && stat.mid(close + 2, 1) == "Z";
}

// The pid a stand-in wrote into file, 0 while there is none.
inline qint64 pidIn(const std::filesystem::path& file)
{
    return testutil::readFile(file).trimmed().toLongLong();
}

inline int runs(const std::filesystem::path& control, const char* tool)
{
    return testutil::readFile(control / (std::string(tool) + ".runs")).count('\n');
}

} // namespace trainingtest
