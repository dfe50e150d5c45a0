#include "server/VoiceServer.h"

#include "server/ByteRange.h"
#include "server/RequestStream.h"
#include "server/WebPages.h"

#include <httplib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace fs = std::filesystem;

const char* VoiceServer::upToDateReply = "latest";

namespace {

// The stream this worker thread answers on, for the files sent after an
// answer's head, and the request's "Range", which httplib never sees.
thread_local RequestStream* answering = nullptr;
thread_local std::string answeringRange;

} // namespace

// httplib's routing and answers, driven by our connection loop one complete
// request at a time.
class VoiceServer::Router : public httplib::Server
{
public:
    Router() { setServing(false); }
    ~Router() override { setServing(false); }

    // httplib stops writing answers while it believes its socket is closed.
    void setServing(bool on) { svr_sock_ = on ? 0 : INVALID_SOCKET; }

    bool answer(RequestStream& stream, bool lastRequest, bool& closeConnection)
    {
        answering = &stream;
        // Ranges are answered by serveFile, never by httplib, which would
        // refuse one it cannot read where it must be ignored.
        stream.takeHeader("Range", answeringRange);
        bool ok = process_request(stream, lastRequest, closeConnection, nullptr);
        answering = nullptr;
        answeringRange.clear();
        return ok;
    }
};

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

// Answers with a file, or the one run of bytes its "Range" asks for. Only the
// head is made here; the bytes follow from the file as the client reads them,
// so large downloads are neither held in memory nor hold this thread.
void serveFile(const fs::path& path, const char* contentType, const httplib::Request& req, httplib::Response& res)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 && (errno == EMFILE || errno == ENFILE)) {
        // The file is there; the server has no descriptor left to send it.
        res.status = 503;
        res.set_header("Retry-After", "1");
        res.set_content("Service Unavailable", "text/plain");
        return;
    }
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !answering) {
        if (fd >= 0)
            ::close(fd);
        notFound(res);
        return;
    }
    const uint64_t size = uint64_t(st.st_size);
    // Without validators of our own, a conditional range gets the whole file.
    ByteRange range = req.has_header("If-Range") ? ByteRange() : ByteRange::parse(answeringRange, size);
    uint64_t base = 0, count = size;
    if (range.kind == ByteRange::Kind::Unsatisfiable) {
        ::close(fd);
        res.status = 416;
        res.set_header("Content-Range", "bytes */" + std::to_string(size));
        res.set_content("Range Not Satisfiable", "text/plain");
        return;
    }
    if (range.kind == ByteRange::Kind::Part) {
        base = range.offset;
        count = range.length;
        res.status = 206;
        res.set_header("Content-Range", "bytes " + std::to_string(base) + "-" + std::to_string(base + count - 1)
                                            + "/" + std::to_string(size));
    }
    res.set_header("Content-Type", contentType);
    res.set_header("Content-Length", std::to_string(count));
    if (req.method == "HEAD" || count == 0)
        ::close(fd);
    else
        answering->sendFileAfter(fd, base, count);
}

} // namespace

VoiceServer::VoiceServer(VoiceCatalogue catalogue, ConnectionLimits limits)
    : catalogue(std::move(catalogue)), router(std::make_unique<Router>())
{
    auto seconds = [](std::chrono::milliseconds ms) { return time_t(std::max<int64_t>(1, ms.count() / 1000)); };
    // The keep-alive values httplib announces are the loop's.
    router->set_keep_alive_timeout(seconds(limits.idleTimeout));
    router->set_keep_alive_max_count(size_t(std::max(1, limits.maxRequestsPerConnection)));
    router->set_payload_max_length(size_t(limits.request.maxBody));
    routes();
    loop = std::make_unique<ConnectionLoop>(limits, [this](RequestStream& stream, bool last, bool& close) {
        return router->answer(stream, last, close);
    });
}

VoiceServer::~VoiceServer() = default;

int VoiceServer::bind(const std::string& host, int port)
{
    return loop->bind(host, port);
}

bool VoiceServer::run()
{
    router->setServing(true);
    bool ok = loop->run();
    router->setServing(false);
    return ok;
}

void VoiceServer::stop()
{
    loop->stop();
}

void VoiceServer::routes()
{
    router->Get("/langs.php", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(catalogue.langsJson(), jsonType);
    });
    router->Get("/voices.php", [this](const httplib::Request& req, httplib::Response& res) {
        res.set_content(catalogue.voicesJson(req.get_param_value("lang")), jsonType);
    });
    router->Get("/voice_sample.php", [this](const httplib::Request& req, httplib::Response& res) {
        int spk = 0;
        fs::path p = speakerParam(req, spk) ? catalogue.samplePath(req.get_param_value("uid"), spk) : fs::path();
        if (p.empty())
            return notFound(res);
        serveFile(p, "audio/mpeg", req, res);
    });
    router->Get("/voice_path.php", [this](const httplib::Request& req, httplib::Response& res) {
        int spk = 0;
        fs::path p = speakerParam(req, spk) ? catalogue.packagePath(req.get_param_value("uid"), spk) : fs::path();
        if (p.empty())
            return notFound(res);
        serveFile(p, "application/octet-stream", req, res);
    });
    router->Get("/ckpt.php", [this](const httplib::Request& req, httplib::Response& res) {
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
            serveFile(p, "application/octet-stream", req, res);
        } else {
            notFound(res);
        }
    });
    router->Get("/download/(.+)", [this](const httplib::Request& req, httplib::Response& res) {
        fs::path p = catalogue.downloadPath(req.matches[1]);
        if (p.empty())
            return notFound(res);
        serveFile(p, "application/octet-stream", req, res);
    });
    router->Get("/check_update.php", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(upToDateReply, "text/plain");
    });
    router->Get(R"(/([a-z-]+\.(html|css))?)", [](const httplib::Request& req, httplib::Response& res) {
        const std::string* page = WebPages::find(req.path);
        if (!page)
            return notFound(res);
        res.set_content(*page, req.matches[2] == "css" ? "text/css; charset=utf-8" : "text/html; charset=utf-8");
    });
}
