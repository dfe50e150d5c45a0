#pragma once

#include "common/InvokeContext.h"
#include "training/TrainedVoice.h"
#include "training/TrainingRecord.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <filesystem>

class TrainingModelProcess;
class TrainingPreProcess;
class TrainingProcess;

// The training page's model: one training folder, its settings and progress,
// the pipeline dataset export -> preprocessing -> training, and the export of
// the trained voice into the voice store.
class TrainingModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isTraining READ getIsTraining WRITE setIsTraining NOTIFY isTrainingChanged)
    Q_PROPERTY(QString trainingName READ getTrainingName WRITE setTrainingName NOTIFY trainingNameChanged)
    Q_PROPERTY(QString trainingModifiedStr READ getTrainingModifiedStr WRITE setTrainingModifiedStr NOTIFY
                   trainingModifiedStrChanged)
    Q_PROPERTY(int epochs READ getEpochs WRITE setEpochs NOTIFY epochsChanged)
    Q_PROPERTY(QString logs READ getLogs WRITE setLogs NOTIFY logsChanged)
    Q_PROPERTY(int batchSize READ getBatchSize WRITE setBatchSize NOTIFY batchSizeChanged)
    Q_PROPERTY(bool withGPU READ getWithGPU WRITE setWithGPU NOTIFY withGPUChanged)
    Q_PROPERTY(bool isLoading READ getIsLoading WRITE setIsLoading NOTIFY isLoadingChanged)
public:
    explicit TrainingModel(QObject* parent = nullptr);
    ~TrainingModel() override;

    bool getIsTraining() const { return isTraining; }
    void setIsTraining(bool value);
    QString getTrainingName() const { return trainingName; }
    void setTrainingName(const QString& value);
    QString getTrainingModifiedStr() const { return trainingModifiedStr; }
    void setTrainingModifiedStr(const QString& value);
    int getEpochs() const { return epochs; }
    void setEpochs(int value);
    QString getLogs() const { return logs; }
    void setLogs(const QString& value);
    int getBatchSize() const { return batchSize; }
    void setBatchSize(int value);
    bool getWithGPU() const { return withGPU; }
    void setWithGPU(bool value);
    bool getIsLoading() const { return isLoading; }
    void setIsLoading(bool value);

signals:
    void toClose();
    void isTrainingChanged();
    void trainingNameChanged();
    void trainingModifiedStrChanged();
    void epochsChanged();
    void logsChanged();
    void batchSizeChanged();
    void withGPUChanged();
    void isLoadingChanged();
    // The user asked to install the training environment (it is missing).
    void toInstallEnv();
    // The user chose to stay on the page rather than stop the training.
    void stayed();

public:
    Q_INVOKABLE void open(QString path, bool bstart);
    Q_INVOKABLE void train();
    Q_INVOKABLE void stopTrain();
    Q_INVOKABLE void exportVoice();
    // The batch size field's text: a whole number from 1 to 32 becomes the
    // batch size and gives true; anything else changes nothing and gives false.
    Q_INVOKABLE bool enterBatchSize(const QString& text);
    // Stops the probe and the tools without waiting for the worker; toClose
    // follows once it has ended.
    Q_INVOKABLE void close();
    // close() for a page that is left: a running training is stopped only
    // once the user agrees; otherwise stayed() follows.
    Q_INVOKABLE void leave();

private:
    // The values one run of the pipeline works with, taken when it starts.
    struct Run
    {
        int id = 0;
        int batchSize = 0;
        bool withGpu = false;
        std::string dir;
        std::string recording;
        std::string baseOn;
        // The manifest records that the preprocessing output was judged good.
        bool preprocessRecorded = false;
        // A checkpoint the tool refused, removed before the checkpoints are prepared.
        QString discard;
    };

    void startRun();
    void trainWorker(const Run& run);
    void prepareDataset(const Run& run);
    void startPreprocess(int runId, const QString& vlang);
    void onPreprocessFinished(TrainingPreProcess* tool, int runId);
    void prepareTraining(const Run& run);
    void startTraining(int runId, const QString& resume);
    void continueFromPrevious(const QString& refused);
    void onExportNameChecked(bool clash, const QString& keepBoth);
    void prepareExport(const QString& name, bool replace);
    void startExport(bool ok, const QString& error, const std::filesystem::path& built, const TrainedVoicePlan& plan,
                     const QString& checkpoint);
    bool offerInstall();
    void pollEpochs();
    // Ends the running tools; what a preprocessing or an export left half-made goes with it.
    void dropTools();
    void onTrainFinished(TrainingModelProcess* tool, int runId);
    void reportResult(int runId, bool ok, const QString& message);
    void applyDefaultBatchSize(uint64_t gpuMemory);
    void onExportFinished(const std::filesystem::path& built, const std::filesystem::path& model,
                          const TrainedVoicePlan& plan);
    void showLog(const TrainingProcess* tool);
    void showStopped();
    bool isCurrent(int runId) const { return runId == currentRun.id && isTraining; }

    InvokeContext invoker;
    QThread worker;
    TrainingRecord record;
    TrainingPreProcess* preProcess = nullptr;
    TrainingModelProcess* trainProcess = nullptr;
    TrainingProcess* exportProcess = nullptr;
    QTimer epochTimer;
    bool isTraining = false;
    QString trainingName;
    QString trainingModifiedStr;
    int epochs = 0;
    QString logs;
    int batchSize = 1;
    bool withGPU = false;
    bool isLoading = false;

    // The running pipeline; a stop or a new start changes the id, so steps of
    // an earlier run find they are stale and end quietly.
    Run currentRun;
    int runCounter = 0;
    // The GPU probe runs, and a train() waits for its result.
    bool probing = false;
    // Set by close() and the destructor; ends the probe on the worker.
    std::atomic<bool> closing{false};
    bool exportPreparing = false;
    // The checkpoint the next run discards first.
    QString discardNext;
    bool trainAfterProbe = false;
    // The voice folder the running export builds, beside the store.
    std::filesystem::path exportDir;
};
