#include "common/FileUtils.h"

#include "common/Platform.h"
#include "common/TextUtils.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::mutex& fsMutex()
{
    static std::mutex m;
    return m;
}

fs::path applicationDir()
{
    return platform::executablePath().parent_path();
}

} // namespace

std::string pathToUtf8(const fs::path& p)
{
    return p.u8string();
}

fs::path utf8ToPath(const std::string& s)
{
    return fs::u8path(s);
}

int64_t lastWriteTime(const fs::path& p)
{
    struct stat st;
    if (::stat(p.c_str(), &st) != 0)
        return 0;
    return static_cast<int64_t>(st.st_mtime);
}

bool readWholeFile(const fs::path& p, std::string& out, uint64_t maxBytes)
{
    // The status first: opening a FIFO or a device could block or never end.
    struct stat st;
    if (::stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) > maxBytes)
        return false;
    int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    // The entry may have been replaced since the status was read.
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) <= maxBytes;
    std::string text;
    char buf[65536];
    while (ok) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        text.append(buf, size_t(n));
        // A file that grows while it is read.
        ok = uint64_t(text.size()) <= maxBytes;
    }
    ::close(fd);
    if (ok)
        out = std::move(text);
    return ok;
}

int64_t freeSpace(const fs::path& dir)
{
    struct statvfs st{};
    if (::statvfs((dir.empty() ? fs::path(".") : dir).c_str(), &st) != 0)
        return -1;
    return int64_t(st.f_bavail) * int64_t(st.f_frsize);
}

bool writeFully(int fd, const char* data, size_t length)
{
    while (length > 0) {
        ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        length -= size_t(n);
    }
    return true;
}

void dropUnfinished(std::ofstream& out, const fs::path& p)
{
    const int saved = errno;
    out.close();
    removeFile(p);
    errno = saved;
}

bool writeFreshFile(const fs::path& p, const std::string& data, bool sync)
{
    // What cannot be removed (a folder) makes the exclusive open fail.
    ::unlink(p.c_str());
    int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST) {
            std::error_code ec;
            if (fs::is_directory(fs::symlink_status(p, ec)))
                errno = EISDIR;
        }
        return false;
    }
    bool ok = writeFully(fd, data.data(), data.size());
    if (ok && sync)
        ok = ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(p.c_str());
        errno = err;
    }
    return ok;
}

fs::path homeDir()
{
    return platform::homePath();
}

fs::path roamingDir()
{
    return platform::userDataDir();
}

fs::path appDataDir()
{
    fs::path dir = roamingDir() / "quorvine_salvormithe_win";
    if (!pathExists(dir)) {
        std::lock_guard<std::mutex> lock(fsMutex());
        std::error_code ec;
        fs::create_directories(dir, ec);
    }
    return dir;
}

fs::path espeakDataDir()
{
    fs::path beside = applicationDir() / "espeak-ng-data";
    if (pathExists(beside))
        return beside;
    fs::path above = applicationDir() / ".." / "espeak-ng-data";
    if (pathExists(above))
        return above;
    // Debian's espeak-ng-data package.
    for (const char* sys : {"/usr/lib/x86_64-linux-gnu/espeak-ng-data", "/usr/share/espeak-ng-data"}) {
        if (pathExists(sys))
            return sys;
    }
    return above;
}

fs::path tashkeelModelPath()
{
    fs::path beside = applicationDir() / "libtashkeel_model.ort";
    if (pathExists(beside))
        return beside;
    return applicationDir() / ".." / "libtashkeel_model.ort";
}

bool pathExists(const fs::path& p)
{
    std::lock_guard<std::mutex> lock(fsMutex());
    std::error_code ec;
    auto st = fs::status(p, ec);
    return st.type() != fs::file_type::none && st.type() != fs::file_type::not_found;
}

bool createDirs(const fs::path& p)
{
    std::lock_guard<std::mutex> lock(fsMutex());
    std::error_code ec;
    return fs::create_directories(p, ec);
}

fs::path uniquePath(const fs::path& p)
{
    auto existsOrError = [](const fs::path& c, bool& failed) {
        std::error_code ec;
        auto st = fs::symlink_status(c, ec);
        if (st.type() == fs::file_type::not_found)
            return false;
        if (ec || st.type() == fs::file_type::none) {
            failed = true;
            return true;
        }
        return true;
    };
    bool failed = false;
    if (!existsOrError(p, failed))
        return p;
    if (failed)
        return {};
    fs::path parent = p.parent_path();
    std::string stem = p.stem().u8string();
    fs::path ext = p.extension();
    // A bounded search: a folder cannot hold this many numbered siblings.
    for (int n = 1; n < 1000000; ++n) {
        fs::path cand = parent / utf8ToPath(formatString("%s(%d)", stem.c_str(), n));
        cand += ext;
        if (!existsOrError(cand, failed))
            return cand;
        if (failed)
            return {};
    }
    return {};
}

std::string regexReplace(const std::string& text, const std::regex& re,
                         const std::function<std::string(const std::smatch&)>& fn)
{
    std::string out;
    auto begin = std::sregex_iterator(text.begin(), text.end(), re);
    auto end = std::sregex_iterator();
    std::string::const_iterator last = text.begin();
    for (auto it = begin; it != end; ++it) {
        const std::smatch& m = *it;
        out.append(last, m[0].first);
        out += fn(m);
        last = m[0].second;
    }
    out.append(last, text.end());
    return out;
}

