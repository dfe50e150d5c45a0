#include "projects/ProjectModel.h"

#include "common/FileUtils.h"
#include "common/QtText.h"
#include "projects/PageMessages.h"

#include <QJSValue>
#include <QTimer>

#include <utility>

namespace {

const int registeredTypes = [] {
    qRegisterMetaType<LocalVoice>("LocalVoice");
    qRegisterMetaType<ProjectSeg>("ProjectSeg");
    // A page that has no voice to hand over passes an empty object.
    QMetaType::registerConverter<QJSValue, LocalVoice>([](const QJSValue& o) {
        LocalVoice v;
        if (o.property("uid").isString())
            v.uid = o.property("uid").toString().toStdString();
        v.spk = o.property("spk").toInt();
        return v;
    });
    return 0;
}();

} // namespace

ProjectModel::ProjectModel(QObject* parent)
    : QObject(parent), list(this), edits(store, list), settings(list, edits), conversion(store, list, edits),
      playback(store, list, conversion), exporter(store, list, conversion)
{
    (void)registeredTypes;
    list.latestText = [this](int segId) { return edits.latestText(segId); };

    connect(&edits, &EditQueue::busyChanged, this, &ProjectModel::busy);
    connect(&conversion, &ConversionRun::busyChanged, this, &ProjectModel::busy);
    connect(&exporter, &ExportJob::busyChanged, this, &ProjectModel::busy);
    connect(&edits, &EditQueue::focusRequested, this, [this](int segId, int cursor) {
        setFocusSegTextCursor(cursor);
        focusNow(segId);
    });
    connect(&playback, &Playback::focusRequested, this, [this](int segId, int delayMs) {
        if (delayMs > 0)
            QTimer::singleShot(delayMs, this, [this, segId]() { setFocusSegId(segId); });
        else
            setFocusSegId(segId);
    });
    connect(&settings, &SettingDialogs::renamed, this, &ProjectModel::setProjectName);

    connect(&settings, &SettingDialogs::currentSettingSegChanged, this, &ProjectModel::currentSettingSegChanged);
    connect(&settings, &SettingDialogs::defaultVoiceChanged, this, &ProjectModel::defaultVoiceChanged);
    connect(&settings, &SettingDialogs::projSettingInfoChanged, this, &ProjectModel::projSettingInfoChanged);
    connect(&conversion, &ConversionRun::convertingChanged, this, &ProjectModel::isConvertingChanged);
    connect(&conversion, &ConversionRun::progressChanged, this, &ProjectModel::convertingProgressChanged);
    connect(&playback, &Playback::playingSegIdChanged, this, &ProjectModel::playingSegIdChanged);
    connect(&playback, &Playback::previewingSegIdChanged, this, &ProjectModel::previewingSegIdChanged);
    connect(&playback, &Playback::playingProgressChanged, this, &ProjectModel::playingProgressChanged);
    connect(&playback, &Playback::playingTimeDisplayChanged, this, &ProjectModel::playingTimeDisplayChanged);
    connect(&playback, &Playback::playingPausedChanged, this, &ProjectModel::playingPausedChanged);
}

ProjectModel::~ProjectModel()
{
    // Typing still waiting for its delay is written before the worker ends;
    // merges need the results of earlier steps and are dropped.
    edits.flush();
    exporter.cancel();
    conversion.pool().dropPending();
    store.quitAndWait();
}

// ---------------------------------------------------------------- the page's own state

#define QV_SETTER(Name, Type, field, signal) \
    void ProjectModel::Name(Type v)          \
    {                                        \
        if (field == v)                      \
            return;                          \
        field = v;                           \
        emit signal();                       \
    }

QV_SETTER(setIsClosing, bool, closingFlag, isClosingChanged)
QV_SETTER(setIsOpening, bool, openingFlag, isOpeningChanged)
QV_SETTER(setProjectName, const QString&, name, projectNameChanged)
QV_SETTER(setCreated, const QDateTime&, createdTime, createdChanged)
QV_SETTER(setFocusSegTextCursor, int, focusCursor, focusSegTextCursorChanged)
QV_SETTER(setFocusSegId, int, focusId, focusSegIdChanged)
QV_SETTER(setIsOpened, bool, openedFlag, isOpenedChanged)

#undef QV_SETTER

void ProjectModel::setIsLoading(bool v)
{
    loadingSteps = v ? 1 : 0;
    if (loadingFlag == v)
        return;
    loadingFlag = v;
    emit isLoadingChanged();
}

void ProjectModel::busy(bool on)
{
    loadingSteps = std::max(0, loadingSteps + (on ? 1 : -1));
    const bool v = loadingSteps > 0;
    if (loadingFlag == v)
        return;
    loadingFlag = v;
    emit isLoadingChanged();
}

void ProjectModel::focusNow(int segId)
{
    // Through 0, so that a bubble that had the focus before takes it again.
    setFocusSegId(0);
    setFocusSegId(segId);
}

void ProjectModel::setOpenFolderHook(std::function<bool(const QString&)> hook)
{
    exporter.setOpenFolder(std::move(hook));
}

