#include "voices/VoiceSelectorModel.h"

#include "common/FileDownloader.h"
#include "common/FileUtils.h"
#include "common/MessageBoxContext.h"
#include "common/MyItemModel.h"
#include "common/TextUtils.h"
#include "voices/VoiceBasics.h"
#include "voices/VoiceServerClient.h"
#include "voices/VoiceStore.h"
#include "voices/VoiceTask.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>

namespace fs = std::filesystem;

namespace {

QString text(const std::string& s)
{
    return QString::fromStdString(s);
}

QString networkError(std::string error)
{
    // A download names its network failures itself.
    const std::string named = "Network connection error!<br/>";
    if (error.rfind(named, 0) == 0)
        error.erase(0, named.size());
    return VoiceSelectorModel::tr("Network connection error!") + "<br/>" + text(error);
}

int compareInts(int64_t a, int64_t b)
{
    return a < b ? -1 : (a > b ? 1 : 0);
}

// The key of a sort: negative when a comes first, positive when b does, 0 for a tie.
// std::string::compare orders by unsigned bytes, a proper prefix first.
template <typename Voice>
int compareKey(const Voice& a, const Voice& b, VoiceSelectorModel::Sort sort)
{
    switch (sort) {
    case VoiceSelectorModel::NameAsc:
        return a.name.compare(b.name);
    case VoiceSelectorModel::NameDesc:
        return b.name.compare(a.name);
    case VoiceSelectorModel::SexAsc:
        return compareInts(a.sex, b.sex);
    case VoiceSelectorModel::SexDesc:
        return compareInts(b.sex, a.sex);
    case VoiceSelectorModel::QualityAsc:
        return compareInts(a.quality, b.quality);
    case VoiceSelectorModel::QualityDesc:
        return compareInts(b.quality, a.quality);
    default:
        return 0;
    }
}

std::string sampleKey(const std::string& uid, int spk)
{
    return uid + "|" + std::to_string(spk);
}

bool sameSpeaker(const LocalVoice& a, const LocalVoice& b)
{
    return a.uid == b.uid && a.spk == b.spk && a.dir == b.dir;
}

int findSpeaker(const std::vector<LocalVoice>& list, const LocalVoice& voice)
{
    for (size_t i = 0; i < list.size(); ++i) {
        if (sameSpeaker(list[i], voice))
            return int(i);
    }
    return -1;
}

} // namespace

bool compareServerVoices(const ServerVoice& a, const ServerVoice& b, VoiceSelectorModel::Sort sort)
{
    int c = compareKey(a, b, sort);
    if (c != 0)
        return c < 0;
    return a.id < b.id;
}

bool compareLocalVoices(const LocalVoice& a, const LocalVoice& b, VoiceSelectorModel::Sort sort)
{
    int c;
    if (sort == VoiceSelectorModel::LangAsc)
        c = a.native.compare(b.native);
    else if (sort == VoiceSelectorModel::LangDesc)
        c = b.native.compare(a.native);
    else
        c = compareKey(a, b, sort);
    if (c != 0)
        return c < 0;
    return a.installed > b.installed;
}

std::vector<ServerVoice> searchVoicesByName(const std::vector<ServerVoice>& voices, const QString& kw)
{
    QString key = kw.toLower().trimmed();
    if (key.isEmpty())
        return voices;
    std::vector<ServerVoice> out;
    for (const ServerVoice& v : voices) {
        if (text(v.name).toLower().contains(key))
            out.push_back(v);
    }
    return out;
}

