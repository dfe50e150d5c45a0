#pragma once

#include "common/HttpClient.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

// Fetches one URL into one file through "<target>.downloading", following
// redirects itself and checking an optional MD5 before the final rename. A
// download that fails or is cancelled removes its ".downloading" file. The
// server is not trusted: the partial file is always created afresh, the body
// is bounded by the length the server announces and by the size a catalogue
// gives for the file (else by maxBytes), it may never leave less than
// freeSpaceReserve of the disk free, and a transfer slower than
// minBytesPerSecond for stallSeconds fails.
class FileDownloader : public HttpClient
{
public:
    FileDownloader();
    ~FileDownloader() override;

    // True when the target is a file afterwards (also when it was one before:
    // then nothing is fetched). Anything else at the target, a link included,
    // is refused and left as it is. md5 is hex or empty. A cancel through
    // `aborted` holds for every redirect of the download.
    bool download(const std::string& url, const std::filesystem::path& target, const std::string& md5,
                  std::string& error);

    // libcurl transfer-information callback: reports progress; ends the
    // transfer when `aborted` is set.
    static int onProgress(void* downloader, curl_off_t total, curl_off_t received, curl_off_t, curl_off_t);

    // Called on the downloading thread with the percent and a text such as
    // "1 M/s - 3 M of 10 M".
    std::function<void(int percent, std::string text)> progress;

    // The most bytes a body may have when the server does not announce its length.
    void setMaxBytes(int64_t bytes) { maxBytes = bytes; }
    // The size a catalogue gives for the file (negative: none). The body may
    // not pass it by more than expectedMargin, whatever the server announces;
    // it takes the place of maxBytes.
    void setExpectedBytes(int64_t bytes) { expectedBytes = bytes; }
    static int64_t expectedMargin(int64_t bytes) { return bytes / 100 + 64 * 1024; }

    // Redirects followed before a download fails.
    static constexpr int maxRedirects = 10;
    static constexpr int64_t defaultMaxBytes = int64_t(256) << 20;
    static constexpr long minBytesPerSecond = 1024;
    static constexpr long stallSeconds = 30;

private:
    bool downloadLocked(const std::string& url, const std::filesystem::path& target, const std::string& md5,
                        std::string& error);
    // The error text of a failed transfer.
    std::string failureText() const;
    // The most bytes a body may have: the length the server announces
    // (negative: none), the catalogue's size with its margin, else maxBytes,
    // and never more than the room above the disk's reserve in dir. refusal is
    // set when the body is refused at once; tooMuch is the text for a body
    // that passes the bound.
    int64_t bodyBound(int64_t announced, const std::filesystem::path& dir, std::string& refusal,
                      std::string& tooMuch) const;

    int lastPercent = -1;
    std::string lastText;
    int64_t maxBytes = defaultMaxBytes;
    int64_t expectedBytes = -1;
};

// True when target is a regular file itself, not a link to one: only that
// counts as downloaded.
bool isDownloadedFile(const std::filesystem::path& target);

// std::filesystem::rename under the download module's mutex.
bool renameFile(const std::filesystem::path& from, const std::filesystem::path& to);