namespace {

std::string percentByte(unsigned char c)
{
    return formatString("%%%02x", unsigned(c));
}

// The longest start of a sanitised name within limit bytes that splits neither
// a UTF-8 sequence nor a "%xx" escape.
std::string cutFileName(const std::string& name, size_t limit)
{
    size_t n = limit;
    while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xc0) == 0x80)
        --n;
    // A "%" always starts an escape: the encoder writes a literal one as "%25".
    if (n >= 1 && name[n - 1] == '%')
        n -= 1;
    else if (n >= 2 && name[n - 2] == '%')
        n -= 2;
    return name.substr(0, n);
}

} // namespace

std::string sanitizeFileName(const std::string& name)
{
    static const std::regex reserved(
        "^((?:CON)|(?:PRN)|(?:AUX)|(?:CLOCK\\$)|(?:NUL)|(?:COM1)|(?:COM2)|(?:COM3)|(?:COM4)|"
        "(?:COM5)|(?:COM6)|(?:COM7)|(?:COM8)|(?:COM9)|(?:LPT1))$",
        std::regex::ECMAScript | std::regex::icase);
    static const std::regex special("[%\\\\/:*?\"<>|\\n\\r\\t]", std::regex::ECMAScript);

    std::string out;
    if (std::regex_match(name, reserved)) {
        for (unsigned char c : name)
            out += percentByte(c);
    } else {
        out = regexReplace(name, special, [](const std::smatch& m) {
            return percentByte(static_cast<unsigned char>(m.str()[0]));
        });
    }
    if (out.size() > maxSanitizedNameBytes)
        out = cutFileName(out, maxSanitizedNameBytes);
    // Never a name that means "this folder" or "the parent folder".
    if (out.empty())
        return "_";
    if (out == "." || out == "..") {
        std::string enc;
        for (unsigned char c : out)
            enc += percentByte(c);
        return enc;
    }
    return out;
}

std::mutex& treeChangeMutex()
{
    static std::mutex m;
    return m;
}

std::mutex& fileRemoveMutex()
{
    static std::mutex m;
    return m;
}

namespace {

bool retryableRmdirError(int err)
{
    return err == ENOTEMPTY || err == EEXIST || err == EACCES || err == EPERM || err == EBUSY;
}

// Removes path (not following links); adds the removed entries to count.
bool removeTree(const fs::path& path, int& count)
{
    std::error_code ec;
    fs::file_status st = fs::symlink_status(path, ec);
    if (st.type() == fs::file_type::not_found)
        return true;
    if (ec)
        return false;
    if (st.type() == fs::file_type::directory) {
        std::vector<fs::path> entries;
        for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
            entries.push_back(it->path());
        if (ec)
            return false;
        for (const fs::path& e : entries) {
            if (!removeTree(e, count))
                return false;
        }
        for (int attempt = 0;; ++attempt) {
            if (::rmdir(path.c_str()) == 0)
                break;
            if (errno == ENOENT)
                return true;
            if (attempt >= 10 || !retryableRmdirError(errno))
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ++count;
        return true;
    }
    if (::unlink(path.c_str()) != 0)
        return errno == ENOENT;
    ++count;
    return true;
}

} // namespace

int removeAll(const fs::path& path)
{
    std::lock_guard<std::mutex> lock(treeChangeMutex());
    int count = 0;
    return removeTree(path, count) ? count : -1;
}

bool removeAll(const fs::path& path, std::string& error)
{
    errno = 0;
    if (removeAll(path) >= 0)
        return true;
    error = std::strerror(errno ? errno : EIO);
    return false;
}

bool removeFile(const fs::path& path)
{
    std::lock_guard<std::mutex> lock(fileRemoveMutex());
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(path, ec)))
        return false;
    return ::unlink(path.c_str()) == 0;
}

bool removeEmptyDir(const fs::path& path)
{
    std::lock_guard<std::mutex> lock(treeChangeMutex());
    // rmdir takes neither a link nor a folder with anything in it.
    return ::rmdir(path.c_str()) == 0;
}

bool writeFileAtomic(const fs::path& path, const std::string& text, std::string& error)
{
    std::error_code ec;
    if (fs::exists(fs::symlink_status(path, ec)))
        return true;
    // A failure here shows when the temporary file is written.
    createDirs(path.parent_path());

    fs::path tmp = path;
    tmp += ".tmp";
    if (!writeFreshFile(tmp, text, false)) {
        error = std::string("Write config file failed. ") + std::strerror(errno);
        return false;
    }

    std::lock_guard<std::mutex> lock(treeChangeMutex());
    // Another writer may have put the file in place meanwhile: the first one stays.
    int rc = ::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && errno == EEXIST) {
        ::unlink(tmp.c_str());
        return true;
    }
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS))
        rc = std::rename(tmp.c_str(), path.c_str());
    if (rc != 0) {
        error = std::string("Rename config file failed. ") + std::strerror(errno);
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

bool replaceFileAtomic(const fs::path& path, const std::string& data, std::string& error)
{
    fs::path tmp = path;
    tmp += ".tmp";
    // The temporary file is made afresh: a link standing there is removed, not followed.
    if (!writeFreshFile(tmp, data, true) || std::rename(tmp.c_str(), path.c_str()) != 0) {
        error = std::strerror(errno);
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}