VoiceSelectorModel::VoiceSelectorModel(QObject* parent) : QObject(parent)
{
    langsModel = new MyItemModel(this);
    langsModel->roles = {"lang", "eng_name", "native_name"};
    langsModel->rowCountFn = [this]() { return int(langs.size()); };
    langsModel->dataFn = [this](int row, int role, QString) -> QVariant {
        const ServerLang& l = langs[size_t(row)];
        switch (role) {
        case 0: return text(l.lang);
        case 1: return text(l.name);
        case 2: return text(l.native);
        default: return QVariant();
        }
    };

    serverModel = new MyItemModel(this);
    serverModel->roles = {"uid", "spk", "name", "quality", "sex", "voice", "sampleLoading"};
    serverModel->rowCountFn = [this]() { return int(shownVoices.size()); };
    serverModel->dataFn = [this](int row, int role, QString) -> QVariant {
        const ServerVoice& v = shownVoices[size_t(row)];
        switch (role) {
        case 0: return text(v.uid);
        case 1: return int(v.spk);
        case 2: return text(v.name);
        case 3: return int(v.quality);
        case 4: return int(v.sex);
        case 5: return QVariant::fromValue(v);
        case 6: return !loadingSampleKey.empty() && loadingSampleKey == sampleKey(v.uid, v.spk);
        default: return QVariant();
        }
    };

    localModel = new MyItemModel(this);
    localModel->roles = {"eng_name", "native_name", "uid", "spk", "name", "quality", "sex", "voice", "idx",
                         "sampleLoading"};
    localModel->rowCountFn = [this]() { return int(locals.size()); };
    localModel->dataFn = [this](int row, int role, QString) -> QVariant {
        const LocalVoice& v = locals[size_t(row)];
        switch (role) {
        case 0: return text(v.eng);
        case 1: return text(v.native);
        case 2: return text(v.uid);
        case 3: return int(v.spk);
        case 4: return text(v.name);
        case 5: return int(v.quality);
        case 6: return int(v.sex);
        case 7: return QVariant::fromValue(v);
        case 8: return row;
        case 9: return !loadingSampleKey.empty() && loadingSampleKey == sampleKey(v.uid, v.spk);
        default: return QVariant();
        }
    };
}

VoiceSelectorModel::~VoiceSelectorModel()
{
    // Running requests end now rather than holding up the GUI thread; the
    // cancels repeat in case one landed while a transfer was starting.
    stopping = true;
    player.stop();
    worker.quit();
    do {
        for (auto& entry : tasks)
            entry.second.task->cancel();
    } while (!worker.wait(100));
}

template <typename T>
void VoiceSelectorModel::assign(T& field, const T& value, void (VoiceSelectorModel::*notify)())
{
    if (field == value)
        return;
    field = value;
    emit (this->*notify)();
}

void VoiceSelectorModel::setIsLoadingServerLangs(bool v)
{
    assign(m_isLoadingServerLangs, v, &VoiceSelectorModel::isLoadingServerLangsChanged);
}

void VoiceSelectorModel::setLoadServerLangsError(const QString& v)
{
    assign(m_loadServerLangsError, v, &VoiceSelectorModel::loadServerLangsErrorChanged);
}

void VoiceSelectorModel::setIsLoadingServerVoices(bool v)
{
    assign(m_isLoadingServerVoices, v, &VoiceSelectorModel::isLoadingServerVoicesChanged);
}

void VoiceSelectorModel::setIsInstallingVoice(bool v)
{
    assign(m_isInstallingVoice, v, &VoiceSelectorModel::isInstallingVoiceChanged);
}

void VoiceSelectorModel::setVoiceInstallProgress(const QString& v)
{
    assign(m_voiceInstallProgress, v, &VoiceSelectorModel::voiceInstallProgressChanged);
}

void VoiceSelectorModel::setLoadServerVoicesError(const QString& v)
{
    assign(m_loadServerVoicesError, v, &VoiceSelectorModel::loadServerVoicesErrorChanged);
}

void VoiceSelectorModel::setIsLoadingLocalVoices(bool v)
{
    assign(m_isLoadingLocalVoices, v, &VoiceSelectorModel::isLoadingLocalVoicesChanged);
}

void VoiceSelectorModel::setLoadLocalVoicesError(const QString& v)
{
    assign(m_loadLocalVoicesError, v, &VoiceSelectorModel::loadLocalVoicesErrorChanged);
}

void VoiceSelectorModel::setIsClosing(bool v)
{
    assign(m_isClosing, v, &VoiceSelectorModel::isClosingChanged);
}

void VoiceSelectorModel::setCurLang(const QString& v)
{
    assign(m_curLang, v, &VoiceSelectorModel::curLangChanged);
}

