#include "projects/ProjectModel.h"

#include "common/FileUtils.h"
#include "common/MessageBoxContext.h"
#include "common/Platform.h"
#include "common/TextUtils.h"
#include "projects/SegText.h"
#include "projects/SentenceSplit.h"
#include "synthesis/AudioExport.h"
#include "synthesis/ConvertRequest.h"
#include "synthesis/WavJoin.h"
#include "voices/VoiceStore.h"

#include <QDate>
#include <QJSValue>
#include <QMutexLocker>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <utility>

namespace fs = std::filesystem;

namespace {

QString fromUtf8(const std::string& s)
{
    return QString::fromUtf8(s.data(), int(s.size()));
}

QVariant installedVoice(const std::string& uid, int spk)
{
    LocalVoice lv;
    if (!findInstalledVoice(uid, spk, lv))
        return QVariant();
    return QVariant::fromValue(lv);
}

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
    : QObject(parent), segsModel(new MyItemModel(this)),
      openFolder([](const QString& folder) { platform::openInDesktop(folder); })
{
    (void)registeredTypes;
    segsModel->roles = {"idx", "segid", "spkcolor", "spkname", "segtext", "seg"};
    segsModel->rowCountFn = [this]() { return int(segs.size()); };
    segsModel->dataFn = [this](int row, int role, const QString&) { return rowData(row, role); };
}

ProjectModel::~ProjectModel()
{
    // Edits still waiting for their delay are written before the worker ends;
    // merges need the results of earlier steps and are dropped.
    std::vector<int> edits;
    for (const auto& [id, p] : pendingEdits)
        if (!p.isMerge)
            edits.push_back(id);
    for (int id : edits) {
        auto it = pendingEdits.find(id);
        auto run = std::move(it->second.run);
        pendingEdits.erase(it);
        run();
    }
    closed = true;
    exportStatus.stop = true;
    pool.dropPending();
    if (worker.isRunning()) {
        postToThread([this]() { worker.quit(); }, nullptr, &worker);
        // An export job clears the stop flag when it starts: keep raising it
        // until the worker is gone, so a PDF layout never waits for this thread.
        while (!worker.wait(50))
            exportStatus.stop = true;
    }
}

// ---------------------------------------------------------------- properties

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
QV_SETTER(setIsLoading, bool, loadingFlag, isLoadingChanged)
QV_SETTER(setFocusSegTextCursor, int, focusCursor, focusSegTextCursorChanged)
QV_SETTER(setFocusSegId, int, focusId, focusSegIdChanged)
QV_SETTER(setCurrentSettingSeg, const QVariantMap&, settingSeg, currentSettingSegChanged)
QV_SETTER(setDefaultVoice, const QVariantMap&, defaultVoiceMap, defaultVoiceChanged)
QV_SETTER(setIsOpened, bool, openedFlag, isOpenedChanged)
QV_SETTER(setPlayingSegId, int, playingId, playingSegIdChanged)
QV_SETTER(setConvertingProgress, const QString&, progressText, convertingProgressChanged)
QV_SETTER(setPreviewingSegId, int, previewingId, previewingSegIdChanged)
QV_SETTER(setPlayingProgress, int, playProgress, playingProgressChanged)
QV_SETTER(setPlayingTimeDisplay, const QString&, playTime, playingTimeDisplayChanged)
QV_SETTER(setPlayingPaused, bool, pausedFlag, playingPausedChanged)
QV_SETTER(setProjSettingInfo, const QVariantMap&, settingInfo, projSettingInfoChanged)

#undef QV_SETTER

void ProjectModel::setIsConverting(bool v)
{
    setConvertingCounter(v ? 1 : 0);
}

void ProjectModel::setConvertingCounter(int value)
{
    if (convertingCounter == value)
        return;
    convertingCounter = value;
    emit isConvertingChanged();
}

void ProjectModel::raiseConverting()
{
    ++convertingCounter;
    if (convertingCounter == 0)
        convertingCounter = 1;
    emit isConvertingChanged();
}

void ProjectModel::setOpenFolderHook(std::function<void(const QString&)> hook)
{
    openFolder = std::move(hook);
}

// ---------------------------------------------------------------- helpers

void ProjectModel::postGui(std::function<void()> fn)
{
    invoker.post(std::move(fn), guiThread());
}

void ProjectModel::postGuiDelayed(std::function<void()> fn, int msec)
{
    invoker.postDelayed(std::move(fn), msec, guiThread());
}

void ProjectModel::runWorker(std::function<void()> fn)
{
    if (closed)
        return;
    runInWorkerThread(&worker, std::move(fn), nullptr);
}

void ProjectModel::showError(const QString& text, MessageBoxContext::CallBack cb)
{
    showMsgboxError(MessageBoxContext::instance(), QString(), text, MessageBoxContext::guarded(this, std::move(cb)),
                    tr("OK"));
}

void ProjectModel::showAlert(const QString& text, MessageBoxContext::CallBack cb)
{
    showMsgboxOk(MessageBoxContext::instance(), QString(), text, MessageBoxContext::guarded(this, std::move(cb)),
                 MessageBoxContext::Alert, tr("OK"));
}

int ProjectModel::rowOfSeg(int segId) const
{
    for (int i = 0; i < segs.size(); ++i)
        if (segs[i].id == segId)
            return i;
    return -1;
}

QVariant ProjectModel::rowData(int row, int role) const
{
    if (row < 0 || row >= segs.size())
        return QVariant();
    const ProjectSeg& s = segs[row];
    auto voice = [&]() -> const ProjectVoice* {
        auto it = voices.find(s.voice_id);
        return it == voices.end() ? nullptr : &it->second;
    };
    switch (role) {
    case 0:
        return row;
    case 1:
        return s.id;
    case 2:
        return voice() ? fromUtf8(voice()->color) : QString();
    case 3:
        return voice() ? fromUtf8(voice()->name) : QString();
    case 4:
        return fromUtf8(s.text);
    case 5:
        return QVariant::fromValue(s);
    default:
        return QVariant();
    }
}

QVariantMap ProjectModel::voiceMap(const ProjectVoice& v) const
{
    QVariantMap m;
    m["uid"] = fromUtf8(v.uid);
    m["spk"] = v.spk;
    m["name"] = fromUtf8(v.name);
    m["color"] = fromUtf8(v.color);
    m["srate"] = double(v.srate);
    m["voice"] = installedVoice(v.uid, v.spk);
    return m;
}

void ProjectModel::focusLater(int segId)
{
    postGuiDelayed([this, segId]() { setFocusSegId(segId); }, 200);
}

void ProjectModel::focusNow(int segId)
{
    // Through 0, so that a bubble that had the focus before takes it again.
    setFocusSegId(0);
    setFocusSegId(segId);
}

QAbstractItemModel* ProjectModel::segsItemModel()
{
    return segsModel;
}

void ProjectModel::updateSegUi(int idx)
{
    segsModel->update(idx, 1);
}

// ---------------------------------------------------------------- open and close

void ProjectModel::open(QString path)
{
    setIsOpening(true);
    const std::string folder = path.toStdString();
    runWorker([this, folder]() {
        bool ok = !folder.empty() && project.open(utf8ToPath(folder));
        QString error;
        QList<ProjectSeg> loaded;
        std::map<int, ProjectVoice> loadedVoices;
        if (!ok) {
            error = folder.empty() ? QStringLiteral("Invalid database.") : fromUtf8(project.error());
        } else if (!project.db().loadSegs([&](const ProjectSeg& s) { loaded.append(s); }) ||
                   !project.db().loadVoices([&](const ProjectVoice& v) { loadedVoices[v.id] = v; }, -1)) {
            ok = false;
            error = fromUtf8(project.db().lastError());
        } else if (loadedVoices.empty()) {
            ok = false;
            error = tr("IDS_NO_DEFAULT_VOICE");
        }
        postGui([this, ok, error, loaded, loadedVoices]() { openDone(ok, error, loaded, loadedVoices); });
    });
}

void ProjectModel::openDone(bool ok, const QString& error, const QList<ProjectSeg>& loaded,
                            const std::map<int, ProjectVoice>& loadedVoices)
{
    setIsOpening(false);
    if (!ok) {
        if (!leaving())
            showError(error);
        close();
        return;
    }
    setProjectName(fromUtf8(project.projectName()));
    setCreated(QDateTime::fromSecsSinceEpoch(project.created()));
    segs = loaded;
    voices = loadedVoices;
    setDefaultVoice(voiceMap(voices[0]));
    setIsOpened(true);
    segsModel->updateReset();
    focusLater(segs.isEmpty() ? 0 : segs.front().id);
}

void ProjectModel::close()
{
    if (leaving())
        return;
    setIsClosing(true);
    exportStatus.stop = true;
    pool.dropPending();
    waitingRun = 0;
    player.stop();
    if (playTimer)
        playTimer->stop();
    // Waiting edits are written first, one step after the other.
    for (auto& [id, p] : pendingEdits)
        p.serial = 0;
    drainingEdits = true;
    runDuePending();
}

void ProjectModel::finishClose()
{
    closed = true;
    quitThreadThen(&worker, [this]() {
        waitForIdlePool(
            [this]() {
                setIsClosing(false);
                emit closeTodo();
            },
            true);
    });
}

// ---------------------------------------------------------------- editing

void ProjectModel::schedule(int segId, bool isMerge, std::function<void()> run)
{
    PendingEdit& p = pendingEdits[segId];
    p.serial = ++editSerial;
    p.run = std::move(run);
    p.isMerge = isMerge;
    p.due = false;
    const quint64 serial = p.serial;
    postGuiDelayed([this, segId, serial]() { firePending(segId, serial); }, 500);
}

void ProjectModel::cancelPending(int segId)
{
    pendingEdits.erase(segId);
}

void ProjectModel::firePending(int segId, quint64 serial)
{
    auto it = pendingEdits.find(segId);
    if (it == pendingEdits.end() || it->second.serial != serial)
        return;
    it->second.due = true;
    runDuePending();
}

void ProjectModel::runDuePending()
{
    // One edit step at a time: each works on the results of the one before.
    while (editSteps == 0) {
        auto it = pendingEdits.begin();
        while (it != pendingEdits.end() && !it->second.due && !drainingEdits)
            ++it;
        if (it == pendingEdits.end())
            break;
        auto run = std::move(it->second.run);
        pendingEdits.erase(it);
        run();
    }
    if (drainingEdits && editSteps == 0 && pendingEdits.empty()) {
        drainingEdits = false;
        editWaiters.clear();
        finishClose();
        return;
    }
    if (editSteps == 0 && pendingEdits.empty() && !editWaiters.empty()) {
        auto waiters = std::move(editWaiters);
        editWaiters.clear();
        for (auto& fn : waiters)
            fn();
    }
}

void ProjectModel::whenEditsWritten(std::function<void()> fn)
{
    if (editSteps == 0 && pendingEdits.empty()) {
        fn();
        return;
    }
    // Typing that still waits for its delay is written now, before what needs it.
    editWaiters.push_back(std::move(fn));
    for (auto& [id, p] : pendingEdits)
        p.due = true;
    runDuePending();
}

void ProjectModel::segTextChanged(int idx, int csp, QString text)
{
    if (closed)
        return;
    ProjectSeg copy;
    if (idx >= 0 && idx < segs.size())
        copy = segs[idx];
    std::string t = text.toStdString();
    if (t == copy.text) {
        // Back to the stored text: an edit still waiting would write an older one.
        auto it = pendingEdits.find(copy.id);
        if (it != pendingEdits.end() && !it->second.isMerge)
            pendingEdits.erase(it);
        return;
    }
    const bool atEnd = csp == text.length();
    scheduleEdit(copy.id, t, atEnd);
}

void ProjectModel::scheduleEdit(int segId, const std::string& text, bool atEnd)
{
    schedule(segId, false, [this, segId, text, atEnd]() { runEdit(segId, text, atEnd); });
    pendingEdits[segId].text = text;
}

void ProjectModel::initSegText(QString text)
{
    // The first bubble goes on with the cursor after the text typed so far.
    if (segs.isEmpty())
        segTextChanged(-1, text.length(), text);
}

void ProjectModel::runEdit(int segId, const std::string& text, bool atEnd)
{
    ProjectSeg base;
    if (segId == 0 && !segs.isEmpty())
        return; // the first text of an empty project, which is not empty any more
    if (segId != 0) {
        int row = rowOfSeg(segId);
        if (row < 0)
            return;
        base = segs[row];
    }
    setIsLoading(true);
    setFocusSegTextCursor(atEnd ? INT_MAX : 0);
    ++editSteps;
    runWorker([this, base, text]() {
        std::vector<ProjectSeg> out;
        bool ok = project.db().splitTextToSegs(base, text, out);
        QString error = ok ? QString() : fromUtf8(project.db().lastError());
        if (ok && base.id != 0 && !out.empty() && isBlankText(out.front().text)) {
            // Emptied: its old audio must not play or export any more.
            project.removeSegAudio(base.id);
            project.db().updateSegResult(out.front(), 0, 0);
        }
        postGui([this, id = base.id, ok, error, out, text]() { editDone(id, ok, error, out, text); });
    });
}

void ProjectModel::editDone(int baseId, bool ok, const QString& error, const std::vector<ProjectSeg>& out,
                            const std::string& written)
{
    --editSteps;
    setIsLoading(false);
    if (!ok) {
        showAlert(error);
    } else if (!out.empty()) {
        const int n = int(out.size());
        if (baseId == 0) {
            const int first = segs.size();
            for (const ProjectSeg& s : out)
                segs.append(s);
            segsModel->updateInsert(first, n);
            moveFirstTextOn(out, written);
            focusNow(out.back().id);
        } else {
            int row = rowOfSeg(baseId);
            if (row < 0) {
                reloadSegs();
            } else {
                segs[row] = out.front();
                if (n > 1) {
                    // The bubble now shows the first line only: typing that
                    // still waits holds the lines that were just split off.
                    auto waiting = pendingEdits.find(baseId);
                    if (waiting != pendingEdits.end() && !waiting->second.isMerge)
                        pendingEdits.erase(waiting);
                    segsModel->update(row, 1);
                    for (int i = 1; i < n; ++i)
                        segs.insert(row + i, out[size_t(i)]);
                    segsModel->updateInsertRows(row + 1, n - 1);
                    // The typing goes on in the last new bubble at once.
                    focusNow(out.back().id);
                }
            }
        }
    }
    runDuePending();
}

void ProjectModel::moveFirstTextOn(const std::vector<ProjectSeg>& out, const std::string& written)
{
    // Keys typed into the empty project's bubble while its first text was
    // written wait as an edit of "no segment": they belong to the new bubbles.
    auto waiting = pendingEdits.find(0);
    if (waiting == pendingEdits.end() || waiting->second.isMerge || out.empty())
        return;
    const std::string later = waiting->second.text;
    pendingEdits.erase(waiting);
    int target = 0;
    std::string text;
    if (out.size() == 1) {
        target = out.front().id;
        text = later;
    } else if (later.compare(0, written.size(), written) == 0) {
        // Typed on after the last line: that line goes on.
        const size_t lf = written.rfind('\n');
        target = out.back().id;
        text = written.substr(lf == std::string::npos ? 0 : lf + 1) + later.substr(written.size());
    }
    if (target == 0)
        return;
    scheduleEdit(target, text, true);
    pendingEdits[target].due = true;
}

void ProjectModel::mergeSeg(int idx, QString text)
{
    if (closed || idx < 1 || idx >= segs.size())
        return;
    const int removedId = segs[idx].id;
    const std::string baseline = segs[idx].text;
    std::string t = text.toStdString();
    schedule(removedId, true, [this, removedId, baseline, t]() { runMerge(removedId, baseline, t); });
}

void ProjectModel::runMerge(int removedId, const std::string& baseline, const std::string& text)
{
    const int row = rowOfSeg(removedId);
    if (row < 1)
        return;
    ProjectSeg kept = segs[row - 1];
    auto keptEdit = pendingEdits.find(kept.id);
    if (keptEdit != pendingEdits.end() && !keptEdit->second.isMerge) {
        // The segment in front has typing of its own waiting: write it first
        // and merge into its result.
        auto run = std::move(keptEdit->second.run);
        pendingEdits.erase(keptEdit);
        schedule(removedId, true, [this, removedId, baseline, text]() { runMerge(removedId, baseline, text); });
        pendingEdits[removedId].due = true;
        run();
        return;
    }
    // A merge into this segment since the text was taken: the stored text is newer.
    const std::string added = segs[row].text == baseline ? text : segs[row].text;
    setIsLoading(true);
    ++editSteps;
    runWorker([this, kept, removedId, added]() mutable {
        bool ok = project.db().mergeSegText(kept, removedId, added,
                                            [this](int id) { project.removeSegAudio(id); });
        QString error = ok ? QString() : fromUtf8(project.db().lastError());
        postGui([this, kept, removedId, ok, error]() { mergeDone(kept.id, removedId, ok, error, kept); });
    });
}

void ProjectModel::mergeDone(int keptId, int removedId, bool ok, const QString& error, const ProjectSeg& kept)
{
    --editSteps;
    setIsLoading(false);
    if (!ok) {
        showAlert(error);
        // The removed row may be gone already: show what is stored.
        reloadSegs();
    } else {
        int row = rowOfSeg(removedId);
        if (row >= 0) {
            segs.removeAt(row);
            segsModel->updateRemoveRow(row);
        }
        int keptRow = rowOfSeg(keptId);
        if (keptRow >= 0) {
            segs[keptRow] = kept;
            segsModel->update(keptRow, 1);
        }
        setFocusSegTextCursor(INT_MAX);
        focusNow(keptId);
    }
    runDuePending();
}

void ProjectModel::reloadSegs()
{
    ++editSteps;
    setIsLoading(true);
    runWorker([this]() {
        QList<ProjectSeg> loaded;
        bool ok = project.db().loadSegs([&](const ProjectSeg& s) { loaded.append(s); });
        QString error = ok ? QString() : fromUtf8(project.db().lastError());
        postGui([this, ok, error, loaded]() {
            --editSteps;
            setIsLoading(false);
            if (ok) {
                segs = loaded;
                segsModel->updateReset();
            } else {
                showError(error);
            }
            runDuePending();
        });
    });
}

void ProjectModel::removeSeg(int idx)
{
    if (closed || idx < 0 || idx >= segs.size())
        return;
    const int id = segs[idx].id;
    showMsgboxYesNo(
        MessageBoxContext::instance(), QString(), tr("IDS_CONFIRM_TO_REMOVE_SEG?"),
        MessageBoxContext::guarded(this,
                                   [this, id]() {
                                       if (rowOfSeg(id) < 0 || closed)
                                           return;
                                       cancelPending(id);
                                       runRemove(id);
                                   }),
        nullptr, MessageBoxContext::Question, tr("Yes"), tr("No"));
}

void ProjectModel::runRemove(int segId)
{
    ++editSteps;
    runWorker([this, segId]() {
        bool ok = project.db().deleteSeg(segId, [this](int i) { project.removeSegAudio(i); });
        QString error = ok ? QString() : fromUtf8(project.db().lastError());
        postGui([this, segId, ok, error]() {
            --editSteps;
            const int row = rowOfSeg(segId);
            if (!ok) {
                showError(error);
            } else if (row >= 0) {
                segs.removeAt(row);
                segsModel->updateRemoveRow(row);
            }
            runDuePending();
        });
    });
}

void ProjectModel::segSetting(int idx)
{
    if (idx < 0 || idx >= segs.size())
        return;
    const ProjectSeg& s = segs[idx];
    ProjectVoice v;
    auto it = voices.find(s.voice_id);
    if (it != voices.end())
        v = it->second;
    QVariantMap m;
    m["idx"] = idx;
    m["id"] = s.id;
    m["srate"] = double(s.srate != 0 ? s.srate : v.srate);
    m["voice_id"] = s.voice_id;
    m["voice"] = installedVoice(v.uid, v.spk);
    m["voice_info"] = QStringLiteral("%1 (%2)").arg(fromUtf8(v.name), fromUtf8(v.native));
    setCurrentSettingSeg(m);
}

void ProjectModel::cancelSegSetting()
{
    setCurrentSettingSeg(QVariantMap());
}

void ProjectModel::okSegSetting(int idx, bool isDefaultVoice, LocalVoice voice, float srate)
{
    // The dialog's segment is the one of its id: rows move under an open dialog.
    const int segId = settingSeg.contains("id") ? settingSeg.value("id").toInt()
                                                : (idx >= 0 && idx < segs.size() ? segs[idx].id : 0);
    if (closed || rowOfSeg(segId) < 0)
        return;
    const float defaultRate = voices[0].srate;
    ++editSteps;
    runWorker([this, segId, isDefaultVoice, voice, srate, defaultRate]() {
        ProjectDb& db = project.db();
        SegSettingResult r;
        bool found = false;
        // Only voice and rate change: the stored text may be newer than the page's.
        if (!db.loadSeg(segId, r.seg, found)) {
            r.error = fromUtf8(db.lastError());
        } else if (!found) {
            r.gone = true;
        } else if (isDefaultVoice) {
            r.seg.voice_id = 0;
            r.seg.srate = std::fabs(defaultRate - srate) < 0.001f ? 0.0f : srate;
        } else {
            int id = db.findVoiceId(voice);
            if (id == 0 && voice.uid.empty()) {
                r.invalidVoice = true;
            } else if (id == 0) {
                int maxId = db.maxVoiceId();
                id = maxId < 0 ? 0 : db.addVoice(voice, ProjectFolder::voiceColor(maxId + 1));
                if (id <= 0 || !db.loadVoices([&r](const ProjectVoice& v) { r.voice = v; }, id))
                    id = -1;
            }
            if (id < 0)
                r.error = fromUtf8(db.lastError());
            r.seg.voice_id = id;
            r.seg.srate = srate;
        }
        if (found && r.error.isEmpty() && !r.invalidVoice && !db.updateSeg(r.seg))
            r.error = fromUtf8(db.lastError());
        postGui([this, segId, r]() { segSettingDone(segId, r); });
    });
}

void ProjectModel::segSettingDone(int segId, const SegSettingResult& r)
{
    --editSteps;
    const bool ownDialog = settingSeg.value("id").toInt() == segId;
    if (r.voice.id > 0)
        voices[r.voice.id] = r.voice;
    if (r.invalidVoice) {
        showError(tr("IDS_INVALID_VOICE"), [this, segId]() {
            if (settingSeg.value("id").toInt() != segId)
                return;
            QVariantMap m = settingSeg;
            m["select_voice"] = true;
            setCurrentSettingSeg(m);
        });
    } else if (!r.error.isEmpty()) {
        showError(r.error);
    } else {
        const int row = rowOfSeg(segId);
        if (row >= 0 && !r.gone) {
            segs[row].voice_id = r.seg.voice_id;
            segs[row].srate = r.seg.srate;
            segs[row].modified = r.seg.modified;
            segsModel->update(row, 1);
        }
        if (ownDialog)
            setCurrentSettingSeg(QVariantMap());
    }
    runDuePending();
}

void ProjectModel::openProjSetting()
{
    const ProjectVoice& v = voices[0];
    QVariantMap m;
    m["setting"] = true;
    m["projectName"] = name;
    m["srate"] = double(v.srate);
    m["voice"] = installedVoice(v.uid, v.spk);
    setProjSettingInfo(m);
}

void ProjectModel::openProjSettingResult(bool res, QString newName, float srate, LocalVoice voice)
{
    setProjSettingInfo(QVariantMap());
    if (!res || closed)
        return;
    if (newName.size() > ProjectFolder::maxNameLength) {
        showError(tr("IDS_PROJECT_NAME_TOO_LONG"));
        return;
    }
    const ProjectVoice& def = voices[0];
    const bool voiceChanged =
        !(voice.uid == def.uid && voice.spk == def.spk && std::fabs(def.srate - srate) < 0.1f);
    const std::string utf8Name = newName.toStdString();
    ++editSteps;
    runWorker([this, utf8Name, voiceChanged, voice, srate]() {
        QString error;
        bool saved = false;
        ProjectVoice def;
        std::map<int, int64_t> stamps;
        project.setProjectName(utf8Name);
        if (!project.saveManifest()) {
            error = fromUtf8(project.error());
        } else {
            saved = true;
            ProjectDb& db = project.db();
            if (voiceChanged &&
                (!db.saveDefaultVoice(voice, srate, ProjectFolder::voiceColor(0)) ||
                 !db.loadVoices([&def](const ProjectVoice& v) { def = v; }, 0) ||
                 !db.loadSegs([&stamps](const ProjectSeg& s) { stamps[s.id] = s.modified; })))
                error = fromUtf8(db.lastError());
        }
        postGui([this, utf8Name, saved, voiceChanged, error, def, stamps]() {
            --editSteps;
            if (saved)
                setProjectName(fromUtf8(utf8Name));
            if (!error.isEmpty()) {
                showError(error);
            } else if (voiceChanged) {
                voices[0] = def;
                setDefaultVoice(voiceMap(voices[0]));
                // The stored stamps make the default voice's segments due again.
                for (int i = 0; i < segs.size(); ++i) {
                    auto it = stamps.find(segs[i].id);
                    if (it != stamps.end() && it->second != segs[i].modified) {
                        segs[i].modified = it->second;
                        segsModel->update(i, 1);
                    }
                }
            }
            runDuePending();
        });
    });
}

// ---------------------------------------------------------------- conversion

bool ProjectModel::isSegConverting(int idx)
{
    if (idx < 0 || idx >= segs.size())
        return false;
    QMutexLocker lock(&jobsMutex);
    auto it = jobs.find(segs[idx].id);
    return it != jobs.end() && it->second.doneCount < it->second.sentenceCount;
}

void ProjectModel::convertSegs(const QList<ProjectSeg>& list, const QString& mergedPath,
                               std::function<void()> completion)
{
    setConvertingCounter(1);
    std::vector<int> ids;
    for (const ProjectSeg& s : list)
        ids.push_back(s.id);
    queueSegJobs(list, [this, ids, mergedPath, completion]() {
        setConvertingCounter(0);
        if (leaving())
            return;
        if (mergedPath.isEmpty()) {
            completion();
            return;
        }
        setIsLoading(true);
        runWorker([this, ids, mergedPath, completion]() {
            std::vector<std::string> inputs;
            for (int id : ids) {
                fs::path wav = project.segWavPath(id);
                if (pathExists(wav))
                    inputs.push_back(pathToUtf8(wav));
            }
            double seconds = 0;
            std::string error;
            bool ok = mergeWavFiles(inputs, mergedPath.toStdString(), &seconds, &error);
            postGui([this, ok, error, completion]() {
                setIsLoading(false);
                if (leaving())
                    return;
                if (ok)
                    completion();
                else
                    showError(fromUtf8(error));
            });
        });
    });
}

void ProjectModel::queueSegJobs(const QList<ProjectSeg>& list, std::function<void()> completion)
{
    raiseConverting();
    setConvertingProgress(QString());
    const quint64 run = ++runTag;
    runCompletion = std::move(completion);
    {
        QMutexLocker lock(&jobsMutex);
        jobs.clear();
        finished = false;
        sentenceTotal = sentenceDone = 0;
    }
    joinsInFlight = 0;
    redoSegs.clear();
    if (pool.isIdle()) {
        startRun(run, list);
        return;
    }
    // Children of an earlier run still write sentence files: start once they end.
    waitingRun = run;
    waitForIdlePool([this, run, list]() {
        if (waitingRun != run || runTag != run)
            return;
        waitingRun = 0;
        startRun(run, list);
    });
}

void ProjectModel::startRun(quint64 run, const QList<ProjectSeg>& list, bool asListed)
{
    std::map<std::pair<std::string, int>, QVariant> installed;
    // Rows by id, looked up once for the whole list.
    std::unordered_map<int, int> rowById;
    if (!asListed) {
        for (int row = 0; row < segs.size(); ++row)
            rowById.emplace(int(segs[row].id), row);
    }
    for (const ProjectSeg& listed : list) {
        // The stored state of the segment, in case it changed since the list was taken.
        auto stored = rowById.find(int(listed.id));
        ProjectSeg s = stored != rowById.end() ? segs[stored->second] : listed;
        if (s.converted > s.modified && pathExists(project.segWavPath(s.id))) {
            QMutexLocker lock(&jobsMutex);
            jobs[s.id] = SegJobState{};
            continue;
        }
        std::vector<std::string> sentences = splitSentences(s.text);
        // Blanks alone say nothing.
        sentences.erase(std::remove_if(sentences.begin(), sentences.end(), isBlankText), sentences.end());
        const int n = int(sentences.size());
        if (n == 0) {
            {
                QMutexLocker lock(&jobsMutex);
                jobs[s.id] = SegJobState{};
            }
            clearStaleAudio(s.id);
            continue;
        }
        const ProjectVoice& v = voices[s.voice_id];
        auto key = std::make_pair(v.uid, int(v.spk));
        auto found = installed.find(key);
        if (found == installed.end())
            found = installed.emplace(key, installedVoice(v.uid, v.spk)).first;
        if (!found->second.isValid()) {
            return finishConversion(run, false,
                                    tr("Voice %1(%2) is unavailable. Please select another voice.")
                                        .arg(fromUtf8(v.name), fromUtf8(v.native)));
        }
        const LocalVoice lv = found->second.value<LocalVoice>();
        {
            QMutexLocker lock(&jobsMutex);
            jobs[s.id] = SegJobState{n, 0};
            sentenceTotal += n;
        }
        float rate = s.srate;
        if (s.voice_id == 0 && s.srate == 0)
            rate = voices[0].srate;
        const fs::path dir = project.segSentencesDir(s.id);
        for (int i = 0; i < n; ++i) {
            std::string wav = pathToUtf8(dir / (std::to_string(i) + ".wav"));
            pool.enqueue(ConvertRequest::make(lv, rate, {sentences[size_t(i)]}, std::move(wav)),
                         [this, run, s, n](bool ok, std::string error, double) {
                             onSentenceDone(run, s, n, ok, error);
                         });
            if (endedRun == run)
                return; // a start failed at once and ended the run
        }
    }
    raiseConverting();
    setConvertingProgress(tr("Converting..."));
    bool complete;
    {
        QMutexLocker lock(&jobsMutex);
        complete = sentenceDone >= sentenceTotal;
    }
    if (complete)
        finishConversion(run, true, QString());
}

void ProjectModel::clearStaleAudio(int segId)
{
    const int row = rowOfSeg(segId);
    if (row < 0 || (segs[row].seconds == 0 && !pathExists(project.segWavPath(segId))))
        return;
    segs[row].seconds = 0;
    segs[row].sentences = 0;
    // Ahead of any join of the run on the worker, which then leaves the segment out.
    runWorker([this, copy = segs[row]]() mutable {
        project.removeSegAudio(copy.id);
        if (!project.db().updateSegResult(copy, 0, 0))
            postGui([this, error = fromUtf8(project.db().lastError())]() {
                if (!leaving())
                    showError(tr("IDS_ERROR_OCCURED.") + error);
            });
    });
}

void ProjectModel::onSentenceDone(quint64 run, const ProjectSeg& seg, int n, bool ok, const std::string& error)
{
    if (run != runTag || run == endedRun)
        return;
    {
        QMutexLocker lock(&jobsMutex);
        if (finished)
            return;
    }
    bool segComplete = false, allComplete = false;
    int64_t done, total;
    {
        QMutexLocker lock(&jobsMutex);
        if (ok) {
            SegJobState& st = jobs[seg.id];
            st.doneCount += 1;
            sentenceDone += 1;
            segComplete = st.doneCount >= st.sentenceCount;
            allComplete = sentenceDone >= sentenceTotal;
        }
        done = sentenceDone;
        total = sentenceTotal;
    }
    // The counts of this very completion: later ones may come before the post runs.
    postGui([this, run, done, total]() {
        if (run != runTag)
            return;
        raiseConverting();
        setConvertingProgress(tr("Converting...%1%").arg(total ? done * 100 / total : 0));
    });
    if (!ok)
        return finishConversion(run, false, tr("IDS_ERROR_OCCURED.") + fromUtf8(error));

    if (segComplete) {
        // The join and its record run on the worker, so the page stays smooth.
        ++joinsInFlight;
        runWorker([this, run, seg, n]() {
            const fs::path dir = project.segSentencesDir(seg.id);
            std::string error;
            // The sentences were made from seg: a segment changed since then
            // keeps no audio of its older text.
            ProjectSeg stored;
            bool found = false;
            bool ok = project.db().loadSeg(seg.id, stored, found);
            const bool stale = ok && (!found || stored.text != seg.text || stored.modified != seg.modified ||
                                      stored.voice_id != seg.voice_id || stored.srate != seg.srate);
            if (!ok) {
                error = project.db().lastError();
            } else if (stale) {
                removeAll(dir);
            } else {
                std::vector<std::string> inputs;
                for (int i = 0; i < n; ++i) {
                    fs::path p = dir / (std::to_string(i) + ".wav");
                    if (pathExists(p))
                        inputs.push_back(pathToUtf8(p));
                }
                double seconds = 0;
                ok = mergeWavFiles(inputs, pathToUtf8(project.segWavPath(seg.id)), &seconds, &error);
                if (ok) {
                    removeAll(dir);
                    ok = project.db().updateSegResult(stored, seconds, n);
                    if (!ok)
                        error = project.db().lastError();
                }
            }
            postGui([this, run, stored, ok, stale, found, error]() {
                segJoined(run, stored, ok, stale && found, fromUtf8(error));
            });
        });
        return;
    }
    if (allComplete)
        finishConversion(run, true, QString());
}

void ProjectModel::segJoined(quint64 run, const ProjectSeg& seg, bool ok, bool redo, const QString& error)
{
    const int row = rowOfSeg(seg.id);
    if (ok && !redo && row >= 0) {
        segs[row].converted = seg.converted;
        segs[row].seconds = seg.seconds;
        segs[row].sentences = seg.sentences;
    }
    if (run != runTag || run == endedRun)
        return;
    --joinsInFlight;
    if (!ok)
        return finishConversion(run, false, tr("IDS_ERROR_OCCURED.") + error);
    if (redo)
        redoSegs.append(seg);
    bool allComplete;
    {
        QMutexLocker lock(&jobsMutex);
        allComplete = sentenceDone >= sentenceTotal;
    }
    if (!allComplete || joinsInFlight != 0)
        return;
    if (!redoSegs.isEmpty()) {
        // Segments changed during the run are converted again from their stored text.
        const QList<ProjectSeg> again = std::move(redoSegs);
        redoSegs.clear();
        startRun(run, again, true);
        return;
    }
    finishConversion(run, true, QString());
}

void ProjectModel::finishConversion(quint64 run, bool ok, const QString& message)
{
    pool.dropPending();
    if (!ok)
        endedRun = run;
    postGui([this, run, ok, message]() {
        if (run != runTag)
            return;
        setConvertingCounter(0);
        setConvertingProgress(QString());
        bool first;
        {
            QMutexLocker lock(&jobsMutex);
            first = !finished;
            finished = true;
            jobs.clear();
        }
        if (!first)
            return;
        auto completion = std::move(runCompletion);
        runCompletion = nullptr;
        if (leaving())
            return;
        if (ok) {
            if (completion)
                completion();
        } else {
            showError(message);
        }
    });
}

void ProjectModel::waitForIdlePool(std::function<void()> then, bool checkNow)
{
    if (checkNow && pool.isIdle()) {
        then();
        return;
    }
    auto* timer = new QTimer(this);
    timer->setInterval(300);
    connect(timer, &QTimer::timeout, this, [this, timer, then]() {
        if (!pool.isIdle())
            return;
        timer->stop();
        timer->deleteLater();
        then();
    });
    timer->start();
}

void ProjectModel::cancelConvert()
{
    if (convertingCounter == 0)
        return;
    setIsLoading(true);
    pool.dropPending();
    waitingRun = 0;
    // Whatever was to follow the conversion (playing, exporting) stays undone,
    // even when the running children still complete the run.
    runCompletion = nullptr;
    waitForIdlePool([this]() {
        setIsLoading(false);
        // Whatever the run still had posted counts no more.
        ++runTag;
        runCompletion = nullptr;
        setConvertingCounter(0);
        setConvertingProgress(QString());
        QMutexLocker lock(&jobsMutex);
        jobs.clear();
    });
}

// ---------------------------------------------------------------- preview and play-all

void ProjectModel::previewSeg(int idx)
{
    if (closed || idx < 0 || idx >= segs.size())
        return;
    player.stop();
    const int id = segs[idx].id;
    // Busy from the press on, while typing that still waits is written.
    setConvertingCounter(1);
    whenEditsWritten([this, id]() {
        const int row = rowOfSeg(id);
        if (leaving() || row < 0)
            return setConvertingCounter(0);
        queueSegJobs({segs[row]}, [this, id]() { startPreview(id); });
    });
}

void ProjectModel::startPreview(int segId)
{
    const fs::path wav = project.segWavPath(segId);
    if (!pathExists(wav))
        return; // a segment without text has nothing to play
    player.play(
        fromUtf8(pathToUtf8(wav)),
        [this](bool ok, const QString& message) {
            setPreviewingSegId(0);
            if (!ok)
                showError(message);
        },
        [this, segId]() { setPreviewingSegId(segId); });
}

void ProjectModel::stopPreview()
{
    player.stop();
}

void ProjectModel::playAll()
{
    if (closed)
        return;
    setConvertingCounter(1);
    whenEditsWritten([this]() {
        if (leaving())
            return setConvertingCounter(0);
        convertSegs(segs, fromUtf8(pathToUtf8(project.mergedWavPath())), [this]() { startPlayAll(); });
    });
}

void ProjectModel::startPlayAll()
{
    if (segs.isEmpty())
        return;
    if (!playTimer) {
        playTimer = new QTimer(this);
        playTimer->setInterval(500);
        connect(playTimer, &QTimer::timeout, this, &ProjectModel::playTick);
    }
    setPlayingTimeDisplay(QStringLiteral("00:00:00"));
    playList.clear();
    for (const ProjectSeg& s : segs)
        playList.append(PlayItem{s.id, s.seconds});
    setPlayingPaused(false);
    setPlayingProgress(0);
    const int first = segs.front().id;
    setPlayingSegId(first);
    setFocusSegId(0);
    focusLater(first);
    playTimer->start();
    const quint64 tag = ++playTag;
    player.play(
        fromUtf8(pathToUtf8(project.mergedWavPath())),
        [this, tag](bool ok, const QString& message) { endPlayAll(tag, ok, message); }, nullptr);
}

void ProjectModel::playTick()
{
    const double p = player.position();
    setPlayingTimeDisplay(playTimeText(p));
    const int at = playItemAt(playList, p);
    if (at >= 0 && playList[at].segId != playingId) {
        setPlayingSegId(playList[at].segId);
        focusLater(playList[at].segId);
    }
    setPlayingProgress(playProgressPercent(playList, p));
}

void ProjectModel::endPlayAll(quint64 tag, bool ok, const QString& message)
{
    if (tag != playTag)
        return;
    if (playTimer)
        playTimer->stop();
    setPlayingSegId(0);
    setPlayingPaused(false);
    if (!ok)
        showError(message);
}

void ProjectModel::movePlayingProgress(int progress)
{
    player.seek(playSeekSeconds(playList, progress));
}

void ProjectModel::playPauseResume(bool topause)
{
    player.setPause(topause);
    setPlayingPaused(topause);
}

void ProjectModel::stopPlayingAll()
{
    player.stop();
    setPlayingSegId(0);
}

// ---------------------------------------------------------------- export

void ProjectModel::exportSegs(QVariantMap settings)
{
    if (closed)
        return;
    const ExportSettings es = ExportSettings::fromMap(settings);
    if (es.localFolder().isEmpty()) {
        showError(tr("IDS_INVALID_SAVE_FOLDER"));
        return;
    }
    setConvertingCounter(1);
    whenEditsWritten([this, es]() {
        if (leaving())
            return setConvertingCounter(0);
        QList<ProjectSeg> list;
        QString merged;
        if (es.seg_id != 0) {
            for (const ProjectSeg& s : segs)
                if (s.id == es.seg_id)
                    list.append(s);
        } else {
            list = segs;
            merged = fromUtf8(pathToUtf8(project.mergedWavPath()));
        }
        convertSegs(list, merged, [this, es]() { runExport(es); });
    });
}

void ProjectModel::runExport(const ExportSettings& settings)
{
    if (leaving())
        return;
    setIsLoading(true);
    std::vector<ProjectSeg> list;
    for (const ProjectSeg& s : segs)
        if (settings.seg_id == 0 || s.id == settings.seg_id)
            list.push_back(s);
    // The worker reads its own copy of the voices.
    std::map<int, ProjectVoice> voiceCopy = voices;
    runWorker([this, settings, list, voiceCopy]() {
        const fs::path folder = utf8ToPath(settings.localFolder().toStdString());
        const fs::path target =
            uniquePath(folder / ExportSettings::exportFolderName(QDate::currentDate()).toStdString());
        QString error;
        bool ok = false, stopped = false;
        if (target.empty() || !createDirs(target)) {
            error = QStringLiteral("%1(%2)").arg(QString::fromLocal8Bit(std::strerror(errno)),
                                                 fromUtf8(pathToUtf8(target.empty() ? folder : target)));
        } else {
            ExportSources sources;
            sources.segWav = [this](int id) { return project.segWavPath(id); };
            sources.merged = project.mergedWavPath();
            VoiceLookup voiceOf = [voiceCopy](int id) {
                auto it = voiceCopy.find(id);
                return it == voiceCopy.end() ? ProjectVoice{} : it->second;
            };
            exportAudioAndText(sources, list, voiceOf, pathToUtf8(target), settings.audioExtension(),
                               settings.audio_merge != 0, settings.with_text, settings.textExtension(),
                               settings.with_speaker, exportStatus);
            ok = exportStatus.ok;
            stopped = exportStatus.stop;
            error = fromUtf8(exportStatus.error);
        }
        const QString path = fromUtf8(pathToUtf8(target));
        postGui([this, ok, stopped, error, path]() { exportDone(ok, stopped, error, path); });
    });
}

void ProjectModel::exportDone(bool ok, bool stopped, const QString& error, const QString& target)
{
    setIsLoading(false);
    if (stopped || leaving())
        return;
    if (!ok) {
        showError(error);
        return;
    }
    showAlert(tr("Exported Completed!"), [this, target]() {
        if (openFolder)
            openFolder(target);
    });
}
