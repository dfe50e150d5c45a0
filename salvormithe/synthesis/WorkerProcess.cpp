#include "synthesis/WorkerProcess.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

WorkerProcess::~WorkerProcess()
{
    if (!ended)
        kill();
    reap();
    closeAll();
}

void WorkerProcess::reap()
{
    if (pid <= 0)
        return;
    int status;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    pid = 0;
}

bool WorkerProcess::start(const QString& program, const QStringList& arguments, std::string& error)
{
    // Standard input is a socket, so that writing to a child that has gone is
    // an error and never a SIGPIPE for this process.
    int in[2], err[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0) {
        error = std::string("Process failed to start: ") + std::strerror(errno);
        return false;
    }
    if (::pipe2(err, O_CLOEXEC) != 0) {
        error = std::string("Process failed to start: ") + std::strerror(errno);
        ::close(in[0]);
        ::close(in[1]);
        return false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    // The child starts with no signal blocked and every signal at its default.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    QByteArray path = program.toLocal8Bit();
    std::vector<QByteArray> args{path};
    for (const QString& a : arguments)
        args.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int rc = ::posix_spawn(&pid, path.constData(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(in[0]);
    ::close(err[1]);
    inFd = in[1];
    errFd = err[0];
    if (rc != 0) {
        pid = 0;
        closeAll();
        error = std::string("Process failed to start: ") + std::strerror(rc);
        return false;
    }
    ::fcntl(inFd, F_SETFL, ::fcntl(inFd, F_GETFL) | O_NONBLOCK);
    ::fcntl(errFd, F_SETFL, ::fcntl(errFd, F_GETFL) | O_NONBLOCK);

    inNotifier = new QSocketNotifier(inFd, QSocketNotifier::Write, this);
    inNotifier->setEnabled(false);
    connect(inNotifier, &QSocketNotifier::activated, this, [this] { flushInput(); });
    errNotifier = new QSocketNotifier(errFd, QSocketNotifier::Read, this);
    connect(errNotifier, &QSocketNotifier::activated, this, [this] { readError(); });
    endFd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (endFd >= 0) {
        endNotifier = new QSocketNotifier(endFd, QSocketNotifier::Read, this);
        connect(endNotifier, &QSocketNotifier::activated, this, [this] { checkEnded(); });
    } else {
        endPoll = new QTimer(this);
        connect(endPoll, &QTimer::timeout, this, [this] { checkEnded(); });
        endPoll->start(20);
    }
    return true;
}

void WorkerProcess::write(const QByteArray& bytes)
{
    if (inFd < 0)
        return;
    pendingInput += bytes;
    flushInput();
}

void WorkerProcess::flushInput()
{
    while (inFd >= 0 && !pendingInput.isEmpty()) {
        ssize_t n = ::send(inFd, pendingInput.constData(), size_t(pendingInput.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            pendingInput.remove(0, int(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            inNotifier->setEnabled(true);
            return;
        } else {
            // The child no longer reads: what it did not take is dropped.
            pendingInput.clear();
        }
    }
    if (inNotifier)
        inNotifier->setEnabled(false);
}

void WorkerProcess::readError()
{
    char buf[4096];
    while (errFd >= 0) {
        ssize_t n = ::read(errFd, buf, sizeof buf);
        if (n > 0) {
            errorOutput.append(buf, int(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                errNotifier->setEnabled(false);
                closeFd(errFd);
            }
            return;
        }
    }
}

void WorkerProcess::checkEnded()
{
    if (ended || pid <= 0)
        return;
    // Seen but not reaped: the process id stays the child's while the receivers
    // of finished() run, so that nothing kills another process by that number.
    siginfo_t info;
    std::memset(&info, 0, sizeof info);
    if (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == 0)
        return;
    ended = true;
    if (endNotifier)
        endNotifier->setEnabled(false);
    if (endPoll)
        endPoll->stop();
    if (inNotifier)
        inNotifier->setEnabled(false);
    readError();
    bool crashed = info.si_code != CLD_EXITED;
    emit finished(crashed ? -1 : info.si_status, crashed);
    reap();
}

void WorkerProcess::kill()
{
    if (pid > 0 && !ended)
        ::kill(pid, SIGKILL);
}

QByteArray WorkerProcess::readAllStandardError()
{
    QByteArray out = errorOutput;
    errorOutput.clear();
    return out;
}

void WorkerProcess::closeAll()
{
    delete inNotifier;
    delete errNotifier;
    delete endNotifier;
    inNotifier = errNotifier = endNotifier = nullptr;
    closeFd(inFd);
    closeFd(errFd);
    closeFd(endFd);
}
