#include "training/TrainingModelProcess.h"

#include "common/FileUtils.h"
#include "training/Checkpoints.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThreadPool>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

fs::path localPath(const QString& path)
{
    return utf8ToPath(path.toStdString());
}

// A rename that falls back to copy and delete across file systems; an existing
// target is replaced.
bool moveReplacing(const fs::path& from, const fs::path& to)
{
    std::error_code ec;
    fs::rename(from, to, ec);
    if (!ec)
        return true;
    if (ec.value() != EXDEV) {
        errno = ec.value();
        return false;
    }
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec || !fs::remove(from, ec)) {
        errno = ec ? ec.value() : errno;
        return false;
    }
    return true;
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

TrainingModelProcess::TrainingModelProcess(const QString& trainingDir, QObject* parent)
    : TrainingProcess(65536, parent), trainingDir(trainingDir),
      batchSize(std::max(1, QThreadPool::globalInstance()->maxThreadCount() / 2))
{
}

TrainingModelProcess::~TrainingModelProcess()
{
    // Stopped here, so a receiver of finished() still meets the whole object.
    stop();
}

bool TrainingModelProcess::start(QString& err)
{
    const QString logs = trainingDir + "/lightning_logs";
    const QString pre = logs + "/pre";
    for (const QString& ckpt : listCheckpoints(logs + "/version_0/checkpoints")) {
        if (verifyCheckpoint(ckpt) <= 0)
            continue;
        removeAll(localPath(pre));
        std::error_code ec;
        fs::create_directories(localPath(pre), ec);
        if (!moveReplacing(localPath(ckpt), localPath(pre + "/" + QFileInfo(ckpt).fileName()))) {
            err = QString("version0-pre failed. %1").arg(errnoText());
            return false;
        }
        break;
    }

    static const QRegularExpression version("version_\\d+", QRegularExpression::CaseInsensitiveOption);
    const QStringList runs = QDir(logs).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString& run : runs) {
        if (!version.match(run).hasMatch())
            continue;
        if (removeAll(localPath(logs + "/" + run)) < 0) {
            err = QString("Remove version failed. %1").arg(errnoText());
            return false;
        }
    }

    QString resume;
    QStringList kept = listCheckpoints(pre);
    if (!kept.isEmpty())
        resume = kept.first();
    else if (!baseCheckpoint.isEmpty())
        resume = QFileInfo(baseCheckpoint).absoluteFilePath();

    QStringList args{"-m",
                     "piper_train",
                     "--dataset-dir",
                     trainingDir,
                     "--devices",
                     "1",
                     "--batch-size",
                     QString::number(batchSize),
                     "--validation-split",
                     "0.0",
                     "--num-test-examples",
                     "0",
                     "--max_epochs",
                     "20000",
                     "--checkpoint-epochs",
                     "5"};
    if (withGpu)
        args << "--accelerator"
             << "gpu";
    if (!resume.isEmpty())
        args << "--resume_from_checkpoint" << resume;

    process.start(python(), args, QIODevice::ReadWrite);
    if (!process.waitForStarted(2000)) {
        err = "Start train.process failed.";
        return false;
    }
    return true;
}

int TrainingModelProcess::latestCheckpointEpoch() const
{
    int a = std::max(0, maxCheckpointEpoch(trainingDir + "/lightning_logs/version_0/checkpoints"));
    int b = maxCheckpointEpoch(trainingDir + "/lightning_logs/pre");
    int n = std::max(a, b);
    if (n != 0)
        return n;
    return baseCheckpoint.isEmpty() ? 0 : checkpointEpoch(QFileInfo(baseCheckpoint).fileName());
}
