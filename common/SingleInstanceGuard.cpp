#include "common/SingleInstanceGuard.h"

#include "common/FileUtils.h"
#include "common/Platform.h"

#include <QCryptographicHash>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString keyHash(const QString& key, const QString& salt)
{
    QByteArray data = key.toUtf8();
    data.append(salt.toUtf8());
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex());
}

SingleInstanceGuard::SingleInstanceGuard(const QString& key)
    : key(key), memLockKey(keyHash(key, "_memLockKey")), sharedmemKey(keyHash(key, "_sharedmemKey"))
{
}

SingleInstanceGuard::~SingleInstanceGuard()
{
    release();
}

QString SingleInstanceGuard::lockPath() const
{
    std::filesystem::path dir = platform::runtimeDir();
    std::error_code ec;
    if (dir.empty() || !std::filesystem::is_directory(dir, ec))
        dir = appDataDir();
    return QString::fromStdString(pathToUtf8(dir / (sharedmemKey.toStdString() + ".lock")));
}

bool SingleInstanceGuard::isAnotherRunning()
{
    if (lockFd >= 0)
        return false;
    int fd = ::open(lockPath().toUtf8().constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true;
    int rc;
    do {
        rc = ::flock(fd, LOCK_SH | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    // A shared lock is refused only while someone holds the exclusive one.
    bool another = rc != 0;
    ::close(fd);
    return another;
}

bool SingleInstanceGuard::tryToRun()
{
    if (lockFd >= 0)
        return true;
    if (isAnotherRunning())
        return false;
    int fd = ::open(lockPath().toUtf8().constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return false;
    }
    lockFd = fd;
    return true;
}

void SingleInstanceGuard::release()
{
    if (lockFd >= 0) {
        ::flock(lockFd, LOCK_UN);
        ::close(lockFd);
        lockFd = -1;
    }
}
