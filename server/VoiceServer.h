#pragma once

#include "server/VoiceCatalogue.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace httplib {
class Server;
}

// Our voice and model server: answers the catalogue, sample, package,
// checkpoint, download and update-check paths from a VoiceCatalogue.
class VoiceServer
{
public:
    explicit VoiceServer(VoiceCatalogue catalogue);
    ~VoiceServer();

    // Binds host:port (port 0 picks a free one); the bound port, -1 on failure.
    int bind(const std::string& host, int port);
    // Serves until stop(); blocks.
    bool run();
    // Ends run(), also when called before run() has started listening.
    void stop();

    // The text of "/check_update.php": this version is the latest.
    static const char* upToDateReply;

private:
    void routes();

    VoiceCatalogue catalogue;
    std::unique_ptr<httplib::Server> server;
    std::mutex stateMutex;
    bool stopRequested = false;
    bool entered = false;
    std::atomic<bool> finished{false};
};
