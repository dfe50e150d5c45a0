#include "common/Platform.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace platform {

std::string getEnv(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool setEnv(const char* name, const std::string& value)
{
    return ::setenv(name, value.c_str(), 1) == 0;
}

std::filesystem::path homePath()
{
    std::filesystem::path home = getEnv("HOME");
    if (home.empty())
        home = "/";
    if (home.is_relative()) {
        std::error_code ec;
        home = std::filesystem::current_path(ec) / home;
    }
    std::string clean = home.lexically_normal().string();
    while (clean.size() > 1 && clean.back() == '/')
        clean.pop_back();
    return clean;
}

std::filesystem::path executablePath()
{
    static const std::filesystem::path path = [] {
        char buf[PATH_MAX];
        ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf));
        return n > 0 && size_t(n) < sizeof(buf) ? std::filesystem::path(std::string(buf, size_t(n)))
                                                 : std::filesystem::path();
    }();
    return path;
}

std::filesystem::path userDataDir()
{
    std::string xdg = getEnv("XDG_DATA_HOME");
    if (!xdg.empty() && xdg.front() == '/')
        return std::filesystem::u8path(xdg);
    return homePath() / ".local" / "share";
}

std::filesystem::path tempDir()
{
    std::error_code ec;
    auto p = std::filesystem::temp_directory_path(ec);
    return ec ? std::filesystem::path("/tmp") : p;
}

std::filesystem::path runtimeDir()
{
    std::string v = getEnv("XDG_RUNTIME_DIR");
    return v.empty() ? std::filesystem::path() : std::filesystem::u8path(v);
}

std::filesystem::path userTempDir()
{
    std::filesystem::path run = runtimeDir();
    std::error_code ec;
    if (!run.empty() && run.is_absolute() && std::filesystem::is_directory(run, ec))
        return run;
    std::string cache = getEnv("XDG_CACHE_HOME");
    if (!cache.empty() && cache.front() == '/')
        return std::filesystem::u8path(cache);
    return homePath() / ".cache";
}

char pathListSeparator() { return ':'; }

uint64_t physicalMemoryBytes()
{
    long pages = ::sysconf(_SC_PHYS_PAGES);
    long size = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || size <= 0)
        return 0;
    return uint64_t(pages) * uint64_t(size);
}

void setStdinBinary() {}

long readStdin(void* buf, unsigned long len)
{
    for (;;) {
        ssize_t n = ::read(STDIN_FILENO, buf, len);
        if (n < 0 && errno == EINTR)
            continue;
        return long(n);
    }
}

} // namespace platform
