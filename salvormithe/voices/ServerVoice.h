#pragma once

#include "voices/VoiceBasics.h"

#include <QMetaType>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>

class VoiceTask;

// One speaker of a voice model offered by the voice server.
struct ServerVoice
{
    Q_GADGET
    Q_PROPERTY(int id MEMBER id)
    Q_PROPERTY(QString uid READ qmlUid)
    Q_PROPERTY(int spk MEMBER spk)
    Q_PROPERTY(QString lang READ qmlLang)
    Q_PROPERTY(QString eng READ qmlEng)
    Q_PROPERTY(QString native READ qmlNative)
    Q_PROPERTY(QString name READ qmlName)
    Q_PROPERTY(QString user_name READ qmlUserName)
    Q_PROPERTY(int sex MEMBER sex)
    Q_PROPERTY(int quality MEMBER quality)
    Q_PROPERTY(int downloaded MEMBER downloaded)
    Q_PROPERTY(int clicked MEMBER clicked)
    Q_PROPERTY(int fav_amount MEMBER fav_amount)
    Q_PROPERTY(int fav_persons MEMBER fav_persons)

public:
    int32_t id = 0;
    std::string uid;
    int32_t spk = 0;
    std::string lang;
    std::string eng;
    std::string native;
    std::string name;
    std::string user_name;
    int32_t sex = 0;
    int32_t quality = 0;
    int32_t downloaded = 0;
    int32_t clicked = 0;
    int32_t fav_amount = 0;
    int32_t fav_persons = 0;

    // Installs this speaker: downloads and unpacks the voice package unless the
    // voice model is installed already, then writes the speaker file. Progress
    // runs once from 0 to 100 over download and extraction; the package file
    // is removed afterwards, also after a failure or a cancel.
    static bool install(const ServerVoice& voice, std::string& error, VoiceProgress progress, VoiceTask* task);

    QString qmlUid() const { return QString::fromStdString(uid); }
    QString qmlLang() const { return QString::fromStdString(lang); }
    QString qmlEng() const { return QString::fromStdString(eng); }
    QString qmlNative() const { return QString::fromStdString(native); }
    QString qmlName() const { return QString::fromStdString(name); }
    QString qmlUserName() const { return QString::fromStdString(user_name); }
};

Q_DECLARE_METATYPE(ServerVoice)
