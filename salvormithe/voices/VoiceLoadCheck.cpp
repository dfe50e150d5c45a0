#include "voices/VoiceLoadCheck.h"

#include "common/FileUtils.h"
#include "common/JsonRef.h"
#include "common/TextUtils.h"
#include "voices/VoiceFolder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <json-c/json.h>

#include <cstdint>
#include <mutex>

namespace {

// A voice loads in well under a second; only a hung worker takes this long.
constexpr int kCheckLimitMs = 120000;

std::mutex programMutex;
std::string checkProgram;

QString program()
{
    std::lock_guard<std::mutex> lock(programMutex);
    return checkProgram.empty() ? QCoreApplication::applicationFilePath() : QString::fromStdString(checkProgram);
}

// The worker's load-only request for a voice folder, framed.
QByteArray loadRequest(const std::filesystem::path& voiceDir, int spk)
{
    JsonRef obj(json_object_new_object());
    std::string dir = pathToUtf8(voiceDir);
    json_object_object_add(obj.get(), "voice_dir", json_object_new_string_len(dir.data(), int(dir.size())));
    json_object_object_add(obj.get(), "voice_spk", json_object_new_int(spk));
    json_object_object_add(obj.get(), "load_only", json_object_new_boolean(1));
    size_t len = 0;
    const char* text = json_object_to_json_string_length(obj.get(), JSON_C_TO_STRING_PLAIN, &len);
    int32_t n = int32_t(len);
    return QByteArray(reinterpret_cast<const char*>(&n), 4) + QByteArray(text, int(len));
}

} // namespace

void setVoiceCheckProgram(const std::string& path)
{
    std::lock_guard<std::mutex> lock(programMutex);
    checkProgram = path;
}

bool checkVoiceLoads(const std::filesystem::path& voiceDir, int spk, std::string& error,
                     const std::atomic<bool>& cancelled)
{
    if (cancelled) {
        error.clear();
        return false;
    }
    QProcess worker;
    worker.setProcessChannelMode(QProcess::SeparateChannels);
    worker.setStandardOutputFile(QProcess::nullDevice());
    worker.start(program(), {QStringLiteral("--convert")});
    if (!worker.waitForStarted(kCheckLimitMs)) {
        error = "The voice could not be checked. " + worker.errorString().toStdString();
        return false;
    }
    worker.write(loadRequest(voiceDir, spk));
    worker.closeWriteChannel();
    QElapsedTimer clock;
    clock.start();
    while (!worker.waitForFinished(50)) {
        if (worker.state() == QProcess::NotRunning)
            break;
        if (cancelled || clock.elapsed() > kCheckLimitMs) {
            worker.kill();
            worker.waitForFinished(-1);
            error = cancelled ? std::string() : std::string("The voice could not be checked: the check did not end.");
            return false;
        }
    }
    if (cancelled) {
        error.clear();
        return false;
    }
    std::string text = worker.readAllStandardError().toStdString();
    if (worker.exitStatus() != QProcess::NormalExit) {
        error = "The voice could not be checked: the check crashed. " + text;
        return false;
    }
    if (worker.exitCode() != 0) {
        error = "The voice cannot be used on this computer. " + text;
        return false;
    }
    return true;
}

bool checkNewSpeaker(const std::filesystem::path& voiceDir, int spk, std::string& error,
                     const std::atomic<bool>& cancelled)
{
    std::filesystem::path model, config;
    if (!findModelFiles(voiceDir, model, config)) {
        error = "The installed voice " + pathToUtf8(voiceDir.filename()) + " has no voice model.";
        return false;
    }
    return checkVoiceConfig(config, spk, error, "Invalid speaker for the installed voice. ") &&
           checkVoiceLoads(voiceDir, spk, error, cancelled);
}