void VoiceSelectorModel::setCurLangDisplay(const QString& v)
{
    assign(m_curLangDisplay, v, &VoiceSelectorModel::curLangDisplayChanged);
}

void VoiceSelectorModel::setSortBy(Sort v)
{
    assign(m_sortBy, v, &VoiceSelectorModel::sortByChanged);
}

void VoiceSelectorModel::setInstallProgress(int percent, const QString& v)
{
    bool percentChanged = m_voiceInstallPercent != percent;
    m_voiceInstallPercent = percent;
    if (m_voiceInstallProgress != v)
        setVoiceInstallProgress(v);
    else if (percentChanged)
        emit voiceInstallProgressChanged();
}

std::vector<std::string> VoiceSelectorModel::taskKeys() const
{
    std::vector<std::string> keys;
    for (const auto& entry : tasks)
        keys.push_back(entry.first);
    return keys;
}

QAbstractItemModel* VoiceSelectorModel::serverLangModel()
{
    return langsModel;
}

QAbstractItemModel* VoiceSelectorModel::serverVoicesModel()
{
    return serverModel;
}

QAbstractItemModel* VoiceSelectorModel::localVoicesModel()
{
    return localModel;
}

void VoiceSelectorModel::loadServerLangs()
{
    // Languages are fetched once per model; a fetch that is running fills the list.
    if (!langs.empty() || fetchingLangs)
        return;
    fetchingLangs = true;
    raise(langsBusy, &VoiceSelectorModel::setIsLoadingServerLangs);
    setLoadServerLangsError(QString());
    setSortBy(IdAsc);
    const std::string key = "loadServerLangs";
    std::shared_ptr<VoiceTask> task = acquireTask(key);
    runJob([this, key, task]() {
        std::vector<ServerLang> result;
        std::string error;
        bool skipped = stopping || task->isCancelled();
        bool ok = !skipped && fetchServerLangs(result, error, task.get());
        postToGui([this, key, task, ok, skipped, result = std::move(result), error]() {
            bool dropped = skipped || task->isCancelled();
            releaseTask(key, task);
            fetchingLangs = false;
            lower(langsBusy, &VoiceSelectorModel::setIsLoadingServerLangs);
            if (ok) {
                langs = result;
                langsModel->updateReset();
            } else if (!dropped) {
                setLoadServerLangsError(networkError(error));
            }
        });
    });
}

void VoiceSelectorModel::reloadServerVoices()
{
    fetchedVoices.clear();
    shownVoices.clear();
    ++fetchedGen;
    ++shownGen;
    serverModel->updateReset();
    if (m_curLang.isEmpty())
        return;
    raise(serverBusy, &VoiceSelectorModel::setIsLoadingServerVoices);
    setLoadServerVoicesError(QString());
    setSortBy(IdAsc);
    unsigned gen = fetchedGen;
    std::string lang = m_curLang.toStdString();
    // The list of the language asked for before is no longer wanted, and
    // would hold up this one.
    const std::string key = "reloadServerVoices";
    cancelTask(key);
    std::shared_ptr<VoiceTask> task = acquireTask(key);
    runJob([this, gen, lang, key, task]() {
        std::vector<ServerVoice> result;
        std::string error;
        bool skipped = stopping || task->isCancelled();
        bool ok = !skipped && fetchServerVoices(lang, result, error, task.get());
        postToGui([this, gen, key, task, ok, skipped, result = std::move(result), error]() {
            bool dropped = skipped || task->isCancelled();
            releaseTask(key, task);
            lower(serverBusy, &VoiceSelectorModel::setIsLoadingServerVoices);
            // A later reload owns the lists now.
            if (gen != fetchedGen)
                return;
            if (ok) {
                fetchedVoices = result;
                shownVoices = fetchedVoices;
                ++shownGen;
                serverModel->updateReset();
            } else if (!dropped) {
                setLoadServerVoicesError(networkError(error));
            }
        });
    });
}

