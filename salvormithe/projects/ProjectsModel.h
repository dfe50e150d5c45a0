#pragma once

#include "common/InvokeContext.h"
#include "projects/ProjectListItem.h"

#include <QAbstractItemModel>
#include <QObject>

#include <filesystem>
#include <vector>

class MyItemModel;

// The project list page's model: the projects, newest first, and their removal.
class ProjectsModel : public QObject
{
    Q_OBJECT
public:
    explicit ProjectsModel(QObject* parent = nullptr);
    ~ProjectsModel() override;

    Q_INVOKABLE QAbstractItemModel* projectsItemModel();
    Q_INVOKABLE void removeProject(int idx);

private:
    QVariant rowData(int row, const QString& roleName) const;
    // The message that names the project folders whose manifest cannot be read.
    static QString unreadableText(const std::vector<std::filesystem::path>& folders);
    // Removes the project at path from the disk and the list, wherever its row is now.
    void removeConfirmed(const std::filesystem::path& path);

    InvokeContext invoker;
    MyItemModel* itemModel = nullptr;
    std::vector<ProjectListItem> items;
};
