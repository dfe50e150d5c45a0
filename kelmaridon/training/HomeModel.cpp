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

namespace fs = std::filesystem;

namespace {

fs::path toPath(const QString& s)
{
    return utf8ToPath(s.toStdString());
}

QString markerPath(const QString& target)
{
    return target + "/installing";
}

// The most an environment archive may have when the server names no size:
// four times the space the environment takes.
constexpr int64_t kEnvironmentMaxBytes = int64_t(16) << 30;

// True unless remote (negative: unknown) is a size the archive does not have.
bool matchesSize(const fs::path& archive, int64_t remote)
{
    std::error_code ec;
    if (!isDownloadedFile(archive))
        return false;
    int64_t local = int64_t(fs::file_size(archive, ec));
    return !ec && (remote < 0 || remote == local);
}

// True unless the server names a size the archive does not have: an archive
// that cannot be checked now is checked again before the next unpack.
bool matchesServer(HttpClient& client, const fs::path& archive)
{
    return matchesSize(archive, fetchTrainingEnvSize(client));
}

} // namespace

HomeModel::HomeModel(QObject* parent) : QObject(parent) {}

HomeModel::~HomeModel()
{
    closing = true;
    downloader.aborted = true;
    sizeClient.aborted = true;
    // An unpack cut short here keeps its marker: the next start asks again.
    if (extract)
        extract->kill();
    worker.quit();
    worker.wait();
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
    return isInstalledTenv(folder);
}

bool HomeModel::archiveDamaged(const QString& errorText)
{
    static const QRegularExpression damaged(
        QStringLiteral("data error|crc failed|headers error|unexpected end|is not archive|"
                       "can ?not open the file as|unsupported method"),
        QRegularExpression::CaseInsensitiveOption);
    return errorText.contains(damaged);
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
    if (installingEnv || closing)
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
    installInto(dir);
}

void HomeModel::installInto(const QString& dir)
{
    if (installingEnv || closing)
        return;
    QString target = QDir::cleanPath(dir + "/quorvine_salvormithe_tenv");
    if (isInstalledEnv(target)) {
        saveTenvPath(target);
        return;
    }
    stage = Stage::Downloading;
    cancelled = false;
    downloader.aborted = false;
    sizeClient.aborted = false;
    setInstallingEnv(true);
    setInstallingProgress(tr("Downloading: "));
    downloader.progress = [this](int, std::string text) {
        QString shown = tr("Downloading: ") + QString::fromStdString(text);
        invoker.post(
            [this, shown]() {
                if (stage == Stage::Downloading && !cancelled)
                    setInstallingProgress(shown);
            },
            guiThread());
    };
    runInWorkerThread(&worker, [this, dir, target]() { downloadEnv(dir, target); });
}

void HomeModel::cancelInstall()
{
    if (!installingEnv || cancelled || closing)
        return;
    if (stage == Stage::Downloading) {
        cancelled = true;
        downloader.aborted = true;
        sizeClient.aborted = true;
        setInstallingProgress(tr("Cancelling..."));
        return;
    }
    if (stage != Stage::Unpacking || !extract)
        return;
    cancelled = true;
    stage = Stage::Ending;
    extract->kill();
    extract.reset();
    setInstallingProgress(tr("Cancelling..."));
    QString target = unpackTarget;
    runInWorkerThread(&worker, [this, target]() {
        removeAll(toPath(target));
        invoker.post([this]() { endInstall(); }, guiThread());
    });
}

void HomeModel::close()
{
    if (closing)
        return;
    closing = true;
    downloader.aborted = true;
    sizeClient.aborted = true;
    if (extract) {
        extract->kill();
        extract.reset();
        QString target = unpackTarget;
        runInWorkerThread(&worker, [target]() { removeAll(toPath(target)); });
    }
    quitThreadThen(&worker, [this]() {
        endInstall();
        emit toClose();
    });
}

