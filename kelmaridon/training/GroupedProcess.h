#pragma once

#include <QProcess>

// A QProcess whose child leads a process group of its own, so the child and
// everything it started can be stopped together.
class GroupedProcess : public QProcess
{
    Q_OBJECT
public:
    explicit GroupedProcess(QObject* parent = nullptr);
    ~GroupedProcess() override;

    // Kills the child's whole group and waits for the child without a time limit;
    // nothing happens when it is not running.
    void killGroup();

protected:
    void setupChildProcess() override;
};
