#pragma once

#include "common/AudioPlayer.h"
#include "common/InvokeContext.h"
#include "common/MessageBoxContext.h"
#include "common/MyItemModel.h"
#include "common/ProjectSeg.h"
#include "common/ProjectVoice.h"
#include "projects/ExportSettings.h"
#include "projects/PlayList.h"
#include "projects/ProjectFolder.h"
#include "synthesis/ConvertPool.h"
#include "synthesis/ExportStatus.h"
#include "voices/LocalVoice.h"

#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>
#include <QVariantMap>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

// Sentences of one segment in the current conversion run, and how many are done.
struct SegJobState
{
    int32_t sentenceCount = 0;
    int32_t doneCount = 0;
};

// The open project page: the segments as speech bubbles, their editing,
// conversion, preview, play-all and export.
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
    QVariantMap currentSettingSeg() const { return settingSeg; }
    void setCurrentSettingSeg(const QVariantMap& v);
    QVariantMap defaultVoice() const { return defaultVoiceMap; }
    void setDefaultVoice(const QVariantMap& v);
    bool isOpened() const { return openedFlag; }
    void setIsOpened(bool v);
    bool isConverting() const { return convertingCounter != 0; }
    void setIsConverting(bool v);
    int playingSegId() const { return playingId; }
    void setPlayingSegId(int v);
    QString convertingProgress() const { return progressText; }
    void setConvertingProgress(const QString& v);
    int previewingSegId() const { return previewingId; }
    void setPreviewingSegId(int v);
    int playingProgress() const { return playProgress; }
    void setPlayingProgress(int v);
    QString playingTimeDisplay() const { return playTime; }
    void setPlayingTimeDisplay(const QString& v);
    bool playingPaused() const { return pausedFlag; }
    void setPlayingPaused(bool v);
    QVariantMap projSettingInfo() const { return settingInfo; }
    void setProjSettingInfo(const QVariantMap& v);

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
    ConvertPool& convertPool() { return pool; }
    // Opens a finished export's folder; the desktop's file browser by default.
    void setOpenFolderHook(std::function<void(const QString& folder)> hook);

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
    // An edit or merge of one segment waiting for its 500 ms to pass.
    struct PendingEdit
    {
        quint64 serial = 0;
        std::function<void()> run;
        bool isMerge = false;
        // Its delay has passed; it runs once no other edit step is on the worker.
        bool due = false;
        // The text an edit writes.
        std::string text;
    };

    // What the worker made of the segment-settings dialog's choice.
    struct SegSettingResult
    {
        ProjectSeg seg;
        ProjectVoice voice; // a voice row added for it (id 0: none)
        bool gone = false;
        bool invalidVoice = false;
        QString error;
    };

    void postGui(std::function<void()> fn);
    void postGuiDelayed(std::function<void()> fn, int msec);
    void runWorker(std::function<void()> fn);
    void showError(const QString& text, MessageBoxContext::CallBack cb = {});
    void showAlert(const QString& text, MessageBoxContext::CallBack cb = {});
    int rowOfSeg(int segId) const;
    QVariant rowData(int row, int role) const;
    QVariantMap voiceMap(const ProjectVoice& v) const;
    void focusLater(int segId);
    void focusNow(int segId);

    bool leaving() const { return closed || closingFlag; }
    void openDone(bool ok, const QString& error, const QList<ProjectSeg>& loaded,
                  const std::map<int, ProjectVoice>& loadedVoices);
    void finishClose();
    void schedule(int segId, bool isMerge, std::function<void()> run);
    void cancelPending(int segId);
    void firePending(int segId, quint64 serial);
    void runDuePending();
    // Runs fn once every waiting edit and merge is written.
    void whenEditsWritten(std::function<void()> fn);
    void scheduleEdit(int segId, const std::string& text, bool atEnd);
    void runEdit(int segId, const std::string& text, bool atEnd);
    void editDone(int baseId, bool ok, const QString& error, const std::vector<ProjectSeg>& out,
                  const std::string& written);
    void moveFirstTextOn(const std::vector<ProjectSeg>& out, const std::string& written);
    void runRemove(int segId);
    void segSettingDone(int segId, const SegSettingResult& r);
    void runMerge(int removedId, const std::string& baseline, const std::string& text);
    void mergeDone(int keptId, int removedId, bool ok, const QString& error, const ProjectSeg& kept);
    void reloadSegs();

    void convertSegs(const QList<ProjectSeg>& list, const QString& mergedPath, std::function<void()> completion);
    void queueSegJobs(const QList<ProjectSeg>& list, std::function<void()> completion);
    // asListed: take the segments as given, not as the page holds them.
    void startRun(quint64 run, const QList<ProjectSeg>& list, bool asListed = false);
    void onSentenceDone(quint64 run, const ProjectSeg& seg, int n, bool ok, const std::string& error);
    // redo: the segment changed while it converted and is converted again.
    void segJoined(quint64 run, const ProjectSeg& seg, bool ok, bool redo, const QString& error);
    void finishConversion(quint64 run, bool ok, const QString& message);
    void waitForIdlePool(std::function<void()> then, bool checkNow = false);
    void raiseConverting();
    void setConvertingCounter(int value);
    void clearStaleAudio(int segId);

    void startPreview(int segId);
    void startPlayAll();
    void playTick();
    void endPlayAll(quint64 tag, bool ok, const QString& message);

    void runExport(const ExportSettings& settings);
    void exportDone(bool ok, bool stopped, const QString& error, const QString& target);

    // Used on the worker thread only (the database has no other user).
    ProjectFolder project;
    QThread worker;
    ConvertPool pool;
    InvokeContext invoker;
    bool closingFlag = false;
    bool openingFlag = false;
    bool loadingFlag = false;
    bool openedFlag = false;
    int convertingCounter = 0;
    int focusId = -1;
    int focusCursor = 0;
    int playingId = 0;
    int previewingId = 0;
    QString name;
    QDateTime createdTime;
    MyItemModel* segsModel;
    QList<ProjectSeg> segs;
    std::map<int, ProjectVoice> voices;
    std::map<int, PendingEdit> pendingEdits;
    quint64 editSerial = 0;
    // Edit steps posted to the worker whose results have not come back.
    int editSteps = 0;
    // close() writes every waiting edit before the worker ends.
    bool drainingEdits = false;
    // What waits for the waiting edits to be written (play, preview, export).
    std::vector<std::function<void()>> editWaiters;
    QVariantMap settingSeg;
    QVariantMap defaultVoiceMap;
    QVariantMap settingInfo;

    // Conversion bookkeeping; the mutex guards the job map, the counts and finished.
    QMutex jobsMutex;
    std::map<int, SegJobState> jobs;
    bool finished = true;
    int64_t sentenceTotal = 0;
    int64_t sentenceDone = 0;
    // Tag of the current run: results of an earlier run never count.
    quint64 runTag = 0;
    // The last run that ended with an error (its other results are ignored).
    quint64 endedRun = 0;
    // Segments of the current run whose sentence files are being joined.
    int joinsInFlight = 0;
    // Segments of the current run to convert again once its joins are in.
    QList<ProjectSeg> redoSegs;
    // The run that waits for the children of an earlier one to end (0: none).
    quint64 waitingRun = 0;
    std::function<void()> runCompletion;
    QString progressText;

    AudioPlayer player;
    QTimer* playTimer = nullptr;
    QList<PlayItem> playList;
    quint64 playTag = 0;
    int playProgress = 0;
    QString playTime;
    bool pausedFlag = false;

    ExportStatus exportStatus;
    std::function<void(const QString&)> openFolder;
    // Set once close() or the destructor began: no new worker step starts.
    std::atomic<bool> closed{false};
};
