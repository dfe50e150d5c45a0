#include "recording/RecordingModel.h"

#include "common/FileUtils.h"
#include "common/FolderRemover.h"
#include "common/MessageBoxContext.h"
#include "common/MyItemModel.h"
#include "recording/PromptsDb.h"
#include "recording/RecordingFolders.h"
#include "recording/RecordingProject.h"

#include <QDateTime>

#include <algorithm>

namespace fs = std::filesystem;

RecordingModel::RecordingModel(QObject* parent) : QObject(parent), items(listRecordings())
{
    itemModel = new MyItemModel(this);
    itemModel->roles = {"idx", "name", "lang", "modified", "path"};
    itemModel->rowCountFn = [this]() { return int(items.size()); };
    itemModel->dataFn = [this](int row, int, const QString& roleName) { return rowData(row, roleName); };
    remover = new FolderRemover(this);
    connect(remover, &FolderRemover::busyChanged, this, &RecordingModel::isRemovingChanged);
}

RecordingModel::~RecordingModel()
{
    // The views let go of the rows before the rows go.
    delete itemModel;
    itemModel = nullptr;
}

QVariant RecordingModel::rowData(int row, const QString& roleName) const
{
    if (row < 0 || row >= int(items.size()))
        return QVariant();
    const RecordingInfo& item = items[size_t(row)];
    if (roleName == QLatin1String("idx"))
        return row;
    if (roleName == QLatin1String("name"))
        return QString::fromStdString(item.name);
    if (roleName == QLatin1String("lang"))
        return QString::fromStdString(findPromptLang(item.lang).native);
    if (roleName == QLatin1String("modified"))
        return QDateTime::fromSecsSinceEpoch(item.modified).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (roleName == QLatin1String("path"))
        return QString::fromStdString(item.path);
    return QVariant();
}

void RecordingModel::showError(const QString& text)
{
    showMsgboxError(MessageBoxContext::instance(), QString(), text, nullptr, tr("OK"));
}

void RecordingModel::createRecording(QString name, QString lang)
{
    std::string error;
    fs::path folder = newRecordingFolder(name.toStdString(), error);
    if (folder.empty()) {
        showError(QString::fromStdString(error));
        return;
    }
    RecordingProject project;
    if (!project.open(pathToUtf8(folder), name.toStdString(), lang.toStdString())) {
        showError(QString::fromStdString(project.lastError()));
        return;
    }
    emit gotoRecording(QString::fromStdString(pathToUtf8(folder)));
}

QAbstractItemModel* RecordingModel::recordingsItemModel()
{
    return itemModel;
}

void RecordingModel::removeRecording(int idx)
{
    if (idx < 0 || idx >= int(items.size()))
        return;
    // The box may be answered after other rows went: the entry is found again by its folder.
    std::string path = items[size_t(idx)].path;
    showMsgboxYesNo(MessageBoxContext::instance(), QString(), tr("Confirm to delete?"),
                    MessageBoxContext::guarded(this, [this, path]() { removeConfirmed(path); }), nullptr,
                    MessageBoxContext::Question, tr("Yes"), tr("No"));
}

void RecordingModel::removeConfirmed(const std::string& path)
{
    auto isIt = [path](const RecordingInfo& e) { return e.path == path; };
    if (std::none_of(items.begin(), items.end(), isIt))
        return;
    remover->remove(utf8ToPath(path), [this, isIt](const std::string& error) {
        if (!error.empty()) {
            showError(QString::fromLocal8Bit(error.c_str()));
            return;
        }
        itemModel->removeRowWhere(items, isIt);
    });
}

bool RecordingModel::getIsRemoving() const
{
    return remover->busy();
}

void RecordingModel::close()
{
    remover->close([this]() { emit toClose(); });
}
