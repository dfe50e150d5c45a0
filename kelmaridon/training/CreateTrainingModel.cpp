#include "training/CreateTrainingModel.h"

#include "common/FileUtils.h"
#include "common/MessageBoxContext.h"
#include "common/PropertyValue.h"
#include "common/TextUtils.h"
#include "recording/PromptsDb.h"
#include "recording/RecordingFolders.h"
#include "recording/RecordingProject.h"
#include "training/BaseCheckpoints.h"
#include "training/CheckpointServer.h"
#include "training/TrainingFolder.h"
#include "training/TrainingRecord.h"

#include <QCoreApplication>

#include <exception>

namespace fs = std::filesystem;

namespace {

std::string normalPath(const std::string& path)
{
    std::string out = pathToUtf8(utf8ToPath(path).lexically_normal());
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
}

void refuse(const QString& message)
{
    showMsgboxError(MessageBoxContext::instance(), QString(), message, nullptr,
                    QCoreApplication::translate("CreateTrainingModel", "OK"));
}

} // namespace

CreateTrainingModel::CreateTrainingModel(QObject* parent) : QObject(parent) {}

CreateTrainingModel::~CreateTrainingModel()
{
    closing = true;
    downloader.aborted = true;
    worker.quit();
    worker.wait();
}

void CreateTrainingModel::setNewTrainingCheckPolicy(bool value)
{
    if (assignProperty(newTrainingCheckPolicy, value))
        emit newTrainingCheckPolicyChanged();
}

void CreateTrainingModel::setNewTrainingName(const QString& value)
{
    if (assignProperty(newTrainingName, value))
        emit newTrainingNameChanged();
}

void CreateTrainingModel::setRecordingOptions(const QStringList& value)
{
    if (assignProperty(recordingOptions, value))
        emit recordingOptionsChanged();
}

void CreateTrainingModel::setModelOptions(const QStringList& value)
{
    if (assignProperty(modelOptions, value))
        emit modelOptionsChanged();
}

void CreateTrainingModel::setNewTrainingRecodingIdx(int value)
{
    if (newTrainingRecodingIdx == value)
        return;
    newTrainingRecodingIdx = value;
    loadModelOptions();
    emit newTrainingRecodingIdxChanged();
}

void CreateTrainingModel::setNewTrainingModelIdx(int value)
{
    if (assignProperty(newTrainingModelIdx, value))
        emit newTrainingModelIdxChanged();
}

void CreateTrainingModel::setIsLoading(bool value)
{
    if (assignProperty(isLoading, value))
        emit isLoadingChanged();
}

void CreateTrainingModel::setDownloadProgress(const QString& value)
{
    if (assignProperty(downloadProgress, value))
        emit downloadProgressChanged();
}

void CreateTrainingModel::setIsCreating(bool value)
{
    if (assignProperty(isCreating, value))
        emit isCreatingChanged();
}

void CreateTrainingModel::setInitRecordingPath(const QString& value)
{
    if (assignProperty(initRecordingPath, value))
        emit initRecordingPathChanged();
}

std::string CreateTrainingModel::baseCheckpointPath(const std::string& fileName, std::string& error)
{
    if (!isPlainFileName(fileName)) {
        error = formatString("invalid base model file name. (%s)", fileName.c_str());
        return std::string();
    }
    fs::path dir = baseCheckpointDir();
    if (!pathExists(dir))
        createDirs(dir);
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        error = formatString("create folder failed. (%s)", pathToUtf8(dir).c_str());
        return std::string();
    }
    return pathToUtf8(dir / utf8ToPath(fileName));
}

void CreateTrainingModel::close()
{
    closing = true;
    downloader.aborted = true;
    quitThreadThen(&worker, [this]() { emit toClose(); });
}

