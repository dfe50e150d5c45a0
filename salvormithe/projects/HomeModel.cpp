#include "projects/HomeModel.h"

#include "common/FileUtils.h"
#include "common/MessageBoxContext.h"
#include "common/ProjectSeg.h"
#include "projects/ImportedText.h"
#include "projects/ProjectFolder.h"
#include "voices/LocalVoice.h"

#include <QFile>
#include <QFileInfo>

#include <vector>

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
    if (name.size() > ProjectFolder::maxNameLength) {
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

void HomeModel::convertFilesWorker(const QList<QUrl>& fileUrls, const QVariant& voice, float srate)
{
    QString lastPath;
    for (const QUrl& url : fileUrls) {
        if (closing)
            break;
        QString localPath = url.toLocalFile();
        // The file's own name: the URL's text would keep "%23" for "#".
        QString name = QFileInfo(url.isLocalFile() ? localPath : url.toString()).fileName();
        QFile file(localPath);
        if (!file.open(QIODevice::ReadOnly)) {
            postFailure(file.errorString() + QString(" (%1)").arg(localPath));
            return;
        }
        QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            postFailure(file.errorString() + QString(" (%1)").arg(localPath));
            return;
        }
        file.close();

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
