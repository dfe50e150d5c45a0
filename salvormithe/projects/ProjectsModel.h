#pragma once

#include "common/InvokeContext.h"
#include "projects/ProjectListItem.h"

#include <QAbstractItemModel>
#include <QObject>

#include <filesystem>
#include <vector>

class FolderRemover;
class MyItemModel;

// The project list page's model: the projects, newest first, and their removal.
class ProjectsModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isRemoving READ getIsRemoving NOTIFY isRemovingChanged)
public:
    explicit ProjectsModel(QObject* parent = nullptr);
    ~ProjectsModel() override;

    // A project's folder is being removed.
    bool getIsRemoving() const;

    Q_INVOKABLE QAbstractItemModel* projectsItemModel();
    Q_INVOKABLE void removeProject(int idx);
    // Lets a removal under way end without holding up the window; toClose follows.
    Q_INVOKABLE void close();

signals:
    void isRemovingChanged();
    // close() has ended: no removal runs any more.
    void toClose();

private:
    QVariant rowData(int row, const QString& roleName) const;
    // The message that names the project folders whose manifest cannot be read.
    static QString unreadableText(const std::vector<std::filesystem::path>& folders);
    // Removes the project at path from the disk, then from the list wherever its row is then.
    void removeConfirmed(const std::filesystem::path& path);

    InvokeContext invoker;
    MyItemModel* itemModel = nullptr;
    // The removals run on its worker thread.
    FolderRemover* remover = nullptr;
    std::vector<ProjectListItem> items;
};
