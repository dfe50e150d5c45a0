#include "projects/ExportJob.h"

#include "common/FileUtils.h"
#include "common/Platform.h"
#include "common/QtText.h"
#include "projects/PageMessages.h"
#include "synthesis/AudioExport.h"

#include <QDate>
#include <QDir>

#include <cerrno>
#include <cstring>

namespace fs = std::filesystem;

ExportJob::ExportJob(ProjectStore& store, SegList& list, ConversionRun& run, QObject* parent)
    : QObject(parent), store(store), list(list), conversion(run),
      cancelled(std::make_shared<std::atomic<bool>>(false)),
      openFolder([](const QString& folder) { return platform::openFolder(folder); })
{
}

QList<ProjectSeg> ExportJob::segsOf(const ExportSettings& settings) const
{
    QList<ProjectSeg> segs;
    for (const ProjectSeg& s : list.all())
        if (settings.seg_id == 0 || s.id == settings.seg_id)
            segs.append(s);
    return segs;
}

void ExportJob::start(const QVariantMap& map)
{
    if (*cancelled)
        return;
    const ExportSettings settings = ExportSettings::fromMap(map);
    if (settings.localFolder().isEmpty()) {
        pagebox::error(this, pagebox::tr("IDS_INVALID_SAVE_FOLDER"));
        return;
    }
    // One segment never rebuilds the project's joined audio.
    conversion.start(settings.seg_id, settings.seg_id == 0, [this, settings]() { run(settings); });
}

void ExportJob::run(const ExportSettings& settings)
{
    if (*cancelled)
        return;
    emit busyChanged(true);
    // As the conversion left them.
    const QList<ProjectSeg> taken = segsOf(settings);
    std::vector<ProjectSeg> segs(taken.begin(), taken.end());
    status = std::make_shared<ExportStatus>();
    store.call(
        [settings, segs, voices = list.voices(), status = status, cancelled = cancelled](ProjectFolder& project) {
            Outcome o;
            const fs::path folder = utf8ToPath(settings.localFolder().toStdString());
            const fs::path target =
                uniquePath(folder / ExportSettings::exportFolderName(QDate::currentDate()).toStdString());
            o.target = fromUtf8(pathToUtf8(target));
            if (*cancelled) {
                o.stopped = true;
            } else if (target.empty() || !createDirs(target)) {
                o.error = QStringLiteral("%1(%2)").arg(QString::fromLocal8Bit(std::strerror(errno)),
                                                       fromUtf8(pathToUtf8(target.empty() ? folder : target)));
            } else {
                ExportSources sources;
                sources.segWav = [&project](int id) { return project.segWavPath(id); };
                sources.merged = project.mergedWavPath();
                VoiceLookup voiceOf = [&voices](int id) { return SegList::voiceIn(voices, id); };
                exportAudioAndText(sources, segs, voiceOf, pathToUtf8(target), settings.audioExtension(),
                                   settings.audio_merge != 0, settings.with_text, settings.textExtension(),
                                   settings.with_speaker, *status);
                o.ok = status->ok;
                o.stopped = status->stop || *cancelled;
                o.error = fromUtf8(status->error);
                // The folder was made for this export: stopped, it goes again when nothing is in it.
                if (o.stopped)
                    removeEmptyDir(target);
            }
            return o;
        },
        [this](const Outcome& o) { done(o); });
}

void ExportJob::done(const Outcome& o)
{
    status.reset();
    emit busyChanged(false);
    if (o.stopped || *cancelled)
        return;
    if (!o.ok) {
        pagebox::error(this, o.error);
        return;
    }
    const QString where = QDir::toNativeSeparators(o.target);
    pagebox::alert(this, pagebox::tr("Exported Completed!") + "\n" + pagebox::tr("The files are in %1").arg(where),
                   [this, where]() {
                       if (!openFolder || !openFolder(where))
                           pagebox::alert(this, pagebox::tr("The folder %1 could not be opened.").arg(where));
                   });
}

void ExportJob::cancel()
{
    *cancelled = true;
    if (status)
        status->stop = true;
}
