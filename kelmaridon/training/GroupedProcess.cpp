#include "training/GroupedProcess.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

GroupedProcess::GroupedProcess(QObject* parent) : QProcess(parent), parentPid(::getpid()) {}

GroupedProcess::~GroupedProcess()
{
    killGroup();
}

void GroupedProcess::setupChildProcess()
{
    // In the child, before the program is run: only async-signal-safe calls.
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The program may have ended before the line above took effect.
    if (::getppid() != parentPid)
        ::_exit(127);
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
