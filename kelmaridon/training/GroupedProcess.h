#pragma once

#include <QProcess>

#include <sys/types.h>

// A QProcess whose child leads a process group of its own, so the child and
// everything it started can be stopped together, and which the kernel kills
// when this program ends, however it ends.
//
// The kernel sends that signal when the thread that started the child ends,
// not the program: start a child from a thread that outlives it (the GUI
// thread, or a worker that waits for the child's end).
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

private:
    // This program, as the child sees its parent when all is well.
    pid_t parentPid;
};