void VoiceSelectorModel::loadLocalVoices()
{
    locals.clear();
    ++localGen;
    localModel->updateReset();
    raise(localBusy, &VoiceSelectorModel::setIsLoadingLocalVoices);
    setLoadLocalVoicesError(QString());
    setSortBy(IdAsc);
    unsigned gen = localGen;
    runJob([this, gen]() {
        std::vector<LocalVoice> result;
        bool skipped = stopping;
        if (!skipped)
            listInstalledVoices(result);
        postToGui([this, gen, skipped, result = std::move(result)]() {
            lower(localBusy, &VoiceSelectorModel::setIsLoadingLocalVoices);
            if (skipped || gen != localGen)
                return;
            // The views learn of the new list before anyone hears of its size.
            locals = result;
            localModel->updateReset();
            emit localVoicesLoaded(int(locals.size()));
        });
    });
}

void VoiceSelectorModel::playSample(QString uid, int spk)
{
    std::string u = uid.toStdString();
    const std::string shownKey = sampleKey(u, spk);
    // Another sample that is still downloading is not wanted any more.
    if (sampleTask && loadingSampleKey != shownKey) {
        sampleTask->cancel();
        setLoadingSample(std::string(), nullptr);
    }
    fs::path path = voiceSamplePath(u, spk);
    QString file = text(pathToUtf8(path));
    // Only a sample the downloader wrote is played, never what a link points to.
    if (isSafeVoiceUid(u) && isDownloadedFile(path)) {
        player.play(file, nullptr, nullptr);
        return;
    }
    player.stop();
    std::string key = formatString("playSample|%s|%d", u.c_str(), spk);
    std::shared_ptr<VoiceTask> task = acquireTask(key);
    setLoadingSample(shownKey, task);
    runJob([this, u, spk, key, task, file]() {
        std::string error;
        bool skipped = stopping || task->isCancelled();
        bool ok = !skipped && !downloadVoiceSample(u, spk, error, task.get()).empty();
        postToGui([this, key, task, file, ok, skipped, error]() {
            bool cancelled = skipped || task->isCancelled();
            releaseTask(key, task);
            if (sampleTask == task)
                setLoadingSample(std::string(), nullptr);
            if (cancelled || stopping)
                return;
            if (ok)
                player.play(file, nullptr, nullptr);
            else
                showError(networkError(error));
        });
    });
}

void VoiceSelectorModel::stopSample()
{
    player.stop();
    if (sampleTask)
        sampleTask->cancel();
    setLoadingSample(std::string(), nullptr);
}

void VoiceSelectorModel::setLoadingSample(const std::string& key, std::shared_ptr<VoiceTask> task)
{
    sampleTask = std::move(task);
    if (key == loadingSampleKey)
        return;
    std::string old = loadingSampleKey;
    loadingSampleKey = key;
    updateSampleRows(old);
    updateSampleRows(key);
}

void VoiceSelectorModel::updateSampleRows(const std::string& key)
{
    if (key.empty())
        return;
    for (size_t i = 0; i < shownVoices.size(); ++i) {
        if (sampleKey(shownVoices[i].uid, shownVoices[i].spk) == key)
            serverModel->update(int(i), 1);
    }
    for (size_t i = 0; i < locals.size(); ++i) {
        if (sampleKey(locals[i].uid, locals[i].spk) == key)
            localModel->update(int(i), 1);
    }
}

void VoiceSelectorModel::cancelTask(const std::string& key)
{
    auto it = tasks.find(key);
    if (it != tasks.end())
        it->second.task->cancel();
}

void VoiceSelectorModel::installVoice(ServerVoice voice)
{
    std::string key = formatString("installVoice|%s|%d", voice.uid.c_str(), voice.spk);
    std::shared_ptr<VoiceTask> task = acquireTask(key);
    raise(installBusy, &VoiceSelectorModel::setIsInstallingVoice);
    setInstallProgress(0, QString());
    runJob([this, voice, key, task]() {
        std::string error;
        bool skipped = stopping;
        VoiceProgress progress = [this](int percent, std::string what) {
            postToGui([this, percent, what]() {
                setInstallProgress(percent, tr("Progress: %1%").arg(percent) + "<br/>" + text(what));
            });
        };
        bool ok = !skipped && ServerVoice::install(voice, error, progress, task.get());
        postToGui([this, voice, key, task, ok, skipped, error]() {
            bool cancelled = skipped || task->isCancelled();
            releaseTask(key, task);
            lower(installBusy, &VoiceSelectorModel::setIsInstallingVoice);
            if (!ok) {
                if (!cancelled)
                    showError(text(error));
                return;
            }
            if (stopping)
                return;
            LocalVoice found;
            if (findInstalledVoice(voice.uid, voice.spk, found))
                emit voiceInstalled(found);
            else
                showError(tr("IDS_FIND_INSTALLED_VOICE_FAILED"));
        });
    });
}

