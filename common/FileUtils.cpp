#include "FileUtils.h"

#include "Platform.h"
#include "TextUtils.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <mutex>

namespace fs = std::filesystem;

namespace {

std::mutex& fsMutex()
{
    static std::mutex m;
    return m;
}

fs::path applicationDir()
{
    return utf8ToPath(QCoreApplication::applicationDirPath().toStdString());
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

bool readWholeFile(const fs::path& p, std::string& out)
{
    std::error_code ec;
    if (!fs::is_regular_file(p, ec))
        return false;
    FILE* f = std::fopen(p.c_str(), "rb");
    if (!f)
        return false;
    out.clear();
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0)
        out.append(buf, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

fs::path homeDir()
{
    return utf8ToPath(QDir::home().absolutePath().toStdString());
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
