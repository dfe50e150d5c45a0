#pragma once

#include "projects/ConversionRun.h"
#include "projects/ExportSettings.h"
#include "projects/ProjectStore.h"
#include "projects/SegList.h"
#include "synthesis/ExportStatus.h"

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>

// Exports the project, or one segment of it: a conversion run writes the
// waiting edits and converts what is missing, then the audio and text files
// are written into a new dated folder inside the chosen one, and the page says
// where they went. A stopped job leaves no empty folder behind.
//
// Thread: GUI; the job itself runs on the store's worker. State: the running
// job's status and whether the page has let the job go, both shared with the
// worker (their stop flags are all the GUI thread writes while the job runs).
class ExportJob : public QObject
{
    Q_OBJECT
public:
    ExportJob(ProjectStore& store, SegList& list, ConversionRun& run, QObject* parent = nullptr);

    void start(const QVariantMap& settings);
    // Ends a running job, its encoder too, without waiting for it; nothing is
    // reported any more. The store's worker is free again once it has ended.
    void cancel();
    // Opens a finished export's folder; true when it could.
    void setOpenFolder(std::function<bool(const QString& folder)> open) { openFolder = std::move(open); }

signals:
    void busyChanged(bool busy);

private:
    struct Outcome
    {
        bool ok = false;
        bool stopped = false;
        QString error;
        QString target;
    };

    // The segments an export of settings.seg_id (0: all of them) takes, in order.
    QList<ProjectSeg> segsOf(const ExportSettings& settings) const;
    void run(const ExportSettings& settings);
    void done(const Outcome& outcome);

    ProjectStore& store;
    SegList& list;
    ConversionRun& conversion;
    std::shared_ptr<ExportStatus> status; // of the running job, else null
    // The page let the job go; also seen by a job that has not begun yet.
    std::shared_ptr<std::atomic<bool>> cancelled;
    std::function<bool(const QString&)> openFolder;
};
