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

int epochOf(const QString& path)
{
    return checkpointEpoch(QFileInfo(path).fileName());
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
    QString resume;
    return prepareCheckpoints(trainingDir, baseCheckpoint, resume, err) && launch(resume, err);
}

bool TrainingModelProcess::prepareCheckpoints(const QString& trainingDir, const QString& baseCheckpoint,
                                              QString& resume, QString& err)
{
    const QString logs = trainingDir + "/lightning_logs";
    const QString pre = logs + "/pre";
    // The newest checkpoint of the last run that reads whole, and the best one
    // before it: the run to come resumes from the first, and the second is
    // where to go on from should the tool refuse the first.
    QString newest, second;
    for (const QString& ckpt : listCheckpoints(logs + "/version_0/checkpoints")) {
        if (verifyCheckpoint(ckpt) <= 0)
            continue;
        if (newest.isEmpty()) {
            newest = ckpt;
            continue;
        }
        second = ckpt;
        break;
    }
    if (!newest.isEmpty()) {
        const QDir preDir(pre);
        // The one before the newest is the best of "pre" when that beats the second of the run.
        const QString held = listCheckpoints(pre).value(0);
        const bool keepHeld = !held.isEmpty() && (second.isEmpty() || epochOf(held) > epochOf(second));
        std::error_code ec;
        fs::create_directories(localPath(pre), ec);
        for (const QString& name : preDir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
            if (!(keepHeld && name == QFileInfo(held).fileName()))
                removeAll(localPath(preDir.absoluteFilePath(name)));
        }
        for (const QString& ckpt : {newest, keepHeld ? QString() : second}) {
            if (ckpt.isEmpty())
                continue;
            if (!moveReplacing(localPath(ckpt), localPath(pre + "/" + QFileInfo(ckpt).fileName()))) {
                err = QString("version0-pre failed. %1").arg(errnoText());
                return false;
            }
        }
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

    resume.clear();
    QStringList kept = listCheckpoints(pre);
    if (!kept.isEmpty())
        resume = kept.first();
    else if (!baseCheckpoint.isEmpty())
        resume = QFileInfo(baseCheckpoint).absoluteFilePath();
    return true;
}

bool TrainingModelProcess::launch(const QString& resume, QString& err)
{
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

    resumedFrom = resume;
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