void VoiceSelectorModel::searchServerVoice(QString kw)
{
    QString key = kw.toLower().trimmed();
    if (key.isEmpty()) {
        shownVoices = fetchedVoices;
        ++shownGen;
        serverModel->updateReset();
        return;
    }
    raise(langsBusy, &VoiceSelectorModel::setIsLoadingServerLangs);
    shownVoices.clear();
    ++shownGen;
    serverModel->updateReset();
    unsigned gen = shownGen;
    runJob([this, gen, key, source = fetchedVoices]() {
        bool skipped = stopping;
        std::vector<ServerVoice> result;
        if (!skipped)
            result = searchVoicesByName(source, key);
        postToGui([this, gen, skipped, result = std::move(result)]() {
            lower(langsBusy, &VoiceSelectorModel::setIsLoadingServerLangs);
            if (skipped || gen != shownGen)
                return;
            shownVoices = result;
            ++shownGen;
            serverModel->updateReset();
        });
    });
}

void VoiceSelectorModel::resortServerVoices(VoiceSelectorModel::Sort sort)
{
    raise(langsBusy, &VoiceSelectorModel::setIsLoadingServerLangs);
    unsigned gen = shownGen;
    runJob([this, gen, sort, list = shownVoices]() mutable {
        bool skipped = stopping;
        if (!skipped) {
            std::sort(list.begin(), list.end(),
                      [sort](const ServerVoice& a, const ServerVoice& b) { return compareServerVoices(a, b, sort); });
        }
        postToGui([this, gen, sort, skipped, list = std::move(list)]() {
            lower(langsBusy, &VoiceSelectorModel::setIsLoadingServerLangs);
            if (skipped)
                return;
            setSortBy(sort);
            // The list was replaced meanwhile (a reload or a search): the copy is stale.
            if (gen != shownGen)
                return;
            shownVoices = list;
            serverModel->update(0, int(shownVoices.size()));
        });
    });
}

void VoiceSelectorModel::resortLocalVoices(VoiceSelectorModel::Sort sort)
{
    raise(localBusy, &VoiceSelectorModel::setIsLoadingLocalVoices);
    unsigned gen = localGen;
    runJob([this, gen, sort, list = locals]() mutable {
        bool skipped = stopping;
        if (!skipped) {
            std::sort(list.begin(), list.end(),
                      [sort](const LocalVoice& a, const LocalVoice& b) { return compareLocalVoices(a, b, sort); });
        }
        postToGui([this, gen, sort, skipped, list = std::move(list)]() {
            lower(localBusy, &VoiceSelectorModel::setIsLoadingLocalVoices);
            if (skipped)
                return;
            setSortBy(sort);
            if (gen != localGen)
                return;
            // Speakers removed while the copy was sorted stay removed.
            std::vector<LocalVoice> kept;
            for (const LocalVoice& v : list) {
                if (findSpeaker(locals, v) >= 0)
                    kept.push_back(v);
            }
            if (kept.size() != locals.size())
                return;
            locals = std::move(kept);
            localModel->update(0, int(locals.size()));
        });
    });
}

void VoiceSelectorModel::close()
{
    if (m_isClosing)
        return;
    setIsClosing(true);
    stopping = true;
    player.stop();
    for (auto& entry : tasks)
        entry.second.task->cancel();
    repeatCancels();
    quitThreadThen(&worker, [this]() {
        stopping = false;
        setIsClosing(false);
        emit toClose();
    });
}

