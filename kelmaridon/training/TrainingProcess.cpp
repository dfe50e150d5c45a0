#include "training/TrainingProcess.h"

#include "training/TrainingEnvironment.h"

TrainingProcess::TrainingProcess(int maxOutput, QObject* parent)
    : QObject(parent), tenvRoot(tenvPath()), maxOutput(maxOutput)
{
    process.setProcessEnvironment(tenvProcessEnvironment(tenvRoot));
    connect(&process, &QProcess::readyReadStandardOutput, this,
            [this] { appendOutput(process.readAllStandardOutput()); });
    connect(&process, &QProcess::readyReadStandardError, this,
            [this] { appendOutput(process.readAllStandardError()); });
    connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this] { emit finished(); });
}

TrainingProcess::~TrainingProcess()
{
    stop();
}

void TrainingProcess::stop()
{
    process.killGroup();
}

void TrainingProcess::appendOutput(const QByteArray& chunk)
{
    output.append(chunk);
    if (output.size() > maxOutput)
        output = output.right(maxOutput);
    emit dataReady(chunk);
}
