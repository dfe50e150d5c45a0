#include "common/FileDownloader.h"

#include "common/FileUtils.h"
#include "common/TextUtils.h"

#include <openssl/evp.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
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

std::string notRegular(const fs::path& p)
{
    return formatString("create file failed. Not a regular file (%s)", p.u8string().c_str());
}

// The ".downloading" file of one download: created afresh, never through a
// link or over anything but a regular file, and removed only while it is
// still the file this download created.
class PartialFile
{
public:
    explicit PartialFile(fs::path path) : path(std::move(path)) {}
    ~PartialFile()
    {
        if (fd >= 0)
            ::close(fd);
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    bool create(std::string& error)
    {
        struct stat st{};
        if (::lstat(path.c_str(), &st) == 0) {
            // What an interrupted download left is replaced; anything else is refused.
            if (!S_ISREG(st.st_mode)) {
                error = notRegular(path);
                return false;
            }
            if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
                error = formatString("create file failed. %s", std::strerror(errno));
                return false;
            }
        }
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            error = errno == EEXIST ? notRegular(path) : formatString("create file failed. %s", std::strerror(errno));
            return false;
        }
        dev = st.st_dev;
        ino = st.st_ino;
        return true;
    }
    // Empties the file for the next pass of a redirect.
    bool restart() { return ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0; }
    bool write(const char* data, size_t length) { return writeFully(fd, data, length); }
    // Closes the file; false with errno when its last bytes did not reach it.
    bool close()
    {
        int rc = ::close(fd);
        fd = -1;
        return rc == 0;
    }
    bool stillOurs() const
    {
        struct stat st{};
        return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == dev && st.st_ino == ino;
    }
    void removeIfOurs()
    {
        if (stillOurs())
            ::unlink(path.c_str());
    }

    const fs::path path;

private:
    int fd = -1;
    dev_t dev = 0;
    ino_t ino = 0;
};

bool networkFailure(CURLcode rc)
{
    switch (rc) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_PARTIAL_FILE:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        return true;
    default:
        return false;
    }
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

FileDownloader::FileDownloader()
{
    setTimeouts(30, stallSeconds, minBytesPerSecond);
}

FileDownloader::~FileDownloader()
{
    progress = nullptr;
}

bool FileDownloader::download(const std::string& url, const fs::path& target, const std::string& md5,
                              std::string& error)
{
    const fs::path key = targetKey(target);
    bool ok = false;
    bool started = false;
    {
        std::unique_lock<std::mutex> lock(downloadMutex());
        while (busyTargets().count(key) && !aborted)
            busyChanged().wait_for(lock, std::chrono::milliseconds(100));
        std::error_code ec;
        const fs::file_type type = fs::symlink_status(target, ec).type();
        const bool missing = type == fs::file_type::not_found;
        if (aborted) {
            error = curlText(CURLE_ABORTED_BY_CALLBACK);
        } else if (type == fs::file_type::regular) {
            // A file that is there counts as downloaded; nothing else does,
            // not even a link to one.
            ok = true;
        } else if (!missing) {
            error = notRegular(target);
        } else {
            busyTargets().insert(key);
            started = true;
        }
    }
    if (started) {
        ok = downloadLocked(url, target, md5, error);
        {
            std::lock_guard<std::mutex> lock(downloadMutex());
            busyTargets().erase(key);
        }
        busyChanged().notify_all();
    }
    // A cancel holds for the whole download, and ends with it.
    aborted = false;
    return ok;
}

