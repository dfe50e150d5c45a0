#pragma once

#include "common/FileDownloader.h"
#include "common/InvokeContext.h"
#include "recording/RecordingInfo.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <string>
#include <vector>

// The new-training form: a voice name, a recording and a base model; creates
// the training folder, fetching the base checkpoint first when it is missing.
class CreateTrainingModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool newTrainingCheckPolicy READ getNewTrainingCheckPolicy WRITE setNewTrainingCheckPolicy NOTIFY
                   newTrainingCheckPolicyChanged)
    Q_PROPERTY(QString newTrainingName READ getNewTrainingName WRITE setNewTrainingName NOTIFY newTrainingNameChanged)
    Q_PROPERTY(QStringList recordingOptions READ getRecordingOptions WRITE setRecordingOptions NOTIFY
                   recordingOptionsChanged)
    Q_PROPERTY(QStringList modelOptions READ getModelOptions WRITE setModelOptions NOTIFY modelOptionsChanged)
    Q_PROPERTY(int newTrainingRecodingIdx READ getNewTrainingRecodingIdx WRITE setNewTrainingRecodingIdx NOTIFY
                   newTrainingRecodingIdxChanged)
    Q_PROPERTY(int newTrainingModelIdx READ getNewTrainingModelIdx WRITE setNewTrainingModelIdx NOTIFY
                   newTrainingModelIdxChanged)
    Q_PROPERTY(bool isLoading READ getIsLoading WRITE setIsLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(QString downloadProgress READ getDownloadProgress WRITE setDownloadProgress NOTIFY
                   downloadProgressChanged)
    Q_PROPERTY(bool isCreating READ getIsCreating WRITE setIsCreating NOTIFY isCreatingChanged)
    Q_PROPERTY(QString initRecordingPath READ getInitRecordingPath WRITE setInitRecordingPath NOTIFY
                   initRecordingPathChanged)
public:
    explicit CreateTrainingModel(QObject* parent = nullptr);
    ~CreateTrainingModel() override;

    bool getNewTrainingCheckPolicy() const { return newTrainingCheckPolicy; }
    void setNewTrainingCheckPolicy(bool value);
    QString getNewTrainingName() const { return newTrainingName; }
    void setNewTrainingName(const QString& value);
    QStringList getRecordingOptions() const { return recordingOptions; }
    void setRecordingOptions(const QStringList& value);
    QStringList getModelOptions() const { return modelOptions; }
    void setModelOptions(const QStringList& value);
    int getNewTrainingRecodingIdx() const { return newTrainingRecodingIdx; }
    void setNewTrainingRecodingIdx(int value);
    int getNewTrainingModelIdx() const { return newTrainingModelIdx; }
    void setNewTrainingModelIdx(int value);
    bool getIsLoading() const { return isLoading; }
    void setIsLoading(bool value);
    QString getDownloadProgress() const { return downloadProgress; }
    void setDownloadProgress(const QString& value);
    bool getIsCreating() const { return isCreating; }
    void setIsCreating(bool value);
    QString getInitRecordingPath() const { return initRecordingPath; }
    void setInitRecordingPath(const QString& value);

    // Where the base checkpoint named fileName by the server is kept: the data
    // folder's "ckpt" folder. Empty, with error set, for a name that is not a
    // plain file name (separators, "..", an absolute path) or when the folder
    // cannot be made.
    static std::string baseCheckpointPath(const std::string& fileName, std::string& error);

signals:
    void toClose();
    void gotoTraining(QString path);
    void newTrainingCheckPolicyChanged();
    void newTrainingNameChanged();
    void modelOptionsChanged();
    void recordingOptionsChanged();
    void newTrainingRecodingIdxChanged();
    void newTrainingModelIdxChanged();
    void isLoadingChanged();
    void downloadProgressChanged();
    void isCreatingChanged();
    void initRecordingPathChanged();

public:
    Q_INVOKABLE void close();
    Q_INVOKABLE void beforeNewTraining();
    Q_INVOKABLE void createTraining();

private:
    void loadRecordingOptions(const QMap<QString, QString>& baseModels, const QMap<QString, QString>& kept);
    void loadModelOptions();
    const RecordingInfo* chosenRecording() const;
    void startCreate(const QString& lang, const QString& fileName);
    void createWorker(const std::string& name, const RecordingInfo& recording, const std::string& lang,
                      const std::string& fileName);
    void onCreateFinished(bool ok, const QString& message, const QString& path);

    QThread worker;
    InvokeContext invoker;
    std::vector<RecordingInfo> recordings;
    // Language code -> file name of its base checkpoint, as the server lists them.
    QMap<QString, QString> baseModels;
    // Language code -> file name of a base checkpoint already in the data folder.
    QMap<QString, QString> keptModels;
    QString newTrainingName;
    bool newTrainingCheckPolicy = false;
    QStringList recordingOptions;
    QStringList modelOptions;
    int newTrainingRecodingIdx = -1;
    int newTrainingModelIdx = -1;
    bool isLoading = false;
    bool isCreating = false;
    QString downloadProgress;
    QString initRecordingPath;
    std::atomic<bool> closing{false};
    FileDownloader downloader;
};
