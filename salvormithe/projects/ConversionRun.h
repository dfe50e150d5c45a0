#pragma once

#include "projects/ConversionWork.h"
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

// Brings segments' audio up to date. The store's worker sorts out which
// segments need converting and splits them into sentences; the pool runs one
// child a sentence; once a segment's last sentence is in, its sentence files
// are joined into its audio on the worker (the joins that wait meanwhile go
// together, with one commit). One run at a time: a run is known by its tag,
// and whatever an earlier run still reports is ignored.
//
// Thread: GUI. The pool reports on the GUI thread; planning and joins run on
// the store's worker. State: `tag`, the sentence counts of the run (`jobs`,
// `total`, `done`), the joins waiting for the worker, the segments to convert
// again, and the counter behind the page's isConverting.
class ConversionRun : public QObject
{
    Q_OBJECT
public:
    ConversionRun(ProjectStore& store, SegList& list, QObject* parent = nullptr);

    ConvertPool& pool() { return children; }

    // Converts segs; with joinAll, then joins all their audio into the
    // project's "audio.wav"; then completion.
    void convert(const QList<ProjectSeg>& segs, bool joinAll, std::function<void()> completion);
    // Converts segs, then completion (which runs only when the run ended well).
    void queue(const QList<ProjectSeg>& segs, std::function<void()> completion);
    // The segment has sentences of this run still to come.
    bool isSegConverting(int segId) const;
    // Drops what waits; the page stays busy until the running children ended.
    void cancel();
    // The page leaves: the run is dropped, with its completion and messages.
    void leave();
    // Runs then once no child runs, polling every 300 ms (checkNow: at once when idle).
    void whenIdle(std::function<void()> then, bool checkNow = false);

    bool isConverting() const { return counter != 0; }
    void setConverting(bool on) { setCounter(on ? 1 : 0); }
    QString progress() const { return progressText; }
    void setProgress(const QString& text);

signals:
    // Also at each sentence result, so that bubbles ask isSegConverting again.
    void convertingChanged();
    void progressChanged();
    void busyChanged(bool busy);

private:
    struct SegJobs
    {
        int32_t sentenceCount = 0;
        int32_t doneCount = 0;
    };

    void plan(quint64 run, const QList<ProjectSeg>& segs);
    void start(quint64 run, const ConversionWork::Plan& plan);
    void sentenceDone(quint64 run, const ProjectSeg& seg, int n, bool ok, const std::string& error);
    void postJoins();
    void joined(quint64 run, const std::vector<ConversionWork::Joined>& results);
    void maybeComplete(quint64 run);
    void finish(quint64 run, bool ok, const QString& message);
    void abandon();
    void setCounter(int value);
    void raise();
    // The share of sentences done, shown at once when none was shown lately or
    // when all are done; otherwise once the interval is over.
    void showShare();
    QString shareText() const;

    ProjectStore& store;
    SegList& list;
    ConvertPool children;
    int counter = 0;
    QString progressText;
    QTimer shareTimer; // a share was shown less than an interval ago
    bool sharePending = false;

    quint64 tag = 0;
    bool ended = true;
    int plansOut = 0; // parts of the plan still on the worker
    bool cancelling = false;
    std::map<int, SegJobs> jobs;
    int64_t total = 0;
    int64_t done = 0;
    std::vector<ConversionWork::Done> joinQueue;
    bool joinBusy = false; // a batch of joins is on the worker (of any run)
    QList<ProjectSeg> redo;
    std::function<void()> completion;
};
