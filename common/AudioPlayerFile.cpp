#include "common/AudioPlayerFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

AudioPlayerFile::AudioPlayerFile() = default;

AudioPlayerFile::~AudioPlayerFile() = default;

bool AudioPlayerFile::open(const QString& path, QString& error)
{
    if (path.startsWith(QLatin1Char(':'))) {
        file.setFileName(path);
        if (file.open(QIODevice::ReadOnly))
            return true;
        error = file.errorString();
        return false;
    }
    // Opening a pipe for reading would wait for a writer; O_NONBLOCK does not.
    const QByteArray name = QFile::encodeName(path);
    int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st{};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        error = QStringLiteral("Not a regular file");
        return false;
    }
    file.setFileName(path);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        error = file.errorString();
        return false;
    }
    return true;
}

size_t AudioPlayerFile::read(unsigned char* dst, size_t bytes)
{
    qint64 n = file.read(reinterpret_cast<char*>(dst), qint64(bytes));
    return n > 0 ? size_t(n) : 0;
}

qint64 AudioPlayerFile::length()
{
    return file.size();
}

bool AudioPlayerFile::seek(qint64 offset)
{
    return file.seek(offset);
}
