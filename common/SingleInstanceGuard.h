#pragma once

#include <QString>

// SHA-1 of key followed by salt, as 40 lower-case hex digits.
QString keyHash(const QString& key, const QString& salt);

// One running instance per user. The lock is an flock on a file in the user's
// runtime folder (else the data folder); the kernel drops it when the process
// ends, so a crashed instance never blocks the next start.
class SingleInstanceGuard
{
public:
    explicit SingleInstanceGuard(const QString& key);
    ~SingleInstanceGuard();
    SingleInstanceGuard(const SingleInstanceGuard&) = delete;
    SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

    bool isAnotherRunning();
    bool tryToRun();
    void release();

    // The lock file of this guard.
    QString lockPath() const;

private:
    QString key;
    QString memLockKey;
    QString sharedmemKey;
    int lockFd = -1;
};
