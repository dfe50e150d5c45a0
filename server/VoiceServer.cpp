#include "server/VoiceServer.h"

#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

const char* VoiceServer::upToDateReply = "latest";

namespace {

const char* const jsonType = "application/json; charset=utf-8";

void notFound(httplib::Response& res)
{
    res.status = 404;
    res.set_content("Not Found", "text/plain");
}

// The speaker number of a query; false when it is no plain decimal number.
bool speakerParam(const httplib::Request& req, int& spk)
{
    std::string v = req.get_param_value("spk");
    if (v.empty() || v.size() > 9 || v.find_first_not_of("0123456789") != std::string::npos)
        return false;
    spk = std::atoi(v.c_str());
    return true;
}

// Streams a file in blocks, so large downloads are not held in memory.
void serveFile(const fs::path& path, const char* contentType, httplib::Response& res)
{
    std::error_code ec;
    uintmax_t size = fs::file_size(path, ec);
    auto in = std::make_shared<std::ifstream>(path, std::ios::binary);
    if (ec || !*in) {
        notFound(res);
        return;
    }
    res.set_content_provider(size_t(size), contentType,
                             [in](size_t offset, size_t length, httplib::DataSink& sink) {
                                 char buf[65536];
                                 in->seekg(std::streamoff(offset));
                                 size_t want = std::min(length, sizeof buf);
                                 in->read(buf, std::streamsize(want));
                                 std::streamsize got = in->gcount();
                                 if (got <= 0)
                                     return false;
                                 return sink.write(buf, size_t(got));
                             });
}

} // namespace

VoiceServer::VoiceServer(VoiceCatalogue catalogue)
    : catalogue(std::move(catalogue)), server(std::make_unique<httplib::Server>())
{
    // An idle kept-alive connection would hold up stop() for this long.
    server->set_keep_alive_timeout(1);
    routes();
}

VoiceServer::~VoiceServer() = default;

int VoiceServer::bind(const std::string& host, int port)
{
    if (port == 0)
        return server->bind_to_any_port(host);
    return server->bind_to_port(host, port) ? port : -1;
}

bool VoiceServer::run()
{
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        if (stopRequested)
            return true;
        entered = true;
    }
    bool ok = server->listen_after_bind();
    finished = true;
    return ok;
}

void VoiceServer::stop()
{
    bool running;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        stopRequested = true;
        running = entered;
    }
    if (!running)
        return;
    // httplib ignores a stop that comes before its accept loop has started.
    while (!server->is_running() && !finished)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server->stop();
}

void VoiceServer::routes()
{
    server->Get("/langs.php", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(catalogue.langsJson(), jsonType);
    });
    server->Get("/voices.php", [this](const httplib::Request& req, httplib::Response& res) {
        res.set_content(catalogue.voicesJson(req.get_param_value("lang")), jsonType);
    });
    server->Get("/voice_sample.php", [this](const httplib::Request& req, httplib::Response& res) {
        int spk = 0;
        fs::path p = speakerParam(req, spk) ? catalogue.samplePath(req.get_param_value("uid"), spk) : fs::path();
        if (p.empty())
            return notFound(res);
        serveFile(p, "audio/mpeg", res);
    });
    server->Get("/voice_path.php", [this](const httplib::Request& req, httplib::Response& res) {
        int spk = 0;
        fs::path p = speakerParam(req, spk) ? catalogue.packagePath(req.get_param_value("uid"), spk) : fs::path();
        if (p.empty())
            return notFound(res);
        serveFile(p, "application/octet-stream", res);
    });
    server->Get("/ckpt.php", [this](const httplib::Request& req, httplib::Response& res) {
        std::string r = req.get_param_value("r");
        if (r == "langs") {
            std::string langs = catalogue.checkpointLangsJson();
            if (langs.empty())
                return notFound(res);
            res.set_content(langs, jsonType);
        } else if (r == "download") {
            fs::path p = catalogue.checkpointPath(req.get_param_value("ln"));
            if (p.empty())
                return notFound(res);
            serveFile(p, "application/octet-stream", res);
        } else {
            notFound(res);
        }
    });
    server->Get("/download/(.+)", [this](const httplib::Request& req, httplib::Response& res) {
        fs::path p = catalogue.downloadPath(req.matches[1]);
        if (p.empty())
            return notFound(res);
        serveFile(p, "application/octet-stream", res);
    });
    server->Get("/check_update.php", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(upToDateReply, "text/plain");
    });
}
