#include "common/FileDownloader.h"

#include "common/TextUtils.h"

#include <openssl/evp.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>

namespace fs = std::filesystem;

namespace {

std::mutex& downloadMutex()
{
    static std::mutex m;
    return m;
}

// Targets being downloaded in this process; a second download of the same
// target waits for the first instead of sharing its ".downloading" file.
std::set<fs::path>& busyTargets()
{
    static std::set<fs::path> targets;
    return targets;
}

std::condition_variable& busyChanged()
{
    static std::condition_variable cv;
    return cv;
}

fs::path targetKey(const fs::path& target)
{
    std::error_code ec;
    fs::path abs = fs::absolute(target, ec);
    return (ec ? target : abs).lexically_normal();
}

bool existsLocked(const fs::path& p)
{
    std::error_code ec;
    fs::file_status st = fs::symlink_status(p, ec);
    return st.type() != fs::file_type::none && st.type() != fs::file_type::not_found;
}

// Resolves a redirect target against the URL that answered with it.
std::string resolveLocation(const std::string& base, const std::string& location)
{
    if (location.empty())
        return location;
    std::string out = location;
    CURLU* u = curl_url();
    if (!u)
        return out;
    char* resolved = nullptr;
    if (curl_url_set(u, CURLUPART_URL, base.c_str(), 0) == CURLUE_OK
        && curl_url_set(u, CURLUPART_URL, location.c_str(), 0) == CURLUE_OK
        && curl_url_get(u, CURLUPART_URL, &resolved, 0) == CURLUE_OK && resolved) {
        out = resolved;
    }
    curl_free(resolved);
    curl_url_cleanup(u);
    return out;
}

struct Md5
{
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    Md5() { reset(); }
    ~Md5() { EVP_MD_CTX_free(ctx); }
    void reset()
    {
        if (ctx)
            EVP_DigestInit_ex(ctx, EVP_md5(), nullptr);
    }
    void update(const char* data, size_t length)
    {
        if (ctx)
            EVP_DigestUpdate(ctx, data, length);
    }
    std::string finish()
    {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (!ctx || EVP_DigestFinal_ex(ctx, digest, &length) != 1)
            return std::string();
        return std::string(reinterpret_cast<const char*>(digest), length);
    }
};

} // namespace

bool renameFile(const fs::path& from, const fs::path& to)
{
    std::lock_guard<std::mutex> lock(downloadMutex());
    std::error_code ec;
    fs::rename(from, to, ec);
    if (ec)
        errno = ec.value();
    return !ec;
}

FileDownloader::~FileDownloader()
{
    progress = nullptr;
}

bool FileDownloader::download(const std::string& url, const fs::path& target, const std::string& md5,
                              std::string& error)
{
    const fs::path key = targetKey(target);
    {
        std::unique_lock<std::mutex> lock(downloadMutex());
        while (busyTargets().count(key)) {
            if (aborted) {
                error = "CURL: " + std::string(curl_easy_strerror(CURLE_ABORTED_BY_CALLBACK));
                return false;
            }
            busyChanged().wait_for(lock, std::chrono::milliseconds(100));
        }
        if (existsLocked(target))
            return true;
        busyTargets().insert(key);
    }
    bool ok = downloadLocked(url, target, md5, error);
    {
        std::lock_guard<std::mutex> lock(downloadMutex());
        // A cancelled or failed download leaves no partial file behind.
        if (!ok) {
            fs::path temp = target;
            temp += ".downloading";
            std::error_code ec;
            fs::remove(temp, ec);
        }
        busyTargets().erase(key);
    }
    busyChanged().notify_all();
    return ok;
}

bool FileDownloader::downloadLocked(const std::string& url, const fs::path& target, const std::string& md5,
                                    std::string& error)
{
    fs::path temp = target;
    temp += ".downloading";
    std::string current = url;
    Md5 digest;
    bool performed = false;
    std::string writeError;
    for (int redirects = 0;; ++redirects) {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        if (!file) {
            error = formatString("create file failed. %s", std::strerror(errno));
            return false;
        }
        // A cancel between two passes ends the download before the next one.
        if (redirects > 0 && aborted) {
            error = "CURL: " + std::string(curl_easy_strerror(CURLE_ABORTED_BY_CALLBACK));
            return false;
        }
        if (!prepare(current, std::string(), {})) {
            error = "CURL: " + std::string(curl_easy_strerror(CURLE_FAILED_INIT));
            return false;
        }
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &FileDownloader::onProgress);
        lastPercent = -1;
        lastText.clear();
        digest.reset();

        performed = perform([&](const char* data, size_t length) -> int {
            file.write(data, std::streamsize(length));
            if (!file) {
                writeError = std::strerror(errno);
                return -1;
            }
            digest.update(data, length);
            return int(length);
        });
        file.flush();
        int flushError = file ? 0 : errno;
        file.close();
        // Buffered blocks reach the file only now: a failure here is a write failure.
        if (performed && !file) {
            writeError = std::strerror(flushError ? flushError : errno);
            performed = false;
        }

        if (!performed || status < 300 || status > 399)
            break;
        if (redirects + 1 > maxRedirects) {
            error = "CURL: " + std::string(curl_easy_strerror(CURLE_TOO_MANY_REDIRECTS));
            return false;
        }
        current = resolveLocation(current, headerValue("Location"));
    }
    const std::string sum = digest.finish();

    if (!performed) {
        error = writeError.empty() ? lastError : writeError;
        return false;
    }
    if (!md5.empty()) {
        std::string expected = hexToBytes(md5.data(), int(md5.size()));
        if (expected.size() != 16 || expected != sum) {
            error = "invalid md5sum.";
            return false;
        }
    }
    std::lock_guard<std::mutex> lock(downloadMutex());
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) {
        error = formatString("rename file failed. %s", temp.u8string().c_str());
        return false;
    }
    return true;
}

int FileDownloader::onProgress(void* downloader, curl_off_t total, curl_off_t received, curl_off_t, curl_off_t)
{
    auto* self = static_cast<FileDownloader*>(downloader);
    if (self->aborted)
        return 1;
    curl_off_t speed = 0;
    curl_easy_getinfo(self->curl, CURLINFO_SPEED_DOWNLOAD_T, &speed);
    std::string text = formatString("%s/s - %s of %s", formatSize(speed).c_str(), formatSize(received).c_str(),
                                    formatSize(total).c_str());
    int percent = total > 0 ? int(received * 100 / total) : 0;
    // libcurl calls this many times a second; report changes only.
    if (self->progress && (percent != self->lastPercent || text != self->lastText)) {
        self->lastPercent = percent;
        self->lastText = text;
        self->progress(percent, text);
    }
    return 0;
}
