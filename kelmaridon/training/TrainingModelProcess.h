#pragma once

#include "training/TrainingProcess.h"

// The training tool, piper_train, on one training folder. start() keeps the
// newest usable checkpoint of the last run in "lightning_logs/pre" (beside the
// best one before it), removes the earlier run folders and resumes from that
// checkpoint (else from the base checkpoint, else from nothing).
class TrainingModelProcess : public TrainingProcess
{
    Q_OBJECT
public:
    TrainingModelProcess(const QString& trainingDir, QObject* parent);
    ~TrainingModelProcess() override;

    // The epoch reached: the highest checkpoint epoch of the training folder,
    // else the base checkpoint's.
    int latestCheckpointEpoch() const;

    // The file work of start(), on any thread: checkpoints kept, run folders
    // removed, and the checkpoint to resume from chosen (empty for none).
    static bool prepareCheckpoints(const QString& trainingDir, const QString& baseCheckpoint, QString& resume,
                                   QString& err);
    // Starts the tool, resuming from resume unless it is empty.
    bool launch(const QString& resume, QString& err);

    QString trainingDir;
    QString baseCheckpoint;
    int batchSize;
    bool withGpu = false;
    // The checkpoint the running tool was given; empty for none.
    QString resumedFrom;

public slots:
    bool start(QString& err);
};
