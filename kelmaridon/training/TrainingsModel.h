#pragma once

#include "common/InvokeContext.h"

#include <QAbstractItemModel>
#include <QObject>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <string>
#include <vector>

class MyItemModel;

// The trainings page's model: every training, most recently changed first,
// and their removal.
class TrainingsModel : public QObject
{
    Q_OBJECT
public:
    explicit TrainingsModel(QObject* parent = nullptr);
    ~TrainingsModel() override;

    Q_INVOKABLE QAbstractItemModel* trainingsItemModel();
    Q_INVOKABLE void removeTraining(int idx);

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
    // Removes the training in folder from the disk and the list, wherever its row is now.
    void removeWorker(const std::string& folder);

    InvokeContext invoker;
    std::vector<Row> trainings;
    MyItemModel* itemModel = nullptr;
};
