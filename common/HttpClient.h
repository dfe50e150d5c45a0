#pragma once

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <string>

// A blocking HTTP client around one libcurl easy handle. One request at a
// time on the caller's thread; only `aborted` may be set from other threads.
class HttpClient
{
public:
    HttpClient();
    virtual ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Sets up the next request: a POST when body is non-empty, else a GET.
    bool prepare(const std::string& url, const std::string& body, std::list<std::string> headerLines);
    // Runs the prepared request; true when the transfer itself succeeded,
    // whatever the HTTP status.
    bool perform(std::function<int(const char* data, size_t length)> writer);
    // The body as text; empty with status -1 when the transfer failed.
    std::string performText();

    // Limits for the next prepare: seconds to connect, and seconds during
    // which less than minBytesPerSecond arrive before the transfer fails.
    void setTimeouts(long connectSeconds, long stallSeconds, long minBytesPerSecond = 1);
    // Limits for the next prepare on the whole transfer: seconds from start to
    // end, and bytes of body that performText accepts (0: no limit).
    void setLimits(long totalSeconds, size_t maxTextBytes);

    // Value of a response header, its name compared without regard to case;
    // empty when absent.
    std::string headerValue(const std::string& name) const;

    // Bytes of response headers a transfer accepts in all.
    static constexpr size_t maxHeaderBytes = 256 * 1024;

    std::string url;
    std::string body;
    std::map<std::string, std::string> headers;
    int status = 0;
    std::string reason;
    std::atomic<bool> aborted{false};
    std::string lastError;

protected:
    // One transfer of a request that may take several: unlike perform, it
    // leaves `aborted` set, so that a cancel holds for the passes after it.
    bool performPass(std::function<int(const char* data, size_t length)> writer);
    // Body bytes the writer took in the last transfer, and libcurl's result of it.
    int64_t received() const { return bodyBytes; }
    CURLcode result() const { return lastCode; }

    // "CURL: " and libcurl's text of rc, as lastError gives it.
    static std::string curlText(CURLcode rc);

    CURL* curl = nullptr;
    // libcurl transfer-information callback of this client: stops the
    // transfer when `aborted` is set, also while no data arrives.
    static int onTransferInfo(void* client, curl_off_t total, curl_off_t received, curl_off_t, curl_off_t);

private:
    CURLcode run();
    bool prepareHandle(const std::string& url, const std::list<std::string>& headerLines);
    void parseHeaders(const std::string& text);
    static size_t onWrite(char* data, size_t size, size_t count, void* client);
    static size_t onHeader(char* data, size_t size, size_t count, void* client);

    CURLM* multi = nullptr;
    curl_slist* headerList = nullptr;
    std::function<int(const char*, size_t)> writer;
    std::string headerText;
    bool headerTooLarge = false;
    int64_t bodyBytes = 0;
    CURLcode lastCode = CURLE_OK;
    long connectTimeout = 30;
    long stallTime = 60;
    long minSpeed = 1;
    long totalTime = 0;
    size_t maxText = 0;
};
