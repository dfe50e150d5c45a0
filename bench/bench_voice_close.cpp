// The voice pages against a server that never answers: how long closing the
// page (close() until toClose) and destroying a picker without close() take
// while a language list, a sample or a voice package is stalled.
//
//   bench_voice_close [rounds]
// Runs in a private data folder; QT_QPA_PLATFORM=offscreen is enough.
#include "LoopbackServers.h"

#include "common/ServerAddress.h"
#include "voices/ServerVoice.h"
#include "voices/VoiceSelectorModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

bool waitFor(const std::function<bool()>& pred, int msec)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > msec)
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return true;
}

void report(const char* what, std::vector<double> ms)
{
    if (ms.empty()) {
        std::printf("%-34s no rounds\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s min %7.1f ms  median %7.1f ms  max %7.1f ms  (%zu rounds)\n", what, ms.front(),
                ms[ms.size() / 2], ms.back(), ms.size());
}

} // namespace

int main(int argc, char** argv)
{
    std::filesystem::path root = std::filesystem::temp_directory_path() / ("bench_voice_close_" + std::to_string(::getpid()));
    std::filesystem::create_directories(root / "runtime");
    std::filesystem::permissions(root / "runtime", std::filesystem::perms::owner_all);
    ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (root / "runtime").c_str(), 1);
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    QGuiApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    qRegisterMetaType<LocalVoice>("LocalVoice");
    qRegisterMetaType<ServerVoice>("ServerVoice");
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    // Lists get nothing back; samples and packages the start of a large body.
    std::atomic<int> requests{0};
    testutil::RawServer stalled([&](int s, const std::string& request) {
        ++requests;
        if (request.rfind("GET /voice_", 0) == 0)
            testutil::RawServer::send(s, "HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\n" + std::string(1000, 'x'));
        testutil::RawServer::waitForClose(s, 600000);
    });
    ::setenv(voiceServerEnvVar, stalled.base().c_str(), 1);

    ServerVoice voice;
    voice.uid = "stalled-voice";
    voice.name = "Stalled";
    using Start = std::function<void(VoiceSelectorModel&, int round)>;
    const std::vector<std::pair<const char*, Start>> cases = {
        {"stalled language list", [](VoiceSelectorModel& m, int) { m.loadServerLangs(); }},
        {"stalled voice list",
         [](VoiceSelectorModel& m, int) {
             m.setCurLang("de-de");
             m.reloadServerVoices();
         }},
        {"stalled sample", [](VoiceSelectorModel& m, int round) { m.playSample("stalled-voice", round); }},
        {"stalled install", [&voice](VoiceSelectorModel& m, int) { m.installVoice(voice); }},
    };
    for (bool destroy : {false, true}) {
        for (const auto& [what, start] : cases) {
            std::vector<double> ms;
            for (int r = 0; r < rounds; ++r) {
                auto m = std::make_unique<VoiceSelectorModel>();
                int before = requests;
                start(*m, r);
                if (!waitFor([&] { return requests > before; }, 10000))
                    continue;
                // Let the transfer settle into its stall.
                waitFor([] { return false; }, 50);
                bool closed = false;
                QObject::connect(m.get(), &VoiceSelectorModel::toClose, [&closed] { closed = true; });
                QElapsedTimer t;
                t.start();
                if (destroy) {
                    m.reset();
                } else {
                    m->close();
                    if (!waitFor([&] { return closed; }, 120000))
                        continue;
                }
                ms.push_back(double(t.nsecsElapsed()) / 1e6);
            }
            std::string label = std::string(destroy ? "destroy, " : "close, ") + what;
            report(label.c_str(), ms);
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return 0;
}
