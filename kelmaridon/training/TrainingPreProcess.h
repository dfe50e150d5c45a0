#pragma once

#include "training/TrainingProcess.h"

// The dataset preprocessing tool, piper_train.preprocess.
class TrainingPreProcess : public TrainingProcess
{
    Q_OBJECT
public:
    explicit TrainingPreProcess(QObject* parent);

    // Starts the tool on the recording folder inputDir (which holds
    // "metadata.csv"), writing into the training folder outputDir; false when the
    // child has not started within 2000 ms.
    bool start(const QString& language, const QString& inputDir, const QString& outputDir, int sampleRate);
};
