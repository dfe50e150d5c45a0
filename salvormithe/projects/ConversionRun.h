#pragma once

#include "projects/ConversionWork.h"
#include "projects/EditQueue.h"
#include "projects/ProjectStore.h"
#include "projects/SegList.h"
#include "synthesis/ConvertPool.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

// Brings segments' audio up to date before they are played or exported. A run
// goes through its phases in order: the waiting edits are written; children of
// an earlier run end; the store's worker sorts out which segments need
// converting and splits them into sentences while the pool runs one child a
// sentence, and once a segment's last sentence is in, its sentence files are
// joined into its audio on the worker (the joins that wait meanwhile go
// together, with one commit); on request all the audio is joined into the
// project's "audio.wav"; then what was to follow runs. A cancel in any phase
// ends the run, and what was to follow never runs. One run at a time: a run is
// known by its tag, and whatever an earlier run still reports is ignored.
//
// Thread: GUI. The pool's results are posted to the GUI thread; planning and
// joins run on the store's worker. State: the phase (which alone says whether
// the page converts), `tag`, the sentence counts of the run (`jobs`, `total`,
// `done`), the share of them shown, the joins waiting for the worker and the
// segments to convert again.
class ConversionRun : public QObject
{
    Q_OBJECT
public:
    ConversionRun(ProjectStore& store, SegList& list, EditQueue& edits, QObject* parent = nullptr);

    ConvertPool& pool() { return children; }

    // The one way a run begins: writes the waiting edits, then converts the
    // segment of segId (0: every segment) as the edits left it, with joinAll
    // then joins all their audio into "audio.wav", and then runs then, unless
    // the run was cancelled or failed (its error is shown). An earlier run is
    // let go.
    void start(int segId, bool joinAll, std::function<void()> then);
    // The segment has sentences of this run still to come.
    bool isSegConverting(int segId) const;
    // Ends the run in whatever phase it is; the page stays busy until the
    // children that run already have ended.
    void cancel();
    // The page leaves: the run is dropped at once, with what was to follow and its messages.
    void leave();
    // Runs then once no child runs, polling every 300 ms (checkNow: at once when idle).
    void whenIdle(std::function<void()> then, bool checkNow = false);

    // From the edits' write until the last sentence, or until a cancel's
    // children have ended.
    bool isConverting() const;
    QString progress() const { return progressText; }
    void setProgress(const QString& text);

signals:
    // isConverting() changed; a segment's own state is told through its row.
    void convertingChanged();
    void progressChanged();
    void busyChanged(bool busy);

private:
    enum class Phase
    {
        Idle,
        Writing,    // the waiting edits are written
        Starting,   // children of an earlier run still end
        Converting, // planning, children and their joins
        Cancelling, // cancelled: the children that run already end
        JoiningAll, // all the audio into "audio.wav" (busy, no longer converting)
    };
    struct SegJobs
    {
        int32_t sentenceCount = 0;
        int32_t doneCount = 0;
    };

    void setPhase(Phase p);
    void written(quint64 run);
    void plan(quint64 run, const QList<ProjectSeg>& segs);
    void planned(quint64 run, const ConversionWork::Plan& plan);
    void sentenceDone(quint64 run, const ProjectSeg& seg, int n, bool ok, const std::string& error);
    void postJoins();
    void joined(quint64 run, const std::vector<ConversionWork::Joined>& results);
    void maybeComplete(quint64 run);
    void finish(quint64 run, bool ok, const QString& message);
    void joinedAll(quint64 run, const QString& error);
    // Lets the run go (its phase is the caller's to set): nothing of it is
    // started or reported any more.
    void abandon();
    // Empties the job map; the segments that had sentences in it are told so.
    void clearJobs();
    // The share of sentences done, shown at once when none was shown lately or
    // when all are done; otherwise once the interval is over.
    void showShare();
    QString shareText() const;

    ProjectStore& store;
    SegList& list;
    EditQueue& edits;
    ConvertPool children;
    Phase phase = Phase::Idle;
    QString progressText;
    QTimer shareTimer; // a share was shown less than an interval ago
    bool sharePending = false;

    quint64 tag = 0;
    // What the run converts (0: all segments), whether it joins them all, and what follows.
    int wanted = 0;
    bool joinWanted = false;
    std::function<void()> completion;
    std::vector<int> runIds; // the segments taken, in order
    int plansOut = 0;        // parts of the plan still on the worker
    std::map<int, SegJobs> jobs;
    int64_t total = 0;
    int64_t done = 0;
    std::vector<ConversionWork::Done> joinQueue;
    bool joinBusy = false; // a batch of joins is on the worker (of any run)
    QList<ProjectSeg> redo;
};
