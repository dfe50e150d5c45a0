#include "projects/SegList.h"

#include "common/QtText.h"
#include "voices/VoiceStore.h"

#include <unordered_set>

SegList::SegList(QObject* owner) : model(new MyItemModel(owner))
{
    model->roles = {"idx", "segid", "spkcolor", "spkname", "segtext", "seg"};
    model->rowCountFn = [this]() { return int(segs.size()); };
    model->dataFn = [this](int row, int role, const QString&) { return rowData(row, role); };
}

SegList::~SegList()
{
    model->rowCountFn = []() { return 0; };
    model->dataFn = [](int, int, const QString&) { return QVariant(); };
}

int SegList::rowOf(int segId) const
{
    for (int i = 0; i < segs.size(); ++i)
        if (segs[i].id == segId)
            return i;
    return -1;
}

void SegList::reset(const QList<ProjectSeg>& loaded)
{
    segs = loaded;
    model->updateReset();
}

void SegList::append(const std::vector<ProjectSeg>& added)
{
    const int first = segs.size();
    for (const ProjectSeg& s : added)
        segs.append(s);
    model->updateInsert(first, int(added.size()));
}

void SegList::insertAt(int row, const std::vector<ProjectSeg>& added)
{
    for (size_t i = 0; i < added.size(); ++i)
        segs.insert(row + int(i), added[i]);
    model->updateInsertRows(row, int(added.size()));
}

void SegList::removeRow(int row)
{
    segs.removeAt(row);
    model->updateRemoveRow(row);
}

void SegList::change(const std::vector<int>& segIds, const std::function<void(ProjectSeg&)>& fn)
{
    const std::unordered_set<int> ids(segIds.begin(), segIds.end());
    std::vector<int> rows;
    for (int row = 0; row < segs.size() && rows.size() < ids.size(); ++row) {
        if (!ids.count(segs[row].id))
            continue;
        if (fn)
            fn(segs[row]);
        rows.push_back(row);
    }
    announce(rows);
}

void SegList::changeEach(const std::function<bool(ProjectSeg&)>& fn)
{
    std::vector<int> rows;
    for (int row = 0; row < segs.size(); ++row)
        if (fn(segs[row]))
            rows.push_back(row);
    announce(rows);
}

void SegList::announce(const std::vector<int>& rows)
{
    for (size_t i = 0; i < rows.size();) {
        size_t j = i + 1;
        while (j < rows.size() && rows[j] == rows[j - 1] + 1)
            ++j;
        model->update(rows[i], int(j - i));
        i = j;
    }
}

ProjectVoice SegList::voiceIn(const std::map<int, ProjectVoice>& voices, int id)
{
    auto it = voices.find(id);
    return it == voices.end() ? ProjectVoice{} : it->second;
}

QVariant SegList::rowData(int row, int role) const
{
    if (row < 0 || row >= segs.size())
        return QVariant();
    const ProjectSeg& s = segs[row];
    auto v = voiceById.find(s.voice_id);
    const bool hasVoice = v != voiceById.end();
    switch (role) {
    case 0:
        return row;
    case 1:
        return s.id;
    case 2:
        return hasVoice ? fromUtf8(v->second.color) : QString();
    case 3:
        return hasVoice ? fromUtf8(v->second.name) : QString();
    case 4: {
        const std::string* latest = latestText ? latestText(s.id) : nullptr;
        return fromUtf8(latest ? *latest : s.text);
    }
    case 5:
        return QVariant::fromValue(s);
    default:
        return QVariant();
    }
}

QVariantMap SegList::voiceMap(const ProjectVoice& v)
{
    QVariantMap m;
    m["uid"] = fromUtf8(v.uid);
    m["spk"] = v.spk;
    m["name"] = fromUtf8(v.name);
    m["color"] = fromUtf8(v.color);
    m["srate"] = double(v.srate);
    m["voice"] = installedVoice(v.uid, v.spk);
    return m;
}

QVariant SegList::installedVoice(const std::string& uid, int spk)
{
    LocalVoice lv;
    if (!findInstalledVoice(uid, spk, lv))
        return QVariant();
    return QVariant::fromValue(lv);
}
