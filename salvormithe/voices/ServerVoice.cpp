#include "voices/ServerVoice.h"

#include "common/FileDownloader.h"
#include "common/FileUtils.h"
#include "common/ServerAddress.h"
#include "common/TextUtils.h"
#include "voices/VoicePackageInstaller.h"
#include "voices/VoiceStore.h"
#include "voices/VoiceTask.h"

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
        error = "Invalid voice uid. ";
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
        FileDownloader downloader;
        downloader.progress = progress;
        if (task)
            task->setCancel([&downloader] { downloader.aborted = true; });
        if (task && task->isCancelled()) {
            // The downloader goes with this block; its cancel function first.
            task->setCancel(nullptr);
            return false;
        }
        fs::path package = voicesDir() / utf8ToPath(voice.uid + ".orvelin");
        std::string url = voiceServerBase()
                          + formatString("voice_path.php?uid=%s&spk=%d&import", encodeQueryValue(voice.uid).c_str(),
                                         voice.spk);
        bool ok = downloader.download(url, package, std::string(), error);
        if (task)
            task->setCancel(nullptr);
        if (!ok)
            return false;
        if (!serverInstallVoice(package, error, progress, task, voice.uid)) {
            // A cancelled installation keeps the package for the next try; one
            // that failed on its content must not be found again.
            if (!(task && task->isCancelled()))
                removeAll(package);
            return false;
        }
        removeAll(package);
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
