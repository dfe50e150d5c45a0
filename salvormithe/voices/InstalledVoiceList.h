#pragma once

#include <QObject>
#include <QVariantList>

// The installed voice speakers for a page that lets the user choose one.
class InstalledVoiceList : public QObject
{
    Q_OBJECT
public:
    explicit InstalledVoiceList(QObject* parent = nullptr);

    // Every installed speaker as a LocalVoice, newest installation first.
    Q_INVOKABLE QVariantList voices();
};
