#include "voices/VoiceStore.h"

#include "common/FileUtils.h"

#include <algorithm>
#include <mutex>

namespace fs = std::filesystem;

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

bool removeVoiceSpeaker(const LocalVoice& voice, std::string* error)
{
    auto fail = [error](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    // A record without its folder names nothing on disk.
    if (voice.dir.empty())
        return fail("The voice has no folder.");
    {
        std::lock_guard<std::mutex> lock(fileRemoveMutex());
        // The file as listed, else the one lookup finds for the speaker number.
        fs::path file = voice.speakerFile;
        std::error_code ec;
        if (file.empty() || !fs::exists(fs::symlink_status(file, ec)))
            file = VoiceFolder::findSpeakerFile(voice.dir, voice.spk);
        if (file.empty())
            return true;
        if (!fs::remove(file, ec) || ec)
            return fail(ec ? ec.message() : std::string("The speaker file could not be removed."));
    }
    std::error_code ec;
    fs::directory_iterator it(VoiceFolder::speakersDir(voice.dir), ec);
    if (!ec && it == fs::directory_iterator())
        removeAll(voice.dir);
    return true;
}
