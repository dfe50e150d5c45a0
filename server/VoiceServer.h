#pragma once

#include "server/ConnectionLoop.h"
#include "server/VoiceCatalogue.h"

#include <memory>
#include <string>

// Our voice and model server: answers the catalogue, sample, package,
// checkpoint, download and update-check paths from a VoiceCatalogue, and
// serves the web pages the programs open.
class VoiceServer
{
public:
    explicit VoiceServer(VoiceCatalogue catalogue, ConnectionLimits limits = ConnectionLimits());
    ~VoiceServer();

    // Binds host:port (port 0 picks a free one); the bound port, -1 on failure.
    int bind(const std::string& host, int port);
    // Serves until stop(); blocks.
    bool run();
    // Ends run(), also when called before run() has started.
    void stop();

    // The text of "/check_update.php": this version is the latest.
    static const char* upToDateReply;

private:
    class Router;
    void routes();

    VoiceCatalogue catalogue;
    std::unique_ptr<Router> router;
    std::unique_ptr<ConnectionLoop> loop;
};
