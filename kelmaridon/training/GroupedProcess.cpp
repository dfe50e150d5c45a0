#include "training/GroupedProcess.h"

#include <signal.h>
#include <unistd.h>

GroupedProcess::GroupedProcess(QObject* parent) : QProcess(parent) {}

GroupedProcess::~GroupedProcess()
{
    killGroup();
}

void GroupedProcess::setupChildProcess()
{
    ::setpgid(0, 0);
}

void GroupedProcess::killGroup()
{
    if (state() == QProcess::NotRunning)
        return;
    qint64 pid = processId();
    if (pid <= 0 || ::kill(-pid_t(pid), SIGKILL) != 0)
        kill();
    waitForFinished(-1);
}
