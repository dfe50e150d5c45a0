#pragma once

#include "training/TrainingProcess.h"

// The training tool, piper_train, on one training folder. start() keeps the
// newest usable checkpoint of the last run in "lightning_logs/pre", removes the
// earlier run folders and resumes from that checkpoint (else from the base
// checkpoint, else from nothing).
class TrainingModelProcess : public TrainingProcess
{
    Q_OBJECT
public:
    TrainingModelProcess(const QString& trainingDir, QObject* parent);
    ~TrainingModelProcess() override;

    // The epoch reached: the highest checkpoint epoch of the training folder,
    // else the base checkpoint's.
    int latestCheckpointEpoch() const;

    QString trainingDir;
    QString baseCheckpoint;
    int batchSize;
    bool withGpu = false;

public slots:
    bool start(QString& err);
};
