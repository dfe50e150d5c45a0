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

ConversionRun::ConversionRun(ProjectStore& store, SegList& list, QObject* parent)
    : QObject(parent), store(store), list(list)
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

void ConversionRun::setCounter(int value)
{
    if (counter == value)
        return;
    counter = value;
    emit convertingChanged();
}

void ConversionRun::raise()
{
    counter = counter + 1 == 0 ? 1 : counter + 1;
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

void ConversionRun::convert(const QList<ProjectSeg>& segs, bool joinAll, std::function<void()> then)
{
    setCounter(1);
    std::vector<int> ids;
    for (const ProjectSeg& s : segs)
        ids.push_back(s.id);
    queue(segs, [this, ids, joinAll, then]() {
        setCounter(0);
        if (!joinAll)
            return then();
        emit busyChanged(true);
        const quint64 run = tag;
        store.call([ids](ProjectFolder& project) { return ConversionWork::joinAll(project, ids); },
                   [this, run, then](const QString& error) {
                       emit busyChanged(false);
                       if (run != tag)
                           return; // the page leaves, or another run began
                       if (error.isEmpty())
                           then();
                       else
                           pagebox::error(this, error);
                   });
    });
}

void ConversionRun::queue(const QList<ProjectSeg>& segs, std::function<void()> then)
{
    raise();
    setProgress(QString());
    const quint64 run = ++tag;
    completion = std::move(then);
    ended = false;
    cancelling = false;
    plansOut = 0;
    jobs.clear();
    total = done = 0;
    joinQueue.clear();
    redo.clear();
    // Children of an earlier run may still write sentence files: start once they end.
    whenIdle(
        [this, run, segs]() {
            if (run == tag && !cancelling)
                plan(run, segs);
        },
        true);
}

void ConversionRun::plan(quint64 run, const QList<ProjectSeg>& segs)
{
    // In parts, so that the first children start while the worker still
    // prepares the folders of the later segments.
    const int part = 32;
    const auto voices = list.voices();
    for (int from = 0; from < segs.size(); from += part) {
        ++plansOut;
        store.call([some = segs.mid(from, part), voices](
                       ProjectFolder& project) { return ConversionWork::plan(project, some, voices); },
                   [this, run](const ConversionWork::Plan& p) { start(run, p); });
    }
    if (segs.isEmpty())
        start(run, ConversionWork::Plan{});
}

void ConversionRun::start(quint64 run, const ConversionWork::Plan& p)
{
    if (run != tag || ended || cancelling)
        return;
    plansOut = std::max(0, plansOut - 1);
    for (const ProjectSeg& s : p.emptied) {
        const int row = list.rowOf(s.id);
        if (row >= 0) {
            list.quietRow(row).converted = s.converted;
            list.quietRow(row).seconds = 0;
            list.quietRow(row).sentences = 0;
        }
    }
    if (!p.error.isEmpty())
        return finish(run, false, p.error);
    for (int id : p.upToDate)
        jobs[id] = SegJobs{};
    for (const ConversionWork::Planned& s : p.todo) {
        jobs[s.seg.id] = SegJobs{int32_t(s.sentences.size()), 0};
        total += int64_t(s.sentences.size());
    }
    for (const ConversionWork::Planned& s : p.todo) {
        const int n = int(s.sentences.size());
        for (int i = 0; i < n; ++i) {
            children.enqueue(ConvertRequest::make(s.voice, s.rate, {s.sentences[size_t(i)]}, s.wavs[size_t(i)]),
                             [this, run, seg = s.seg, n](bool ok, std::string error, double) {
                                 sentenceDone(run, seg, n, ok, error);
                             });
            if (run != tag || ended)
                return; // a child that could not start ended the run
        }
    }
    raise();
    if (plansOut == 0)
        setProgress(pagebox::tr("Converting..."));
    maybeComplete(run);
}

void ConversionRun::sentenceDone(quint64 run, const ProjectSeg& seg, int n, bool ok, const std::string& error)
{
    if (run != tag || ended)
        return;
    bool segComplete = false;
    if (ok) {
        SegJobs& st = jobs[seg.id];
        st.doneCount += 1;
        done += 1;
        segComplete = st.doneCount >= st.sentenceCount;
    }
    raise();
    // A share of all sentences, once all are known.
    if (plansOut == 0)
        showShare();
    if (!ok)
        return finish(run, false, pagebox::tr("IDS_ERROR_OCCURED.") + fromUtf8(error));
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
    // Joined audio is kept, whichever run it was.
    for (const ConversionWork::Joined& j : results) {
        const int row = j.ok && !j.stale ? list.rowOf(j.seg.id) : -1;
        if (row >= 0) {
            ProjectSeg& s = list.quietRow(row);
            s.converted = j.seg.converted;
            s.seconds = j.seg.seconds;
            s.sentences = j.seg.sentences;
        }
    }
    if (run == tag && !ended) {
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
    if (run != tag || ended || plansOut != 0 || done < total || joinBusy || !joinQueue.empty())
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
    if (run != tag || ended)
        return;
    ended = true;
    plansOut = 0;
    children.dropPending();
    setCounter(0);
    setProgress(QString());
    jobs.clear();
    auto then = std::move(completion);
    completion = nullptr;
    if (!ok)
        pagebox::error(this, message);
    else if (then)
        then();
}

void ConversionRun::cancel()
{
    if (counter == 0)
        return;
    emit busyChanged(true);
    children.dropPending();
    cancelling = true;
    // Whatever was to follow the conversion (playing, exporting) stays undone,
    // even when the running children still complete the run.
    completion = nullptr;
    whenIdle([this]() {
        emit busyChanged(false);
        if (!cancelling)
            return; // a new run began meanwhile
        abandon();
        setCounter(0);
        setProgress(QString());
    });
}

void ConversionRun::leave()
{
    abandon();
    setCounter(0);
    setProgress(QString());
}

void ConversionRun::abandon()
{
    children.dropPending();
    ++tag;
    ended = true;
    plansOut = 0;
    cancelling = false;
    completion = nullptr;
    jobs.clear();
    joinQueue.clear();
    redo.clear();
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
