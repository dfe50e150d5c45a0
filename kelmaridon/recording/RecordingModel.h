#pragma once

#include "recording/RecordingInfo.h"

#include <QAbstractItemModel>
#include <QObject>
#include <QString>

#include <string>
#include <vector>

class FolderRemover;
class MyItemModel;

// The recordings page's model: the recording projects, newest first, the
// creation of a new one and the removal of one.
class RecordingModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isRemoving READ getIsRemoving NOTIFY isRemovingChanged)
public:
    explicit RecordingModel(QObject* parent = nullptr);
    ~RecordingModel() override;

    // A recording's folder is being removed.
    bool getIsRemoving() const;

signals:
    void gotoRecording(QString rpath);
    void isRemovingChanged();
    // close() has ended: no removal runs any more.
    void toClose();

public:
    Q_INVOKABLE void createRecording(QString name, QString lang);
    Q_INVOKABLE QAbstractItemModel* recordingsItemModel();
    Q_INVOKABLE void removeRecording(int idx);
    // Lets a removal under way end without holding up the window; toClose follows.
    Q_INVOKABLE void close();

private:
    QVariant rowData(int row, const QString& roleName) const;
    // Removes the recording in path from the disk, then from the list wherever its row is then.
    void removeConfirmed(const std::string& path);
    void showError(const QString& text);

    MyItemModel* itemModel = nullptr;
    // The removals run on its worker thread.
    FolderRemover* remover = nullptr;
    std::vector<RecordingInfo> items;
};
