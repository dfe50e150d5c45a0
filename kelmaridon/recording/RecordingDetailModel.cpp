#include "recording/RecordingDetailModel.h"

#include "common/AudioPlayer.h"
#include "common/FileUtils.h"
#include "common/MessageBoxContext.h"
#include "common/MyItemModel.h"
#include "common/PropertyValue.h"
#include "recording/PromptsDb.h"
#include "recording/TakeWav.h"
#include "recording/VoiceRecorder.h"

#include <QDateTime>

#include <algorithm>

RecordingDetailModel::RecordingDetailModel(QObject* parent)
    : QObject(parent), recorder(std::make_unique<VoiceRecorder>()), player(std::make_unique<AudioPlayer>())
{
    itemModel = new MyItemModel(this);
    itemModel->roles = {"idx", "rid", "rtext"};
    itemModel->rowCountFn = [this]() { return int(recorded.size()); };
    itemModel->dataFn = [this](int row, int, const QString& roleName) { return rowData(row, roleName); };
}

RecordingDetailModel::~RecordingDetailModel()
{
    // The recorder finishes a running take and drops its report; then the player stops.
    recorder.reset();
    player.reset();
    delete itemModel;
    itemModel = nullptr;
}

void RecordingDetailModel::setRecordingPath(const QString& value)
{
    if (assignProperty(recordingPath, value))
        emit recordingPathChanged();
}

void RecordingDetailModel::setRecordingName(const QString& value)
{
    if (assignProperty(recordingName, value))
        emit recordingNameChanged();
}

void RecordingDetailModel::setRecordingTimeDisplay(const QString& value)
{
    if (assignProperty(recordingTimeDisplay, value))
        emit recordingTimeDisplayChanged();
}

void RecordingDetailModel::setTotalItems(int value)
{
    if (assignProperty(totalItems, value))
        emit totalItemsChanged();
}

void RecordingDetailModel::setNextPromptId(int value)
{
    if (assignProperty(nextPromptId, value))
        emit nextPromptIdChanged();
}

void RecordingDetailModel::setNextPrompt(const QString& value)
{
    if (assignProperty(nextPrompt, value))
        emit nextPromptChanged();
}

void RecordingDetailModel::setNextPromptFinished(bool value)
{
    if (assignProperty(nextPromptFinished, value))
        emit nextPromptFinishedChanged();
}

void RecordingDetailModel::setRecordingId(int value)
{
    if (assignProperty(recordingId, value))
        emit recordingIdChanged();
}

void RecordingDetailModel::setPlayingId(int value)
{
    if (assignProperty(playingId, value))
        emit playingIdChanged();
}

void RecordingDetailModel::setEditPromptId(int value)
{
    if (assignProperty(editPromptId, value))
        emit editPromptIdChanged();
}

void RecordingDetailModel::setEditPrompt(const QString& value)
{
    if (assignProperty(editPrompt, value))
        emit editPromptChanged();
}

void RecordingDetailModel::setEditPromptFinished(bool value)
{
    if (assignProperty(editPromptFinished, value))
        emit editPromptFinishedChanged();
}

QVariant RecordingDetailModel::rowData(int row, const QString& roleName) const
{
    if (row < 0 || row >= int(recorded.size()))
        return QVariant();
    const RecordedPrompt& item = recorded[size_t(row)];
    if (roleName == QLatin1String("idx"))
        return row;
    if (roleName == QLatin1String("rid"))
        return int(item.id);
    if (roleName == QLatin1String("rtext"))
        return QString::fromStdString(item.text);
    return QVariant();
}

void RecordingDetailModel::showError(const QString& text)
{
    showMsgboxError(MessageBoxContext::instance(), QString(), text, nullptr, tr("OK"));
}

bool RecordingDetailModel::isTakeDone(int id) const
{
    return project.isOpen() && id > 0 && TakeWav::check(project.takePath(id));
}

void RecordingDetailModel::loadRecorded()
{
    std::vector<RecordedPrompt> rows;
    if (!project.db().recordedPrompts(rows)) {
        showError(QString::fromStdString(project.db().lastError()));
        return;
    }
    recorded = std::move(rows);
    itemModel->updateReset();
    setTotalItems(int(recorded.size()));
}

int RecordingDetailModel::loadNextPrompt()
{
    setNextPromptId(0);
    setNextPrompt(QString());
    setNextPromptFinished(false);
    std::string text;
    int64_t id = project.db().nextPrompt(text);
    if (id < 0) {
        showError(QString::fromStdString(project.db().lastError()));
        return -1;
    }
    if (id == 0) {
        emit noPrompts();
        return 0;
    }
    setNextPromptId(int(id));
    setNextPrompt(QString::fromStdString(text));
    setNextPromptFinished(isTakeDone(int(id)));
    return int(id);
}

