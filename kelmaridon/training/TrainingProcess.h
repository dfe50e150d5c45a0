#pragma once

#include "training/GroupedProcess.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// One run of a tool of the training environment as a child process. The child
// gets the environment's "Scripts" and "ffmpeg" folders in front of PATH, its
// standard output and error are collected together (the last maxOutput bytes
// are kept), and stop() ends it with everything it started.
class TrainingProcess : public QObject
{
    Q_OBJECT
public:
    TrainingProcess(int maxOutput, QObject* parent);
    ~TrainingProcess() override;

    // Kills the running child's process group and waits for its end; nothing
    // happens when no child runs.
    void stop();
    // The environment's interpreter.
    QString python() const { return tenvRoot + "/python"; }

    GroupedProcess process;
    QString tenvRoot;
    QByteArray output;
    int maxOutput;

signals:
    void finished();
    void dataReady(QByteArray data);

protected:
    void appendOutput(const QByteArray& chunk);
};
