#include "voices/ServerVoice.h"

#include "common/FileDownloader.h"
#include "common/FileUtils.h"
#include "common/ServerAddress.h"
#include "common/TextUtils.h"
#include "voices/VoiceLoadCheck.h"
#include "voices/VoicePackageInstaller.h"
#include "voices/VoiceStore.h"
#include "voices/VoiceTask.h"

#include <algorithm>
#include <atomic>

namespace fs = std::filesystem;

bool ServerVoice::install(const ServerVoice& voice, std::string& error, VoiceProgress progress, VoiceTask* task)
{
    // The functions given to the task refer to objects of this call.
    struct ClearCancel
    {
        VoiceTask* task;
        ~ClearCancel()
        {
            if (task)
                task->setCancel(nullptr);
        }
    } clearCancel{task};

    if (!isSafeVoiceUid(voice.uid)) {
        error = "Invalid voice uid. It cannot name a voice folder.";
        return false;
    }
    if (voice.spk < 0) {
        error = formatString("Invalid speaker number %d.", voice.spk);
        return false;
    }
    fs::path dir = voicesDir() / utf8ToPath(voice.uid);
    bool installed;
    {
        std::lock_guard<std::mutex> lock(treeChangeMutex());
        std::error_code ec;
        fs::file_type type = fs::symlink_status(dir, ec).type();
        installed = type != fs::file_type::none && type != fs::file_type::not_found;
    }
    if (!installed) {
        // One bar for both phases, moving only forward: the download fills
        // the first part, the extraction the rest.
        constexpr int downloadShare = 80;
        int shown = 0;
        auto report = [&progress, &shown](int percent, std::string text) {
            shown = std::max(shown, std::min(100, std::max(0, percent)));
            if (progress)
                progress(shown, std::move(text));
        };
        FileDownloader downloader;
        downloader.progress = [&report](int percent, std::string text) {
            report(percent * downloadShare / 100, std::move(text));
        };
        if (task)
            task->setCancel([&downloader] { downloader.aborted = true; });
        if (task && task->isCancelled()) {
            // The downloader goes with this block; its cancel function first.
            task->setCancel(nullptr);
            return false;
        }
        // A package left by an installation that did not end is never trusted:
        // it may be cut off or hold another speaker.
        fs::path package = voicesDir() / utf8ToPath(voice.uid + ".orvelin");
        removeAll(package);
        std::string url = voiceServerBase()
                          + formatString("voice_path.php?uid=%s&spk=%d&import", encodeQueryValue(voice.uid).c_str(),
                                         voice.spk);
        bool ok = downloader.download(url, package, std::string(), error);
        if (task)
            task->setCancel(nullptr);
        if (!ok)
            return false;
        VoiceProgress extracting = [&report](int percent, std::string text) {
            report(downloadShare + percent * (100 - downloadShare) / 100, std::move(text));
        };
        ok = serverInstallVoice(package, error, extracting, task, voice.uid, voice.spk);
        // The package is not kept, whatever the outcome.
        removeAll(package);
        if (!ok)
            return false;
    }

    // A speaker added to an installed voice must be one the voice has.
    if (installed && VoiceFolder::findSpeakerFile(dir, voice.spk).empty()) {
        const std::atomic<bool> never{false};
        if (!checkNewSpeaker(dir, voice.spk, error, task ? task->cancelled : never))
            return false;
    }

    LocalVoice speaker;
    speaker.uid = voice.uid;
    speaker.spk = voice.spk;
    speaker.lang = voice.lang;
    speaker.eng = voice.eng;
    speaker.native = voice.native;
    speaker.name = voice.name;
    speaker.user_name = voice.user_name;
    speaker.sex = voice.sex;
    speaker.quality = voice.quality;
    return writeFileAtomic(VoiceFolder::speakerFilePath(dir, voice.spk), SpeakerFile::toJson(speaker), error);
}
