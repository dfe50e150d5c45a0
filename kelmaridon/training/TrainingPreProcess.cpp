#include "training/TrainingPreProcess.h"

#include <QThreadPool>

#include <algorithm>

TrainingPreProcess::TrainingPreProcess(QObject* parent) : TrainingProcess(65536, parent) {}

bool TrainingPreProcess::start(const QString& language, const QString& inputDir, const QString& outputDir,
                               int sampleRate)
{
    int workers = std::max(QThreadPool::globalInstance()->maxThreadCount() / 2, 1);
    QStringList args{"-m",
                     "piper_train.preprocess",
                     "--language",
                     language,
                     "--input-dir",
                     inputDir,
                     "--output-dir",
                     outputDir,
                     "--dataset-format",
                     "ljspeech",
                     "--single-speaker",
                     "--sample-rate",
                     QString::number(sampleRate),
                     "--max-workers",
                     QString::number(workers)};
    process.start(python(), args, QIODevice::ReadWrite);
    return process.waitForStarted(2000);
}