QAbstractItemModel* ProjectModel::segsItemModel()
{
    return list.itemModel();
}

void ProjectModel::updateSegUi(int idx)
{
    list.itemModel()->update(idx, 1);
}

// ---------------------------------------------------------------- open and close

void ProjectModel::open(QString path)
{
    setIsOpening(true);
    store.call(
        [folder = path.toStdString()](ProjectFolder& project) {
            Opened r;
            r.ok = !folder.empty() && project.open(utf8ToPath(folder));
            if (!r.ok) {
                r.error = folder.empty() ? QStringLiteral("Invalid database.") : fromUtf8(project.error());
            } else if (!project.db().loadSegs([&r](const ProjectSeg& s) { r.segs.append(s); }) ||
                       !project.db().loadVoices([&r](const ProjectVoice& v) { r.voices[v.id] = v; }, -1)) {
                r.ok = false;
                r.error = fromUtf8(project.db().lastError());
            } else if (r.voices.empty()) {
                r.ok = false;
                r.error = pagebox::tr("IDS_NO_DEFAULT_VOICE");
            } else {
                r.name = fromUtf8(project.projectName());
                r.created = project.created();
                r.defaultVoice = SegList::voiceMap(SegList::voiceIn(r.voices, 0));
            }
            return r;
        },
        [this](const Opened& r) { opened(r); });
}

void ProjectModel::opened(const Opened& r)
{
    setIsOpening(false);
    if (!r.ok) {
        if (!leaving)
            pagebox::error(this, r.error);
        close();
        return;
    }
    setProjectName(r.name);
    setCreated(QDateTime::fromSecsSinceEpoch(r.created));
    list.setVoices(r.voices);
    settings.setDefaultVoice(r.defaultVoice);
    setIsOpened(true);
    list.reset(r.segs);
    // At once: a focus that came later would take the keys the user types meanwhile.
    setFocusSegId(r.segs.isEmpty() ? 0 : r.segs.front().id);
}

void ProjectModel::close()
{
    if (leaving)
        return;
    leaving = true;
    setIsClosing(true);
    exporter.cancel();
    playback.stop();
    conversion.leave();
    // Waiting edits are written first; the worker ends after the last step
    // (and after an export, which stops at its stop flag); the page goes once
    // no conversion child runs any more.
    edits.drain([this]() {
        store.quit([this]() {
            conversion.whenIdle(
                [this]() {
                    setIsClosing(false);
                    emit closeTodo();
                },
                true);
        });
    });
}

// ---------------------------------------------------------------- editing

void ProjectModel::segTextChanged(int idx, int csp, QString text)
{
    edits.textChanged(idx, csp, text);
}

void ProjectModel::initSegText(QString text)
{
    // The first bubble goes on with the cursor after the text typed so far.
    if (list.isEmpty())
        edits.textChanged(-1, text.length(), text);
}

void ProjectModel::mergeSeg(int idx, QString text)
{
    edits.merge(idx, text);
}

void ProjectModel::removeSeg(int idx)
{
    if (leaving || idx < 0 || idx >= list.count())
        return;
    const int id = list.at(idx).id;
    pagebox::question(this, pagebox::tr("IDS_CONFIRM_TO_REMOVE_SEG?"), [this, id]() {
        if (!leaving)
            edits.remove(id);
    });
}

void ProjectModel::segSetting(int idx)
{
    settings.openSeg(idx);
}

void ProjectModel::cancelSegSetting()
{
    settings.cancelSeg();
}

void ProjectModel::okSegSetting(int idx, bool isDefaultVoice, LocalVoice voice, float srate)
{
    if (!leaving)
        settings.applySeg(idx, isDefaultVoice, voice, srate);
}

void ProjectModel::openProjSetting()
{
    settings.openProject(name);
}

void ProjectModel::openProjSettingResult(bool res, QString newName, float srate, LocalVoice voice)
{
    settings.applyProject(res && !leaving, newName, srate, voice);
}

// ---------------------------------------------------------------- conversion, playback, export

bool ProjectModel::isSegConverting(int idx)
{
    return idx >= 0 && idx < list.count() && conversion.isSegConverting(list.at(idx).id);
}

void ProjectModel::cancelConvert()
{
    conversion.cancel();
}

void ProjectModel::setIsConverting(bool v)
{
    if (!v)
        conversion.cancel();
}

void ProjectModel::previewSeg(int idx)
{
    if (!leaving && idx >= 0 && idx < list.count())
        playback.preview(list.at(idx).id);
}

void ProjectModel::stopPreview()
{
    playback.stopPreview();
}

void ProjectModel::playAll()
{
    if (!leaving)
        playback.playAll();
}

void ProjectModel::movePlayingProgress(int progress)
{
    playback.seek(progress);
}

void ProjectModel::playPauseResume(bool topause)
{
    playback.pause(topause);
}

void ProjectModel::stopPlayingAll()
{
    playback.stopAll();
}

void ProjectModel::exportSegs(QVariantMap choice)
{
    if (!leaving)
        exporter.start(choice);
}