QString VoiceSelectorModel::voiceDisplay(LocalVoice voice)
{
    return QString("%1 (%2)").arg(text(voice.name), text(voice.native));
}

void VoiceSelectorModel::removeVoice(int idx)
{
    // The speaker is identified now: rows may move before the answer comes.
    bool inRange = idx >= 0 && idx < int(locals.size());
    LocalVoice target = inRange ? locals[size_t(idx)] : LocalVoice();
    MessageBoxContext::CallBack yes = MessageBoxContext::guarded(this, [this, inRange, target]() {
        if (inRange)
            removeVoiceNow(target);
    });
    showMsgboxYesNo(MessageBoxContext::instance(), QString(), tr("IDS_CONFIRM_REMOVE_VOICE?"), std::move(yes), nullptr,
                    MessageBoxContext::Question, tr("Yes"), tr("No"));
}

void VoiceSelectorModel::cancelInstall()
{
    for (auto& entry : tasks) {
        if (entry.first.rfind("installVoice|", 0) == 0)
            entry.second.task->cancel();
    }
    repeatCancels();
}

void VoiceSelectorModel::repeatCancels()
{
    // A cancel that lands just before a transfer starts is undone by the
    // transfer's own start: repeat it until the cancelled jobs have ended.
    bool pending = false;
    for (auto& entry : tasks) {
        if (entry.second.task->isCancelled()) {
            entry.second.task->cancel();
            pending = true;
        }
    }
    if (pending && !repeating) {
        repeating = true;
        invoker.postDelayed(
            [this]() {
                repeating = false;
                repeatCancels();
            },
            500, QCoreApplication::instance()->thread());
    }
}

void VoiceSelectorModel::removeVoiceNow(const LocalVoice& voice)
{
    if (findSpeaker(locals, voice) < 0)
        return;
    // On the worker: the voice's last speaker takes its folder, model file and all.
    raise(localBusy, &VoiceSelectorModel::setIsLoadingLocalVoices);
    runJob([this, voice]() {
        std::string error;
        bool ok = removeVoiceSpeaker(voice, &error);
        postToGui([this, voice, ok, error]() {
            lower(localBusy, &VoiceSelectorModel::setIsLoadingLocalVoices);
            if (!ok) {
                showError(text(error));
                return;
            }
            // The row of that speaker now, wherever sorting moved it.
            localModel->removeRowWhere(locals, [&voice](const LocalVoice& v) { return sameSpeaker(v, voice); });
        });
    });
}

std::shared_ptr<VoiceTask> VoiceSelectorModel::acquireTask(const std::string& key)
{
    auto it = tasks.find(key);
    // A task that was cancelled stays with the job it stopped.
    if (it != tasks.end() && !it->second.task->isCancelled()) {
        ++it->second.users;
        return it->second.task;
    }
    TaskEntry entry{std::make_shared<VoiceTask>(), 1};
    tasks[key] = entry;
    return entry.task;
}

void VoiceSelectorModel::releaseTask(const std::string& key, const std::shared_ptr<VoiceTask>& task)
{
    auto it = tasks.find(key);
    if (it == tasks.end() || it->second.task != task)
        return;
    if (--it->second.users == 0)
        tasks.erase(it);
}

void VoiceSelectorModel::runJob(std::function<void()> work)
{
    runInWorkerThread(&worker, std::move(work), invoker.context(&worker));
}

void VoiceSelectorModel::postToGui(std::function<void()> fn)
{
    invoker.post(std::move(fn), QCoreApplication::instance()->thread());
}

void VoiceSelectorModel::raise(int& busy, void (VoiceSelectorModel::*setter)(bool))
{
    ++busy;
    (this->*setter)(true);
}

void VoiceSelectorModel::lower(int& busy, void (VoiceSelectorModel::*setter)(bool))
{
    if (busy > 0)
        --busy;
    (this->*setter)(busy > 0);
}

void VoiceSelectorModel::showError(const QString& message)
{
    // A page that is leaving shows nothing more.
    if (m_isClosing || stopping)
        return;
    showMsgboxError(MessageBoxContext::instance(), QString(), message, nullptr, tr("OK"));
}
