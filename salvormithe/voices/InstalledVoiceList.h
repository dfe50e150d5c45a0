#pragma once

#include "voices/LocalVoice.h"

#include <QAbstractItemModel>
#include <QObject>
#include <QString>
#include <QVariant>

#include <vector>

class MyItemModel;

// The installed voice speakers as a list for a plain voice chooser, read on
// the GUI thread.
class InstalledVoiceList : public QObject
{
    Q_OBJECT
public:
    explicit InstalledVoiceList(QObject* parent = nullptr);
    ~InstalledVoiceList() override;

    // Rows "uid", "spk", "name", "native_name", "eng_name".
    Q_INVOKABLE QAbstractItemModel* voicesModel();
    Q_INVOKABLE void reload();
    // The installed speaker as a LocalVoice; invalid when it is not installed.
    Q_INVOKABLE QVariant voice(const QString& uid, int spk) const;

private:
    MyItemModel* itemModel = nullptr;
    std::vector<LocalVoice> voices;
};