void RecordingDetailModel::open()
{
    // The project must exist: a missing folder is reported, never made.
    if (!project.openExisting(recordingPath.toStdString())) {
        showError(QString::fromStdString(project.lastError()));
        emit toClose();
        return;
    }
    project.removeUnfinishedTakes();
    QString lang = QString::fromStdString(findPromptLang(project.lang()).native);
    setRecordingName(QStringLiteral("%1 - %2").arg(QString::fromStdString(project.name()), lang));
    setRecordingTimeDisplay(
        QDateTime::fromSecsSinceEpoch(project.modified()).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    loadRecorded();
    loadNextPrompt();
    if (recorded.empty())
        emit noItems();
}

QAbstractItemModel* RecordingDetailModel::recItemsItemModel()
{
    return itemModel;
}

void RecordingDetailModel::record(int id, DoneStep done)
{
    if (leaveIfGone())
        return;
    endTake();
    if (gone)
        return;
    setRecordingId(id);
    int serial = ++takeSerial;
    {
        std::lock_guard<std::mutex> lock(takesMutex);
        Take& take = takes[serial];
        take.id = id;
        take.done = std::move(done);
    }
    if (playsOutstanding > 0) {
        // The take would catch the end of the playback: it begins once the
        // player has reported its sound stopped.
        pendingSerial = serial;
        player->stop();
        return;
    }
    startTake(serial);
}

void RecordingDetailModel::startTake(int serial)
{
    int id = 0;
    {
        std::lock_guard<std::mutex> lock(takesMutex);
        auto it = takes.find(serial);
        if (it == takes.end())
            return;
        id = it->second.id;
    }
    recorder->start(pathToUtf8(project.takePath(id)), [this, serial](bool ok, QString message) {
        {
            std::lock_guard<std::mutex> lock(takesMutex);
            auto it = takes.find(serial);
            if (it == takes.end())
                return;
            it->second.ended = true;
            it->second.ok = ok;
            it->second.message = message;
        }
        invoker.post([this]() { settleTakes(); }, guiThread());
    });
    // A take that could not start has reported already.
    settleTakes();
}

bool RecordingDetailModel::endTake()
{
    if (pendingSerial) {
        // Never begun: nothing to keep or refuse.
        std::lock_guard<std::mutex> lock(takesMutex);
        takes.erase(pendingSerial);
        pendingSerial = 0;
    }
    recorder->stop();
    setRecordingId(0);
    return settleTakes();
}

bool RecordingDetailModel::settleTakes()
{
    std::vector<std::pair<int, Take>> ended;
    {
        std::lock_guard<std::mutex> lock(takesMutex);
        for (auto it = takes.begin(); it != takes.end();) {
            if (it->second.ended) {
                ended.emplace_back(it->first, std::move(it->second));
                it = takes.erase(it);
            } else {
                ++it;
            }
        }
    }
    bool allKept = true;
    for (auto& [serial, take] : ended)
        allKept = completeTake(serial, take) && allKept;
    return allKept;
}

bool RecordingDetailModel::completeTake(int serial, Take& take)
{
    bool current = serial == takeSerial;
    if (current)
        setRecordingId(0);
    // A take of a project that went away is neither kept nor reported on its own.
    if (leaveIfGone())
        return false;
    if (take.ok) {
        if (take.done)
            take.done(take.id);
        return true;
    }
    // A take whose writes failed is still capturing: end it.
    if (current)
        recorder->stop();
    showError(take.message);
    return false;
}

bool RecordingDetailModel::leaveIfGone()
{
    if (gone)
        return true;
    if (!project.isOpen() || project.stillThere())
        return false;
    gone = true;
    // Whatever runs ends without a word of its own: the take's part file has
    // no folder to go to.
    {
        std::lock_guard<std::mutex> lock(takesMutex);
        takes.clear();
    }
    pendingSerial = 0;
    recorder->stop();
    setRecordingId(0);
    player->stop();
    QString name = QString::fromStdString(project.name());
    if (name.isEmpty())
        name = recordingPath;
    showError(tr("The recording \"%1\" is no longer there: its folder was deleted or moved.")
                  .arg(name.toHtmlEscaped()));
    emit toClose();
    return true;
}

void RecordingDetailModel::markRecorded(int id)
{
    if (!project.db().setRecorded(id)) {
        showError(QString::fromStdString(project.db().lastError()));
        return;
    }
    loadRecorded();
}

void RecordingDetailModel::recordNextPrompt()
{
    if (nextPromptId == 0 || !project.isOpen())
        return;
    // The step acts on the prompt it recorded, whatever is shown when it runs.
    record(nextPromptId, [this](int id) {
        bool done = isTakeDone(id);
        if (nextPromptId == id)
            setNextPromptFinished(done);
        if (done)
            markRecorded(id);
    });
}

void RecordingDetailModel::recordEditPrompt()
{
    if (editPromptId == 0 || !project.isOpen())
        return;
    record(editPromptId, [this](int id) {
        if (editPromptId == id)
            setEditPromptFinished(isTakeDone(id));
    });
}

void RecordingDetailModel::stopRecording()
{
    if (leaveIfGone())
        return;
    endTake();
}

void RecordingDetailModel::recordDone()
{
    if (leaveIfGone())
        return;
    endTake();
    player->stop();
    if (project.isOpen() && !gone)
        loadNextPrompt();
}

void RecordingDetailModel::editRecord(int idx)
{
    if (idx < 0 || idx >= int(recorded.size()) || leaveIfGone())
        return;
    const RecordedPrompt& item = recorded[size_t(idx)];
    setEditPromptId(int(item.id));
    setEditPrompt(QString::fromStdString(item.text));
    setEditPromptFinished(isTakeDone(int(item.id)));
}

void RecordingDetailModel::playRecord(int id)
{
    // Nothing plays into a take, or one about to begin.
    if (id <= 0 || !project.isOpen() || recordingId != 0 || leaveIfGone())
        return;
    // The player reads the whole file: a FIFO, a device or a huge file never reaches it.
    std::filesystem::path take = project.takePath(id);
    std::string why;
    if (!TakeWav::check(take, &why)) {
        showError(tr("Invalid take: %1 (%2)").arg(QString::fromStdString(why), QString::fromStdString(pathToUtf8(take))));
        return;
    }
    ++playsOutstanding;
    player->play(
        QString::fromStdString(pathToUtf8(take)),
        [this, id](bool ok, QString message) { playEnded(id, ok, message); },
        [this, id]() { setPlayingId(id); });
}

void RecordingDetailModel::playEnded(int id, bool ok, const QString& message)
{
    --playsOutstanding;
    if (playingId == id)
        setPlayingId(0);
    if (!ok && !gone)
        showError(message);
    if (playsOutstanding == 0 && pendingSerial) {
        int serial = pendingSerial;
        pendingSerial = 0;
        startTake(serial);
    }
}

void RecordingDetailModel::stopPlaying()
{
    player->stop();
}

void RecordingDetailModel::todoNextPrompt()
{
    if (leaveIfGone())
        return;
    // A take that was not kept leaves the prompt as it is: its message says why.
    bool kept = endTake();
    player->stop();
    if (!project.isOpen() || gone || !kept)
        return;
    if (nextPromptId != 0) {
        if (isTakeDone(nextPromptId)) {
            markRecorded(nextPromptId);
        } else if (!project.db().removePrompt(nextPromptId)) {
            // Left without a take, it is skipped for good.
            showError(QString::fromStdString(project.db().lastError()));
        }
    }
    // A database error has been reported; it is not "no more prompts".
    if (loadNextPrompt() == 0)
        showMsgboxOk(MessageBoxContext::instance(), QString(), tr("IDS_NO_PROMPTS."), nullptr,
                     MessageBoxContext::Alert, tr("OK"));
}

void RecordingDetailModel::removeRecord(int idx)
{
    if (idx < 0 || idx >= int(recorded.size()) || leaveIfGone())
        return;
    // The answer may come after the list changed: the entry is found again by its id.
    int id = int(recorded[size_t(idx)].id);
    showMsgboxYesNo(MessageBoxContext::instance(), QString(), tr("IDS_CONFIRM_REMOVE_RECORD?"),
                    MessageBoxContext::guarded(this, [this, id]() { removeConfirmed(id); }), nullptr,
                    MessageBoxContext::Question, tr("Yes"), tr("No"));
}

void RecordingDetailModel::removeConfirmed(int id)
{
    if (leaveIfGone())
        return;
    auto it = std::find_if(recorded.begin(), recorded.end(), [&](const RecordedPrompt& e) { return e.id == id; });
    if (it == recorded.end())
        return;
    int row = int(it - recorded.begin());
    if (!project.db().removePrompt(id)) {
        showError(QString::fromStdString(project.db().lastError()));
        return;
    }
    recorded.erase(recorded.begin() + row);
    itemModel->updateRemoveRow(row);
    setTotalItems(int(recorded.size()));
}
