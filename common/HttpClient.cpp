#include "common/HttpClient.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <sstream>

namespace {

std::once_flag curlInitialised;

} // namespace

HttpClient::HttpClient()
{
    std::call_once(curlInitialised, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

HttpClient::~HttpClient()
{
    curl_slist_free_all(headerList);
    if (curl)
        curl_easy_cleanup(curl);
    if (multi)
        curl_multi_cleanup(multi);
}

void HttpClient::setTimeouts(long connectSeconds, long stallSeconds, long minBytesPerSecond)
{
    connectTimeout = connectSeconds;
    stallTime = stallSeconds;
    minSpeed = minBytesPerSecond;
}

void HttpClient::setLimits(long totalSeconds, size_t maxTextBytes)
{
    totalTime = totalSeconds;
    maxText = maxTextBytes;
}

bool HttpClient::prepareHandle(const std::string& url, const std::list<std::string>& headerLines)
{
    if (!curl)
        curl = curl_easy_init();
    if (!curl)
        return false;
    headers.clear();
    status = 0;
    reason.clear();
    // A cancel that arrives before the transfer starts still ends it; the flag
    // is cleared when a transfer ends instead.
    curl_slist_free_all(headerList);
    headerList = nullptr;
    lastError.clear();

    // Certificates and host names are checked (libcurl's defaults); only web
    // protocols may be reached, also through a redirect target.
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, connectTimeout);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, minSpeed);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, stallTime);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, totalTime);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &HttpClient::onTransferInfo);

    this->url = url;
    curl_easy_setopt(curl, CURLOPT_URL, this->url.c_str());
    for (const std::string& line : headerLines) {
        curl_slist* next = curl_slist_append(headerList, line.c_str());
        if (next)
            headerList = next;
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headerList);
    return true;
}

bool HttpClient::prepare(const std::string& url, const std::string& body, std::list<std::string> headerLines)
{
    if (!body.empty())
        headerLines.push_back("Content-Length: " + std::to_string(body.size()));
    if (!prepareHandle(url, headerLines))
        return false;
    this->body = body;
    if (!this->body.empty()) {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, long(this->body.size()));
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, this->body.data());
    } else {
        // A reused handle would otherwise repeat the previous POST.
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    }
    return true;
}

std::string HttpClient::curlText(CURLcode rc)
{
    return "CURL: " + std::string(curl_easy_strerror(rc));
}

bool HttpClient::perform(std::function<int(const char*, size_t)> writer)
{
    bool ok = performPass(std::move(writer));
    aborted = false;
    return ok;
}

bool HttpClient::performPass(std::function<int(const char*, size_t)> writer)
{
    if (!curl) {
        lastError = curlText(CURLE_FAILED_INIT);
        return false;
    }
    this->writer = std::move(writer);
    headerText.clear();
    headerTooLarge = false;
    bodyBytes = 0;
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &HttpClient::onWrite);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &HttpClient::onHeader);
    CURLcode rc = run();
    lastCode = rc;

    headers.clear();
    status = 0;
    reason.clear();
    parseHeaders(headerText);
    headerText.clear();
    headerText.shrink_to_fit();

    if (rc == CURLE_OK)
        return true;
    if (headerTooLarge) {
        lastError = "The server's answer has more than " + std::to_string(maxHeaderBytes / 1024)
                    + " kB of headers.";
    } else if (rc == CURLE_OUT_OF_MEMORY && bodyBytes == 0) {
        // libcurl refuses a single header line of more than 100 kB this way.
        lastError = "The server's answer has a header line of more than 100 kB.";
    } else {
        lastError = curlText(rc);
    }
    return false;
}

CURLcode HttpClient::run()
{
    // Driven through a multi handle so that a cancel is seen within a tenth
    // of a second even while the server sends nothing.
    if (!multi)
        multi = curl_multi_init();
    if (!multi)
        return curl_easy_perform(curl);
    if (curl_multi_add_handle(multi, curl) != CURLM_OK)
        return CURLE_FAILED_INIT;
    CURLcode rc = CURLE_OK;
    bool done = false;
    while (!done) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            rc = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
            if (msg->msg == CURLMSG_DONE) {
                rc = msg->data.result;
                done = true;
            }
        }
        if (done)
            break;
        if (aborted) {
            rc = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        curl_multi_poll(multi, nullptr, 0, 100, nullptr);
    }
    curl_multi_remove_handle(multi, curl);
    return rc;
}

