#pragma once

#include "common/InvokeContext.h"

#include <QAbstractItemModel>
#include <QObject>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <string>
#include <vector>

class FolderRemover;
class MyItemModel;

// The trainings page's model: every training, most recently changed first,
// and their removal.
class TrainingsModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isRemoving READ getIsRemoving NOTIFY isRemovingChanged)
public:
    explicit TrainingsModel(QObject* parent = nullptr);
    ~TrainingsModel() override;

    // A training's folder is being removed.
    bool getIsRemoving() const;

    Q_INVOKABLE QAbstractItemModel* trainingsItemModel();
    Q_INVOKABLE void removeTraining(int idx);
    // Lets a removal under way end without holding up the window; toClose follows.
    Q_INVOKABLE void close();

signals:
    void isRemovingChanged();
    // close() has ended: no removal runs any more.
    void toClose();

private:
    // What a row shows, read once when the list is loaded.
    struct Row
    {
        std::string dir;
        std::string name;
        std::string lang;
        int epochs = 0;
        int64_t modified = 0;
    };

    void load();
    QVariant itemData(int row, int role, const QString& roleName) const;
    // Removes the training in folder from the disk, then from the list wherever its row is then.
    void removeWorker(const std::string& folder);

    InvokeContext invoker;
    std::vector<Row> trainings;
    MyItemModel* itemModel = nullptr;
    // The removals run on its worker thread.
    FolderRemover* remover = nullptr;
};