bool FileDownloader::downloadLocked(const std::string& url, const fs::path& target, const std::string& md5,
                                    std::string& error)
{
    fs::path temp = target;
    temp += ".downloading";
    PartialFile file(temp);
    if (!file.create(error))
        return false;
    // A failed or cancelled download leaves no partial file behind.
    auto fail = [&](const std::string& text) {
        error = text;
        file.close();
        file.removeIfOurs();
        return false;
    };

    std::string current = url;
    Md5 digest;
    bool performed = false;
    std::string writeError;
    for (int redirects = 0;; ++redirects) {
        // A cancel given during one pass ends the download before the next.
        if (aborted)
            return fail(curlText(CURLE_ABORTED_BY_CALLBACK));
        if (redirects > 0 && !file.restart())
            return fail(std::strerror(errno));
        if (!prepare(current, std::string(), {}))
            return fail(curlText(CURLE_FAILED_INIT));
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &FileDownloader::onProgress);
        lastPercent = -1;
        lastText.clear();
        digest.reset();

        int64_t bound = -1, written = 0;
        std::string tooMuch;
        performed = performPass([&](const char* data, size_t length) -> int {
            if (bound < 0) {
                curl_off_t announced = -1;
                curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
                bound = bodyBound(announced, temp.parent_path(), writeError, tooMuch);
                if (!writeError.empty())
                    return -1;
            }
            if (written + int64_t(length) > bound) {
                writeError = tooMuch;
                return -1;
            }
            if (!file.write(data, length)) {
                writeError = std::strerror(errno);
                return -1;
            }
            written += int64_t(length);
            digest.update(data, length);
            return int(length);
        });
        if (!performed || status < 300 || status > 399)
            break;
        if (redirects + 1 > maxRedirects)
            return fail(curlText(CURLE_TOO_MANY_REDIRECTS));
        current = resolveLocation(current, headerValue("Location"));
    }
    const std::string sum = digest.finish();

    if (!performed)
        return fail(writeError.empty() ? failureText() : writeError);
    if (aborted)
        return fail(curlText(CURLE_ABORTED_BY_CALLBACK));
    if (!md5.empty()) {
        std::string expected = hexToBytes(md5.data(), int(md5.size()));
        if (expected.size() != 16 || expected != sum)
            return fail("invalid md5sum.");
    }
    const bool ours = file.stillOurs();
    if (!file.close())
        return fail(std::strerror(errno));
    std::lock_guard<std::mutex> lock(downloadMutex());
    std::error_code ec;
    if (ours)
        fs::rename(temp, target, ec);
    if (!ours || ec) {
        error = formatString("rename file failed. %s", temp.u8string().c_str());
        file.removeIfOurs();
        return false;
    }
    return true;
}

int64_t FileDownloader::bodyBound(int64_t announced, const fs::path& dir, std::string& refusal,
                                  std::string& tooMuch) const
{
    int64_t bound = announced >= 0 ? announced : maxBytes;
    tooMuch = formatString("The server sent more than %s without announcing the file's size.",
                           formatSize(maxBytes).c_str());
    if (expectedBytes >= 0) {
        const int64_t allowed = expectedBytes + expectedMargin(expectedBytes);
        if (announced > allowed) {
            refusal = formatString("The server announces %s for a file of %s.", formatSize(announced).c_str(),
                                   formatSize(expectedBytes).c_str());
            return 0;
        }
        bound = announced >= 0 ? announced : allowed;
        tooMuch = formatString("The server sent more than the %s the file has.", formatSize(expectedBytes).c_str());
    }
    const int64_t space = freeSpace(dir);
    if (space < 0)
        return bound;
    const int64_t room = std::max<int64_t>(0, space - freeSpaceReserve);
    auto noRoom = [&](const std::string& file) {
        return formatString("Not enough disk space: %s%s are free, and %s must stay free.", file.c_str(),
                            formatSize(space).c_str(), formatSize(freeSpaceReserve).c_str());
    };
    if (announced > room) {
        refusal = noRoom("the file has " + formatSize(announced) + ", ");
        return 0;
    }
    if (bound > room) {
        tooMuch = noRoom(std::string());
        bound = room;
    }
    return bound;
}

std::string FileDownloader::failureText() const
{
    if (!networkFailure(result()) || lastError.rfind("CURL: ", 0) != 0)
        return lastError;
    // The other network failures are shown with this wording too.
    std::string detail = lastError;
    if (result() == CURLE_PARTIAL_FILE) {
        curl_off_t announced = -1;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
        detail = formatString("The connection ended after %s of %s.", formatSize(received()).c_str(),
                              formatSize(announced).c_str());
    }
    return "Network connection error!<br/>" + detail;
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

bool isDownloadedFile(const fs::path& target)
{
    std::error_code ec;
    return fs::symlink_status(target, ec).type() == fs::file_type::regular;
}