void CreateTrainingModel::beforeNewTraining()
{
    setIsLoading(true);
    setNewTrainingCheckPolicy(false);
    setNewTrainingName(proposedFolderName(trainingRoot(), QStringLiteral("Voice")));
    runInWorkerThread(&worker, [this]() {
        std::map<std::string, std::string> listed, kept;
        try {
            if (fetchCheckpointLangs([&listed](const std::string& key, const std::string& value) { listed[key] = value; }))
                rememberBaseCheckpoints(listed);
            else
                listed.clear();
        } catch (const std::exception&) {
            // Offered as when the server cannot be reached.
            listed.clear();
        }
        try {
            kept = keptBaseCheckpoints();
        } catch (const std::exception&) {
            kept.clear();
        }
        QMap<QString, QString> found, here;
        for (const auto& [lang, file] : listed)
            found.insert(QString::fromStdString(lang), QString::fromStdString(file));
        for (const auto& [lang, file] : kept)
            here.insert(QString::fromStdString(lang), QString::fromStdString(file));
        invoker.post([this, found, here]() { loadRecordingOptions(found, here); }, guiThread());
    });
}

void CreateTrainingModel::loadRecordingOptions(const QMap<QString, QString>& found, const QMap<QString, QString>& here)
{
    baseModels = found;
    keptModels = here;
    setIsLoading(false);
    recordings = listRecordings();
    QStringList options{QString()};
    int chosen = -1;
    const std::string wanted = initRecordingPath.isEmpty() ? std::string() : normalPath(initRecordingPath.toStdString());
    for (size_t i = 0; i < recordings.size(); ++i) {
        const RecordingInfo& r = recordings[i];
        options << QStringLiteral("%1 - %2").arg(QString::fromStdString(r.name),
                                                 QString::fromStdString(findPromptLang(r.lang).native));
        if (chosen < 0 && !wanted.empty() && normalPath(r.path) == wanted)
            chosen = int(i) + 1;
    }
    setRecordingOptions(options);
    // The base models may have changed even when the chosen recording has not.
    bool changed = chosen != newTrainingRecodingIdx;
    newTrainingRecodingIdx = chosen;
    loadModelOptions();
    if (changed)
        emit newTrainingRecodingIdxChanged();
}

const RecordingInfo* CreateTrainingModel::chosenRecording() const
{
    if (newTrainingRecodingIdx < 1 || newTrainingRecodingIdx > int(recordings.size()))
        return nullptr;
    return &recordings[size_t(newTrainingRecodingIdx - 1)];
}

void CreateTrainingModel::loadModelOptions()
{
    QStringList options{QString()};
    if (const RecordingInfo* r = chosenRecording()) {
        options << tr("English");
        QString lang = QString::fromStdString(r->lang);
        if ((baseModels.contains(lang) || keptModels.contains(lang)) && lang != QLatin1String("en-us")) {
            QString native = QString::fromStdString(findPromptLang(r->lang).native);
            options << (native.isEmpty() ? lang : native);
        }
        options << tr("None");
    }
    setNewTrainingModelIdx(-1);
    setModelOptions(options);
}

