#pragma once

#include "common/AudioPlayer.h"
#include "projects/ConversionRun.h"
#include "projects/PlayList.h"
#include "projects/ProjectStore.h"
#include "projects/SegList.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

// Preview of one segment and play-all of the project, through one player.
// Both have a conversion run write the waiting edits and bring the audio up
// to date, and then play; the files to play are named on the store's worker.
//
// Thread: GUI (the sound itself plays on the audio backend's thread). State:
// the player, the play-all order with each segment's length, the position
// timer, and what the page shows of it (playing and previewing segment,
// progress, time, paused).
class Playback : public QObject
{
    Q_OBJECT
public:
    Playback(ProjectStore& store, SegList& list, ConversionRun& run, QObject* parent = nullptr);

    void preview(int segId);
    void stopPreview();
    void playAll();
    // Seeks play-all to a percentage of the whole project.
    void seek(int percent);
    void pause(bool paused);
    void stopAll();
    // The page leaves: the sound stops and nothing starts any more.
    void stop();

    int playingSegId() const { return playingId; }
    void setPlayingSegId(int id);
    int previewingSegId() const { return previewingId; }
    void setPreviewingSegId(int id);
    int playingProgress() const { return progress; }
    void setPlayingProgress(int percent);
    QString playingTimeDisplay() const { return timeText; }
    void setPlayingTimeDisplay(const QString& text);
    bool playingPaused() const { return paused; }
    void setPlayingPaused(bool on);

signals:
    void playingSegIdChanged();
    void previewingSegIdChanged();
    void playingProgressChanged();
    void playingTimeDisplayChanged();
    void playingPausedChanged();
    // The page's focus follows the playing segment, delayMs later.
    void focusRequested(int segId, int delayMs);

private:
    // Runs then on the GUI thread with the file (UTF-8 path made on the worker),
    // unless it does not exist.
    void withFile(bool merged, int segId, std::function<void(const QString&)> then);
    void startPreview(int segId);
    void startPlayAll();
    void tick();
    void endPlayAll(quint64 tag, bool ok, const QString& message);

    ProjectStore& store;
    SegList& list;
    ConversionRun& run;
    AudioPlayer player;
    QTimer* timer = nullptr;
    QList<PlayItem> order;
    quint64 playTag = 0;
    bool stopped = false;
    int playingId = 0;
    int previewingId = 0;
    int progress = 0;
    QString timeText;
    bool paused = false;
};
