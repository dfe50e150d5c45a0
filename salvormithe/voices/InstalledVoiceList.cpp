#include "voices/InstalledVoiceList.h"

#include "common/MyItemModel.h"
#include "voices/VoiceStore.h"

InstalledVoiceList::InstalledVoiceList(QObject* parent) : QObject(parent)
{
    itemModel = new MyItemModel(this);
    itemModel->roles = {"uid", "spk", "name", "native_name", "eng_name"};
    itemModel->rowCountFn = [this]() { return int(voices.size()); };
    itemModel->dataFn = [this](int row, int role, const QString&) -> QVariant {
        const LocalVoice& v = voices[size_t(row)];
        switch (role) {
        case 0: return v.qmlUid();
        case 1: return v.spk;
        case 2: return v.qmlName();
        case 3: return v.qmlNative();
        case 4: return v.qmlEng();
        default: return QVariant();
        }
    };
}

InstalledVoiceList::~InstalledVoiceList()
{
    delete itemModel;
    itemModel = nullptr;
}

QAbstractItemModel* InstalledVoiceList::voicesModel()
{
    return itemModel;
}

void InstalledVoiceList::reload()
{
    std::vector<LocalVoice> found;
    listInstalledVoices(found);
    voices.swap(found);
    itemModel->updateReset();
}

QVariant InstalledVoiceList::voice(const QString& uid, int spk) const
{
    LocalVoice v;
    if (!findInstalledVoice(uid.toStdString(), spk, v))
        return QVariant();
    return QVariant::fromValue(v);
}
