#pragma once

#include "common/AudioPlayer.h"
#include "common/InvokeContext.h"
#include "voices/LocalVoice.h"
#include "voices/ServerLang.h"
#include "voices/ServerVoice.h"

#include <QAbstractItemModel>
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

class MyItemModel;
class VoiceTask;

// The model of the Voices page and of the voice-picking popup: the server's
// languages and voices, the installed voice speakers, samples, installs and
// removals. Lists are loaded, searched and sorted on the model's worker thread.
class VoiceSelectorModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isLoadingServerLangs READ isLoadingServerLangs WRITE setIsLoadingServerLangs NOTIFY
                   isLoadingServerLangsChanged)
    Q_PROPERTY(QString loadServerLangsError READ loadServerLangsError WRITE setLoadServerLangsError NOTIFY
                   loadServerLangsErrorChanged)
    Q_PROPERTY(bool isLoadingServerVoices READ isLoadingServerVoices WRITE setIsLoadingServerVoices NOTIFY
                   isLoadingServerVoicesChanged)
    Q_PROPERTY(bool isInstallingVoice READ isInstallingVoice WRITE setIsInstallingVoice NOTIFY
                   isInstallingVoiceChanged)
    Q_PROPERTY(QString voiceInstallProgress READ voiceInstallProgress WRITE setVoiceInstallProgress NOTIFY
                   voiceInstallProgressChanged)
    Q_PROPERTY(QString loadServerVoicesError READ loadServerVoicesError WRITE setLoadServerVoicesError NOTIFY
                   loadServerVoicesErrorChanged)
    Q_PROPERTY(bool isLoadingLocalVoices READ isLoadingLocalVoices WRITE setIsLoadingLocalVoices NOTIFY
                   isLoadingLocalVoicesChanged)
    Q_PROPERTY(QString loadLocalVoicesError READ loadLocalVoicesError WRITE setLoadLocalVoicesError NOTIFY
                   loadLocalVoicesErrorChanged)
    Q_PROPERTY(bool isClosing READ isClosing WRITE setIsClosing NOTIFY isClosingChanged)
    Q_PROPERTY(QString curLang READ curLang WRITE setCurLang NOTIFY curLangChanged)
    Q_PROPERTY(QString curLangDisplay READ curLangDisplay WRITE setCurLangDisplay NOTIFY curLangDisplayChanged)
    Q_PROPERTY(Sort sortBy READ sortBy WRITE setSortBy NOTIFY sortByChanged)
    // The percent of the running install, for a progress bar; 0 before the first report.
    Q_PROPERTY(int voiceInstallPercent READ voiceInstallPercent NOTIFY voiceInstallProgressChanged)

public:
    enum Sort {
        IdAsc = 1,
        IdDesc = 2,
        NameAsc = 3,
        NameDesc = 4,
        SexAsc = 5,
        SexDesc = 6,
        QualityAsc = 7,
        QualityDesc = 8,
        LangAsc = 9,
        LangDesc = 10
    };
    Q_ENUM(Sort)

    explicit VoiceSelectorModel(QObject* parent = nullptr);
    ~VoiceSelectorModel() override;

    bool isLoadingServerLangs() const { return m_isLoadingServerLangs; }
    QString loadServerLangsError() const { return m_loadServerLangsError; }
    bool isLoadingServerVoices() const { return m_isLoadingServerVoices; }
    bool isInstallingVoice() const { return m_isInstallingVoice; }
    QString voiceInstallProgress() const { return m_voiceInstallProgress; }
    QString loadServerVoicesError() const { return m_loadServerVoicesError; }
    bool isLoadingLocalVoices() const { return m_isLoadingLocalVoices; }
    QString loadLocalVoicesError() const { return m_loadLocalVoicesError; }
    bool isClosing() const { return m_isClosing; }
    QString curLang() const { return m_curLang; }
    QString curLangDisplay() const { return m_curLangDisplay; }
    Sort sortBy() const { return m_sortBy; }
    int voiceInstallPercent() const { return m_voiceInstallPercent; }

    void setIsLoadingServerLangs(bool v);
    void setLoadServerLangsError(const QString& v);
    void setIsLoadingServerVoices(bool v);
    void setIsInstallingVoice(bool v);
    void setVoiceInstallProgress(const QString& v);
    void setLoadServerVoicesError(const QString& v);
    void setIsLoadingLocalVoices(bool v);
    void setLoadLocalVoicesError(const QString& v);
    void setIsClosing(bool v);
    void setCurLang(const QString& v);
    void setCurLangDisplay(const QString& v);
    void setSortBy(Sort v);

    // The lists as the views see them.
    const std::vector<ServerLang>& serverLangs() const { return langs; }
    const std::vector<ServerVoice>& shownServerVoices() const { return shownVoices; }
    // The player of the samples.
    const AudioPlayer& samplePlayer() const { return player; }
    // Keys of the running tasks.
    std::vector<std::string> taskKeys() const;
    // "uid|spk" of the sample being downloaded, empty when none; the rows of
    // that speaker show it in their "sampleLoading" role.
    std::string loadingSample() const { return loadingSampleKey; }

