#include "training/TrainingEnvironment.h"

#include "common/FileUtils.h"
#include "common/Platform.h"
#include "training/GroupedProcess.h"

#include <QDir>
#include <QRegularExpression>

#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace {

std::mutex& cacheMutex()
{
    static std::mutex m;
    return m;
}

QString& cachedPath()
{
    static QString path;
    return path;
}

std::filesystem::path tenvFile()
{
    return appDataDir() / "tenv";
}

} // namespace

void saveTenvPath(const QString& folder)
{
    std::lock_guard<std::mutex> lock(cacheMutex());
    cachedPath() = folder;
    std::string error;
    const QByteArray text = folder.toUtf8();
    replaceFileAtomic(tenvFile(), text.toStdString(), error);
}

QString tenvPath()
{
    std::lock_guard<std::mutex> lock(cacheMutex());
    if (cachedPath().isEmpty()) {
        std::string text;
        if (readWholeFile(tenvFile(), text))
            cachedPath() = QString::fromStdString(text);
    }
    return cachedPath();
}

QProcessEnvironment tenvProcessEnvironment(const QString& tenvRoot)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString sep(QChar(platform::pathListSeparator()));
    QString path = QDir::toNativeSeparators(tenvRoot + "/Scripts") + sep
                   + QDir::toNativeSeparators(tenvRoot + "/ffmpeg");
    QString old = env.value("PATH");
    // An empty entry would put the working folder on PATH.
    if (!old.isEmpty())
        path += sep + old;
    env.insert("PATH", path);
    return env;
}

uint64_t probeGpuMemory(int timeoutMs)
{
    QString root = tenvPath();
    GroupedProcess process;
    process.setProcessEnvironment(tenvProcessEnvironment(root));
    process.start(root + "/python", QStringList(), QIODevice::ReadWrite);
    if (!process.waitForStarted(1000))
        return 0;
    process.write("import torch\n"
                  "s = torch.cuda.get_device_properties(0).total_memory if torch.cuda.is_available() else 0\n"
                  "print('memory:%d' % s)\n"
                  "exit()\n");
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.killGroup();
        return 0;
    }
    static const QRegularExpression memory("memory:(\\d+)");
    QRegularExpressionMatch m = memory.match(QString::fromUtf8(process.readAllStandardOutput()));
    if (!m.hasMatch())
        return 0;
    errno = 0;
    unsigned long long value = std::strtoull(m.captured(1).toLatin1().constData(), nullptr, 10);
    return errno == ERANGE ? 0 : uint64_t(value);
}