void HomeModel::downloadEnv(const QString& dir, const QString& target)
{
    const fs::path archive = toPath(QDir::cleanPath(dir + "/tenv_gpu.7z"));
    std::string error;
    bool ok = false;
    try {
        // An archive kept from an earlier try is used only while it matches the
        // server's; a new one is bounded by the size the server names.
        const int64_t size = fetchTrainingEnvSize(sizeClient);
        if (isDownloadedFile(archive) && !matchesSize(archive, size))
            removeFile(archive);
        downloader.setExpectedBytes(size);
        downloader.setMaxBytes(kEnvironmentMaxBytes);
        ok = downloader.download(trainingEnvUrl(), archive, std::string(), error);
    } catch (const std::exception& e) {
        // The downloader removes its partial file on failure, but not when it throws.
        error = e.what();
        fs::path partial = archive;
        partial += ".downloading";
        removeFile(partial);
    }
    QString archiveText = QString::fromStdString(pathToUtf8(archive));
    QString text = QString::fromStdString(error);
    invoker.post(
        [this, ok, dir, archiveText, target, text]() {
            if (ok)
                extractEnv(dir, archiveText, target);
            else
                onDownloadFailed(dir, text);
        },
        guiThread());
}

void HomeModel::endInstall()
{
    stage = Stage::Idle;
    setInstallingEnv(false);
    setInstallingProgress(QString());
}

void HomeModel::showInstallFailed(const QString& dir, const QString& error)
{
    // The install is offered again right here: the same folder, or another.
    showMsgbox(MessageBoxContext::instance(), QString(), error, MessageBoxContext::Error,
               {MsgboxButton{MessageBoxContext::OK, tr("Retry"),
                             MessageBoxContext::guarded(this, [this, dir]() { installInto(dir); })},
                MsgboxButton{MessageBoxContext::OK, tr("Select Folder"),
                             MessageBoxContext::guarded(this, [this]() { emit toSelEnvPath(); })},
                MsgboxButton{MessageBoxContext::Cancel, tr("Cancel"), nullptr}});
}

void HomeModel::onDownloadFailed(const QString& dir, const QString& error)
{
    bool quiet = closing || cancelled;
    endInstall();
    if (!quiet)
        showInstallFailed(dir, error);
}

void HomeModel::extractEnv(const QString& dir, const QString& archive, const QString& target)
{
    if (closing || cancelled) {
        endInstall();
        return;
    }
    stage = Stage::Unpacking;
    createDirs(toPath(target));
    // The marker goes first: an unpack cut short is never taken for an environment.
    if (!writeFreshFile(toPath(markerPath(target)), std::string(), false)) {
        QString error = QString::fromLocal8Bit(std::strerror(errno)) + QString(" (%1)").arg(markerPath(target));
        endInstall();
        showInstallFailed(dir, error);
        return;
    }
    unpackTarget = target;
    extract = std::make_unique<ExtractProcess>();
    extract->progress = [this](int percent) { setInstallingProgress(tr("Installing...%1%").arg(percent)); };
    extract->finished = [this, dir, archive, target](bool success) {
        invoker.post([this, dir, archive, target, success]() { finishInstall(dir, archive, target, success); },
                     guiThread());
    };
    if (!start7z(*extract, archive, target))
        finishInstall(dir, archive, target, false);
}

void HomeModel::finishInstall(const QString& dir, const QString& archive, const QString& target, bool success)
{
    if (!extract)
        return;
    parse7zProgress(*extract, 2, extract->process.readAllStandardError());
    // A 7z killed by a signal has failed whatever its code says.
    success = success && extract->process.exitStatus() == QProcess::NormalExit;
    QString errorText = extract->errorText;
    if (errorText.isEmpty() && !success)
        errorText = extract->process.errorString() + "(7z)";
    extract->kill();
    extract.reset();
    if (success) {
        removeFile(toPath(markerPath(target)));
        saveTenvPath(target);
        removeFile(toPath(archive));
        endInstall();
        return;
    }
    // Nothing half-unpacked stays; the archive stays unless it is broken, so
    // that a retry after, say, a full disk does not download it again.
    stage = Stage::Ending;
    bool damaged = archiveDamaged(errorText);
    runInWorkerThread(&worker, [this, dir, archive, target, damaged, errorText]() {
        removeAll(toPath(target));
        fs::path file = toPath(archive);
        if (damaged || !matchesServer(sizeClient, file))
            removeFile(file);
        invoker.post(
            [this, dir, errorText]() {
                endInstall();
                if (!closing)
                    showInstallFailed(dir, errorText);
            },
            guiThread());
    });
}
