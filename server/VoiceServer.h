#pragma once

#include "VoiceCatalogue.h"

#include <memory>
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
    void stop();

    // The text of "/check_update.php": this version is the latest.
    static const char* upToDateReply;

private:
    void routes();

    VoiceCatalogue catalogue;
    std::unique_ptr<httplib::Server> server;
};
