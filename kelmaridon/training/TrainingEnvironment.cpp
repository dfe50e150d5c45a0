#include "training/TrainingEnvironment.h"

#include "common/FileUtils.h"
#include "common/Platform.h"
#include "training/GroupedProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace {

// The longest line of the probe's output that is looked at.
constexpr int kProbeLineMax = 4096;

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

bool isInstalledTenv(const QString& folder)
{
    return !folder.isEmpty() && QFileInfo(folder).isDir() && !QFileInfo::exists(folder + "/installing");
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

uint64_t probeGpuMemory(int timeoutMs, const std::atomic<bool>* cancel)
{
    QString root = tenvPath();
    GroupedProcess process;
    process.setProcessEnvironment(tenvProcessEnvironment(root));
    // Only standard output is looked at; the rest is never buffered.
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(root + "/python", QStringList(), QIODevice::ReadWrite);
    if (!process.waitForStarted(1000))
        return 0;
    process.write("import torch\n"
                  "s = torch.cuda.get_device_properties(0).total_memory if torch.cuda.is_available() else 0\n"
                  "print('memory:%d' % s)\n"
                  "exit()\n");
    process.closeWriteChannel();

    // Output is taken line by line as it comes, so a child that prints without
    // end holds no more than one capped line here.
    static const QRegularExpression memory("memory:(\\d+)");
    QByteArray pending;
    bool found = false;
    uint64_t value = 0;
    auto scan = [&](const QByteArray& line) {
        QRegularExpressionMatch m = memory.match(QString::fromUtf8(line));
        if (!m.hasMatch())
            return;
        errno = 0;
        unsigned long long v = std::strtoull(m.captured(1).toLatin1().constData(), nullptr, 10);
        value = errno == ERANGE ? 0 : uint64_t(v);
        found = true;
    };
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if ((cancel && *cancel) || clock.elapsed() > timeoutMs) {
            process.killGroup();
            return 0;
        }
        process.waitForReadyRead(50);
        bool ended = process.state() == QProcess::NotRunning;
        pending += process.readAllStandardOutput();
        int newline;
        while (!found && (newline = pending.indexOf('\n')) >= 0) {
            scan(pending.left(newline));
            pending.remove(0, newline + 1);
        }
        if (pending.size() > kProbeLineMax)
            pending = pending.right(kProbeLineMax);
        if (!found && ended)
            scan(pending);
        if (found || ended)
            break;
    }
    process.killGroup();
    return value;
}
