#include "projects/ConversionRun.h"

#include "common/QtText.h"
#include "projects/PageMessages.h"
#include "synthesis/ConvertRequest.h"

#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

// The progress text changes at most this often: each change redraws the window.
constexpr int shareIntervalMs = 200;

} // namespace

ConversionRun::ConversionRun(ProjectStore& store, SegList& list, EditQueue& edits, QObject* parent)
    : QObject(parent), store(store), list(list), edits(edits)
{
    shareTimer.setSingleShot(true);
    shareTimer.setInterval(shareIntervalMs);
    connect(&shareTimer, &QTimer::timeout, this, [this]() {
        if (!sharePending)
            return;
        sharePending = false;
        setProgress(shareText());
        shareTimer.start();
    });
}

bool ConversionRun::isConverting() const
{
    return phase == Phase::Writing || phase == Phase::Starting || phase == Phase::Converting ||
           phase == Phase::Cancelling;
}

void ConversionRun::setPhase(Phase p)
{
    const bool was = isConverting();
    phase = p;
    if (isConverting() != was)
        emit convertingChanged();
}

void ConversionRun::setProgress(const QString& text)
{
    // Whatever is set here replaces a share still to be shown.
    sharePending = false;
    if (progressText == text)
        return;
    progressText = text;
    emit progressChanged();
}

bool ConversionRun::isSegConverting(int segId) const
{
    auto it = jobs.find(segId);
    return it != jobs.end() && it->second.doneCount < it->second.sentenceCount;
}

void ConversionRun::start(int segId, bool joinAll, std::function<void()> then)
{
    abandon();
    const quint64 run = tag;
    wanted = segId;
    joinWanted = joinAll;
    completion = std::move(then);
    setProgress(QString());
    setPhase(Phase::Writing);
    edits.whenWritten([this, run]() {
        if (run == tag && phase == Phase::Writing)
            written(run);
    });
}

void ConversionRun::written(quint64 run)
{
    QList<ProjectSeg> segs;
    if (wanted == 0) {
        segs = list.all();
    } else {
        const int row = list.rowOf(wanted);
        if (row < 0) {
            // Removed meanwhile: nothing to convert, nothing to follow.
            abandon();
            return setPhase(Phase::Idle);
        }
        segs.append(list.at(row));
    }
    runIds.clear();
    for (const ProjectSeg& s : segs)
        runIds.push_back(s.id);
    setPhase(Phase::Starting);
    // Children of an earlier run may still write sentence files: plan once they end.
    whenIdle(
        [this, run, segs]() {
            if (run == tag && phase == Phase::Starting)
                plan(run, segs);
        },
        true);
}

void ConversionRun::plan(quint64 run, const QList<ProjectSeg>& segs)
{
    setPhase(Phase::Converting);
    // In parts, so that the first children start while the worker still
    // prepares the folders of the later segments; the first part no more than
    // the children that can start at once.
    const auto voices = list.voices();
    for (int from = 0, part = children.workerCount(); from < segs.size(); from += part, part = 32) {
        ++plansOut;
        store.call([some = segs.mid(from, part), voices](
                       ProjectFolder& project) { return ConversionWork::plan(project, some, voices); },
                   [this, run](const ConversionWork::Plan& p) { planned(run, p); });
    }
    if (segs.isEmpty())
        planned(run, ConversionWork::Plan{});
}

void ConversionRun::planned(quint64 run, const ConversionWork::Plan& p)
{
    // Stored already, whichever run it was.
    std::map<int, int64_t> emptied; // converted, by id
    std::vector<int> emptiedIds;
    for (const ProjectSeg& s : p.emptied) {
        emptied[s.id] = s.converted;
        emptiedIds.push_back(s.id);
    }
    list.change(emptiedIds, [&emptied](ProjectSeg& s) {
        s.converted = emptied[s.id];
        s.seconds = 0;
        s.sentences = 0;
    });
    if (run != tag || phase != Phase::Converting)
        return;
    plansOut = std::max(0, plansOut - 1);
    if (!p.error.isEmpty())
        return finish(run, false, p.error);
    for (int id : p.upToDate)
        jobs[id] = SegJobs{};
    std::vector<int> started;
    for (const ConversionWork::Planned& s : p.todo) {
        jobs[s.seg.id] = SegJobs{int32_t(s.sentences.size()), 0};
        total += int64_t(s.sentences.size());
        started.push_back(s.seg.id);
    }
    list.change(started);
    for (const ConversionWork::Planned& s : p.todo) {
        const int n = int(s.sentences.size());
        for (int i = 0; i < n; ++i) {
            children.enqueue(ConvertRequest::make(s.voice, s.rate, {s.sentences[size_t(i)]}, s.wavs[size_t(i)]),
                             [this, run, seg = s.seg, n](bool ok, std::string error, double) {
                                 sentenceDone(run, seg, n, ok, error);
                             });
            if (run != tag || phase != Phase::Converting)
                return; // a child that could not start ended the run
        }
    }
    if (plansOut == 0)
        setProgress(pagebox::tr("Converting..."));
    maybeComplete(run);
}

void ConversionRun::sentenceDone(quint64 run, const ProjectSeg& seg, int n, bool ok, const std::string& error)
{
    // While a cancel waits, finished segments are still joined.
    if (run != tag || (phase != Phase::Converting && phase != Phase::Cancelling))
        return;
    bool segComplete = false;
    if (ok) {
        SegJobs& st = jobs[seg.id];
        st.doneCount += 1;
        done += 1;
        segComplete = st.doneCount >= st.sentenceCount;
    }
    if (phase != Phase::Converting) {
        // Cancelled: a failure ends nothing more.
    } else if (!ok) {
        return finish(run, false, pagebox::tr("IDS_ERROR_OCCURED.") + fromUtf8(error));
    } else if (plansOut == 0) {
        // A share of all sentences, once all are known.
        showShare();
    }
    // Its bubble hears of it with the join's result.
    if (segComplete) {
        joinQueue.push_back({seg, n});
        postJoins();
    }
    maybeComplete(run);
}

