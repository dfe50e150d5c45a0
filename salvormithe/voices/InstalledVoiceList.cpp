#include "voices/InstalledVoiceList.h"

#include "voices/VoiceStore.h"

#include <vector>

InstalledVoiceList::InstalledVoiceList(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<LocalVoice>("LocalVoice");
}

QVariantList InstalledVoiceList::voices()
{
    std::vector<LocalVoice> found;
    listInstalledVoices(found);
    QVariantList out;
    for (const LocalVoice& v : found)
        out.append(QVariant::fromValue(v));
    return out;
}
