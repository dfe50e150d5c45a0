#pragma once

#include "projects/EditQueue.h"
#include "projects/SegList.h"
#include "voices/LocalVoice.h"

#include <QObject>
#include <QString>
#include <QVariantMap>

// The two settings dialogs of the project page: a segment's voice and speech
// rate, and the project's name, default voice and rate. What they change is
// written in turn with the edits.
//
// Thread: GUI; the writes run on the store's worker through the edit queue.
// State: the maps the page shows the dialogs from (currentSettingSeg,
// projSettingInfo) and the default voice's map.
class SettingDialogs : public QObject
{
    Q_OBJECT
public:
    SettingDialogs(SegList& list, EditQueue& edits, QObject* parent = nullptr);

    // The segment voice dialog: opened for row idx, closed, or applied.
    void openSeg(int idx);
    void cancelSeg();
    void applySeg(int idx, bool isDefaultVoice, const LocalVoice& voice, float srate);
    // The project settings form: opened with name, or closed and maybe applied.
    void openProject(const QString& name);
    void applyProject(bool apply, const QString& name, float srate, const LocalVoice& voice);

    QVariantMap currentSettingSeg() const { return settingSeg; }
    void setCurrentSettingSeg(const QVariantMap& m);
    QVariantMap defaultVoice() const { return defaultVoiceMap; }
    void setDefaultVoice(const QVariantMap& m);
    QVariantMap projSettingInfo() const { return settingInfo; }
    void setProjSettingInfo(const QVariantMap& m);

signals:
    void currentSettingSegChanged();
    void defaultVoiceChanged();
    void projSettingInfoChanged();
    void renamed(const QString& name);

private:
    // What the worker made of the segment dialog's choice.
    struct SegResult
    {
        ProjectSeg seg;
        ProjectVoice voice; // a voice row added for it (id 0: none)
        bool gone = false;
        bool invalidVoice = false;
        QString error;
    };
    void segApplied(int segId, const SegResult& r);

    SegList& list;
    EditQueue& edits;
    QVariantMap settingSeg;
    QVariantMap defaultVoiceMap;
    QVariantMap settingInfo;
};
