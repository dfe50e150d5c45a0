#include "training/HomeModel.h"

#include "common/FileUtils.h"
#include "common/MessageBoxContext.h"
#include "common/PropertyValue.h"
#include "training/CheckpointServer.h"
#include "training/ExtractProcess.h"
#include "training/TrainingEnvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <exception>

namespace {

std::filesystem::path toPath(const QString& s)
{
    return utf8ToPath(s.toStdString());
}

QString markerPath(const QString& target)
{
    return target + "/installing";
}

} // namespace

HomeModel::HomeModel(QObject* parent) : QObject(parent) {}

HomeModel::~HomeModel()
{
    closing = true;
    downloader.aborted = true;
    worker.quit();
    worker.wait();
    // An unpack cut short keeps its marker: the next start asks again.
    extract.reset();
}

void HomeModel::setInstallingEnv(bool value)
{
    if (assignProperty(installingEnv, value))
        emit installingEnvChanged();
}

void HomeModel::setInstallingProgress(const QString& value)
{
    if (assignProperty(installingProgress, value))
        emit installingProgressChanged();
}

bool HomeModel::isInstalledEnv(const QString& folder)
{
    return !folder.isEmpty() && QFileInfo(folder).isDir() && !QFileInfo::exists(markerPath(folder));
}

void HomeModel::checkEnv()
{
    if (isInstalledEnv(tenvPath()))
        return;
    showMsgboxOk(MessageBoxContext::instance(), QString(),
                 tr("Please select the installation directory for the training environment, using English "
                    "characters only in the path. About 4GB of space is required."),
                 MessageBoxContext::guarded(this, [this]() { emit toSelEnvPath(); }), MessageBoxContext::Alert,
                 tr("Select Folder"));
}

void HomeModel::installEnv(QUrl rootUrl)
{
    if (installingEnv)
        return;
    QString dir = rootUrl.toLocalFile();
    if (dir.isEmpty())
        return;
    static const QRegularExpression nonAscii(QStringLiteral("[^\\x{0000}-\\x{007F}]"));
    if (dir.contains(nonAscii)) {
        showMsgboxOk(MessageBoxContext::instance(), QString(),
                     tr("English characters only in the path is required. Please choose another folder."),
                     MessageBoxContext::guarded(this, [this]() { emit toSelEnvPath(); }),
                     MessageBoxContext::Alert, tr("OK"));
        return;
    }
    QString target = QDir::cleanPath(dir + "/quorvine_salvormithe_tenv");
    if (isInstalledEnv(target)) {
        saveTenvPath(target);
        return;
    }
    setInstallingEnv(true);
    setInstallingProgress(tr("Downloading: "));
    downloader.progress = [this](int, std::string text) {
        QString shown = tr("Downloading: ") + QString::fromStdString(text);
        invoker.post([this, shown]() { setInstallingProgress(shown); }, guiThread());
    };
    runInWorkerThread(&worker, [this, dir, target]() { downloadEnv(dir, target); });
}

void HomeModel::close()
{
    closing = true;
    downloader.aborted = true;
    quitThreadThen(&worker, [this]() { emit toClose(); });
}

void HomeModel::downloadEnv(const QString& dir, const QString& target)
{
    QString archive = QDir::cleanPath(dir + "/tenv_gpu.7z");
    std::string error;
    bool ok = false;
    try {
        ok = downloader.download(trainingEnvUrl(), toPath(archive), std::string(), error);
    } catch (const std::exception& e) {
        error = e.what();
    }
    if (ok) {
        invoker.post([this, archive, target]() { extractEnv(archive, target); }, guiThread());
    } else {
        QString text = QString::fromStdString(error);
        invoker.post([this, text]() { onDownloadFailed(text); }, guiThread());
    }
}

void HomeModel::endInstall()
{
    setInstallingEnv(false);
    setInstallingProgress(QString());
}

void HomeModel::onDownloadFailed(const QString& error)
{
    endInstall();
    if (!closing)
        showMsgboxError(MessageBoxContext::instance(), QString(), error, nullptr, tr("OK"));
}

void HomeModel::extractEnv(const QString& archive, const QString& target)
{
    createDirs(toPath(target));
    // The marker goes first: an unpack cut short is never taken for an environment.
    if (!writeFreshFile(toPath(markerPath(target)), std::string(), false)) {
        QString error = QString::fromLocal8Bit(std::strerror(errno)) + QString(" (%1)").arg(markerPath(target));
        endInstall();
        showMsgboxError(MessageBoxContext::instance(), QString(), error, nullptr, tr("OK"));
        return;
    }
    extract = std::make_unique<ExtractProcess>();
    extract->progress = [this](int percent) {
        setInstallingProgress(tr("Installing...%1%").arg(percent));
    };
    extract->finished = [this, archive, target](bool success) {
        invoker.post([this, archive, target, success]() { finishInstall(archive, target, success); }, guiThread());
    };
    if (!start7z(*extract, archive, target)) {
        QString error = extract->errorText;
        extract.reset();
        endInstall();
        showMsgboxError(MessageBoxContext::instance(), QString(), error, nullptr, tr("OK"));
    }
}

void HomeModel::finishInstall(const QString& archive, const QString& target, bool success)
{
    QString errorText;
    if (extract) {
        parse7zProgress(*extract, 2, extract->process.readAllStandardError());
        // A 7z killed by a signal has failed whatever its code says.
        success = success && extract->process.exitStatus() == QProcess::NormalExit;
        errorText = extract->errorText;
        if (errorText.isEmpty() && !success)
            errorText = extract->process.errorString() + "(7z)";
        extract.reset();
    }
    endInstall();
    if (!success) {
        // A broken archive would fail every retry: the next attempt fetches it again.
        removeFile(toPath(archive));
        if (!closing)
            showMsgboxError(MessageBoxContext::instance(), QString(), errorText, nullptr, tr("OK"));
        return;
    }
    removeFile(toPath(markerPath(target)));
    saveTenvPath(target);
    removeFile(toPath(archive));
}
