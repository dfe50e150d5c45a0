#include "projects/Playback.h"

#include "common/FileUtils.h"
#include "common/QtText.h"
#include "projects/PageMessages.h"

Playback::Playback(ProjectStore& store, SegList& list, ConversionRun& run, QObject* parent)
    : QObject(parent), store(store), list(list), run(run)
{
}

#define QV_SETTER(Name, Type, field, signal) \
    void Playback::Name(Type v)              \
    {                                        \
        if (field == v)                      \
            return;                          \
        field = v;                           \
        emit signal();                       \
    }

QV_SETTER(setPlayingSegId, int, playingId, playingSegIdChanged)
QV_SETTER(setPreviewingSegId, int, previewingId, previewingSegIdChanged)
QV_SETTER(setPlayingProgress, int, progress, playingProgressChanged)
QV_SETTER(setPlayingTimeDisplay, const QString&, timeText, playingTimeDisplayChanged)
QV_SETTER(setPlayingPaused, bool, paused, playingPausedChanged)

#undef QV_SETTER

void Playback::withFile(bool merged, int segId, std::function<void(const QString&)> then)
{
    store.call(
        [merged, segId](ProjectFolder& project) {
            const auto path = merged ? project.mergedWavPath() : project.segWavPath(segId);
            return pathExists(path) ? fromUtf8(pathToUtf8(path)) : QString();
        },
        [this, then](const QString& path) {
            if (!stopped && !path.isEmpty())
                then(path);
        });
}

void Playback::preview(int segId)
{
    if (stopped || list.rowOf(segId) < 0)
        return;
    player.stop();
    run.start(segId, false, [this, segId]() { startPreview(segId); });
}

void Playback::startPreview(int segId)
{
    // A segment without text has no audio to play.
    withFile(false, segId, [this, segId](const QString& path) {
        player.play(
            path,
            [this](bool ok, const QString& message) {
                setPreviewingSegId(0);
                if (!ok)
                    pagebox::error(this, message);
            },
            [this, segId]() { setPreviewingSegId(segId); });
    });
}

void Playback::stopPreview()
{
    player.stop();
}

void Playback::playAll()
{
    if (stopped)
        return;
    run.start(0, true, [this]() { startPlayAll(); });
}

void Playback::startPlayAll()
{
    if (stopped || list.isEmpty())
        return;
    if (!timer) {
        timer = new QTimer(this);
        timer->setInterval(500);
        connect(timer, &QTimer::timeout, this, &Playback::tick);
    }
    setPlayingTimeDisplay(QStringLiteral("00:00:00"));
    order.clear();
    for (const ProjectSeg& s : list.all())
        order.append(PlayItem{s.id, s.seconds});
    setPlayingPaused(false);
    setPlayingProgress(0);
    const int first = list.at(0).id;
    setPlayingSegId(first);
    emit focusRequested(0, 0);
    emit focusRequested(first, 200);
    timer->start();
    const quint64 tag = ++playTag;
    withFile(true, 0, [this, tag](const QString& path) {
        if (tag != playTag)
            return;
        player.play(
            path, [this, tag](bool ok, const QString& message) { endPlayAll(tag, ok, message); }, nullptr);
    });
}

void Playback::tick()
{
    const double p = player.position();
    setPlayingTimeDisplay(playTimeText(p));
    const int at = playItemAt(order, p);
    if (at >= 0 && order[at].segId != playingId) {
        setPlayingSegId(order[at].segId);
        emit focusRequested(order[at].segId, 200);
    }
    setPlayingProgress(playProgressPercent(order, p));
}

void Playback::endPlayAll(quint64 tag, bool ok, const QString& message)
{
    if (tag != playTag)
        return;
    if (timer)
        timer->stop();
    setPlayingSegId(0);
    setPlayingPaused(false);
    if (!ok && !stopped)
        pagebox::error(this, message);
}

void Playback::seek(int percent)
{
    player.seek(playSeekSeconds(order, percent));
}

void Playback::pause(bool on)
{
    player.setPause(on);
    setPlayingPaused(on);
}

void Playback::stopAll()
{
    ++playTag;
    player.stop();
    if (timer)
        timer->stop();
    setPlayingSegId(0);
    setPlayingPaused(false);
}

void Playback::stop()
{
    stopped = true;
    stopAll();
}
