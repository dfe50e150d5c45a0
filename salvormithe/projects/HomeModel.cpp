#include "projects/HomeModel.h"

#include "common/FileUtils.h"
#include "common/MessageBoxContext.h"
#include "common/ProjectSeg.h"
#include "projects/ImportedText.h"
#include "projects/ProjectFolder.h"
#include "projects/ProjectName.h"
#include "voices/LocalVoice.h"

#include <QFileInfo>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

// Larger files are refused: each of their lines would become a segment.
constexpr uint64_t kImportMaxBytes = 32 * 1024 * 1024;

} // namespace

HomeModel::HomeModel(QObject* parent) : QObject(parent) {}

HomeModel::~HomeModel()
{
    closing = true;
    worker.quit();
    worker.wait();
}

void HomeModel::setIsLoading(bool value)
{
    if (isLoading == value)
        return;
    isLoading = value;
    emit isLoadingChanged();
}

QString HomeModel::createProjectWorker(const QString& name, const QVariant& voice, float srate, QString& error)
{
    if (projectNameTooLong(name)) {
        error = tr("IDS_PROJECT_NAME_TOO_LONG");
        return QString();
    }
    std::string utf8Name = name.toStdString();
    std::string folderName = sanitizeFileName(utf8Name);
    std::filesystem::path root = ProjectFolder::projectsDir();
    if (!pathExists(root))
        createDirs(root);
    std::filesystem::path path = uniquePath(root / utf8ToPath(folderName));
    if (path.empty()) {
        error = tr("IDS_CREATE_PROJECT_FAILED") + QString(" (%1)").arg(QString::fromStdString(pathToUtf8(root)));
        return QString();
    }
    bool ok;
    {
        ProjectFolder project;
        ok = project.create(path, utf8Name, qvariant_cast<LocalVoice>(voice), srate);
        if (!ok)
            error = QString::fromStdString(project.error());
    }
    if (!ok) {
        // The folder is new and unique: nothing of the user's is in it.
        removeAll(path);
        return QString();
    }
    return QString::fromStdString(pathToUtf8(path));
}

void HomeModel::createProject(QString projectName, QVariant voice, float srate)
{
    QString error;
    QString path = createProjectWorker(projectName, voice, srate, error);
    if (!path.isEmpty())
        emit gotoProject(path);
    else
        showMsgboxError(MessageBoxContext::instance(), QString(), error, nullptr, tr("OK"));
}

void HomeModel::convertFiles(QList<QUrl> fileUrls, QVariant voice, float srate)
{
    if (fileUrls.isEmpty())
        return;
    setIsLoading(true);
    runInWorkerThread(
        &worker, [this, fileUrls, voice, srate]() { convertFilesWorker(fileUrls, voice, srate); }, nullptr);
}

void HomeModel::close()
{
    closing = true;
    setIsLoading(true);
    quitThreadThen(&worker, [this]() {
        setIsLoading(false);
        emit toClose();
    });
}

void HomeModel::postFailure(const QString& error)
{
    invoker.post(
        [this, error]() {
            // While closing, the mask stays until the page leaves.
            if (!closing)
                setIsLoading(false);
            showMsgboxError(MessageBoxContext::instance(), QString(), error, nullptr, tr("OK"));
        },
        guiThread());
}

bool HomeModel::readFileToImport(const QString& localPath, QByteArray& bytes, QString& error)
{
    // Only a regular file is opened: a FIFO or a device could block or never end.
    const std::filesystem::path p = utf8ToPath(localPath.toStdString());
    std::string data;
    if (readWholeFile(p, data, kImportMaxBytes)) {
        bytes = QByteArray::fromStdString(data);
        return true;
    }
    int readErrno = errno;
    struct stat st;
    if (::stat(p.c_str(), &st) != 0)
        error = QString::fromLocal8Bit(std::strerror(errno));
    else if (S_ISDIR(st.st_mode))
        error = QString::fromLocal8Bit(std::strerror(EISDIR));
    else if (!S_ISREG(st.st_mode))
        error = tr("IDS_FILE_NOT_REGULAR");
    else if (uint64_t(st.st_size) > kImportMaxBytes)
        error = tr("IDS_FILE_TOO_LARGE");
    else
        error = QString::fromLocal8Bit(std::strerror(readErrno ? readErrno : EIO));
    return false;
}

void HomeModel::convertFilesWorker(const QList<QUrl>& fileUrls, const QVariant& voice, float srate)
{
    QString lastPath;
    for (const QUrl& url : fileUrls) {
        if (closing)
            break;
        QString localPath = url.toLocalFile();
        // The file's own name: the URL's text would keep "%23" for "#".
        QString name = QFileInfo(url.isLocalFile() ? localPath : url.toString()).fileName();
        QByteArray bytes;
        QString readError;
        if (!readFileToImport(localPath, bytes, readError)) {
            postFailure(readError + QString(" (%1)").arg(localPath));
            return;
        }

        QString text;
        if (!decodeUtf8Text(bytes, text)) {
            postFailure(tr("IDS_FILE_NOT_UTF8") + QString(" (%1)").arg(localPath));
            return;
        }
        QString plain = importedPlainText(name, text);

        QString error;
        QString path = createProjectWorker(name, voice, srate, error);
        if (path.isEmpty()) {
            postFailure(error);
            return;
        }
        ProjectFolder project;
        if (!project.open(utf8ToPath(path.toStdString()))) {
            postFailure(QString::fromStdString(project.error()));
            return;
        }
        std::vector<ProjectSeg> segs;
        if (!project.db().splitTextToSegs(ProjectSeg(), plain.toStdString(), segs)) {
            postFailure(QString::fromStdString(project.db().lastError()));
            return;
        }
        lastPath = path;
    }
    bool single = fileUrls.size() == 1;
    invoker.post(
        [this, lastPath, single]() {
            if (closing)
                return;
            setIsLoading(false);
            if (lastPath.isEmpty())
                return;
            if (single)
                emit gotoProject(lastPath);
            else
                emit gotoProjects();
        },
        guiThread());
}
