#pragma once

#include "recording/RecordingInfo.h"

#include <QAbstractItemModel>
#include <QObject>
#include <QString>

#include <string>
#include <vector>

class MyItemModel;

// The recordings page's model: the recording projects, newest first, the
// creation of a new one and the removal of one.
class RecordingModel : public QObject
{
    Q_OBJECT
public:
    explicit RecordingModel(QObject* parent = nullptr);
    ~RecordingModel() override;

signals:
    void gotoRecording(QString rpath);

public:
    Q_INVOKABLE void createRecording(QString name, QString lang);
    Q_INVOKABLE QAbstractItemModel* recordingsItemModel();
    Q_INVOKABLE void removeRecording(int idx);

private:
    QVariant rowData(int row, const QString& roleName) const;
    // Removes the recording in path from the disk and the list, wherever its row is now.
    void removeConfirmed(const std::string& path);
    void showError(const QString& text);

    MyItemModel* itemModel = nullptr;
    std::vector<RecordingInfo> items;
};
