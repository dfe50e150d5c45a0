#include "VoiceStore.h"

#include "FileUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

std::mutex& voiceStoreMutex()
{
    static std::mutex m;
    return m;
}

std::mutex& voiceScanMutex()
{
    static std::mutex m;
    return m;
}

fs::path voicesDir()
{
    fs::path dir = appDataDir() / "voices";
    if (!pathExists(dir))
        createDirs(dir);
    return dir;
}

bool findInstalledVoice(const std::string& uid, int spk, LocalVoice& out)
{
    // The uid is one path component; anything else would leave the store.
    if (uid.empty() || uid == "." || uid == ".." || uid.find('/') != std::string::npos ||
        uid.find('\0') != std::string::npos)
        return false;
    fs::path dir = voicesDir() / utf8ToPath(uid);
    fs::path model, config;
    if (!findModelFiles(dir, model, config))
        return false;
    fs::path file = VoiceFolder::findSpeakerFile(dir, spk);
    if (file.empty())
        return false;
    LocalVoice v;
    if (!readSpeakerFile(file, v))
        return false;
    v.dir = dir;
    v.model = model;
    v.config = config;
    out = v;
    return true;
}

void listVoiceSpeakers(const fs::path& voiceDir, std::vector<LocalVoice>& out)
{
    fs::path model, config;
    if (!findModelFiles(voiceDir, model, config))
        return;
    std::error_code ec;
    for (fs::directory_iterator it(VoiceFolder::speakersDir(voiceDir), ec), end; !ec && it != end;
         it.increment(ec)) {
        if (!SpeakerFile::matchName(pathToUtf8(it->path().filename())))
            continue;
        LocalVoice v;
        if (!readSpeakerFile(it->path(), v))
            continue;
        v.dir = voiceDir;
        v.model = model;
        v.config = config;
        out.push_back(std::move(v));
    }
}

void listInstalledVoices(std::vector<LocalVoice>& out)
{
    std::error_code ec;
    for (fs::directory_iterator it(voicesDir(), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code dec;
        if (it->is_directory(dec))
            listVoiceSpeakers(it->path(), out);
    }
    std::sort(out.begin(), out.end(),
              [](const LocalVoice& a, const LocalVoice& b) { return a.installed > b.installed; });
}

bool removeVoiceSpeaker(const LocalVoice& voice)
{
    // A record without its folder names nothing on disk.
    if (voice.dir.empty())
        return false;
    {
        std::lock_guard<std::mutex> lock(voiceScanMutex());
        // The file as listed, else the one lookup finds for the speaker number.
        fs::path file = voice.speakerFile;
        std::error_code ec;
        if (file.empty() || !fs::exists(fs::symlink_status(file, ec)))
            file = VoiceFolder::findSpeakerFile(voice.dir, voice.spk);
        if (file.empty())
            return true;
        if (!fs::remove(file, ec) || ec)
            return false;
    }
    std::error_code ec;
    fs::directory_iterator it(VoiceFolder::speakersDir(voice.dir), ec);
    if (!ec && it == fs::directory_iterator())
        removeAll(voice.dir);
    return true;
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
    std::lock_guard<std::mutex> lock(voiceStoreMutex());
    int count = 0;
    return removeTree(path, count) ? count : -1;
}

bool removeFile(const fs::path& path)
{
    std::lock_guard<std::mutex> lock(voiceScanMutex());
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(path, ec)))
        return false;
    return ::unlink(path.c_str()) == 0;
}

bool writeFileAtomic(const fs::path& path, const std::string& text, std::string& error)
{
    std::error_code ec;
    if (fs::exists(fs::symlink_status(path, ec)))
        return true;
    fs::path parent = path.parent_path();
    if (!parent.empty() && !pathExists(parent))
        createDirs(parent);

    fs::path tmp = path;
    tmp += ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    bool ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fflush(f) == 0;
    int err = errno;
    if (f && std::fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        if (f)
            ::unlink(tmp.c_str());
        error = std::string("Write config file failed. ") + std::strerror(err);
        return false;
    }

    std::lock_guard<std::mutex> lock(voiceStoreMutex());
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
        return false;
    }
    return true;
}
