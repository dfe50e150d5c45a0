#pragma once

#include "common/InvokeContext.h"
#include "recording/RecordedPrompt.h"
#include "recording/RecordingProject.h"

#include <QAbstractItemModel>
#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class AudioPlayer;
class MyItemModel;
class VoiceRecorder;

// One recording project being recorded: the next prompt to read, takes from
// the microphone, the recorded prompts newest first, playback, re-recording
// and removal. Everything runs on the GUI thread; only the recorder's report
// may come from the capture thread and is posted back. A take begins only
// once playback has stopped. When the project's folder goes away, the model
// says so once, asks to close and touches nothing more.
class RecordingDetailModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString recordingPath READ getRecordingPath WRITE setRecordingPath NOTIFY recordingPathChanged)
    Q_PROPERTY(QString recordingName READ getRecordingName WRITE setRecordingName NOTIFY recordingNameChanged)
    Q_PROPERTY(QString recordingTimeDisplay READ getRecordingTimeDisplay WRITE setRecordingTimeDisplay NOTIFY
                   recordingTimeDisplayChanged)
    Q_PROPERTY(int totalItems READ getTotalItems WRITE setTotalItems NOTIFY totalItemsChanged)
    Q_PROPERTY(int nextPromptId READ getNextPromptId WRITE setNextPromptId NOTIFY nextPromptIdChanged)
    Q_PROPERTY(QString nextPrompt READ getNextPrompt WRITE setNextPrompt NOTIFY nextPromptChanged)
    Q_PROPERTY(bool nextPromptFinished READ getNextPromptFinished WRITE setNextPromptFinished NOTIFY
                   nextPromptFinishedChanged)
    Q_PROPERTY(int recordingId READ getRecordingId WRITE setRecordingId NOTIFY recordingIdChanged)
    Q_PROPERTY(int playingId READ getPlayingId WRITE setPlayingId NOTIFY playingIdChanged)
    Q_PROPERTY(int editPromptId READ getEditPromptId WRITE setEditPromptId NOTIFY editPromptIdChanged)
    Q_PROPERTY(QString editPrompt READ getEditPrompt WRITE setEditPrompt NOTIFY editPromptChanged)
    Q_PROPERTY(bool editPromptFinished READ getEditPromptFinished WRITE setEditPromptFinished NOTIFY
                   editPromptFinishedChanged)
public:
    explicit RecordingDetailModel(QObject* parent = nullptr);
    // A take still running is finished with a valid header; its result is dropped.
    ~RecordingDetailModel() override;

    QString getRecordingPath() const { return recordingPath; }
    void setRecordingPath(const QString& value);
    QString getRecordingName() const { return recordingName; }
    void setRecordingName(const QString& value);
    QString getRecordingTimeDisplay() const { return recordingTimeDisplay; }
    void setRecordingTimeDisplay(const QString& value);
    int getTotalItems() const { return totalItems; }
    void setTotalItems(int value);
    int getNextPromptId() const { return nextPromptId; }
    void setNextPromptId(int value);
    QString getNextPrompt() const { return nextPrompt; }
    void setNextPrompt(const QString& value);
    bool getNextPromptFinished() const { return nextPromptFinished; }
    void setNextPromptFinished(bool value);
    int getRecordingId() const { return recordingId; }
    void setRecordingId(int value);
    int getPlayingId() const { return playingId; }
    void setPlayingId(int value);
    int getEditPromptId() const { return editPromptId; }
    void setEditPromptId(int value);
    QString getEditPrompt() const { return editPrompt; }
    void setEditPrompt(const QString& value);
    bool getEditPromptFinished() const { return editPromptFinished; }
    void setEditPromptFinished(bool value);

signals:
    void toClose();
    void noItems();
    void noPrompts();
    void recordingPathChanged();
    void recordingNameChanged();
    void recordingTimeDisplayChanged();
    void totalItemsChanged();
    void nextPromptIdChanged();
    void nextPromptChanged();
    void recordingIdChanged();
    void nextPromptFinishedChanged();
    void playingIdChanged();
    void editPromptIdChanged();
    void editPromptChanged();
    void editPromptFinishedChanged();

public:
    Q_INVOKABLE void open();
    Q_INVOKABLE QAbstractItemModel* recItemsItemModel();
    Q_INVOKABLE void recordNextPrompt();
    Q_INVOKABLE void recordEditPrompt();
    Q_INVOKABLE void stopRecording();
    Q_INVOKABLE void recordDone();
    Q_INVOKABLE void editRecord(int idx);
    Q_INVOKABLE void playRecord(int id);
    Q_INVOKABLE void stopPlaying();
    Q_INVOKABLE void todoNextPrompt();
    Q_INVOKABLE void removeRecord(int idx);

private:
    // What runs once a take of prompt id has ended normally.
    using DoneStep = std::function<void(int id)>;
    // A take and, once the recorder has reported, how it ended.
    struct Take
    {
        int id = 0;
        DoneStep done;
        bool ended = false;
        bool ok = false;
        QString message;
    };

    // The take of id is a finished take: a valid header and samples behind it.
    bool isTakeDone(int id) const;
    void loadRecorded();
    // The next prompt's id; 0 when none is left, -1 on a database error.
    int loadNextPrompt();
    void record(int id, DoneStep done);
    // Starts the recorder for the registered take serial.
    void startTake(int serial);
    // Ends the running take (or drops one waiting for playback to stop) and
    // runs the completion of every take that has reported; false when one of
    // them was refused or failed.
    bool endTake();
    bool settleTakes();
    // False when the take was refused or failed.
    bool completeTake(int serial, Take& take);
    void playEnded(int id, bool ok, const QString& message);
    // True when the project's folder is gone; the first time, everything
    // running stops, the user is told and toClose is emitted.
    bool leaveIfGone();
    void markRecorded(int id);
    void removeConfirmed(int id);
    QVariant rowData(int row, const QString& roleName) const;
    void showError(const QString& text);

    InvokeContext invoker;
    std::unique_ptr<VoiceRecorder> recorder;
    std::unique_ptr<AudioPlayer> player;
    RecordingProject project;
    std::vector<RecordedPrompt> recorded;
    MyItemModel* itemModel = nullptr;

    // Takes by serial number; the recorder reports from its own thread.
    std::mutex takesMutex;
    std::map<int, Take> takes;
    // Serial of the newest take (GUI thread only).
    int takeSerial = 0;
    // The take waiting for playback to stop, 0 when none.
    int pendingSerial = 0;
    // Playbacks asked for whose result has not come yet.
    int playsOutstanding = 0;
    // The project's folder went away while open.
    bool gone = false;

    QString recordingPath;
    QString recordingName;
    QString recordingTimeDisplay;
    int totalItems = 0;
    int nextPromptId = 0;
    QString nextPrompt;
    bool nextPromptFinished = false;
    int recordingId = 0;
    int playingId = 0;
    int editPromptId = 0;
    QString editPrompt;
    bool editPromptFinished = false;
};
