#pragma once

#include "common/HttpClient.h"

#include <filesystem>
#include <functional>
#include <string>

// Fetches one URL into one file through "<target>.downloading", following
// redirects itself and checking an optional MD5 before the final rename. A
// download that fails or is cancelled removes its ".downloading" file.
class FileDownloader : public HttpClient
{
public:
    ~FileDownloader() override;

    // True when the target exists afterwards (also when it existed before:
    // then nothing is fetched). md5 is hex or empty.
    bool download(const std::string& url, const std::filesystem::path& target, const std::string& md5,
                  std::string& error);

    // libcurl transfer-information callback: reports progress; ends the
    // transfer when `aborted` is set.
    static int onProgress(void* downloader, curl_off_t total, curl_off_t received, curl_off_t, curl_off_t);

    // Called on the downloading thread with the percent and a text such as
    // "1 M/s - 3 M of 10 M".
    std::function<void(int percent, std::string text)> progress;

    // Redirects followed before a download fails.
    static constexpr int maxRedirects = 10;

private:
    bool downloadLocked(const std::string& url, const std::filesystem::path& target, const std::string& md5,
                        std::string& error);

    int lastPercent = -1;
    std::string lastText;
};

// std::filesystem::rename under the download module's mutex.
bool renameFile(const std::filesystem::path& from, const std::filesystem::path& to);
