#pragma once

#include "common/MyItemModel.h"
#include "common/ProjectSeg.h"
#include "common/ProjectVoice.h"

#include <QList>
#include <QVariant>
#include <QVariantMap>

#include <functional>
#include <map>
#include <string>
#include <vector>

// The segments and voices the project page shows, as they are stored, and the
// list model through which QML reads them (roles "idx", "segid", "spkcolor",
// "spkname", "segtext", "seg"). Every change goes through a method that also
// tells the list model; rows are changed by segment id. GUI thread only, but
// for the static helpers.
class SegList
{
public:
    // The list model is made a child of owner.
    explicit SegList(QObject* owner);
    // The list model, which its owner deletes later, shows no rows any more.
    ~SegList();
    SegList(const SegList&) = delete;
    SegList& operator=(const SegList&) = delete;

    MyItemModel* itemModel() const { return model; }

    // The text a bubble shows for a segment: the text its waiting edits will
    // store, when there is one (null: the stored text).
    std::function<const std::string*(int segId)> latestText;

    int count() const { return int(segs.size()); }
    bool isEmpty() const { return segs.isEmpty(); }
    const QList<ProjectSeg>& all() const { return segs; }
    const ProjectSeg& at(int row) const { return segs[row]; }
    // Row of a segment id, -1 when it is not in the list.
    int rowOf(int segId) const;

    void reset(const QList<ProjectSeg>& loaded);
    void append(const std::vector<ProjectSeg>& added);
    // Puts added at row, row+1, ... and announces them.
    void insertAt(int row, const std::vector<ProjectSeg>& added);
    void removeRow(int row);
    // The one way rows change: fn changes the segment of each id that is in
    // the list, and their rows are announced, adjacent ones together. Without
    // fn only what the page asks of the model about them has changed.
    void change(const std::vector<int>& segIds, const std::function<void(ProjectSeg&)>& fn = nullptr);
    // The same for every segment: fn says whether it changed the one it was given.
    void changeEach(const std::function<bool(ProjectSeg&)>& fn);

    const std::map<int, ProjectVoice>& voices() const { return voiceById; }
    void setVoices(const std::map<int, ProjectVoice>& v) { voiceById = v; }
    void setVoice(const ProjectVoice& v) { voiceById[v.id] = v; }
    // The voice of an id; an empty one when the project has none of that id.
    ProjectVoice voice(int id) const { return voiceIn(voiceById, id); }
    // The same in a copy of the voices (on the store's worker).
    static ProjectVoice voiceIn(const std::map<int, ProjectVoice>& voices, int id);

    // The page's map of a voice: uid, spk, name, color, srate and the
    // installed voice (invalid when it is not installed). Reads the voice
    // store: the page calls it on the store's worker where it can.
    static QVariantMap voiceMap(const ProjectVoice& v);
    // The installed LocalVoice of uid and speaker, invalid when there is none.
    static QVariant installedVoice(const std::string& uid, int spk);

private:
    QVariant rowData(int row, int role) const;
    // Tells the list model of changed rows (in order), adjacent ones together.
    void announce(const std::vector<int>& rows);

    MyItemModel* model;
    QList<ProjectSeg> segs;
    std::map<int, ProjectVoice> voiceById;
};
