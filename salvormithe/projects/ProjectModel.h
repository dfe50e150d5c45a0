#pragma once

#include "projects/ConversionRun.h"
#include "projects/EditQueue.h"
#include "projects/ExportJob.h"
#include "projects/Playback.h"
#include "projects/ProjectStore.h"
#include "projects/SegList.h"
#include "projects/SettingDialogs.h"
#include "synthesis/ConvertPool.h"
#include "voices/LocalVoice.h"

#include <QAbstractItemModel>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

// The open project page as QML sees it: the segments as speech bubbles, their
// editing, conversion, preview, play-all and export. A facade: it holds the
// page's own state (opening, closing, busy, focus, name) and hands everything
// else to its pieces, which each own one concern:
//   ProjectStore   the project's folder and database on the one worker thread;
//   SegList        the segments and voices shown, and their list model;
//   EditQueue      typing, merges and removals, written one step at a time;
//   SettingDialogs the segment voice dialog and the project settings form;
//   ConversionRun  a run: the waiting edits written, sentences to children,
//                  joins, progress and cancel; the one owner of "converting";
//   Playback       preview and play-all;
//   ExportJob      the export, cancellable while it encodes.
// Thread: everything here, the pieces included, runs on the GUI thread; only
// the store's worker, the pool's thread (which starts and reaps the conversion
// children) and the children themselves run elsewhere.
class ProjectModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isClosing READ isClosing WRITE setIsClosing NOTIFY isClosingChanged)
    Q_PROPERTY(bool isOpening READ isOpening WRITE setIsOpening NOTIFY isOpeningChanged)
    Q_PROPERTY(QString projectName READ projectName WRITE setProjectName NOTIFY projectNameChanged)
    Q_PROPERTY(QDateTime created READ created WRITE setCreated NOTIFY createdChanged)
    Q_PROPERTY(bool isLoading READ isLoading WRITE setIsLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(int focusSegTextCursor READ focusSegTextCursor WRITE setFocusSegTextCursor NOTIFY
                   focusSegTextCursorChanged)
    Q_PROPERTY(int focusSegId READ focusSegId WRITE setFocusSegId NOTIFY focusSegIdChanged)
    Q_PROPERTY(QVariantMap currentSettingSeg READ currentSettingSeg WRITE setCurrentSettingSeg NOTIFY
                   currentSettingSegChanged)
    Q_PROPERTY(QVariantMap defaultVoice READ defaultVoice WRITE setDefaultVoice NOTIFY defaultVoiceChanged)
    Q_PROPERTY(bool isOpened READ isOpened WRITE setIsOpened NOTIFY isOpenedChanged)
    Q_PROPERTY(bool isConverting READ isConverting WRITE setIsConverting NOTIFY isConvertingChanged)
    Q_PROPERTY(int playingSegId READ playingSegId WRITE setPlayingSegId NOTIFY playingSegIdChanged)
    Q_PROPERTY(QString convertingProgress READ convertingProgress WRITE setConvertingProgress NOTIFY
                   convertingProgressChanged)
    Q_PROPERTY(int previewingSegId READ previewingSegId WRITE setPreviewingSegId NOTIFY previewingSegIdChanged)
    Q_PROPERTY(int playingProgress READ playingProgress WRITE setPlayingProgress NOTIFY playingProgressChanged)
    Q_PROPERTY(QString playingTimeDisplay READ playingTimeDisplay WRITE setPlayingTimeDisplay NOTIFY
                   playingTimeDisplayChanged)
    Q_PROPERTY(bool playingPaused READ playingPaused WRITE setPlayingPaused NOTIFY playingPausedChanged)
    Q_PROPERTY(QVariantMap projSettingInfo READ projSettingInfo WRITE setProjSettingInfo NOTIFY
                   projSettingInfoChanged)

public:
    explicit ProjectModel(QObject* parent = nullptr);
    // Hands waiting edits to the worker, stops an export and waits for the worker.
    ~ProjectModel() override;

    bool isClosing() const { return closingFlag; }
    void setIsClosing(bool v);
    bool isOpening() const { return openingFlag; }
    void setIsOpening(bool v);
    QString projectName() const { return name; }
    void setProjectName(const QString& v);
    QDateTime created() const { return createdTime; }
    void setCreated(const QDateTime& v);
    bool isLoading() const { return loadingFlag; }
    void setIsLoading(bool v);
    int focusSegTextCursor() const { return focusCursor; }
    void setFocusSegTextCursor(int v);
    int focusSegId() const { return focusId; }
    void setFocusSegId(int v);
    QVariantMap currentSettingSeg() const { return settings.currentSettingSeg(); }
    void setCurrentSettingSeg(const QVariantMap& v) { settings.setCurrentSettingSeg(v); }
    QVariantMap defaultVoice() const { return settings.defaultVoice(); }
    void setDefaultVoice(const QVariantMap& v) { settings.setDefaultVoice(v); }
    bool isOpened() const { return openedFlag; }
    void setIsOpened(bool v);
    bool isConverting() const { return conversion.isConverting(); }
    // The run alone starts converting; false cancels it.
    void setIsConverting(bool v);
    int playingSegId() const { return playback.playingSegId(); }
    void setPlayingSegId(int v) { playback.setPlayingSegId(v); }
    QString convertingProgress() const { return conversion.progress(); }
    void setConvertingProgress(const QString& v) { conversion.setProgress(v); }
    int previewingSegId() const { return playback.previewingSegId(); }
    void setPreviewingSegId(int v) { playback.setPreviewingSegId(v); }
    int playingProgress() const { return playback.playingProgress(); }
    void setPlayingProgress(int v) { playback.setPlayingProgress(v); }
    QString playingTimeDisplay() const { return playback.playingTimeDisplay(); }
    void setPlayingTimeDisplay(const QString& v) { playback.setPlayingTimeDisplay(v); }
    bool playingPaused() const { return playback.playingPaused(); }
    void setPlayingPaused(bool v) { playback.setPlayingPaused(v); }
    QVariantMap projSettingInfo() const { return settings.projSettingInfo(); }
    void setProjSettingInfo(const QVariantMap& v) { settings.setProjSettingInfo(v); }

    Q_INVOKABLE void close();
    Q_INVOKABLE void open(QString path);
    Q_INVOKABLE QAbstractItemModel* segsItemModel();
    Q_INVOKABLE void segTextChanged(int idx, int csp, QString text);
    Q_INVOKABLE void initSegText(QString text);
    Q_INVOKABLE void updateSegUi(int idx);
    Q_INVOKABLE void mergeSeg(int idx, QString text);
    Q_INVOKABLE void segSetting(int idx);
    Q_INVOKABLE void removeSeg(int idx);
    Q_INVOKABLE void cancelSegSetting();
    Q_INVOKABLE void okSegSetting(int idx, bool isDefaultVoice, LocalVoice voice, float srate);
    Q_INVOKABLE void previewSeg(int idx);
    Q_INVOKABLE void stopPreview();
    Q_INVOKABLE bool isSegConverting(int idx);
    Q_INVOKABLE void playAll();
    Q_INVOKABLE void cancelConvert();
    Q_INVOKABLE void movePlayingProgress(int progress);
    Q_INVOKABLE void playPauseResume(bool topause);
    Q_INVOKABLE void stopPlayingAll();
    Q_INVOKABLE void openProjSetting();
    Q_INVOKABLE void openProjSettingResult(bool res, QString name, float srate, LocalVoice voice);
    Q_INVOKABLE void exportSegs(QVariantMap settings);

    // The runner of the conversion children (its worker program can be set).
    ConvertPool& convertPool() { return conversion.pool(); }
    // The open project's store, whose worker takes the page's steps in order.
    ProjectStore& projectStore() { return store; }
    // Opens a finished export's folder (the desktop's file browser by default);
    // true when it could.
    void setOpenFolderHook(std::function<bool(const QString& folder)> hook);

signals:
    void closeTodo();
    void isClosingChanged();
    void isOpeningChanged();
    void projectNameChanged();
    void createdChanged();
    void isLoadingChanged();
    void focusSegTextCursorChanged();
    void focusSegIdChanged();
    void currentSettingSegChanged();
    void defaultVoiceChanged();
    void isOpenedChanged();
    void isConvertingChanged();
    void playingSegIdChanged();
    void convertingProgressChanged();
    void previewingSegIdChanged();
    void playingProgressChanged();
    void playingTimeDisplayChanged();
    void playingPausedChanged();
    void projSettingInfoChanged();

private:
    struct Opened
    {
        bool ok = false;
        QString error;
        QString name;
        qint64 created = 0;
        QList<ProjectSeg> segs;
        std::map<int, ProjectVoice> voices;
        QVariantMap defaultVoice; // the page's map of voice 0
    };
    void opened(const Opened& r);
    // A piece's step began (true) or ended: isLoading while any runs.
    void busy(bool on);
    void focusNow(int segId);

    ProjectStore store;
    SegList list;
    EditQueue edits;
    SettingDialogs settings;
    ConversionRun conversion;
    Playback playback;
    ExportJob exporter;
    bool closingFlag = false;
    bool openingFlag = false;
    bool loadingFlag = false;
    bool openedFlag = false;
    int loadingSteps = 0;
    int focusId = -1;
    int focusCursor = 0;
    QString name;
    QDateTime createdTime;
    // close() began: nothing new starts.
    bool leaving = false;
};