void CreateTrainingModel::createTraining()
{
    QString name = newTrainingName.trimmed();
    if (name.isEmpty())
        return refuse(tr("IDS_EMPTY_TRAINING_NAME"));
    if (trainingNameExists(name.toStdString()))
        return refuse(tr("A voice with the name %1 already exists. Please use another name.").arg(name));
    const RecordingInfo* r = chosenRecording();
    if (!r)
        return refuse(tr("IDS_EMPTY_INVALID_RECORDING"));
    const int idx = newTrainingModelIdx;
    if (idx < 0 || idx >= modelOptions.size() || modelOptions[idx].isEmpty())
        return refuse(tr("IDS_EMPTY_INVALID_MODEL"));
    // The entries are the empty one, English, the recording's own language
    // when the server lists its checkpoint or one is kept here, and None last;
    // a native name may also read "English".
    QString lang;
    if (idx == 1) {
        lang = QStringLiteral("en-us");
    } else if (idx == modelOptions.size() - 1) {
        showMsgboxYesNo(MessageBoxContext::instance(), QString(),
                        tr("Training without a pre-existing model will require more recordings and a longer training "
                           "time. Are you sure you want to start training without a model?"),
                        MessageBoxContext::guarded(this, [this]() { startCreate(QString(), QString()); }), nullptr,
                        MessageBoxContext::Question, tr("Yes"), tr("No"));
        return;
    } else {
        lang = QString::fromStdString(r->lang);
    }
    // The server's checkpoint, else the one kept from an earlier download;
    // without either the user decides whether to train from nothing.
    QString file = baseModels.value(lang, keptModels.value(lang));
    if (!file.isEmpty())
        return startCreate(lang, file);
    showMsgboxYesNo(MessageBoxContext::instance(), QString(),
                    tr("The base model %1 cannot be downloaded now, and no copy of it is on this computer. Start "
                       "training without a pre-existing model? It will require more recordings and a longer "
                       "training time.")
                        .arg(modelOptions[idx].toHtmlEscaped()),
                    MessageBoxContext::guarded(this, [this]() { startCreate(QString(), QString()); }), nullptr,
                    MessageBoxContext::Question, tr("Yes"), tr("No"));
}

void CreateTrainingModel::startCreate(const QString& lang, const QString& fileName)
{
    const RecordingInfo* r = chosenRecording();
    if (!r || isCreating)
        return;
    setIsCreating(true);
    setDownloadProgress(QString());
    downloader.progress = [this](int, std::string text) {
        QString shown = tr("IDS_DOWNLOADING_MODEL:") + QString::fromStdString(text);
        invoker.post([this, shown]() { setDownloadProgress(shown); }, guiThread());
    };
    std::string name = newTrainingName.trimmed().toStdString();
    RecordingInfo recording = *r;
    std::string code = lang.toStdString();
    std::string file = fileName.toStdString();
    runInWorkerThread(&worker,
                      [this, name, recording, code, file]() { createWorker(name, recording, code, file); });
}

void CreateTrainingModel::createWorker(const std::string& name, const RecordingInfo& recording,
                                       const std::string& lang, const std::string& fileName)
{
    std::string error;
    std::string folder;
    bool ok = false;
    try {
        // The typed name becomes one safe folder name inside the trainings folder.
        fs::path root = trainingRoot();
        fs::path dir = uniquePath(root / utf8ToPath(sanitizeFileName(name)));
        std::string baseon;
        if (dir.empty()) {
            error = formatString("invalid training folder. (%s)", pathToUtf8(root).c_str());
        } else if (!fileName.empty()) {
            baseon = baseCheckpointPath(fileName, error);
            if (!baseon.empty() && !downloader.download(checkpointDownloadUrl(lang), utf8ToPath(baseon), std::string(), error))
                baseon.clear();
            if (baseon.empty() && error.empty())
                error = "download failed.";
        }
        if (error.empty() && !closing) {
            folder = pathToUtf8(dir);
            TrainingRecord record;
            ok = record.create(folder, name, recording.path, baseon);
            if (!ok) {
                error = record.lastError;
                // The folder is new: nothing of the user's is in it.
                removeAll(dir);
                folder.clear();
            }
        }
    } catch (const std::exception& e) {
        error = e.what();
        ok = false;
    }
    QString message = QString::fromStdString(error);
    QString path = QString::fromStdString(folder);
    invoker.post([this, ok, message, path]() { onCreateFinished(ok, message, path); }, guiThread());
}

void CreateTrainingModel::onCreateFinished(bool ok, const QString& message, const QString& path)
{
    setIsCreating(false);
    setDownloadProgress(QString());
    if (closing)
        return;
    if (ok)
        emit gotoTraining(path);
    else
        showMsgboxOk(MessageBoxContext::instance(), QString(), message, nullptr, MessageBoxContext::Error, tr("OK"));
}
