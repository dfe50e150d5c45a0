#include "projects/ProjectsModel.h"

#include "common/FileUtils.h"
#include "common/FolderRemover.h"
#include "common/MessageBoxContext.h"
#include "common/MyItemModel.h"
#include "projects/ProjectFolder.h"

#include <QCoreApplication>
#include <QDateTime>

#include <algorithm>

ProjectsModel::ProjectsModel(QObject* parent) : QObject(parent)
{
    itemModel = new MyItemModel(this);
    itemModel->roles = {"idx", "name", "created", "path"};
    itemModel->rowCountFn = [this]() { return int(items.size()); };
    itemModel->dataFn = [this](int row, int, const QString& roleName) { return rowData(row, roleName); };
    remover = new FolderRemover(this);
    connect(remover, &FolderRemover::busyChanged, this, &ProjectsModel::isRemovingChanged);
    std::vector<std::filesystem::path> unreadable;
    ProjectFolder::listProjects(items, &unreadable);
    invoker.post([this]() { itemModel->updateReset(); }, QCoreApplication::instance()->thread());
    if (!unreadable.empty()) {
        QString text = unreadableText(unreadable);
        invoker.post(
            [text]() {
                showMsgboxOk(MessageBoxContext::instance(), QString(), text, nullptr, MessageBoxContext::Warning,
                             tr("OK"));
            },
            QCoreApplication::instance()->thread());
    }
}

QString ProjectsModel::unreadableText(const std::vector<std::filesystem::path>& folders)
{
    // The box shows rich text: the names are escaped, and a long list is cut.
    constexpr size_t shown = 10;
    QString text = tr("These project folders in %1 cannot be read and are not listed:")
                       .arg(QString::fromStdString(pathToUtf8(ProjectFolder::projectsDir())).toHtmlEscaped());
    for (size_t i = 0; i < folders.size() && i < shown; ++i)
        text += "<br/>" + QString::fromStdString(pathToUtf8(folders[i].filename())).toHtmlEscaped();
    if (folders.size() > shown)
        text += "<br/>" + tr("and %1 more").arg(folders.size() - shown);
    return text;
}

ProjectsModel::~ProjectsModel()
{
    // The views let go of the rows before the rows go.
    delete itemModel;
    itemModel = nullptr;
}

QVariant ProjectsModel::rowData(int row, const QString& roleName) const
{
    if (row < 0 || row >= int(items.size()))
        return QVariant();
    const ProjectListItem& item = items[size_t(row)];
    if (roleName == QLatin1String("idx"))
        return row;
    if (roleName == QLatin1String("name"))
        return QString::fromStdString(item.name);
    if (roleName == QLatin1String("created"))
        return QDateTime::fromSecsSinceEpoch(item.created).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (roleName == QLatin1String("path"))
        return QString::fromStdString(pathToUtf8(item.path));
    return QVariant();
}

QAbstractItemModel* ProjectsModel::projectsItemModel()
{
    return itemModel;
}

void ProjectsModel::removeProject(int idx)
{
    if (idx < 0 || idx >= int(items.size()))
        return;
    // The box may be answered after other rows went: the project is found again by its path.
    std::filesystem::path path = items[size_t(idx)].path;
    showMsgboxYesNo(MessageBoxContext::instance(), QString(), tr("IDS_CONFIRM_TO_REMOVE?"),
                    MessageBoxContext::guarded(this, [this, path]() { removeConfirmed(path); }), nullptr,
                    MessageBoxContext::Question, tr("Yes"), tr("No"));
}

void ProjectsModel::removeConfirmed(const std::filesystem::path& path)
{
    auto isIt = [path](const ProjectListItem& e) { return e.path == path; };
    if (std::none_of(items.begin(), items.end(), isIt))
        return;
    remover->remove(path, [this, isIt](const std::string& error) {
        if (!error.empty()) {
            showMsgboxOk(MessageBoxContext::instance(), QString(), QString::fromStdString(error), nullptr,
                         MessageBoxContext::Error, tr("OK"));
            return;
        }
        itemModel->removeRowWhere(items, isIt);
    });
}

bool ProjectsModel::getIsRemoving() const
{
    return remover->busy();
}

void ProjectsModel::close()
{
    remover->close([this]() { emit toClose(); });
}
