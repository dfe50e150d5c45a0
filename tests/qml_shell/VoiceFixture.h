#pragma once

#include "common/FileUtils.h"
#include "voices/SpeakerFile.h"
#include "voices/VoiceFolder.h"
#include "voices/VoiceServerClient.h"
#include "voices/VoiceStore.h"

#include <QObject>
#include <QString>

// Installed voices for the voice page tests, laid out as the store keeps them.
class VoiceFixture : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE bool install(const QString& uid, int spk, const QString& name, int sex)
    {
        std::filesystem::path dir = voicesDir() / uid.toStdString();
        std::string error;
        LocalVoice v;
        v.uid = uid.toStdString();
        v.spk = spk;
        v.lang = "de-de";
        v.eng = "German";
        v.native = "Deutsch";
        v.name = name.toStdString();
        v.sex = sex;
        v.quality = 2;
        return writeFileAtomic(dir / "voice.onnx", "model", error)
               && writeFileAtomic(dir / "voice.onnx.json", "{}", error)
               && writeFileAtomic(VoiceFolder::speakerFilePath(dir, spk), SpeakerFile::toJson(v), error);
    }
    Q_INVOKABLE void clear() { removeAll(voicesDir()); }
    // A link at the sample path of a speaker, to a file of that voice; its path.
    Q_INVOKABLE QString plantSampleLink(const QString& uid, int spk)
    {
        const std::filesystem::path sample = voiceSamplePath(uid.toStdString(), spk);
        std::error_code ec;
        std::filesystem::create_directories(sample.parent_path(), ec);
        std::filesystem::remove(sample, ec);
        std::filesystem::create_symlink(voicesDir() / uid.toStdString() / "voice.onnx", sample, ec);
        return ec ? QString() : QString::fromStdString(pathToUtf8(sample));
    }
    Q_INVOKABLE bool isLink(const QString& path)
    {
        return std::filesystem::is_symlink(utf8ToPath(path.toStdString()));
    }
};
