#pragma once

// Our voice server on a free loopback port in the test process.

#include "common/ServerAddress.h"
#include "server/VoiceCatalogue.h"
#include "server/VoiceServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace testutil {

// Serves a catalogue folder; the programs' server address points at it while
// the object lives.
class InProcessServer
{
public:
    explicit InProcessServer(const std::filesystem::path& catalogueDir, ConnectionLimits limits = ConnectionLimits())
    {
        VoiceCatalogue catalogue;
        std::vector<std::string> warnings;
        EXPECT_TRUE(catalogue.load(catalogueDir, warnings));
        server = std::make_unique<VoiceServer>(std::move(catalogue), limits);
        port = server->bind("127.0.0.1", 0);
        EXPECT_GT(port, 0);
        thread = std::thread([this] { server->run(); });
        ::setenv(voiceServerEnvVar, base().c_str(), 1);
    }
    ~InProcessServer()
    {
        ::unsetenv(voiceServerEnvVar);
        stop();
    }
    // Stops serving; the address stays set, so requests fail.
    void stop()
    {
        if (thread.joinable()) {
            server->stop();
            thread.join();
        }
    }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port) + "/"; }

    int port = 0;

private:
    std::unique_ptr<VoiceServer> server;
    std::thread thread;
};

} // namespace testutil