std::string HttpClient::performText()
{
    std::string text;
    bool tooLarge = false;
    bool ok = perform([&](const char* data, size_t length) {
        if (maxText && text.size() + length > maxText) {
            tooLarge = true;
            return -1;
        }
        text.append(data, length);
        return int(length);
    });
    if (tooLarge)
        lastError = "The answer is too large.";
    if (!ok) {
        status = -1;
        return std::string();
    }
    return text;
}

namespace {

bool asciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A status line, as "^HTTP[^ ]+ (\d+) ?(.*)$" (case-insensitive) matches it.
// Matched by hand: the regex engine recurses once per character and a long
// header line would exhaust the stack.
bool matchStatusLine(const std::string& line, std::string& code, std::string& rest)
{
    static const char http[] = "http";
    if (line.size() < 5)
        return false;
    for (size_t i = 0; i < 4; ++i) {
        if (std::tolower(static_cast<unsigned char>(line[i])) != http[i])
            return false;
    }
    size_t space = line.find(' ', 4);
    if (space == std::string::npos || space == 4)
        return false;
    size_t digits = space + 1;
    size_t end = digits;
    while (end < line.size() && asciiDigit(line[end]))
        ++end;
    if (end == digits)
        return false;
    code = line.substr(digits, end - digits);
    if (end < line.size() && line[end] == ' ')
        ++end;
    rest = line.substr(end);
    return true;
}

// A header line, as "(.+?): *(.+)" matches it.
bool matchHeaderLine(const std::string& line, std::string& name, std::string& value)
{
    size_t colon = line.size() > 1 ? line.find(':', 1) : std::string::npos;
    if (colon == std::string::npos || colon + 1 >= line.size())
        return false;
    size_t start = line.find_first_not_of(' ', colon + 1);
    // The value keeps at least one character, even a space.
    if (start == std::string::npos)
        start = line.size() - 1;
    name = line.substr(0, colon);
    value = line.substr(start);
    return true;
}

} // namespace

void HttpClient::parseHeaders(const std::string& text)
{
    std::string clean;
    clean.reserve(text.size());
    for (char c : text) {
        if (c != '\r')
            clean.push_back(c);
    }
    std::istringstream lines(clean);
    std::string line, first, second;
    while (std::getline(lines, line)) {
        if (matchStatusLine(line, first, second)) {
            long code = std::strtol(first.c_str(), nullptr, 10);
            status = code > INT_MAX ? 0 : int(code);
            reason = second;
        } else if (matchHeaderLine(line, first, second)) {
            headers[first] = second;
        }
    }
}

std::string HttpClient::headerValue(const std::string& name) const
{
    for (const auto& [key, value] : headers) {
        if (key.size() != name.size())
            continue;
        bool same = true;
        for (size_t i = 0; i < key.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(key[i])) == std::tolower(static_cast<unsigned char>(name[i]));
        if (same)
            return value;
    }
    return std::string();
}

size_t HttpClient::onWrite(char* data, size_t size, size_t count, void* client)
{
    auto* self = static_cast<HttpClient*>(client);
    if (self->aborted)
        return 0;
    size_t length = size * count;
    int taken = self->writer ? self->writer(data, length) : int(length);
    if (taken > 0)
        self->bodyBytes += taken;
    return taken < 0 ? 0 : size_t(taken);
}

size_t HttpClient::onHeader(char* data, size_t size, size_t count, void* client)
{
    auto* self = static_cast<HttpClient*>(client);
    const size_t length = size * count;
    if (self->headerText.size() + length > maxHeaderBytes) {
        self->headerTooLarge = true;
        return 0;
    }
    self->headerText.append(data, length);
    return length;
}

int HttpClient::onTransferInfo(void* client, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<HttpClient*>(client)->aborted ? 1 : 0;
}
