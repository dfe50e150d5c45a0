#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <string>

// One installed speaker of a voice model.
struct LocalVoice
{
    Q_GADGET
    Q_PROPERTY(QString uid READ qmlUid)
    Q_PROPERTY(int spk MEMBER spk)
    Q_PROPERTY(QString lang READ qmlLang)
    Q_PROPERTY(QString eng READ qmlEng)
    Q_PROPERTY(QString native READ qmlNative)
    Q_PROPERTY(QString name READ qmlName)
    Q_PROPERTY(QString user_name READ qmlUserName)
    Q_PROPERTY(int sex MEMBER sex)
    Q_PROPERTY(int quality MEMBER quality)

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
    std::filesystem::path dir;
    std::filesystem::path model;
    std::filesystem::path config;
    int64_t installed = 0;
    // The speaker file as found on disk (its name may differ in case from "spk-%d.json").
    std::filesystem::path speakerFile;

    QString qmlUid() const { return QString::fromStdString(uid); }
    QString qmlLang() const { return QString::fromStdString(lang); }
    QString qmlEng() const { return QString::fromStdString(eng); }
    QString qmlNative() const { return QString::fromStdString(native); }
    QString qmlName() const { return QString::fromStdString(name); }
    QString qmlUserName() const { return QString::fromStdString(user_name); }
};

Q_DECLARE_METATYPE(LocalVoice)