signals:
    void toClose();
    void voiceInstalled(LocalVoice voice);
    void localVoicesLoaded(int count);
    void curLangChanged();
    void curLangDisplayChanged();
    void isLoadingServerLangsChanged();
    void isLoadingServerVoicesChanged();
    void isClosingChanged();
    void loadServerLangsErrorChanged();
    void loadServerVoicesErrorChanged();
    void voiceInstallProgressChanged();
    void isInstallingVoiceChanged();
    void sortByChanged();
    void isLoadingLocalVoicesChanged();
    void loadLocalVoicesErrorChanged();

public:
    Q_INVOKABLE QAbstractItemModel* serverLangModel();
    Q_INVOKABLE QAbstractItemModel* serverVoicesModel();
    Q_INVOKABLE QAbstractItemModel* localVoicesModel();
    Q_INVOKABLE void loadServerLangs();
    Q_INVOKABLE void reloadServerVoices();
    Q_INVOKABLE void loadLocalVoices();
    Q_INVOKABLE void playSample(QString uid, int spk);
    Q_INVOKABLE void installVoice(ServerVoice voice);
    Q_INVOKABLE void searchServerVoice(QString kw);
    Q_INVOKABLE void resortServerVoices(VoiceSelectorModel::Sort sort);
    Q_INVOKABLE void resortLocalVoices(VoiceSelectorModel::Sort sort);
    Q_INVOKABLE void close();
    Q_INVOKABLE QString voiceDisplay(LocalVoice voice);
    Q_INVOKABLE void removeVoice(int idx);
    // Stops the running installs; they end without a message.
    Q_INVOKABLE void cancelInstall();
    // Stops the sample that plays and cancels the one that downloads.
    Q_INVOKABLE void stopSample();

private:
    // One entry of the task table: the task and the number of jobs using it.
    struct TaskEntry
    {
        std::shared_ptr<VoiceTask> task;
        int users = 0;
    };

    std::shared_ptr<VoiceTask> acquireTask(const std::string& key);
    void releaseTask(const std::string& key, const std::shared_ptr<VoiceTask>& task);
    void repeatCancels();
    // Stores value and emits notify when it changed.
    template <typename T>
    void assign(T& field, const T& value, void (VoiceSelectorModel::*notify)());
    void runJob(std::function<void()> work);
    void postToGui(std::function<void()> fn);
    // A flag is shown while at least one job that raised it runs.
    void raise(int& busy, void (VoiceSelectorModel::*setter)(bool));
    void lower(int& busy, void (VoiceSelectorModel::*setter)(bool));
    void showError(const QString& message);
    void removeVoiceNow(const LocalVoice& voice);
    void setInstallProgress(int percent, const QString& v);
    // Cancels the running task of key, if any; a new one takes its place.
    void cancelTask(const std::string& key);
    void setLoadingSample(const std::string& key, std::shared_ptr<VoiceTask> task);
    void updateSampleRows(const std::string& key);

    bool m_isLoadingServerLangs = false;
    QString m_loadServerLangsError;
    bool m_isLoadingServerVoices = false;
    bool m_isInstallingVoice = false;
    QString m_voiceInstallProgress;
    QString m_loadServerVoicesError;
    bool m_isLoadingLocalVoices = false;
    QString m_loadLocalVoicesError;
    bool m_isClosing = false;
    QString m_curLang;
    QString m_curLangDisplay;
    Sort m_sortBy = IdAsc;
    int m_voiceInstallPercent = 0;

    MyItemModel* langsModel = nullptr;
    MyItemModel* serverModel = nullptr;
    MyItemModel* localModel = nullptr;

    std::vector<ServerLang> langs;
    std::vector<ServerVoice> fetchedVoices;
    std::vector<ServerVoice> shownVoices;
    std::vector<LocalVoice> locals;
    // Bumped whenever a list is replaced, so that a job's result made from an
    // older list is dropped.
    unsigned fetchedGen = 0;
    unsigned shownGen = 0;
    unsigned localGen = 0;

    int langsBusy = 0;
    int serverBusy = 0;
    int installBusy = 0;
    int localBusy = 0;

    bool fetchingLangs = false;
    bool repeating = false;

    std::map<std::string, TaskEntry> tasks;
    // The sample download the rows show, and its task.
    std::string loadingSampleKey;
    std::shared_ptr<VoiceTask> sampleTask;
    // Set by close() and the destructor: jobs that have not started yet do nothing.
    std::atomic<bool> stopping{false};

    AudioPlayer player;
    QThread worker;
    InvokeContext invoker;
};

// Whether a comes before b in the order of sort. Texts compare as UTF-8 bytes;
// ties go to the lower id (server voices) or the newer installation (local voices).
bool compareServerVoices(const ServerVoice& a, const ServerVoice& b, VoiceSelectorModel::Sort sort);
bool compareLocalVoices(const LocalVoice& a, const LocalVoice& b, VoiceSelectorModel::Sort sort);

// The voices whose name contains kw (lower-cased, trimmed), in the given order;
// all of them when kw is blank.
std::vector<ServerVoice> searchVoicesByName(const std::vector<ServerVoice>& voices, const QString& kw);
