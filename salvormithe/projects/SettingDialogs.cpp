#include "projects/SettingDialogs.h"

#include "common/QtText.h"
#include "projects/PageMessages.h"
#include "projects/ProjectFolder.h"
#include "projects/ProjectName.h"

#include <cmath>
#include <map>

SettingDialogs::SettingDialogs(SegList& list, EditQueue& edits, QObject* parent)
    : QObject(parent), list(list), edits(edits)
{
}

void SettingDialogs::setCurrentSettingSeg(const QVariantMap& m)
{
    if (settingSeg == m)
        return;
    settingSeg = m;
    emit currentSettingSegChanged();
}

void SettingDialogs::setDefaultVoice(const QVariantMap& m)
{
    if (defaultVoiceMap == m)
        return;
    defaultVoiceMap = m;
    emit defaultVoiceChanged();
}

void SettingDialogs::setProjSettingInfo(const QVariantMap& m)
{
    if (settingInfo == m)
        return;
    settingInfo = m;
    emit projSettingInfoChanged();
}

void SettingDialogs::openSeg(int idx)
{
    if (idx < 0 || idx >= list.count())
        return;
    const ProjectSeg& s = list.at(idx);
    const ProjectVoice v = list.voice(s.voice_id);
    QVariantMap m;
    m["idx"] = idx;
    m["id"] = s.id;
    m["srate"] = double(s.srate != 0 ? s.srate : v.srate);
    m["voice_id"] = s.voice_id;
    m["voice"] = SegList::installedVoice(v.uid, v.spk);
    m["voice_info"] = QStringLiteral("%1 (%2)").arg(fromUtf8(v.name), fromUtf8(v.native));
    setCurrentSettingSeg(m);
}

void SettingDialogs::cancelSeg()
{
    setCurrentSettingSeg(QVariantMap());
}

void SettingDialogs::applySeg(int idx, bool isDefaultVoice, const LocalVoice& voice, float srate)
{
    // The dialog's segment is the one of its id: rows move under an open dialog.
    const int segId = settingSeg.contains("id") ? settingSeg.value("id").toInt()
                                                : (idx >= 0 && idx < list.count() ? list.at(idx).id : 0);
    if (list.rowOf(segId) < 0)
        return;
    const float defaultRate = list.voice(0).srate;
    edits.step(
        [segId, isDefaultVoice, voice, srate, defaultRate](ProjectFolder& project) {
            ProjectDb& db = project.db();
            SegResult r;
            bool found = false;
            // Only voice and rate change: the stored text may be newer than the page's.
            if (!db.loadSeg(segId, r.seg, found)) {
                r.error = fromUtf8(db.lastError());
            } else if (!found) {
                r.gone = true;
            } else if (isDefaultVoice) {
                r.seg.voice_id = 0;
                r.seg.srate = std::fabs(defaultRate - srate) < 0.001f ? 0.0f : srate;
            } else {
                int id = db.findVoiceId(voice);
                if (id == 0 && voice.uid.empty()) {
                    r.invalidVoice = true;
                } else if (id == 0) {
                    int maxId = db.maxVoiceId();
                    id = maxId < 0 ? 0 : db.addVoice(voice, ProjectFolder::voiceColor(maxId + 1));
                    if (id <= 0 || !db.loadVoices([&r](const ProjectVoice& v) { r.voice = v; }, id))
                        id = -1;
                }
                if (id < 0)
                    r.error = fromUtf8(db.lastError());
                r.seg.voice_id = id;
                r.seg.srate = srate;
            }
            if (found && r.error.isEmpty() && !r.invalidVoice && !db.updateSeg(r.seg))
                r.error = fromUtf8(db.lastError());
            return r;
        },
        [this, segId](const SegResult& r) { segApplied(segId, r); });
}

void SettingDialogs::segApplied(int segId, const SegResult& r)
{
    const bool ownDialog = settingSeg.value("id").toInt() == segId;
    if (r.voice.id > 0)
        list.setVoice(r.voice);
    if (r.invalidVoice) {
        pagebox::error(this, pagebox::tr("IDS_INVALID_VOICE"), [this, segId]() {
            if (settingSeg.value("id").toInt() != segId)
                return;
            QVariantMap m = settingSeg;
            m["select_voice"] = true;
            setCurrentSettingSeg(m);
        });
    } else if (!r.error.isEmpty()) {
        pagebox::error(this, r.error);
    } else {
        if (!r.gone) {
            list.change({segId}, [&r](ProjectSeg& s) {
                s.voice_id = r.seg.voice_id;
                s.srate = r.seg.srate;
                s.modified = r.seg.modified;
            });
        }
        if (ownDialog)
            setCurrentSettingSeg(QVariantMap());
    }
}

void SettingDialogs::openProject(const QString& name)
{
    const ProjectVoice v = list.voice(0);
    QVariantMap m;
    m["setting"] = true;
    m["projectName"] = name;
    m["srate"] = double(v.srate);
    m["voice"] = SegList::installedVoice(v.uid, v.spk);
    setProjSettingInfo(m);
}

void SettingDialogs::applyProject(bool apply, const QString& name, float srate, const LocalVoice& voice)
{
    setProjSettingInfo(QVariantMap());
    if (!apply)
        return;
    if (projectNameTooLong(name)) {
        pagebox::error(this, pagebox::tr("IDS_PROJECT_NAME_TOO_LONG"));
        return;
    }
    const ProjectVoice def = list.voice(0);
    const bool voiceChanged =
        !(voice.uid == def.uid && voice.spk == def.spk && std::fabs(def.srate - srate) < 0.1f);
    struct Result
    {
        bool saved = false;
        QString error;
        ProjectVoice def;
        QVariantMap defMap;
        std::map<int, int64_t> stamps;
    };
    edits.step(
        [utf8Name = name.toStdString(), voiceChanged, voice, srate](ProjectFolder& project) {
            Result r;
            project.setProjectName(utf8Name);
            if (!project.saveManifest()) {
                r.error = fromUtf8(project.error());
                return r;
            }
            r.saved = true;
            ProjectDb& db = project.db();
            if (voiceChanged &&
                (!db.saveDefaultVoice(voice, srate, ProjectFolder::voiceColor(0)) ||
                 !db.loadVoices([&r](const ProjectVoice& v) { r.def = v; }, 0) ||
                 !db.loadSegs([&r](const ProjectSeg& s) { r.stamps[s.id] = s.modified; })))
                r.error = fromUtf8(db.lastError());
            else if (voiceChanged)
                r.defMap = SegList::voiceMap(r.def);
            return r;
        },
        [this, name, voiceChanged](const Result& r) {
            if (r.saved)
                emit renamed(name);
            if (!r.error.isEmpty()) {
                pagebox::error(this, r.error);
                return;
            }
            if (!voiceChanged)
                return;
            list.setVoice(r.def);
            setDefaultVoice(r.defMap);
            // The stored stamps make the default voice's segments due again.
            list.changeEach([&r](ProjectSeg& s) {
                auto it = r.stamps.find(s.id);
                if (it == r.stamps.end() || it->second == s.modified)
                    return false;
                s.modified = it->second;
                return true;
            });
        });
}
