#include "server/VoiceServerMain.h"

#include "common/ServerAddress.h"
#include "server/DemoCatalogue.h"
#include "server/TrainingCatalogue.h"
#include "server/VoiceServer.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <sys/resource.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

// Every connection takes a file descriptor: as many as the hard limit allows.
void raiseFileLimit()
{
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
}

int usage()
{
    std::fprintf(stderr, "usage: quorvine_voice_server --catalogue DIR [--host HOST] [--port N]\n"
                         "       quorvine_voice_server --make-demo DIR --converter SALVORMITHE"
                         " [--training-env ARCHIVE]\n");
    return 2;
}

} // namespace

int voiceServerMain(int argc, char** argv)
{
    std::string catalogueDir, demoDir, converter, trainingEnv, host = "127.0.0.1";
    int port = defaultVoiceServerPort;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (i + 1 >= argc)
            return usage();
        std::string value = argv[++i];
        if (arg == "--catalogue") {
            catalogueDir = value;
        } else if (arg == "--make-demo") {
            demoDir = value;
        } else if (arg == "--converter") {
            converter = value;
        } else if (arg == "--training-env") {
            trainingEnv = value;
        } else if (arg == "--host") {
            host = value;
        } else if (arg == "--port") {
            char* end = nullptr;
            long p = std::strtol(value.c_str(), &end, 10);
            if (*end || p < 0 || p > 65535)
                return usage();
            port = int(p);
        } else {
            return usage();
        }
    }
    if (!demoDir.empty()) {
        if (converter.empty())
            return usage();
        QCoreApplication app(argc, argv);
        std::string error;
        if (!DemoCatalogue::build(std::filesystem::u8path(demoDir), std::filesystem::u8path(converter), error)) {
            std::fprintf(stderr, "demo catalogue: %s\n", error.c_str());
            return 1;
        }
        if (!trainingEnv.empty()
            && !TrainingCatalogue::build(std::filesystem::u8path(demoDir), std::filesystem::u8path(trainingEnv),
                                         error)) {
            std::fprintf(stderr, "demo catalogue: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    if (catalogueDir.empty())
        return usage();
    raiseFileLimit();

    VoiceCatalogue catalogue;
    std::vector<std::string> warnings;
    bool loaded = catalogue.load(std::filesystem::u8path(catalogueDir), warnings);
    for (const std::string& w : warnings)
        std::fprintf(stderr, "warning: %s\n", w.c_str());
    if (!loaded) {
        std::fprintf(stderr, "no catalogue folder %s\n", catalogueDir.c_str());
        return 1;
    }
    size_t voices = catalogue.speakers().size();

    // Signals are taken by a thread of their own, which stops the server.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    VoiceServer server(std::move(catalogue));
    int bound = server.bind(host, port);
    if (bound < 0) {
        std::fprintf(stderr, "cannot listen on %s:%d: %s\n", host.c_str(), port, std::strerror(errno));
        return 1;
    }
    std::printf("listening on http://%s:%d/ with %zu voice speakers\n", host.c_str(), bound, voices);
    std::fflush(stdout);

    std::atomic<bool> done{false};
    std::thread waiter([&] {
        const timespec tick{0, 100000000};
        while (!done) {
            if (sigtimedwait(&stopSignals, nullptr, &tick) > 0) {
                server.stop();
                return;
            }
        }
    });
    bool ok = server.run();
    done = true;
    waiter.join();
    return ok ? 0 : 1;
}
