#pragma once

#include "common/FileUtils.h"
#include "voices/SpeakerFile.h"
#include "voices/VoiceFolder.h"
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
};