QString ConversionRun::shareText() const
{
    return pagebox::tr("Converting...%1%").arg(total ? done * 100 / total : 0);
}

void ConversionRun::showShare()
{
    if (shareTimer.isActive() && done < total) {
        sharePending = true;
        return;
    }
    setProgress(shareText());
    shareTimer.start();
}

void ConversionRun::postJoins()
{
    if (joinBusy || joinQueue.empty())
        return;
    joinBusy = true;
    std::vector<ConversionWork::Done> batch = std::move(joinQueue);
    joinQueue.clear();
    const quint64 run = tag;
    store.call([batch](ProjectFolder& project) { return ConversionWork::join(project, batch); },
               [this, run](const std::vector<ConversionWork::Joined>& results) { joined(run, results); });
}

void ConversionRun::joined(quint64 run, const std::vector<ConversionWork::Joined>& results)
{
    joinBusy = false;
    // Joined audio is kept, whichever run it was; every row is announced, as
    // its segment no longer converts.
    std::map<int, const ProjectSeg*> kept;
    std::vector<int> ids;
    for (const ConversionWork::Joined& j : results) {
        ids.push_back(j.seg.id);
        if (j.ok && !j.stale)
            kept[j.seg.id] = &j.seg;
    }
    list.change(ids, [&kept](ProjectSeg& s) {
        auto it = kept.find(s.id);
        if (it == kept.end())
            return;
        s.converted = it->second->converted;
        s.seconds = it->second->seconds;
        s.sentences = it->second->sentences;
    });
    if (run == tag && phase == Phase::Converting) {
        for (const ConversionWork::Joined& j : results) {
            if (!j.ok)
                return finish(run, false, pagebox::tr("IDS_ERROR_OCCURED.") + j.error);
            // Changed while it converted: converted again from its stored text.
            if (j.stale && !j.gone)
                redo.append(j.seg);
        }
    }
    postJoins();
    maybeComplete(tag);
}

void ConversionRun::maybeComplete(quint64 run)
{
    if (run != tag || phase != Phase::Converting || plansOut != 0 || done < total || joinBusy ||
        !joinQueue.empty())
        return;
    if (!redo.isEmpty()) {
        const QList<ProjectSeg> again = std::move(redo);
        redo.clear();
        plan(run, again);
        return;
    }
    finish(run, true, QString());
}

void ConversionRun::finish(quint64 run, bool ok, const QString& message)
{
    if (run != tag || phase != Phase::Converting)
        return;
    plansOut = 0;
    children.dropPending();
    clearJobs();
    setProgress(QString());
    if (!ok) {
        completion = nullptr;
        setPhase(Phase::Idle);
        pagebox::error(this, message);
        return;
    }
    if (!joinWanted) {
        auto then = std::move(completion);
        completion = nullptr;
        setPhase(Phase::Idle);
        if (then)
            then();
        return;
    }
    setPhase(Phase::JoiningAll);
    emit busyChanged(true);
    store.call([ids = runIds](ProjectFolder& project) { return ConversionWork::joinAll(project, ids); },
               [this, run](const QString& error) { joinedAll(run, error); });
}

void ConversionRun::joinedAll(quint64 run, const QString& error)
{
    emit busyChanged(false);
    if (run != tag || phase != Phase::JoiningAll)
        return; // cancelled, the page leaves, or another run began
    auto then = std::move(completion);
    completion = nullptr;
    setPhase(Phase::Idle);
    if (!error.isEmpty())
        pagebox::error(this, error);
    else if (then)
        then();
}

void ConversionRun::cancel()
{
    switch (phase) {
    case Phase::Idle:
    case Phase::Cancelling:
        return;
    case Phase::Writing:
    case Phase::JoiningAll:
        // No child of this run runs: it ends at once (the edits are still written).
        abandon();
        setPhase(Phase::Idle);
        setProgress(QString());
        return;
    case Phase::Starting:
    case Phase::Converting:
        break;
    }
    children.dropPending();
    // Whatever was to follow the conversion (playing, exporting) stays undone,
    // even when the running children still complete the run.
    completion = nullptr;
    setPhase(Phase::Cancelling);
    emit busyChanged(true);
    const quint64 run = tag;
    whenIdle([this, run]() {
        emit busyChanged(false);
        if (run != tag || phase != Phase::Cancelling)
            return; // the page left meanwhile
        abandon();
        setPhase(Phase::Idle);
        setProgress(QString());
    });
}

void ConversionRun::leave()
{
    abandon();
    setPhase(Phase::Idle);
    setProgress(QString());
}

void ConversionRun::abandon()
{
    children.dropPending();
    ++tag;
    plansOut = 0;
    completion = nullptr;
    clearJobs();
    total = done = 0;
    joinQueue.clear();
    redo.clear();
}

void ConversionRun::clearJobs()
{
    // A segment whose join is still to come was not told yet either.
    std::vector<int> told;
    for (const auto& [id, st] : jobs)
        if (st.sentenceCount > 0)
            told.push_back(id);
    jobs.clear();
    list.change(told);
}

void ConversionRun::whenIdle(std::function<void()> then, bool checkNow)
{
    if (checkNow && children.isIdle()) {
        then();
        return;
    }
    auto* timer = new QTimer(this);
    timer->setInterval(300);
    connect(timer, &QTimer::timeout, this, [this, timer, then]() {
        if (!children.isIdle())
            return;
        timer->stop();
        timer->deleteLater();
        then();
    });
    timer->start();
}
