#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <string>
#include <sys/types.h>

class QSocketNotifier;
class QTimer;

// A conversion child, started with posix_spawn: no copy of the starting
// process is made, which keeps starts cheap however large that process is, and
// the start is over when start() returns. The child's standard input takes
// what write() queues, its standard error is collected and its standard output
// goes nowhere. finished() comes in the thread that started it; the object
// must be destroyed in that thread too (deleteLater from a receiver).
class WorkerProcess : public QObject
{
    Q_OBJECT

public:
    WorkerProcess() = default;
    // A child that still runs is killed; an ended one is reaped.
    ~WorkerProcess() override;

    // False, with error set, when the program could not be started.
    bool start(const QString& program, const QStringList& arguments, std::string& error);
    // The child's process id; 0 once it has been reaped.
    qint64 processId() const { return pid; }
    // Queues bytes for the child's standard input, which stays open.
    void write(const QByteArray& bytes);
    void kill();
    QByteArray readAllStandardError();
    // Frees an ended child's process id: a receiver of finished() calls it once it
    // no longer refers to the child by that id; otherwise it follows the receivers.
    void reap();

signals:
    // The child has ended: its exit code, or crashed when a signal ended it.
    void finished(int exitCode, bool crashed);

private:
    void flushInput();
    void readError();
    void checkEnded();
    void closeAll();

    pid_t pid = 0;
    bool ended = false;
    int inFd = -1;
    int errFd = -1;
    int endFd = -1; // a descriptor of the child's process, readable once it ends
    QSocketNotifier* inNotifier = nullptr;
    QSocketNotifier* errNotifier = nullptr;
    QSocketNotifier* endNotifier = nullptr;
    QTimer* endPoll = nullptr; // without process descriptors: a look every few ms
    QByteArray pendingInput;
    QByteArray errorOutput;
};
